#pragma once
// Puts the parts of the global object that the network code uses into their
// start-up state, in a fresh working directory with ./cache/0.html, on the
// dummy terminal. Dialogs read keys from the curses key queue.

#include <curses.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "shell/global.h"
#include "support/testsupport.h"

namespace nettest {

// Queues keys so that the next reads get them in the order given.
inline void queueKeys(const std::string& keys) {
    for (auto k = keys.rbegin(); k != keys.rend(); ++k) ungetch(static_cast<unsigned char>(*k));
}

class GlobalState : public ::testing::Test {
protected:
    void SetUp() override {
        wexatest::useDummyTerminal();
        static bool padCreated = GlobalNamespace.renderer.createPad();
        (void)padCreated;
        dir = std::make_unique<wexatest::TempDir>();
        ::mkdir("cache", 0755);
        wexatest::writeFile("cache/0.html", startPage);
        GlobalNamespace.pageCache = cache();
        GlobalNamespace.url = UniformResourceLocator{};
        GlobalNamespace.message = ErrorMessage();
        ServerIO& io = GlobalNamespace.network.io;
        io.setAddress("127.0.0.1");
        io.setConnectTimeout(2000);
        io.setReplyTimeout(5000);
        // A message window waits for a key: one is always ready.
        queueKeys(" ");
    }
    void TearDown() override {
        flushinp();
        GlobalNamespace.network.io.close();
        dir.reset();
    }

    const std::string startPage = "<html>start</html>";
    std::unique_ptr<wexatest::TempDir> dir;
};

}  // namespace nettest
