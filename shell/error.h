#pragma once
// The message window (an error or success message with one button) and the
// two-button quit confirmation.

#include <string>

#include "screen/messages.h"

class ErrorMessage : public MessageWindow {
public:
    ErrorMessage() = default;
    explicit ErrorMessage(const char* text);

    // Stores a copy of text, then shows it; waits for a key.
    void showErrorMessage(const char* text, bool success) override;
    void show(bool success) const;
    // The quit confirmation; true when the user chose OK.
    bool optionWindow();

    const std::string& getText() const { return text; }

private:
    std::string text;  // the current message (its length is text.size())
};
