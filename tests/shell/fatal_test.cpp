// A failed check ends the browser, but not before the terminal is given back:
// the fatal hook runs restoreTerminal, then the message is printed and the
// program aborts. Run in a child process on a pseudo terminal, whose modes
// the parent reads afterwards.

#include <curses.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/check.h"
#include "screen/keys.h"

namespace {

bool cooked(const termios& modes) {
    return (modes.c_lflag & ECHO) != 0 && (modes.c_lflag & ICANON) != 0;
}

// In the child: curses in the browser's modes on the pseudo terminal, then a
// failed check. Exit codes above 0 tell what went wrong before the check.
[[noreturn]] void runBrowserLikeChild(int terminal) {
    ::dup2(terminal, STDERR_FILENO);  // the check's message goes to the terminal too
    ::setenv("TERM", "xterm", 1);
    std::FILE* io = ::fdopen(terminal, "r+");
    if (io == nullptr || newterm(nullptr, io, io) == nullptr) ::_exit(2);
    noecho();
    raw();
    keypad(stdscr, TRUE);
    mvaddstr(0, 0, "page");
    refresh();
    termios inCurses{};
    if (::tcgetattr(terminal, &inCurses) != 0 || cooked(inCurses)) ::_exit(3);
    wexa::fatalHook() = restoreTerminal;
    WEXA_CHECK(inCurses.c_lflag == 0xdead, "first != __null");
    ::_exit(4);
}

// Reads what the child writes until it has ended; returns its wait status.
int collectUntilExit(pid_t child, int master, std::string& output) {
    int status = 0;
    for (int rounds = 0; rounds < 100; ++rounds) {
        pollfd p{master, POLLIN, 0};
        while (::poll(&p, 1, 50) > 0) {
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) break;
            output.append(buf, static_cast<size_t>(n));
        }
        if (::waitpid(child, &status, WNOHANG) == child) return status;
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return status;
}

TEST(FatalHook, FailedCheckGivesTheTerminalBackBeforeItsMessageAndAbort) {
    int master = -1, terminal = -1;
    ASSERT_EQ(::openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(terminal, &before), 0);
    ASSERT_TRUE(cooked(before));

    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) runBrowserLikeChild(terminal);

    std::string output;
    const int status = collectUntilExit(child, master, output);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit code " << WEXITSTATUS(status) << ", output: " << output;
    EXPECT_EQ(WTERMSIG(status), SIGABRT);

    termios after{};
    ASSERT_EQ(::tcgetattr(terminal, &after), 0);
    EXPECT_TRUE(cooked(after)) << "the terminal was left in raw mode";
    // curses left its screen (xterm: leave the alternate screen) before the
    // message was written.
    const size_t leftScreen = output.find("\033[?1049l");
    const size_t message = output.find("Assertion `first != __null' failed.");
    ASSERT_NE(message, std::string::npos) << output;
    ASSERT_NE(leftScreen, std::string::npos) << output;
    EXPECT_LT(leftScreen, message);
    ::close(master);
    ::close(terminal);
}

}  // namespace
