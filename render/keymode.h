#pragma once
// The key handler's mode as the active element table and the text fields see
// it. The shell's key handler implements it with its global-mode and
// pending-Tab flags.

class KeyMode {
public:
    virtual ~KeyMode() = default;

    // True in Global mode (keys act on the browser), false in Local mode.
    virtual bool inGlobalMode() const = 0;
    // A text field was left with ESC: the browser is in Global mode now.
    virtual void enterGlobalMode() = 0;
    // The key handler is to process a Tab next instead of reading a key.
    virtual void takeTabNext() = 0;
};
