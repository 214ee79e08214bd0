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
    bool EventHandler();
    void killAll();
    void Pass3(const char* fileName);
};
