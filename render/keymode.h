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
    // A text field was left with a key that moves the focus (Shift-Tab, an
    // arrow): the key handler is to process that key next.
    virtual void takeKeyNext(int key) = 0;
    // Whether such a key waits to be processed.
    virtual bool keyPending() const = 0;
};
