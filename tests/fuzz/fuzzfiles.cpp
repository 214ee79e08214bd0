#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/check.h"
#include "fuzzsupport.h"

// The file helpers; kept apart from the screen helpers (fuzzscreen.cpp) so
// that targets which draw nothing do not link the browser.

namespace wexafuzz {

namespace {

std::string& scratchPath() {
    static std::string path;
    return path;
}

void removeScratchDirectory() {
    if (scratchPath().empty()) return;
    std::error_code ec;
    std::filesystem::current_path("/", ec);
    std::filesystem::remove_all(scratchPath(), ec);
}

}  // namespace

void enterScratchDirectory() {
    if (!scratchPath().empty()) return;
    char pattern[] = "/tmp/wexafuzz.XXXXXX";
    WEXA_CHECK(mkdtemp(pattern) != nullptr, "mkdtemp(pattern) != __null");
    WEXA_CHECK(chdir(pattern) == 0, "chdir(scratch) == 0");
    scratchPath() = pattern;
    std::atexit(removeScratchDirectory);
}

void writeBytes(const char* name, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    if (size > 0) out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    WEXA_CHECK(!out.fail(), "input file written");
}

void writeBytes(const char* name, const std::string& bytes) {
    writeBytes(name, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string readBytes(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace wexafuzz
