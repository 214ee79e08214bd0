// Times the page normaliser against gumbo's parse of the same page.
//
//     normaliser_bench [--runs N] [--dump DIR] PAGE...
//
// For each page, RUNS times (default 5) in turn: gumbo's parse alone (of the
// page's text once decoded to UTF-8, with the options the normaliser uses),
// then the whole normalisation as the proxy's handler runs it (charset
// detection and decoding, the parse, the article finder, the walk that
// writes the browser's page). Prints one line per page of "key=value"
// fields: the page's name and size, the medians of processor time for the
// parse and the whole, and their ratio. The limits that protect the browser
// (lines, elements, stored links, processor time) are lifted, so that the whole page is
// written whatever its size.
//
// With --dump DIR, also writes each page's full view and reader view once
// (DIR/NAME.full, DIR/NAME.reader), to compare the output of two builds.

#include <gumbo.h>
#include <malloc.h>

#include <algorithm>
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

constexpr const char* PAGE_URL = "http://bench.example/dir/page.html";

double cpuNow() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

template <class F>
double cpuMs(F&& step) {
    const double start = cpuNow();
    step();
    return cpuNow() - start;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

bool readFile(const std::string& path, std::string& body) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::stringstream buffer;
    buffer << file.rdbuf();
    body = buffer.str();
    return true;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    return static_cast<bool>(file);
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string dumpDir;
    std::vector<std::string> pages;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--dump" && i + 1 < argc) {
            dumpDir = argv[++i];
        } else {
            pages.push_back(arg);
        }
    }
    if (pages.empty()) {
        std::fprintf(stderr, "usage: normaliser_bench [--runs N] [--dump DIR] PAGE...\n");
        return 2;
    }

    // As wexapserver sets it (proxy/main.cpp): blocks of 256 KiB and more
    // come from the system and go back to it when freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    wexaproxy::NormaliserSettings settings;
    settings.maxLines = 1L << 40;
    settings.maxElements = 1 << 30;
    settings.maxStoredLinks = 1 << 30;
    settings.maxCpuMs = 1 << 30;
    wexaproxy::TokenStore store;

    for (const std::string& path : pages) {
        std::string body;
        if (!readFile(path, body)) {
            std::fprintf(stderr, "normaliser_bench: cannot read %s\n", path.c_str());
            return 1;
        }
        settings.maxInputBytes = std::max(settings.maxInputBytes, body.size() + 1);
        const auto charset = wexaproxy::detectCharset("text/html", body, true);
        const std::string utf8 =
            wexaproxy::decodeToUtf8(body.substr(std::min(charset.bomLength, body.size())), charset.name);

        if (!dumpDir.empty()) {
            wexaproxy::PageOptions options;
            const std::string name = dumpDir + "/" + baseName(path);
            const bool written =
                writeFile(name + ".full",
                          wexaproxy::normaliseHtml(body, "text/html", PAGE_URL, store, settings, options));
            options.view = wexaproxy::PageView::Reader;
            if (!written ||
                !writeFile(name + ".reader",
                           wexaproxy::normaliseHtml(body, "text/html", PAGE_URL, store, settings, options))) {
                std::fprintf(stderr, "normaliser_bench: cannot write %s\n", name.c_str());
                return 1;
            }
        }

        std::vector<double> parseCpu, totalCpu;
        std::size_t written = 0;
        for (int run = 0; run < runs; ++run) {
            parseCpu.push_back(cpuMs([&] {
                wexaproxy::GumboMemory memory;
                const GumboOptions options = memory.options();
                gumbo_parse_with_options(&options, utf8.data(), utf8.size());
            }));
            totalCpu.push_back(cpuMs([&] {
                written = wexaproxy::normaliseHtml(body, "text/html", PAGE_URL, store, settings,
                                                   wexaproxy::PageOptions{})
                              .size();
            }));
        }
        const double parseMs = median(parseCpu);
        const double totalMs = median(totalCpu);
        std::printf(
            "page=%s bytes=%zu runs=%d parse_cpu_ms=%.3f total_cpu_ms=%.3f ratio=%.3f out_bytes=%zu\n",
            baseName(path).c_str(), body.size(), runs, parseMs, totalMs,
            parseMs > 0 ? totalMs / parseMs : 0.0, written);
        std::fflush(stdout);
    }
    return 0;
}
