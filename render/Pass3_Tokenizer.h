#pragma once
// Pass three's reader: splits pass2.tmp into text runs and layout codes and
// hands every token to the rendering engine's acceptToken.

class Pass3_Tokenizer {
public:
    Pass3_Tokenizer();
    bool ifDelimiter(char c) const;
    // Reads the whole file; a file that cannot be opened delivers nothing.
    void findToken(const char* fileName);

private:
    char delimiters[14];
};
