#include "net/proxyset.h"

#include <arpa/inet.h>
#include <curses.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/bounded.h"
#include "common/check.h"
#include "net/netio.h"
#include "render/pageview.h"
#include "screen/keys.h"
#include "screen/messages.h"
#include "screen/window.h"

namespace {

constexpr int MAX_TYPED = 15;

enum class Kind { MISSING, REGULAR, OTHER };

Kind kindOf(const char* name) {
    struct stat st {};
    if (::stat(name, &st) != 0) return errno == ENOENT ? Kind::MISSING : Kind::OTHER;
    return S_ISREG(st.st_mode) ? Kind::REGULAR : Kind::OTHER;
}

// Creates the file empty with exactly 0664, whatever the umask says.
void createEmpty(const char* name) {
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
    if (fd < 0) return;
    ::fchmod(fd, 0664);
    ::close(fd);
}

// The same test the connection applies: text it could not connect to is no
// address.
bool usableAddress(const char* text) {
    return text[0] != '\0' && inet_addr(text) != INADDR_NONE;
}

// Asks the server at address whether it is alive; the test connection is
// closed afterwards.
bool answersPing(ServerIO& io, const char* address) {
    io.Connect(address);
    bool alive = false;
    if (io.isConnected() && io.println("PING\n")) {
        const char* line = io.readLine();
        alive = line != nullptr && std::strncmp(line, "ALIVE", 5) == 0;
    }
    io.close();
    return alive;
}

}  // namespace

void Proxy::connect(ServerIO& connection, MessageWindow& messageWindow, PageView& pageView) {
    io = &connection;
    messages = &messageWindow;
    page = &pageView;
}

bool Proxy::load() {
    std::memset(address, 0, sizeof address);
    switch (kindOf(CONF_FILE)) {
        case Kind::MISSING:
            createEmpty(CONF_FILE);
            return false;
        case Kind::OTHER:  // a directory, a pipe, or not even stat-able
            return false;
        case Kind::REGULAR:
            break;
    }
    char bytes[CONF_SIZE] = {};
    conf.open(CONF_FILE, std::ios::in | std::ios::binary);
    if (!conf.is_open()) {
        conf.clear();
        return false;
    }
    conf.read(bytes, sizeof bytes);
    const std::streamsize got = conf.gcount();
    conf.close();
    conf.clear();
    // Only a terminated address among the bytes actually read counts.
    if (got <= 0 || std::memchr(bytes, '\0', static_cast<size_t>(got)) == nullptr) return false;
    if (!usableAddress(bytes)) return false;
    wexa::boundedCopy(address, bytes);
    return true;
}

void Proxy::store(const char (&input)[CONF_SIZE]) {
    const Kind kind = kindOf(CONF_FILE);
    if (kind == Kind::OTHER) return;
    if (kind == Kind::MISSING) createEmpty(CONF_FILE);
    conf.open(CONF_FILE, std::ios::out | std::ios::binary | std::ios::trunc);
    if (conf.is_open()) {
        conf.write(input, sizeof input);
        conf.close();
    }
    conf.clear();
}

bool Proxy::setNew() {
    WEXA_CHECK(io != nullptr && messages != nullptr && page != nullptr, "proxy dialog connected");
    WindowHandle dialog = openInputWindow("Enter new IP Address", 28);
    if (!dialog) return false;
    WINDOW* w = dialog.get();

    char input[CONF_SIZE] = {};
    echo();
    showTextCursor();
    // An input cut short (the terminal was resized while typing) is not an
    // address to test: the dialog closes as after an empty input.
    if (mvwgetnstr(w, 2, 1, input, MAX_TYPED) == ERR) input[0] = '\0';
    hideTextCursor();
    noecho();

    if (input[0] == '\0') {
        dialog.reset();
        page->repaint();
        return true;
    }

    const bool alive = answersPing(*io, input);
    page->repaint();
    if (alive) {
        messages->showErrorMessage("Proxy Server address configured successfully", true);
    } else {
        messages->showErrorMessage("Proxy Server address configuration failed!", false);
    }
    readKey(w);
    if (alive) {
        wexa::boundedCopy(address, input);
        io->setAddress(input);
        store(input);
    }
    dialog.reset();
    page->repaint();
    return alive;
}
