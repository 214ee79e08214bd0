#include "proxy/server/requestreader.h"

#include <cstring>

namespace wexaproxy {

RequestReader::RequestReader(RequestLimits limits) : limits_(limits) {}

RequestReader::State RequestReader::fail(const char* reason) {
    state_ = State::Malformed;
    error_ = reason;
    pending_.clear();
    return state_;
}

RequestReader::State RequestReader::feed(const char* data, std::size_t size) {
    std::size_t pos = 0;
    while (state_ == State::NeedMore && pos < size) {
        const void* found = std::memchr(data + pos, '\n', size - pos);
        std::size_t end = found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : size;
        std::size_t take = end - pos;
        // The limit counts every byte, newlines included, so that a flood of
        // empty lines is cut off as surely as one endless line.
        std::size_t counted = take + (found ? 1 : 0);
        if (received_ + counted > limits_.maxBytes) return fail("Request too long");
        received_ += counted;
        pending_.append(data + pos, take);
        pos = end;
        if (found) {
            ++pos;
            std::string line;
            line.swap(pending_);
            acceptLine(std::move(line));
        }
    }
    return state_;
}

RequestReader::State RequestReader::finish() {
    if (state_ != State::NeedMore) return state_;
    if (!pending_.empty()) {
        std::string line;
        line.swap(pending_);
        acceptLine(std::move(line));
    }
    if (state_ == State::NeedMore) return fail("Incomplete request");
    return state_;
}

static bool isDecimal(const std::string& text) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

RequestReader::State RequestReader::acceptLine(std::string line) {
    // Clients that end lines with CR LF (a person typing into a terminal
    // tool) are read like the browser, which sends bare LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();

    switch (stage_) {
        case Stage::Command:
            if (line == "GET") {
                request_.command = Command::Get;
            } else if (line == "REFRESH") {
                request_.command = Command::Refresh;
            } else if (line == "PING") {
                request_.command = Command::Ping;
                state_ = State::Complete;
                return state_;
            } else if (line == "FORM-GET") {
                request_.command = Command::FormGet;
            } else if (line == "FORM-POST") {
                request_.command = Command::FormPost;
            } else {
                return fail("Unknown request");
            }
            stage_ = Stage::Url;
            return state_;

        case Stage::Url:
            request_.url = std::move(line);
            if (request_.command == Command::Get || request_.command == Command::Refresh) {
                state_ = State::Complete;
            } else {
                stage_ = Stage::Count;
            }
            return state_;

        case Stage::Count: {
            if (!isDecimal(line)) return fail("Bad form: count is not a number");
            unsigned long count = std::stoul(line);
            if (count > limits_.maxFields) return fail("Bad form: too many fields");
            fieldsLeft_ = count;
            request_.fields.reserve(count);
            stage_ = count == 0 ? Stage::Blank : Stage::Name;
            return state_;
        }

        case Stage::Name:
            request_.fields.push_back(FormField{std::move(line), std::string()});
            stage_ = Stage::Value;
            return state_;

        case Stage::Value:
            request_.fields.back().value = std::move(line);
            --fieldsLeft_;
            stage_ = fieldsLeft_ == 0 ? Stage::Blank : Stage::Name;
            return state_;

        case Stage::Blank:
            if (!line.empty()) return fail("Bad form: fields do not match count");
            stage_ = Stage::Terminator;
            return state_;

        case Stage::Terminator:
            if (line != "~~~") return fail("Bad form: missing end mark");
            state_ = State::Complete;
            return state_;
    }
    return state_;
}

RequestReader::State parseRequest(const std::string& bytes, Request& request, std::string& error,
                                  RequestLimits limits) {
    RequestReader reader(limits);
    reader.feed(bytes.data(), bytes.size());
    RequestReader::State state = reader.finish();
    if (state == RequestReader::State::Complete) request = reader.request();
    if (state == RequestReader::State::Malformed) error = reader.error();
    return state;
}

}  // namespace wexaproxy
