#include "passone/passone.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/bounded.h"
#include "common/check.h"
#include "passone/comIdentifier.h"
#include "passone/pagebuilder.h"
#include "passone/pagestream.h"
#include "passone/tokenizer.h"

namespace {

constexpr const char* DEFAULT_TITLE = " Untitled";
// The rule of HR spans the 78-column page line of pass three.
constexpr std::size_t RULE_WIDTH = 78;
// A text area is shown, not edited: no control stands behind it.
constexpr const char* TEXT_AREA_PLACEHOLDER = "[__________________]";

using TokenBuffer = char[Tokenizer::MAX_TOKEN + 1];

PageBuilder* pageBuilder = nullptr;

// Writes page text with every byte below 32 left out (see dropControlBytes),
// in runs, in one pass over the text. Null writes nothing.
void writeText(const char* text, std::fstream& out) {
    if (text == nullptr) return;
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
    const int fd = ::open(PASS1_FILE, O_WRONLY | O_CREAT | O_TRUNC, 0664);
    if (fd >= 0) ::close(fd);
    out.open(PASS1_FILE, std::ios::out | std::ios::binary | std::ios::trunc);
}

void writeRule(std::fstream& out) {
    static const std::string RULE = std::string(1, static_cast<char>(PS_NL)) + std::string(RULE_WIDTH, '_') +
                                    std::string(1, static_cast<char>(PS_NL));
    out.write(RULE.data(), static_cast<std::streamsize>(RULE.size()));
}

// One run of pass one over a page: the tokenizer, the stream, the tag last
// read and whether a drop-down list is open; the page's elements go to the
// builder.
//
// Pairing rule of the stream: every registered element is written as
// PS_TAB, its text, PS_TAB, in the order of registration, and nothing else
// is ever enclosed in delimiters. An element that could not be registered
// (its list or the active element table is full) is written as plain text.
// The builder registers an element before pass one writes its bytes; the
// stream is the same as if the opening delimiter had been written first.
class Run {
public:
    Run(const char* path, PageBuilder& builder) : tokenizer(path), builder(builder) { openStream(out); }

    Tokenizer tokenizer;
    std::fstream out;
    PageBuilder& builder;
    // Copy of the tag last read: the tokenizer's buffer is reused by the
    // next read, and some actions read a further token while they still
    // need their own tag text.
    TokenBuffer current = {};
    // While a drop-down list is open its text tokens are not page text but
    // option texts.
    bool listOpen = false;

    // Writes an element's text: between delimiters when it was registered,
    // as plain text otherwise (see the pairing rule above).
    void writeElement(const PageBuilder::Element& element) {
        if (element.registered) out.put(static_cast<char>(PS_TAB));
        writeText(element.text.c_str(), out);
        if (element.registered) out.put(static_cast<char>(PS_TAB));
    }

    // A: a link whose text is the token after the tag. Returns a tag that
    // followed the A tag and was not used (any tag but IMG), for the main
    // loop to handle next; null otherwise.
    const char* linkAction() {
        const char* next = tokenizer.getNextToken();
        // An A tag at the very end of the page has no text: no link.
        if (next == nullptr) return nullptr;

        const char* handBack = nullptr;
        TokenBuffer text = {};
        if (tokenizer.tokenType == Tokenizer::TEXT) {
            wexa::boundedCopy(text, next);
        } else if (componentIdentifier::whichComponent(next) == TagCode::IMG) {
            // The image only lends its text; the link is the element.
            wexa::boundedCopy(text, builder.imageText(next).c_str());
        } else {
            handBack = next;
        }
        dropControlBytes(text);
        writeElement(builder.addLink(current, text));
        return handBack;
    }

    // OPTION: the next token is the option's text. Returns a tag read in
    // its place (no option is added), for the main loop to handle next, so
    // that an empty option right before /SELECT does not leave the list open
    // for the rest of the page; null otherwise.
    const char* optionAction() {
        if (!listOpen) return nullptr;
        const char* next = tokenizer.getNextToken();
        if (next == nullptr) return nullptr;
        if (tokenizer.tokenType != Tokenizer::TEXT) return next;
        builder.addOption(current, next);
        return nullptr;
    }

