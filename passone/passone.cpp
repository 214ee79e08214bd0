#include "passone/passone.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "common/bounded.h"
#include "passone/comIdentifier.h"
#include "passone/pagestream.h"
#include "passone/tokenizer.h"
#include "shell/global.h"

namespace {

constexpr const char* kStreamFile = "pass1.tmp";
constexpr const char* kDefaultTitle = " Untitled";
// The rule of HR spans the 78-column page line of pass three.
constexpr std::size_t kRuleWidth = 78;

// selectState: whether a drop-down list is open (its text tokens are not page
// text but option texts).
constexpr int kSelectOpen = 4;
constexpr int kSelectClosed = 5;

// State of one run of pass one. The form and drop-down list state of links
// and form controls belongs here as well.
struct RunState {
    int selectState = kSelectClosed;
};

// Removes every byte below 32 from text, in place. The stream cannot carry
// such a byte as text: a reader would take it for a control code.
void dropControlBytes(char* text) {
    std::size_t kept = 0;
    for (std::size_t i = 0; text[i] != '\0'; ++i)
        if (static_cast<unsigned char>(text[i]) >= 32) text[kept++] = text[i];
    text[kept] = '\0';
}

// Writes page text with every byte below 32 left out (see dropControlBytes),
// in runs, in one pass over the text.
void writeText(const char* text, std::fstream& out) {
    const char* run = text;
    const char* p = text;
    for (; *p != '\0'; ++p) {
        if (static_cast<unsigned char>(*p) < 32) {
            out.write(run, p - run);
            run = p + 1;
        }
    }
    out.write(run, p - run);
}

// Creates or truncates the stream file with permission bits 0664 (subject to
// the umask) and opens it for writing. A failure leaves out closed, so that
// every write is a no-op and the stream stays empty.
void openStream(std::fstream& out) {
    const int fd = ::open(kStreamFile, O_WRONLY | O_CREAT | O_TRUNC, 0664);
    if (fd >= 0) ::close(fd);
    out.open(kStreamFile, std::ios::out | std::ios::binary | std::ios::trunc);
}

void writeRule(std::fstream& out) {
    static const std::string rule = std::string(1, static_cast<char>(PS_NL)) + std::string(kRuleWidth, '_') +
                                    std::string(1, static_cast<char>(PS_NL));
    out.write(rule.data(), static_cast<std::streamsize>(rule.size()));
}

// TITLE: the next token is the title if it is text. A tag in its place
// (/TITLE right away, say) is consumed and dropped, and the title stays.
// current receives the token read.
void takeTitle(Tokenizer& tokenizer, char (&current)[Tokenizer::MAX_TOKEN + 1]) {
    const char* next = tokenizer.getNextToken();
    if (next == nullptr || tokenizer.tokenType != Tokenizer::TEXT) return;
    wexa::boundedCopy(current, next);
    // A control byte in the title line would move the cursor or leave
    // escape sequences on the screen.
    dropControlBytes(current);
    GlobalNamespace.page.setTitle(current);
}

}  // namespace

void PageProperties::setTitle(const char* text) {
    const std::size_t longest = TITLE_SIZE - 1;
    if (text != nullptr && strnlen(text, longest + 1) > longest) {
        const std::size_t kept = longest - 3;  // room for the three dots
        wexa::boundedCopy(title, kept + 1, text);
        wexa::boundedAppend(title, "...");
    } else {
        wexa::boundedCopy(title, text);
    }
}

void PassOne::writeString(const char* text, std::fstream& out) {
    if (text == nullptr) return;
    out.write(text, static_cast<std::streamsize>(std::strlen(text)));
}

void PassOne::passOne(const char* path) {
    GlobalNamespace.page.setTitle(kDefaultTitle);

    Tokenizer tokenizer(path);
    std::fstream out;
    openStream(out);
    RunState state;
    // Copy of the tag last read: the tokenizer's buffer is reused by the
    // next read, and some actions read a further token while they still
    // need their own tag text. Text is written straight from the tokenizer's
    // buffer, which saves a copy of almost every byte of a page.
    char current[Tokenizer::MAX_TOKEN + 1];

    for (const char* token = tokenizer.getNextToken(); token != nullptr; token = tokenizer.getNextToken()) {
        if (tokenizer.tokenType == Tokenizer::TEXT) {
            if (state.selectState != kSelectOpen) writeText(token, out);
            continue;
        }
        wexa::boundedCopy(current, token);

        // Every tag acts on its own: nesting and balance are never checked,
        // the later passes cope with whatever order they get.
        const int code = componentIdentifier::whichComponent(current);
        switch (code) {
            case PS_TABLE:
            case PS_TR:
            case PS_TD_END:
            case PS_TR_END:
            case PS_TABLE_END:
            case PS_OL:
            case PS_OL_END:
            case PS_UL:
            case PS_UL_END:
            case PS_LI:
            case PS_LI_END:
            case PS_BOLD:
            case PS_BOLD_END:
            case PS_UNDERLINE:
            case PS_UNDERLINE_END:
            case PS_CENTER:
            case PS_CENTER_END:
                out.put(static_cast<char>(code));
                break;
            case PS_TD:
                out.put(static_cast<char>(PS_TD));
                out.put(static_cast<char>(componentIdentifier::whichAlignType(current)));
                break;
            case TagCode::BR:
                out.put(static_cast<char>(PS_NL));
                break;
            case TagCode::HR:
                writeRule(out);
                break;
            case TagCode::TITLE:
                takeTitle(tokenizer, current);
                break;

            // Links, forms and form controls: each gets its action here once
            // pass one builds active elements; until then their tags are
            // dropped like tags without an action.
            case TagCode::A:
                break;
            case TagCode::FORM:
                break;
            case TagCode::FORM_END:
                break;
            case TagCode::INPUT:
                break;
            case TagCode::IMG:
                break;
            case TagCode::SELECT:
                break;
            case TagCode::OPTION:
                break;
            case TagCode::SELECT_END:
                break;
            case TagCode::TEXTAREA:
                break;

            default:
                // Unknown tags (-1) and document structure tags (HTML, HEAD,
                // BODY and the remaining end tags) have no action.
                break;
        }
    }
}
