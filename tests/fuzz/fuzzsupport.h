#pragma once
// Support shared by the fuzz targets (<folder>/fuzz/). The same target
// sources are linked with libFuzzer in the fuzzing build and with the corpus
// replay driver (replay_main.cpp) in the normal builds, so nothing here may
// depend on either.

#include <cstddef>
#include <cstdint>
#include <string>

namespace wexafuzz {

// Once per process: a fresh temporary directory becomes the working
// directory (the passes and the page cache use fixed file names there). It
// is removed when the process exits normally. Callers must hold only
// absolute paths to anything outside it.
void enterScratchDirectory();

// Once per process: curses on a dummy terminal (output to /dev/null, TERM
// set to xterm when unset, 80x24), the browser's colour pairs, and the page
// pad of the global rendering engine. A failure aborts: a target that cannot
// draw would report nothing useful.
void startDummyTerminal();

// Writes exactly these bytes to name (created or truncated); aborts when the
// file cannot be written, since the run would then test nothing.
void writeBytes(const char* name, const std::uint8_t* data, std::size_t size);
void writeBytes(const char* name, const std::string& bytes);
// The whole file, or an empty string when it cannot be read.
std::string readBytes(const char* name);

// Empties every per-page list of the global state (the active element table,
// the control lists, the radio buttons and the forms) and clears the
// rendering engine, as the browser does between two pages. The lists are
// emptied even when the table is empty: a page may leave a form behind
// without any element.
void forgetPage();

}  // namespace wexafuzz
