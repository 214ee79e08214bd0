// Corpus replay: runs the fuzz target's LLVMFuzzerTestOneInput once on every
// file of the directories (or on the files) named on the command line, in
// name order, the way libFuzzer runs a corpus it is given. Linked with the
// same target sources in the normal builds, it keeps every input that the
// fuzzer ever kept (and every input that once crashed) a regression test.
//
// Exits 0 after replaying at least one input; 1 when there was nothing to
// replay (a missing or empty corpus would otherwise pass silently). A fault
// in the target aborts the process, which fails the test.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    // Absolute paths first: the targets change the working directory.
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path given = fs::absolute(argv[i]);
        std::error_code ec;
        if (fs::is_directory(given, ec)) {
            for (const fs::directory_entry& e : fs::directory_iterator(given, ec))
                if (e.is_regular_file()) inputs.push_back(e.path());
        } else if (fs::is_regular_file(given, ec)) {
            inputs.push_back(given);
        } else {
            std::fprintf(stderr, "replay: no such corpus: %s\n", given.c_str());
            return 1;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: nothing to replay\n");
        return 1;
    }
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
            return 1;
        }
        // Shown before the run, so that the input of a crash is named.
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", path.filename().c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
