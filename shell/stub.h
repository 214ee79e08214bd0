#pragma once
// The driver of the page cycle: fetch a page, run the three passes over it,
// hand control to the key handler, repeat.

class StubClass {
public:
    StubClass();
    void initCurses();
    void endCurses();
    const char* fetch();
    void Render(const char* fileName);
    // Runs the key handler. With resume, the page on screen is the one the
    // handler left last: its focus and the mode stay as they were.
    bool EventHandler(bool resume = false);
    void killAll();
    void Pass3(const char* fileName);
};
