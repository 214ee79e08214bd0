#pragma once
// The message window as the parts below the shell see it: the network code
// and the controls report what the user must know through it. The shell's
// ErrorMessage implements it.

class MessageWindow {
public:
    virtual ~MessageWindow() = default;
    // Shows text as a success or an error message and waits for a key.
    virtual void showErrorMessage(const char* text, bool success) = 0;
};
