#include "passone/passone.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/bounded.h"
#include "common/check.h"
#include "controls/image.h"
#include "passone/comIdentifier.h"
#include "passone/pagestream.h"
#include "passone/tokenizer.h"
#include "shell/global.h"

namespace {

constexpr const char* kStreamFile = "pass1.tmp";
constexpr const char* kDefaultTitle = " Untitled";
// The rule of HR spans the 78-column page line of pass three.
constexpr std::size_t kRuleWidth = 78;
// A text area is shown, not edited: no control stands behind it.
constexpr const char* kTextAreaPlaceholder = "[__________________]";
// Link text of a link whose A tag is not followed by usable text and that
// has no target word to show instead.
constexpr const char* kLinkWithoutTarget = "LINK";
// What a drop-down list shows when it has no text of its own, so that the
// element still takes a column on the page.
constexpr const char* kEmptyListText = "-";

// selectState: whether a drop-down list is open (its text tokens are not page
// text but option texts).
constexpr int kSelectOpen = 4;
constexpr int kSelectClosed = 5;

using TokenBuffer = char[Tokenizer::MAX_TOKEN + 1];

// Whether a control of a kind becomes a member of the open form. Buttons are
// given the form instead; links never belong to one.
enum class Membership { JoinsForm, Separate };

// Removes every byte below 32 from text, in place. The stream cannot carry
// such a byte as text: a reader would take it for a control code.
void dropControlBytes(char* text) {
    std::size_t kept = 0;
    for (std::size_t i = 0; text[i] != '\0'; ++i)
        if (static_cast<unsigned char>(text[i]) >= 32) text[kept++] = text[i];
    text[kept] = '\0';
}

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
    const int fd = ::open(kStreamFile, O_WRONLY | O_CREAT | O_TRUNC, 0664);
    if (fd >= 0) ::close(fd);
    out.open(kStreamFile, std::ios::out | std::ios::binary | std::ios::trunc);
}

void writeRule(std::fstream& out) {
    static const std::string rule = std::string(1, static_cast<char>(PS_NL)) + std::string(kRuleWidth, '_') +
                                    std::string(1, static_cast<char>(PS_NL));
    out.write(rule.data(), static_cast<std::streamsize>(rule.size()));
}

// One run of pass one over a page: the tokenizer, the stream, the tag last
// read and the form and drop-down list state of the page.
//
// Pairing rule of the stream: every registered element is written as
// PS_TAB, its text, PS_TAB, in the order of registration, and nothing else
// is ever enclosed in delimiters. An element that could not be registered
// (its list or the active element table is full) is written as plain text.
// Actions that write an element therefore register it first and then write
// its bytes; the stream is the same as if the opening delimiter had been
// written first.
class Run {
public:
    explicit Run(const char* path) : tokenizer(path) { openStream(out); }

    Tokenizer tokenizer;
    std::fstream out;
    // Copy of the tag last read: the tokenizer's buffer is reused by the
    // next read, and some actions read a further token while they still
    // need their own tag text.
    TokenBuffer current = {};

    int selectState = kSelectClosed;
    bool inForm = false;
    // The form opened last, as stored in the form list; /FORM keeps it.
    Form* currentForm = nullptr;
    // The open drop-down list as stored in its list (or the temporary below
    // when the list of drop-down lists is full); null when none is open.
    Combo* currentCombo = nullptr;
    // The temporary of the open drop-down list, kept until it is closed.
    std::unique_ptr<Combo> newCombo;
    // Whether the open drop-down list was registered, i.e. whether its
    // opening delimiter was written and its closing one is due.
    bool comboRegistered = false;

    bool listOpen() const { return selectState == kSelectOpen; }

    // Registers the element stored at position count - 1 of the list of
    // kind; a control that joins forms becomes a member of the open form by
    // its index in the table. False when the table refused it.
    bool registerStored(ActiveTypes kind, short count, Membership membership) {
        const short serial = GlobalNamespace.ast.addElement(kind, static_cast<short>(count - 1));
        if (serial < 1) return false;
        if (membership == Membership::JoinsForm && inForm && currentForm != nullptr)
            currentForm->updateMemberList(static_cast<short>(serial - 1));
        return true;
    }

    // Writes an element's text: between delimiters when it was registered,
    // as plain text otherwise (see the pairing rule above).
    void writeElement(const char* text, bool registered) {
        if (registered) out.put(static_cast<char>(PS_TAB));
        writeText(text, out);
        if (registered) out.put(static_cast<char>(PS_TAB));
    }

    // Stores a copy of a freshly made control in its list, registers the
    // stored copy and writes its representation. When the list is full the
    // temporary's representation is written as plain text.
    template <class List, class Control>
    void placeControl(List& list, Control control, ActiveTypes kind, Membership membership) {
        const short count = list.addElement(control);
        if (count < 1) {
            writeElement(control.getRepresentation(), false);
            return;
        }
        Control* stored = list.getReferenceOf(static_cast<short>(count - 1));
        const bool registered = registerStored(kind, count, membership);
        writeElement(stored->getRepresentation(), registered);
    }

