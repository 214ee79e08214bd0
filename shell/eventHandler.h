#pragma once
// The browser's keyboard loop outside the form controls, in Global mode
// (keys act on the browser) or Local mode (keys go to the focused element).
// The active element table and the text fields see its two flags through
// the KeyMode interface.

#include "render/keymode.h"

class eventHandler : public KeyMode {
public:
    eventHandler() = default;
    // True when quitting was confirmed; false when the URL now set in
    // GlobalNamespace.url is to be fetched and shown.
    bool handleEvents();

    // KeyMode
    bool inGlobalMode() const override { return globalMode; }
    void enterGlobalMode() override { globalMode = true; }
    void takeTabNext() override { pendingTab = true; }

    short key = 0;
    bool globalMode = true;
    bool pendingTab = false;

private:
    // The F2 window; true when a URL was entered and set.
    bool urlWindow();
    void shellEscape();
    void drawModeWord() const;
};
