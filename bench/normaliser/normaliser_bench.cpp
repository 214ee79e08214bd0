// Times the page normaliser on one page, and splits the time into decoding
// (charset detection and conversion to UTF-8), parsing (gumbo alone, as the
// normaliser runs it) and the rest: the walk that writes the browser's page.
//
//     normaliser_bench PAGE [RUNS]
//
// Prints one line of "key=value" fields: the page size, the medians over
// RUNS runs (default 5) of wall and processor time for the three steps and
// for the whole, the size of the page written, and the peak resident memory
// of the process. The limits that protect the browser (lines, elements,
// input size) are lifted, so that the whole page is written whatever its
// size. Run one page per process: the peak memory is the process's.

#include <gumbo.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "proxy/normalise/charset.h"
#include "proxy/normalise/gumbomemory.h"
#include "proxy/normalise/normaliser.h"
#include "proxy/normalise/tokens.h"

namespace {

struct Sample {
    double wall = 0;
    double cpu = 0;
};

double cpuNow() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

template <class F>
Sample measure(F&& step) {
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = cpuNow();
    step();
    Sample sample;
    sample.cpu = cpuNow() - cpu0;
    sample.wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count();
    return sample;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: normaliser_bench PAGE [RUNS]\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "normaliser_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream buffer;
    buffer << file.rdbuf();
    const std::string body = buffer.str();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    wexaproxy::NormaliserSettings settings;
    settings.maxInputBytes = body.size() + 1;
    settings.maxLines = 1L << 40;
    settings.maxElements = 1 << 30;
    settings.maxStoredLinks = 1 << 30;
    wexaproxy::TokenStore store;

    std::vector<double> decodeWall, decodeCpu, parseWall, parseCpu, totalWall, totalCpu;
    std::size_t written = 0;
    for (int run = 0; run < runs; ++run) {
        std::string utf8;
        const Sample decode = measure([&] {
            const auto charset = wexaproxy::detectCharset("text/html", body);
            utf8 = wexaproxy::decodeToUtf8(body, charset.name);
        });
        const Sample parse = measure([&] {
            wexaproxy::GumboMemory memory;
            const GumboOptions options = memory.options();
            gumbo_parse_with_options(&options, utf8.data(), utf8.size());
        });
        std::string page;
        const Sample total = measure([&] {
            page = wexaproxy::normaliseHtml(body, "text/html", "http://bench.example/dir/page.html", store,
                                            settings);
        });
        written = page.size();
        decodeWall.push_back(decode.wall);
        decodeCpu.push_back(decode.cpu);
        parseWall.push_back(parse.wall);
        parseCpu.push_back(parse.cpu);
        totalWall.push_back(total.wall);
        totalCpu.push_back(total.cpu);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double decodeMs = median(decodeCpu);
    const double parseMs = median(parseCpu);
    const double totalMs = median(totalCpu);
    std::printf(
        "bytes=%zu runs=%d decode_cpu_ms=%.1f parse_cpu_ms=%.1f write_cpu_ms=%.1f total_cpu_ms=%.1f "
        "total_wall_ms=%.1f parse_wall_ms=%.1f out_bytes=%zu peak_kib=%ld\n",
        body.size(), runs, decodeMs, parseMs, std::max(0.0, totalMs - decodeMs - parseMs), totalMs,
        median(totalWall), median(parseWall), written, usage.ru_maxrss);
    return 0;
}
