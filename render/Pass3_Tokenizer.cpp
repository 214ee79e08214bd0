#include "render/Pass3_Tokenizer.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "passone/pagestream.h"
#include "render/Rendering_Engine.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void toRenderer(void* renderer, const char* token, short last) {
    static_cast<Rendering_Engine*>(renderer)->acceptToken(token, last);
}

}  // namespace

// The fourteen codes that pass three acts on; every other byte, the table
// codes included, is text here.
Pass3_Tokenizer::Pass3_Tokenizer()
    : delimiters{PS_OL,     PS_OL_END,     PS_UL,       PS_UL_END,    PS_LI,
                 PS_LI_END, PS_BOLD,       PS_BOLD_END, PS_UNDERLINE, PS_UNDERLINE_END,
                 PS_CENTER, PS_CENTER_END, PS_NL,       PS_TAB} {}

bool Pass3_Tokenizer::ifDelimiter(char c) const {
    return std::memchr(delimiters, c, sizeof delimiters) != nullptr;
}

void Pass3_Tokenizer::findToken(const char* fileName, Rendering_Engine& renderer) const {
    findToken(fileName, 0, toRenderer, &renderer, nullptr);
}

void Pass3_Tokenizer::findToken(const char* fileName, long offset, Rendering_Engine& renderer,
                                const bool* stop) const {
    findToken(fileName, offset, toRenderer, &renderer, stop);
}

void Pass3_Tokenizer::findToken(const char* fileName, TokenSink sink, void* context) const {
    findToken(fileName, 0, sink, context, nullptr);
}

void Pass3_Tokenizer::findToken(const char* fileName, long offset, TokenSink sink, void* context,
                                const bool* stop) const {
    if (fileName == nullptr || sink == nullptr || offset < 0) return;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName, "rb"));
    if (!file) return;
    if (offset > 0 && std::fseek(file.get(), offset, SEEK_SET) != 0) return;
    auto stopped = [stop] { return stop != nullptr && *stop; };

    bool isDelimiter[256] = {};
    for (char c : delimiters) isDelimiter[static_cast<unsigned char>(c)] = true;

    // The file is read in large blocks; tokens are cut exactly as if it were
    // read byte by byte: a full text buffer is handed over as one token, a
    // code ends the text before it and is handed over alone.
    static constexpr std::size_t BLOCK = 1 << 16;
    std::unique_ptr<char[]> block(new char[BLOCK]);
    char text[TOKEN_BUFFER_SIZE];
    short used = 0;
    std::size_t got;
    while ((got = std::fread(block.get(), 1, BLOCK, file.get())) > 0) {
        const char* p = block.get();
        const char* const end = p + got;
        while (p < end) {
            const unsigned char byte = static_cast<unsigned char>(*p);
            if (isDelimiter[byte]) {
                if (used > 0) sink(context, text, static_cast<short>(used - 1));
                used = 0;
                if (stopped()) return;
                const char code = *p;
                sink(context, &code, -1);
                if (stopped()) return;
                ++p;
                continue;
            }
            const char* run = p;
            while (p < end && !isDelimiter[static_cast<unsigned char>(*p)]) ++p;
            std::size_t length = static_cast<std::size_t>(p - run);
            while (length > 0) {
                if (used == TOKEN_BUFFER_SIZE) {
                    sink(context, text, static_cast<short>(used - 1));
                    used = 0;
                    if (stopped()) return;
                }
                const std::size_t room = static_cast<std::size_t>(TOKEN_BUFFER_SIZE - used);
                const std::size_t take = length < room ? length : room;
                std::memcpy(text + used, run, take);
                used = static_cast<short>(used + take);
                run += take;
                length -= take;
            }
        }
    }
    if (used > 0) sink(context, text, static_cast<short>(used - 1));
}
