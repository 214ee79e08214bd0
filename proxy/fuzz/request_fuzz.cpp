// Fuzz target: wexapserver's request reader on arbitrary bytes, fed in
// chunks whose sizes the input itself chooses.
//
// Input: byte 0 seeds the chunk sizes; the rest is what a client sends.
// Besides what the sanitizers catch, every input is checked for:
//  - a verdict after finish(): Complete or Malformed, never NeedMore;
//  - a verdict, request and reason that do not depend on the chunking: the
//    same as for the whole input given at once (parseRequest);
//  - a complete request that fits the limits it was read under, with form
//    fields only for forms and a URL only for commands that carry one.
// Each input is read under the default limits and under small ones (300
// bytes, 3 fields), so that short inputs reach the limits too.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/check.h"
#include "proxy/server/requestreader.h"

namespace {

using wexaproxy::Command;
using wexaproxy::Request;
using wexaproxy::RequestLimits;
using wexaproxy::RequestReader;

// xorshift32: a fixed, cheap sequence of chunk sizes from the seed byte.
struct ChunkSizes {
    std::uint32_t state;
    explicit ChunkSizes(std::uint8_t seed) : state(0x9E3779B9u ^ seed) {}
    std::size_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        // Mostly small pieces, sometimes an empty one, sometimes a large one.
        const std::uint32_t pick = state % 64;
        if (pick == 0) return 0;
        if (pick == 1) return 4096;
        return pick % 24;
    }
};

bool sameRequest(const Request& a, const Request& b) {
    if (a.command != b.command || a.url != b.url || a.fields.size() != b.fields.size()) return false;
    for (std::size_t i = 0; i < a.fields.size(); ++i)
        if (a.fields[i].name != b.fields[i].name || a.fields[i].value != b.fields[i].value) return false;
    return true;
}

void readUnder(const RequestLimits& limits, std::uint8_t seed, const char* bytes, std::size_t size) {
    RequestReader chunked(limits);
    ChunkSizes sizes(seed);
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t n = std::min(sizes.next(), size - pos);
        const RequestReader::State before = chunked.state();
        const RequestReader::State after = chunked.feed(bytes + pos, n);
        // A verdict, once given, stands.
        if (before != RequestReader::State::NeedMore) WEXA_CHECK(after == before, "verdict is final");
        pos += n;
    }
    const RequestReader::State verdict = chunked.finish();
    WEXA_CHECK(verdict != RequestReader::State::NeedMore, "finish() gives a verdict");
    WEXA_CHECK(chunked.finish() == verdict, "finish() is repeatable");

    Request whole;
    std::string reason;
    const RequestReader::State wholeVerdict =
        wexaproxy::parseRequest(std::string(bytes, size), whole, reason, limits);
    WEXA_CHECK(wholeVerdict == verdict, "chunking does not change the verdict");

    if (verdict == RequestReader::State::Malformed) {
        WEXA_CHECK(!chunked.error().empty(), "a refusal has a reason");
        WEXA_CHECK(chunked.error() == reason, "chunking does not change the reason");
        return;
    }
    const Request& request = chunked.request();
    WEXA_CHECK(sameRequest(request, whole), "chunking does not change the request");
    const bool form = request.command == Command::FormGet || request.command == Command::FormPost;
    WEXA_CHECK(form || request.fields.empty(), "fields only in forms");
    WEXA_CHECK(request.fields.size() <= limits.maxFields, "fields.size() <= maxFields");
    WEXA_CHECK(request.command != Command::Ping || request.url.empty(), "PING carries no URL");
    std::size_t carried = request.url.size();
    for (const auto& field : request.fields) carried += field.name.size() + field.value.size();
    WEXA_CHECK(carried <= limits.maxBytes, "request within maxBytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t seed = data[0];
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    readUnder(RequestLimits{}, seed, bytes, length);
    RequestLimits small;
    small.maxBytes = 300;
    small.maxFields = 3;
    readUnder(small, seed, bytes, length);
    return 0;
}
