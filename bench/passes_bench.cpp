// passes_bench: times pass one and the table pass, the two passes that turn a
// page's HTML into the laid-out page stream, on each page named on the
// command line.
//
// Usage: passes_bench [--reps N] [--no-header] PAGE...
//
// Each page is run once untimed (so the page file is in the page cache and
// the allocator warmed), then N times (default 7). Per page one line:
// the page's size, the median wall times of pass one, of the table pass and
// of both together, the median processor time (user plus system) of both,
// the throughput of both in MB/s (10^6 bytes of HTML per second) by wall
// time and by processor time, and the process's peak resident memory so far
// (VmHWM). On a machine shared with other work, the processor time is the
// steadier figure: it leaves out the time the process waited for a core.
// The peak is process-wide, so run one page per process to see each page's
// own peak (run_passes.sh does).
//
// The passes write pass1.tmp and pass2.tmp into the working directory, as in
// the browser; this program runs them in a scratch directory of its own under
// TMPDIR (or /tmp) and removes it at the end.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "passone/pagestream.h"
#include "shell/global.h"
#include "tables/table_engine.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time (user plus system) of this process so far, in ms.
double processorMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t mid = v.size() / 2;
    return v.size() % 2 != 0 ? v[mid] : (v[mid - 1] + v[mid]) / 2.0;
}

// Peak resident set size in KiB: VmHWM when /proc has it, else ru_maxrss
// (which Linux also reports in KiB).
long peakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmHWM:") == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long fileSize(const char* path) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    return f ? static_cast<long>(f.tellg()) : -1;
}

// A fresh directory that is the working directory for its lifetime; its two
// page stream files and the directory itself are removed at the end.
class ScratchDir {
public:
    ScratchDir() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/passes_bench.XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd) == nullptr || mkdtemp(name.data()) == nullptr || chdir(name.data()) != 0)
            return;
        previous_ = cwd;
        path_ = name.data();
    }
    ~ScratchDir() {
        if (path_.empty()) return;
        std::remove(PASS1_FILE);
        std::remove(PASS2_FILE);
        if (chdir(previous_.c_str()) == 0) rmdir(path_.c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool ok() const { return !path_.empty(); }

private:
    std::string previous_;
    std::string path_;
};

struct Times {
    double passOne;
    double tables;
    double processor;  // both passes
};

// One page as the page cycle renders it up to pass three: the previous
// page's active elements are released, pass one writes pass1.tmp, the table
// pass writes pass2.tmp and is destroyed (which closes and flushes it).
Times runPasses(const char* path) {
    GlobalNamespace.ast.resetAST();
    const double processorStart = processorMs();
    const Clock::time_point start = Clock::now();
    GlobalNamespace.passOne.passOne(path);
    const double passOneMs = msSince(start);
    const Clock::time_point tablesStart = Clock::now();
    {
        table_engine engine(PASS1_FILE);
        GlobalNamespace.tableEngine = &engine;
        engine.write_to_buffer();
        GlobalNamespace.tableEngine = nullptr;
    }
    const double tablesMs = msSince(tablesStart);
    return {passOneMs, tablesMs, processorMs() - processorStart};
}

const char* baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

void usage() {
    std::fputs("usage: passes_bench [--reps N] [--no-header] PAGE...\n", stderr);
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 7;
    bool header = true;
    std::vector<std::string> pages;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reps" && i + 1 < argc) {
            reps = std::atoi(argv[++i]);
        } else if (arg == "--no-header") {
            header = false;
        } else if (!arg.empty() && arg[0] == '-') {
            usage();
            return 2;
        } else {
            // Resolved now: the passes run in another directory.
            char resolved[PATH_MAX];
            if (realpath(arg.c_str(), resolved) == nullptr) {
                std::fprintf(stderr, "passes_bench: cannot read %s\n", arg.c_str());
                return 1;
            }
            pages.emplace_back(resolved);
        }
    }
    if (pages.empty() || reps < 1) {
        usage();
        return 2;
    }

    ScratchDir scratch;
    if (!scratch.ok()) {
        std::fputs("passes_bench: cannot make a scratch directory\n", stderr);
        return 1;
    }

    if (header) {
        std::printf("%-16s %9s %9s %9s %9s %9s %8s %8s %8s\n", "page", "bytes", "pass1 ms", "table ms",
                    "total ms", "cpu ms", "MB/s", "cpu MB/s", "peak MiB");
    }
    for (const std::string& page : pages) {
        const long bytes = fileSize(page.c_str());
        runPasses(page.c_str());  // untimed warm-up
        std::vector<double> passOne, tables, total, processor;
        for (int r = 0; r < reps; ++r) {
            const Times t = runPasses(page.c_str());
            passOne.push_back(t.passOne);
            tables.push_back(t.tables);
            total.push_back(t.passOne + t.tables);
            processor.push_back(t.processor);
        }
        const double totalMs = median(total);
        const double processorMedian = median(processor);
        const auto rate = [bytes](double ms) {
            return ms > 0.0 ? static_cast<double>(bytes) / 1e6 / (ms / 1e3) : 0.0;
        };
        std::printf("%-16s %9ld %9.2f %9.2f %9.2f %9.2f %8.1f %8.1f %8.1f\n", baseName(page.c_str()), bytes,
                    median(passOne), median(tables), totalMs, processorMedian, rate(totalMs),
                    rate(processorMedian), static_cast<double>(peakKiB()) / 1024.0);
        std::fflush(stdout);
    }
    return 0;
}
