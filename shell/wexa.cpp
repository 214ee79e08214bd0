// wexa: a keyboard-driven text-mode web browser for an 80x24 terminal.
// Pages come from the proxy server wexapserver; ./cache/0.html is the start
// page, shown without any network traffic.

#include <curses.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "common/check.h"
#include "common/programinfo.h"
#include "net/cache.h"
#include "screen/keys.h"
#include "shell/global.h"
#include "shell/stub.h"

namespace {

constexpr const char* START_PAGE_UNREADABLE = "The start page ./cache/0.html cannot be read";

// Starts curses on the user's terminal. On failure the terminal is left as
// it was and `why` says what is wrong, in one line.
bool startScreen(std::string& why) {
    const char* term = std::getenv("TERM");
    if (term == nullptr || *term == '\0') {
        why = "TERM is not set; wexa needs a terminal of at least 80x24";
        return false;
    }
    if (newterm(nullptr, stdout, stdin) == nullptr) {
        why = std::string("unknown terminal type \"") + term + "\"";
        return false;
    }
    if (LINES < SCREEN_ROWS || COLS < SCREEN_COLS) {
        why = "the terminal is " + std::to_string(COLS) + "x" + std::to_string(LINES) +
              "; wexa needs at least 80x24";
        endwin();
        return false;
    }
    useShortEscapeDelay();
    defineEditingKeys();
    return true;
}

extern "C" void onTerminatingSignal(int sig) {
    // Give the terminal back before the default action ends the program.
    restoreTerminal();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

std::terminate_handler defaultTerminate = nullptr;

// An exception that nothing caught: the terminal first, then the usual
// report and abort.
[[noreturn]] void onTerminate() {
    restoreTerminal();
    if (defaultTerminate != nullptr) defaultTerminate();
    std::abort();
}

// Every way out that does not pass through main's end gives the terminal back.
void restoreTerminalOnEveryExit() {
    wexa::fatalHook() = restoreTerminal;
    defaultTerminate = std::set_terminate(onTerminate);
    for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGABRT}) std::signal(sig, onTerminatingSignal);
#if !defined(__SANITIZE_ADDRESS__)
    // Under AddressSanitizer its own handler reports these and then aborts,
    // which the SIGABRT handler covers.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(sig, onTerminatingSignal);
#endif
}

// The browser keeps its pages in ./cache/ and starts with ./cache/0.html.
bool isDirectory(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether the start page can be read (without blocking on a pipe).
bool startPageReadable() {
    const std::string path = std::string(CACHE_DIRECTORY) + cacheFileName(0);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = wexa::answerHelpAndVersion(argc, argv, "wexa", wexa::WEXA_USAGE); status >= 0)
        return status;
    StubClass stub;

    // The address kept by the proxy address dialog, when there is one.
    if (GlobalNamespace.proxy.load()) GlobalNamespace.network.io.setAddress(GlobalNamespace.proxy.getIP());

    if (!isDirectory(CACHE_DIRECTORY)) {
        std::fputs(
            "\nwexa: there is no directory ./cache/ here; wexa keeps its pages there and starts with "
            "./cache/0.html\n",
            stderr);
        return 1;
    }

    std::string why;
    watchTerminalSize();
    if (!startScreen(why)) {
        std::fprintf(stderr, "\nwexa: %s\n", why.c_str());
        return 1;
    }
    restoreTerminalOnEveryExit();
    if (!GlobalNamespace.renderer.createPad()) {
        restoreTerminal();
        std::fputs("\nwexa: cannot create the page buffer\n", stderr);
        return 1;
    }

    stub.initCurses();
    splashScreen();
    if (!startPageReadable()) GlobalNamespace.message.showErrorMessage(START_PAGE_UNREADABLE, false);
    GlobalNamespace.url.setURL(START_PAGE_URL, CACHED);

    // The URL of the page on screen. A fetch that brings no page (it failed,
    // or the user gave it up) leaves the page on screen as it was, and the
    // URL too, so that its links are resolved against the page they are on.
    UniformResourceLocator shown = GlobalNamespace.url;
    bool pageShown = false;
    bool quit = false;
    while (!quit) {
        bool resume = false;
        if (const char* fileName = stub.fetch()) {
            stub.Render(fileName);
            shown = GlobalNamespace.url;
            pageShown = true;
        } else if (pageShown) {
            GlobalNamespace.url = shown;
            resume = true;
        }
        quit = stub.EventHandler(resume);
    }
    stub.endCurses();
    stub.killAll();
    return 0;
}
