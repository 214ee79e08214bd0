#pragma once
// Pass three's reader: splits pass2.tmp into text runs and layout codes and
// hands every token to the rendering engine's acceptToken.
//
// A token is a pointer and a number: for a text run the number is the index
// of its last byte (1 to 513 bytes, not NUL-terminated); for a code it is -1
// and the code is the byte at the pointer. The pointer is valid only during
// the call that receives it.

class Rendering_Engine;

class Pass3_Tokenizer {
public:
    // Receiver of the tokens, for callers other than the page renderer.
    using TokenSink = void (*)(void* context, const char* token, short last);

    Pass3_Tokenizer();
    bool ifDelimiter(char c) const;
    // Reads the whole file into the rendering engine; a file that cannot be
    // opened delivers nothing.
    void findToken(const char* fileName, Rendering_Engine& renderer) const;
    // The same reading, handing each token to `sink` instead of a rendering
    // engine.
    void findToken(const char* fileName, TokenSink sink, void* context) const;
    // Reads from byte offset of the file on, which must be where a token
    // begins (as every token boundary of a whole reading is: nothing is
    // held back across one), and stops after the token on which *stop
    // became true (stop may be null). Tokens are cut exactly as in a whole
    // reading.
    void findToken(const char* fileName, long offset, TokenSink sink, void* context, const bool* stop) const;
    void findToken(const char* fileName, long offset, Rendering_Engine& renderer, const bool* stop) const;

    static constexpr short TOKEN_BUFFER_SIZE = 513;

private:
    char delimiters[14];
};
