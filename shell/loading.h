#pragma once
// The status line while a page is fetched from the proxy server: what is
// fetched and how much has arrived; ESC gives the fetch up, other keys typed
// meanwhile are dropped (they must not act on the page that comes), and the
// screen follows the terminal's size.

#include <curses.h>

#include <cstddef>
#include <string>
#include <vector>

#include "net/network.h"
#include "screen/keys.h"

class LoadingLine : public FetchProgress {
public:
    // Saves the status line and shows what is fetched in its place.
    void started(const char* what) override;
    // Follows a resize, reads the keys typed so far; false after ESC.
    bool keepWaiting(std::size_t received) override;
    // The status line as it was; keys typed meanwhile are dropped (those
    // already waiting when the fetch began are kept).
    void finished() override;

private:
    void draw(std::size_t received);

    bool active = false;
    std::string what;
    std::size_t shownKilobytes = 0;
    chtype savedStatus[SCREEN_COLS + 1] = {};
    std::vector<int> typedBefore;
};