    // A: a link whose text is the token after the tag. Returns a tag that
    // followed the A tag and was not used (any tag but IMG), for the main
    // loop to handle next; null otherwise.
    const char* linkAction() {
        Hyperlink link(current);
        const char* next = tokenizer.getNextToken();
        // An A tag at the very end of the page has no text: no link.
        if (next == nullptr) return nullptr;

        const char* handBack = nullptr;
        TokenBuffer text = {};
        if (tokenizer.tokenType == Tokenizer::TEXT) {
            wexa::boundedCopy(text, next);
        } else if (componentIdentifier::whichComponent(next) == TagCode::IMG) {
            // The image only lends its text; the link is the element.
            Image image(next, false);
            wexa::boundedCopy(text, image.getRepresentation());
        } else {
            handBack = next;
        }
        dropControlBytes(text);
        // A link needs visible text to be seen and chosen: without any, it
        // shows its target word (never the text of the tag that followed).
        if (text[0] == '\0') {
            wexa::boundedCopy(text, link.getHref());
            dropControlBytes(text);
            if (text[0] == '\0') wexa::boundedCopy(text, kLinkWithoutTarget);
        }
        // The link keeps at most its buffer's worth; the stream gets the
        // link's own text (below), so that page and element agree.
        link.setText(text);
        placeControl(GlobalNamespace.hyperlinks, link, HYPERLINK, Membership::Separate);
        return handBack;
    }

    void formAction() {
        // A FORM inside an open form starts nothing: its controls join the
        // open one.
        if (inForm) return;
        inForm = true;
        currentForm = &GlobalNamespace.forms.addElement(Form(current))->form;
    }

    void inputAction() {
        switch (componentIdentifier::whichInputType(current)) {
            case InputKind::RADIO:
                placeControl(GlobalNamespace.radios, Radio(current), RADIO, Membership::JoinsForm);
                break;
            case InputKind::TEXTBOX:
                placeControl(GlobalNamespace.textBoxes, textBox(current), TEXTBOX, Membership::JoinsForm);
                break;
            case InputKind::SUBMIT:
                placeControl(GlobalNamespace.submits, Submit(current, currentForm), SUBMIT,
                             Membership::Separate);
                break;
            case InputKind::RESET:
                placeControl(GlobalNamespace.resets, Reset(current, currentForm), RESET,
                             Membership::Separate);
                break;
            case InputKind::PASSWORD:
                placeControl(GlobalNamespace.passwords, password(current), PASSWORD, Membership::JoinsForm);
                break;
            default:  // CHECKBOX, and every INPUT without a known TYPE
                placeControl(GlobalNamespace.checkboxes, Checkbox(current), CHECKBOX, Membership::JoinsForm);
                break;
        }
    }

    // OPTION: the next token is the option's text. Returns a tag read in
    // its place (no option is added), for the main loop to handle next, so
    // that an empty option right before /SELECT does not leave the list open
    // for the rest of the page; null otherwise.
    const char* optionAction() {
        if (!listOpen()) return nullptr;
        const char* next = tokenizer.getNextToken();
        if (next == nullptr) return nullptr;
        if (tokenizer.tokenType != Tokenizer::TEXT) return next;
        currentCombo->addOption(current, next);
        return nullptr;
    }

    // /SELECT, and the end of the page or an element that cannot stand
    // inside a list while one is open: completes the open list and writes
    // its text and closing delimiter.
    void closeList() {
        if (!listOpen()) return;
        currentCombo->adjustOptions();
        const char* shown = currentCombo->getRepresentation();
        if (shown == nullptr || shown[0] == '\0') shown = kEmptyListText;
        writeText(shown, out);
        if (comboRegistered) out.put(static_cast<char>(PS_TAB));
        newCombo.reset();
        currentCombo = nullptr;
        comboRegistered = false;
        selectState = kSelectClosed;
    }

    void textAreaAction() { writeText(kTextAreaPlaceholder, out); }

    // IMG outside a link: its text only, not an element. Inside an open
    // drop-down list it is dropped, as text is there.
    void imageAction() {
        if (listOpen()) return;
        Image image(current, false);
        writeText(image.getRepresentation(), out);
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
        GlobalNamespace.page.setTitle(title);
    }
};

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
    Run run(path);
    std::fstream& out = run.out;

    const char* token = run.tokenizer.getNextToken();
    while (token != nullptr) {
        // A tag that an action read but did not use; it is handled next,
        // as if the main loop had just read it.
        const char* handBack = nullptr;

        if (run.tokenizer.tokenType == Tokenizer::TEXT) {
            // Text is written straight from the tokenizer's buffer, which
            // saves a copy of almost every byte of a page.
            if (!run.listOpen()) writeText(token, out);
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
                run.inputAction();
                break;
            case TagCode::TEXTAREA:
                run.closeList();
                run.textAreaAction();
                break;

            case TagCode::FORM:
                run.formAction();
                break;
            case TagCode::FORM_END:
                // The form stays current for buttons that follow.
                run.inForm = false;
                break;
            case TagCode::IMG:
                run.imageAction();
                break;

            case TagCode::SELECT: {
                // A SELECT inside an open list is ignored.
                if (run.listOpen()) break;
                run.newCombo = std::make_unique<Combo>(run.current);
                WEXA_CHECK(run.newCombo != nullptr, "newCombo != __null");
                const short elementOffset = GlobalNamespace.combos.addElement(*run.newCombo);
                if (elementOffset == 0) {
                    // The list of drop-down lists is full: the options are
                    // gathered in the temporary, whose text is then written
                    // as plain text.
                    run.currentCombo = run.newCombo.get();
                    run.comboRegistered = false;
                } else {
                    WEXA_CHECK(elementOffset >= 1, "elementOffset >= 1");
                    run.currentCombo =
                        GlobalNamespace.combos.getReferenceOf(static_cast<short>(elementOffset - 1));
                    WEXA_CHECK(run.currentCombo != nullptr, "currentCombo != __null");
                    run.comboRegistered = run.registerStored(COMBO, elementOffset, Membership::JoinsForm);
                }
                // The segment is written in two steps: the opening delimiter
                // now, the text and the closing delimiter when the list
                // closes. Codes of tags in between land inside it.
                if (run.comboRegistered) out.put(static_cast<char>(PS_TAB));
                run.selectState = kSelectOpen;
                break;
            }
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