    // SELECT: opens a drop-down list, unless one is open already. Its
    // segment is written in two steps: the opening delimiter now, the text
    // and the closing delimiter when the list closes. Codes of tags in
    // between land inside it.
    void selectAction() {
        if (listOpen) return;
        if (builder.openList(current)) out.put(static_cast<char>(PS_TAB));
        listOpen = true;
    }

    // /SELECT, and the end of the page or an element that cannot stand
    // inside a list while one is open: completes the open list and writes
    // its text and closing delimiter.
    void closeList() {
        if (!listOpen) return;
        const PageBuilder::Element list = builder.closeList();
        writeText(list.text.c_str(), out);
        if (list.registered) out.put(static_cast<char>(PS_TAB));
        listOpen = false;
    }

    void textAreaAction() { writeText(TEXT_AREA_PLACEHOLDER, out); }

    // IMG outside a link: its text only, not an element. Inside an open
    // drop-down list it is dropped, as text is there.
    void imageAction() {
        if (listOpen) return;
        writeText(builder.imageText(current).c_str(), out);
    }

    // TITLE: the next token is the title if it is text. A tag in its place
    // (/TITLE right away, say) is consumed and dropped, and the title stays.
    void titleAction() {
        const char* next = tokenizer.getNextToken();
        if (next == nullptr || tokenizer.tokenType != Tokenizer::TEXT) return;
        TokenBuffer title = {};
        wexa::boundedCopy(title, next);
        // A control byte in the title line would move the cursor or leave
        // escape sequences on the screen.
        dropControlBytes(title);
        builder.setTitle(title);
    }
};

}  // namespace

void installPageBuilder(PageBuilder* builder) {
    pageBuilder = builder;
}

PageBuilder* installedPageBuilder() {
    return pageBuilder;
}

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
    WEXA_CHECK(pageBuilder != nullptr, "pageBuilder != __null");
    pageBuilder->beginPage();
    pageBuilder->setTitle(DEFAULT_TITLE);
    Run run(path, *pageBuilder);
    std::fstream& out = run.out;

    const char* token = run.tokenizer.getNextToken();
    while (token != nullptr) {
        // A tag that an action read but did not use; it is handled next,
        // as if the main loop had just read it.
        const char* handBack = nullptr;

        if (run.tokenizer.tokenType == Tokenizer::TEXT) {
            // Text is written straight from the tokenizer's buffer, which
            // saves a copy of almost every byte of a page.
            if (!run.listOpen) writeText(token, out);
            token = run.tokenizer.getNextToken();
            continue;
        }
        wexa::boundedCopy(run.current, token);

        // Every tag acts on its own: nesting and balance are never checked,
        // the later passes cope with whatever order they get.
        const int code = componentIdentifier::whichComponent(run.current);
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
                out.put(static_cast<char>(componentIdentifier::whichAlignType(run.current)));
                break;
            case TagCode::BR:
                out.put(static_cast<char>(PS_NL));
                break;
            case TagCode::HR:
                writeRule(out);
                break;
            case TagCode::TITLE:
                run.titleAction();
                break;

            // A link, an input or a text area cannot stand inside a
            // drop-down list's segment: its delimiters would nest in the
            // list's and break the pairing of delimiters and elements. Such
            // a tag closes an open list first.
            case TagCode::A:
                run.closeList();
                handBack = run.linkAction();
                break;
            case TagCode::INPUT:
                run.closeList();
                run.writeElement(
                    run.builder.addInput(componentIdentifier::whichInputType(run.current), run.current));
                break;
            case TagCode::TEXTAREA:
                run.closeList();
                run.textAreaAction();
                break;

            case TagCode::FORM:
                run.builder.openForm(run.current);
                break;
            case TagCode::FORM_END:
                run.builder.closeForm();
                break;
            case TagCode::IMG:
                run.imageAction();
                break;

            case TagCode::SELECT:
                run.selectAction();
                break;
            case TagCode::OPTION:
                handBack = run.optionAction();
                break;
            case TagCode::SELECT_END:
                run.closeList();
                break;

            default:
                // Unknown tags (-1) and document structure tags (HTML, HEAD,
                // BODY and the remaining end tags) have no action.
                break;
        }
        token = handBack != nullptr ? handBack : run.tokenizer.getNextToken();
    }
    // A list still open at the end of the page is closed there, so that its
    // opening delimiter has its closing one.
    run.closeList();
}
