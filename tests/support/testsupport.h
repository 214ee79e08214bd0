#pragma once
// Support shared by the unit tests.

#include <string>

namespace wexatest {

// Starts curses on a dummy terminal that writes to /dev/null, so tests run
// without a real terminal and without TERM (TERM is set to "xterm" when it
// is unset). Safe to call more than once; later calls do nothing.
void useDummyTerminal();

// A fresh temporary directory that becomes the working directory for the
// lifetime of the object (the passes use fixed file names in the working
// directory). The previous working directory is restored and the directory
// removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// Whole-file helpers (binary, exact bytes).
std::string readFile(const std::string& name);
void writeFile(const std::string& name, const std::string& bytes);

}  // namespace wexatest
