#pragma once
// The browser's keyboard loop outside the form controls, in Global mode
// (keys act on the browser) or Local mode (keys go to the focused element).
// The active element table and the text fields see its flags through the
// KeyMode interface.

#include <string>

#include "render/keymode.h"

struct ASTNode;

class eventHandler : public KeyMode {
public:
    eventHandler() = default;
    // True when quitting was confirmed; false when the URL now set in
    // GlobalNamespace.url is to be fetched and shown. With resume, the page
    // on screen is the one the handler left last (the page asked for could
    // not be fetched): the mode and the focused element stay as they were.
    bool handleEvents(bool resume = false);

    // KeyMode
    bool inGlobalMode() const override { return globalMode; }
    void enterGlobalMode() override { globalMode = true; }
    void takeTabNext() override { pendingTab = true; }
    void takeKeyNext(int k) override { pendingKey = k; }
    bool keyPending() const override { return pendingKey != 0; }

    short key = 0;
    bool globalMode = true;
    bool pendingTab = false;
    int pendingKey = 0;  // a key a text field was left with, to act on next

private:
    // The F2 window; true when a URL was entered and set.
    bool urlWindow();
    void shellEscape();
    void drawModeWord() const;
    // The next key: the one a text field was left with, the Tab that ends a
    // text box's edit loop, or one read from the keyboard.
    int nextKey();
    void enterLocalMode();
    // Back to Global mode: the focused element drawn unfocused, the status
    // line as in Global mode.
    void leaveLocalMode();
    // The keys Local mode has besides those of the elements: Up and
    // Shift-Tab (previous element), Page Up and Down (a page, then the first
    // element in view), / n = (as in Global mode; a match found moves the
    // focus as focusInView says). True when key was one.
    bool localNavigation();
    // / asks for a text and finds it from the first row shown; n (next)
    // finds the text asked for last again, after its last match. False when
    // nothing was searched for or found.
    bool search(bool next);
    // After the view moved in Local mode: the focused element, when in view,
    // is drawn focused again; otherwise the first element in view takes the
    // focus (focusFirstInView).
    void focusInView();
    // Gives the focus to the first element in view, if there is one.
    void focusFirstInView();
    // Whether node's element is on a row of the view.
    bool inView(const ASTNode* node) const;
    // = shows where the page comes from and, in Local mode, where the
    // focused link leads or where its form is sent.
    void showWhere() const;

    std::string searchText;
};
