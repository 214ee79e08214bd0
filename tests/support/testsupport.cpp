#include "testsupport.h"

#include <curses.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace wexatest {

void useDummyTerminal() {
    static bool started = false;
    if (started) return;
    if (std::getenv("TERM") == nullptr || std::getenv("TERM")[0] == '\0') setenv("TERM", "xterm", 1);
    static FILE* out = std::fopen("/dev/null", "w");
    static FILE* in = std::fopen("/dev/null", "r");
    if (out == nullptr || in == nullptr || newterm(nullptr, out, in) == nullptr)
        throw std::runtime_error("cannot start curses on a dummy terminal");
    resizeterm(24, 80);
    start_color();
    started = true;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/wexatest.XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    previous_ = std::filesystem::current_path().string();
    std::filesystem::current_path(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace wexatest
