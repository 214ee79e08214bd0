#include "proxy/normalise/normaliser.h"

#include <gumbo.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "proxy/normalise/charset.h"
#include "proxy/normalise/gumbomemory.h"
#include "proxy/normalise/pagewriter.h"
#include "proxy/normalise/resolve.h"

namespace wexaproxy {

namespace {

// --- Small helpers on gumbo nodes ----------------------------------------------

const char* attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* found = gumbo_get_attribute(&element.attributes, name);
    return found != nullptr ? found->value : nullptr;
}

bool hasAttribute(const GumboElement& element, const char* name) {
    return gumbo_get_attribute(&element.attributes, name) != nullptr;
}

std::string lowerTrimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' ||
                             text.front() == '\r' || text.front() == '\f'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                             text.back() == '\r' || text.back() == '\f'))
        text.remove_suffix(1);
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string lowerAttribute(const GumboElement& element, const char* name) {
    const char* value = attribute(element, name);
    return value != nullptr ? lowerTrimmed(value) : std::string();
}

const GumboVector& childrenOf(const GumboNode* node) {
    return node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
}

bool isElement(const GumboNode* node, GumboTag tag) {
    return (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) &&
           node->v.element.tag == tag;
}

// The value of a declaration in an inline style ("display" in
// "color: red; display: none"), lower case; empty when absent.
std::string styleValue(const GumboElement& element, std::string_view property) {
    const char* style = attribute(element, "style");
    if (style == nullptr) return {};
    std::string_view rest(style);
    std::string found;
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        std::string_view declaration = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::size_t colon = declaration.find(':');
        if (colon == std::string_view::npos) continue;
        if (lowerTrimmed(declaration.substr(0, colon)) != property) continue;
        found = lowerTrimmed(declaration.substr(colon + 1));
        const std::size_t important = found.find("!important");
        if (important != std::string::npos) found = lowerTrimmed(found.substr(0, important));
    }
    return found;
}

// Hidden from a desktop browser's reader by the page itself. (Called for
// every element: one pass over the attributes.)
bool isHidden(const GumboElement& element) {
    bool styled = false;
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attr = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        const char* name = attr->name;  // the parser writes names in lower case
        if (std::strcmp(name, "hidden") == 0) return true;
        if (std::strcmp(name, "aria-hidden") == 0 && lowerTrimmed(attr->value) == "true") return true;
        if (std::strcmp(name, "style") == 0) styled = true;
    }
    if (!styled) return false;
    if (styleValue(element, "display") == "none") return true;
    const std::string visibility = styleValue(element, "visibility");
    return visibility == "hidden" || visibility == "collapse";
}

CellAlign alignOf(const GumboElement& element) {
    std::string align = lowerAttribute(element, "align");
    if (align.empty()) align = styleValue(element, "text-align");
    if (align == "right" || align == "end") return CellAlign::Right;
    if (align == "center" || align == "middle") return CellAlign::Center;
    if (align == "left" || align == "start") return CellAlign::Left;
    return CellAlign::None;
}

bool isCentred(const GumboElement& element) {
    return alignOf(element) == CellAlign::Center;
}

int numberAttribute(const GumboElement& element, const char* name, int fallback, int low, int high) {
    const char* value = attribute(element, name);
    if (value == nullptr) return fallback;
    char* end = nullptr;
    const long number = std::strtol(value, &end, 10);
    if (end == value) return fallback;
    return static_cast<int>(std::clamp<long>(number, low, high));
}

// The elements whose content is not shown by a desktop browser, or is
// shown in a way this browser cannot (frames, media, scripted canvases).
bool isSkipped(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_HEAD:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_TITLE:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_EMBED:
        case GUMBO_TAG_CANVAS:
        case GUMBO_TAG_AUDIO:
        case GUMBO_TAG_VIDEO:
        case GUMBO_TAG_MAP:
        case GUMBO_TAG_AREA:
        case GUMBO_TAG_PARAM:
        case GUMBO_TAG_SOURCE:
        case GUMBO_TAG_TRACK:
        case GUMBO_TAG_META:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_BASE:
        case GUMBO_TAG_DATALIST:
        case GUMBO_TAG_NOEMBED:
        case GUMBO_TAG_NOFRAMES:
        case GUMBO_TAG_APPLET:
        case GUMBO_TAG_OPTION:
        case GUMBO_TAG_OPTGROUP:
        case GUMBO_TAG_RP:
        case GUMBO_TAG_RT:
            return true;
        default:
            return false;
    }
}

// Elements laid out as blocks of their own.
bool isBlock(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_SECTION:
        case GUMBO_TAG_ARTICLE:
        case GUMBO_TAG_HEADER:
        case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_NAV:
        case GUMBO_TAG_ASIDE:
        case GUMBO_TAG_MAIN:
        case GUMBO_TAG_ADDRESS:
        case GUMBO_TAG_FIGCAPTION:
        case GUMBO_TAG_DETAILS:
        case GUMBO_TAG_SUMMARY:
        case GUMBO_TAG_HGROUP:
        case GUMBO_TAG_BODY:
        case GUMBO_TAG_HTML:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TFOOT:
        case GUMBO_TAG_CAPTION:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_FRAMESET:
            return true;
        default:
            return false;
    }
}

// Paragraph-like blocks: an empty line before and after.
bool isParagraph(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_P:
        case GUMBO_TAG_FIGURE:
        case GUMBO_TAG_FIELDSET:
        case GUMBO_TAG_DL:
            return true;
        default:
            return false;
    }
}

bool isHeading(GumboTag tag) {
    return tag >= GUMBO_TAG_H1 && tag <= GUMBO_TAG_H6;
}

// Whether text holds anything but white space.
bool hasText(std::string_view text) {
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f') return true;
    }
    return false;
}

std::string romanNumeral(int n) {
    static const std::pair<int, const char*> STEPS[] = {
        {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
        {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    if (n <= 0 || n >= 4000) return std::to_string(n);
    std::string out;
    for (const auto& step : STEPS) {
        while (n >= step.first) {
            out += step.second;
            n -= step.first;
        }
    }
    return out;
}

std::string letterNumber(int n) {
    if (n <= 0) return std::to_string(n);
    std::string out;
    while (n > 0) {
        --n;
        out.insert(out.begin(), static_cast<char>('a' + n % 26));
        n /= 26;
    }
    return out;
}

// What stands in front of an item of a list the browser cannot number.
std::string itemNumber(int n, const std::string& type) {
    std::string text;
    if (type == "a" || type == "A") {
        text = letterNumber(n);
    } else if (type == "i" || type == "I") {
        text = romanNumeral(n);
    } else {
        text = std::to_string(n);
    }
    if (type == "A" || type == "I") {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text + ".";
}

// --- Forms while they are written ---------------------------------------------------

struct FormBuild {
    std::uint64_t id = 0;
    FormRecord record;
    int nextChoice = 0;
    std::unordered_map<std::string, std::string> radioNames;  // real name -> generated
    std::unordered_map<std::string, bool> radioChecked;       // real name -> a button is checked
    bool open = false;                                        // its FORM tag is written and its /FORM not yet
    bool hasSubmit = false;
    bool submitRecorded = false;  // the first submit button is known
    bool hasTextField = false;
};

// --- The walk -----------------------------------------------------------------------

class Walker {
public:
    Walker(const NormaliserSettings& settings, TokenStore& store, std::string_view pageUrl,
           std::string charset)
        : settings_(settings),
          store_(store),
          resolver_(pageUrl),
          pageUrl_(resolver_.base()),
          charset_(std::move(charset)) {}

    // Why the page given to the parser is shorter than the page fetched.
    enum class Cut { None, TooLarge, TooDeep };
    std::string run(const GumboOutput* output, Cut cut);

private:
    // Nesting deeper than this is read as plain text, so that the walk's
    // recursion stays small whatever the page.
    static constexpr int MAX_DEPTH = 250;

    void head(const GumboNode* node);
    void walk(const GumboNode* node);
    void children(const GumboNode* node);
    void element(const GumboNode* node);
    void textNode(const char* utf8);
    void plainText(const GumboNode* node);
    std::string flatText(const GumboNode* node, bool forLink) const;
    bool capReached() const { return elements_ >= settings_.maxElements; }
    void checkLines();

    void block(const GumboNode* node, bool paragraph);
    void heading(const GumboNode* node);
    void emphasis(const GumboNode* node, Emphasis kind);
    void image(const GumboElement& element);
    void anchor(const GumboNode* node);
    std::string linkToken(std::string_view href);
    void list(const GumboNode* node, bool ordered);
    void table(const GumboNode* node);
    bool isLayoutTable(const GumboNode* node, const std::vector<const GumboNode*>& rows) const;
    void frames(const GumboNode* node);

    FormBuild* ownerOf(const GumboElement& element);
    void addField(FormBuild* owner, const std::string& formId, FieldRecord field);
    void form(const GumboNode* node);
    void openForm(FormBuild& build);
    void closeForm();
    void input(const GumboNode* node);
    void select(const GumboNode* node);
    void textArea(const GumboNode* node);
    void button(const GumboNode* node);
    void recordHiddenControls(const GumboNode* node);
    void firstButton(FormBuild* owner, const GumboElement& element);
    bool controlShown(const FormBuild* owner) const;
    void hint(const GumboElement& element);
    // Names of controls are unique in the page, not only in their form: the
    // browser groups radio buttons of one name across forms.
    std::string newName() { return "f" + std::to_string(nextName_++); }

    const NormaliserSettings& settings_;
    TokenStore& store_;
    UrlResolver resolver_;
    const std::string pageUrl_;  // absolute, without fragment; empty when unknown
    const std::string charset_;

    PageWriter page_;
    PageWriter* w_ = &page_;
    int depth_ = 0;
    int preDepth_ = 0;
    int disabledDepth_ = 0;
    int cellDepth_ = 0;  // inside a cell of a table the browser lays out
    int elements_ = 0;
    int nextName_ = 0;
    int labelDepth_ = 0;
    std::unordered_set<std::string> labelledIds_;  // ids named by the labels met so far
    bool stopped_ = false;
    std::string ascii_;

    std::vector<TokenStore::Entry> entries_;
    std::unordered_map<std::string, std::string> hrefTokens_;
    std::size_t storedLinks_ = 0;

    std::deque<FormBuild> forms_;
    FormBuild* current_ = nullptr;              // the form whose FORM tag is open
    FormBuild* lastOpened_ = nullptr;           // the form the browser gives buttons to
    const GumboNode* danglingScope_ = nullptr;  // table that closes a form left open in it
    std::unordered_map<std::string, FormBuild*> formsById_;
    std::unordered_map<std::string, std::vector<FieldRecord>> waitingForForm_;
    const GumboNode* currentTable_ = nullptr;
};

void Walker::checkLines() {
    if (page_.lines() > settings_.maxLines) stopped_ = true;
}

void Walker::textNode(const char* utf8) {
    ascii_.clear();
    appendAscii(ascii_, utf8);
    if (preDepth_ > 0) {
        w_->preformatted(ascii_);
    } else {
        w_->text(ascii_);
    }
}

void Walker::walk(const GumboNode* node) {
    if (stopped_) return;
    switch (node->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_CDATA:
            textNode(node->v.text.text);
            break;
        case GUMBO_NODE_WHITESPACE:
            if (preDepth_ > 0) {
                textNode(node->v.text.text);
            } else {
                w_->space();
            }
            break;
        case GUMBO_NODE_ELEMENT:
            element(node);
            break;
        default:
            break;  // comments, templates' contents, the document
    }
}

void Walker::children(const GumboNode* node) {
    const GumboVector& list = childrenOf(node);
    for (unsigned i = 0; i < list.length && !stopped_; ++i) walk(static_cast<const GumboNode*>(list.data[i]));
}

// Text of a subtree without its structure, for nesting too deep to walk.
void Walker::plainText(const GumboNode* node) {
    std::vector<const GumboNode*> pending{node};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type == GUMBO_NODE_TEXT || at->type == GUMBO_NODE_CDATA) {
            textNode(at->v.text.text);
        } else if (at->type == GUMBO_NODE_WHITESPACE) {
            w_->space();
        } else if (at->type == GUMBO_NODE_ELEMENT && !isSkipped(at->v.element.tag) &&
                   !isHidden(at->v.element)) {
            w_->space();
            const GumboVector& list = at->v.element.children;
            for (unsigned i = list.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode*>(list.data[i - 1]));
        }
    }
}

// The text a link or a button shows: its text, images as their alt text,
// with hidden parts left out.
std::string Walker::flatText(const GumboNode* node, bool forLink) const {
    std::string text;
    std::vector<const GumboNode*> pending;
    const GumboVector& top = node->v.element.children;
    for (unsigned i = top.length; i > 0; --i)
        pending.push_back(static_cast<const GumboNode*>(top.data[i - 1]));
    while (!pending.empty() && text.size() < 4096) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type == GUMBO_NODE_TEXT || at->type == GUMBO_NODE_CDATA) {
            appendAscii(text, at->v.text.text);
        } else if (at->type == GUMBO_NODE_WHITESPACE) {
            text.push_back(' ');
        } else if (at->type == GUMBO_NODE_ELEMENT) {
            const GumboElement& element = at->v.element;
            if (isHidden(element) || isSkipped(element.tag)) continue;
            if (element.tag == GUMBO_TAG_IMG) {
                if (const char* alt = attribute(element, "alt")) {
                    text.push_back(' ');
                    appendAscii(text, alt);
                    text.push_back(' ');
                }
                continue;
            }
            if (forLink && (element.tag == GUMBO_TAG_SELECT || element.tag == GUMBO_TAG_TEXTAREA)) continue;
            text.push_back(' ');
            for (unsigned i = element.children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
        }
    }
    return text;
}

void Walker::head(const GumboNode* node) {
    std::vector<const GumboNode*> pending{node};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = at->v.element;
        if (element.tag == GUMBO_TAG_BASE) {
            if (const char* href = attribute(element, "href")) resolver_.rebase(href);
        } else if (element.tag == GUMBO_TAG_META && lowerAttribute(element, "http-equiv") == "refresh") {
            // "5; url=next.html": the page moves on by itself in a desktop
            // browser; here it offers a link.
            const char* content = attribute(element, "content");
            if (content == nullptr) continue;
            // lowerTrimmed keeps the length of what it does not trim.
            const std::string lowered = lowerTrimmed(content);
            const std::size_t at = lowered.find("url=");
            if (at == std::string::npos) continue;
            std::string_view value(content);
            value.remove_prefix(std::min(value.size(), value.find_first_not_of(" \t\n\r\f")));
            std::string target(value.substr(std::min(value.size(), at + 4),
                                            lowered.size() - std::min(lowered.size(), at + 4)));
            while (!target.empty() && (target.front() == '\'' || target.front() == '"')) target.erase(0, 1);
            while (!target.empty() && (target.back() == '\'' || target.back() == '"')) target.pop_back();
            const std::string token = linkToken(target);
            if (token.empty()) continue;
            page_.paragraphBreak();
            page_.text("This page moves on to");
            page_.space();
            page_.link(token, toAscii(resolver_.resolve(target).url));
            page_.paragraphBreak();
            ++elements_;
        } else if (element.tag == GUMBO_TAG_HEAD || element.tag == GUMBO_TAG_HTML) {
            for (unsigned i = element.children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
        }
    }
}

// The first TITLE of the page, as text.
std::string titleOf(const GumboNode* root) {
    std::vector<const GumboNode*> pending{root};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = at->v.element;
        if (element.tag == GUMBO_TAG_TITLE) {
            std::string text;
            for (unsigned i = 0; i < element.children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
                    appendAscii(text, child->v.text.text);
            }
            return text;
        }
        if (element.tag == GUMBO_TAG_SVG || element.tag_namespace != GUMBO_NAMESPACE_HTML) continue;
        for (unsigned i = element.children.length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
    }
    return {};
}

std::string Walker::run(const GumboOutput* output, Cut cut) {
    const GumboNode* root = output->root;
    std::string title = singleToken(titleOf(root), 200);
    // The head first: a BASE changes how every link resolves.
    head(root);
    const GumboVector& top = root->v.element.children;
    for (unsigned i = 0; i < top.length && !stopped_; ++i) {
        const auto* child = static_cast<const GumboNode*>(top.data[i]);
        if (isElement(child, GUMBO_TAG_HEAD)) continue;
        walk(child);
    }
    while (current_ != nullptr) closeForm();
    if (stopped_) {
        page_.paragraphBreak();
        page_.text("[The rest of this page is not shown: it is too long for this browser.]");
    } else if (cut == Cut::TooLarge) {
        page_.paragraphBreak();
        page_.text("[This page is cut short: only its first " +
                   std::to_string(settings_.maxInputBytes / (1024 * 1024)) + " MB are shown.]");
    } else if (cut == Cut::TooDeep) {
        page_.paragraphBreak();
        page_.text("[The rest of this page is not shown: its elements are nested too deeply.]");
    }
    // Controls that name a form the page never had are not sent.
    for (FormBuild& build : forms_) {
        TokenStore::Entry entry;
        entry.id = build.id;
        entry.form = std::make_shared<const FormRecord>(std::move(build.record));
        entries_.push_back(std::move(entry));
    }
    store_.add(std::move(entries_));
    std::string out;
    std::string body = page_.finishPage();
    out.reserve(body.size() + title.size() + 16);
    if (!title.empty()) out += "<TITLE>" + title + "</TITLE>";
    out += body;
    return out;
}

void Walker::element(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    if (element.tag_namespace != GUMBO_NAMESPACE_HTML) return;  // SVG and MathML drawings
    if (isSkipped(element.tag)) return;
    if (isHidden(element)) {
        // Not shown, but a desktop browser still sends the controls in it.
        recordHiddenControls(node);
        return;
    }
    if (depth_ >= MAX_DEPTH) {
        plainText(node);
        return;
    }
    ++depth_;
    switch (element.tag) {
        case GUMBO_TAG_BR:
            w_->lineBreak();
            break;
        case GUMBO_TAG_HR:
            w_->rule();
            break;
        case GUMBO_TAG_IMG:
            image(element);
            break;
        case GUMBO_TAG_A:
            anchor(node);
            break;
        case GUMBO_TAG_FORM:
            form(node);
            break;
        case GUMBO_TAG_INPUT:
            input(node);
            break;
        case GUMBO_TAG_SELECT:
            select(node);
            break;
        case GUMBO_TAG_TEXTAREA:
            textArea(node);
            break;
        case GUMBO_TAG_BUTTON:
            button(node);
            break;
        case GUMBO_TAG_TABLE:
            table(node);
            break;
        case GUMBO_TAG_UL:
        case GUMBO_TAG_MENU:
        case GUMBO_TAG_DIR:
            list(node, false);
            break;
        case GUMBO_TAG_OL:
            list(node, true);
            break;
        case GUMBO_TAG_LI:
            // An item outside any list.
            w_->blockBreak();
            w_->text("*");
            w_->space();
            children(node);
            w_->blockBreak();
            break;
        case GUMBO_TAG_DT:
            w_->blockBreak();
            children(node);
            w_->blockBreak();
            break;
        case GUMBO_TAG_DD:
            w_->blockBreak();
            w_->beginIndent();
            children(node);
            w_->endIndent();
            w_->blockBreak();
            break;
        case GUMBO_TAG_BLOCKQUOTE:
            w_->paragraphBreak();
            w_->beginIndent();
            children(node);
            w_->endIndent();
            w_->paragraphBreak();
            break;
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_PLAINTEXT:
            w_->paragraphBreak();
            ++preDepth_;
            children(node);
            --preDepth_;
            w_->paragraphBreak();
            break;
        case GUMBO_TAG_CENTER:
            w_->blockBreak();
            w_->beginCenter();
            children(node);
            w_->endCenter();
            w_->blockBreak();
            break;
        case GUMBO_TAG_LEGEND:
            w_->blockBreak();
            emphasis(node, Emphasis::Bold);
            w_->blockBreak();
            break;
        case GUMBO_TAG_B:
        case GUMBO_TAG_STRONG:
            emphasis(node, Emphasis::Bold);
            break;
        case GUMBO_TAG_I:
        case GUMBO_TAG_EM:
        case GUMBO_TAG_U:
        case GUMBO_TAG_CITE:
        case GUMBO_TAG_DFN:
        case GUMBO_TAG_VAR:
            emphasis(node, Emphasis::Underline);
            break;
        case GUMBO_TAG_LABEL:
            if (const char* target = attribute(element, "for")) labelledIds_.insert(target);
            ++labelDepth_;
            children(node);
            --labelDepth_;
            break;
        case GUMBO_TAG_Q:
            w_->text("\"");
            children(node);
            w_->text("\"");
            break;
        case GUMBO_TAG_FRAMESET:
            frames(node);
            break;
        default:
            if (isHeading(element.tag)) {
                heading(node);
            } else if (isParagraph(element.tag)) {
                block(node, true);
            } else if (isBlock(element.tag)) {
                block(node, false);
            } else {
                children(node);  // inline elements, and unknown ones
            }
            break;
    }
    --depth_;
    checkLines();
}

void Walker::block(const GumboNode* node, bool paragraph) {
    const GumboElement& element = node->v.element;
    const bool disabled = element.tag == GUMBO_TAG_FIELDSET && hasAttribute(element, "disabled");
    const bool centred = isCentred(element) && element.tag != GUMBO_TAG_TD && element.tag != GUMBO_TAG_TH;
    paragraph ? w_->paragraphBreak() : w_->blockBreak();
    if (centred) w_->beginCenter();
    if (disabled) ++disabledDepth_;
    children(node);
    if (disabled) --disabledDepth_;
    if (centred) w_->endCenter();
    paragraph ? w_->paragraphBreak() : w_->blockBreak();
}

void Walker::heading(const GumboNode* node) {
    const bool centred = isCentred(node->v.element);
    w_->paragraphBreak();
    if (centred) w_->beginCenter();
    w_->beginEmphasis(Emphasis::Bold);
    children(node);
    w_->endEmphasis();
    if (centred) w_->endCenter();
    w_->paragraphBreak();
}

void Walker::emphasis(const GumboNode* node, Emphasis kind) {
    w_->beginEmphasis(kind);
    children(node);
    w_->endEmphasis();
}

void Walker::image(const GumboElement& element) {
    const char* alt = attribute(element, "alt");
    if (alt == nullptr) return;  // no words to show for it
    w_->text(toAscii(alt));
}

std::string Walker::linkToken(std::string_view href) {
    auto cached = hrefTokens_.find(std::string(href));
    if (cached != hrefTokens_.end()) return cached->second;
    std::string token;
    const UrlResolver::Result target = resolver_.resolve(href);
    if (target.kind == UrlResolver::Kind::Web) {
        token = inlineLinkToken(target.url);
        if (token.size() > MAX_HREF_LENGTH) {
            token.clear();
            if (storedLinks_ < settings_.maxStoredLinks) {
                const std::uint64_t id = store_.newId();
                token = storedLinkToken(id);
                TokenStore::Entry entry;
                entry.id = id;
                entry.url = target.url;
                entries_.push_back(std::move(entry));
                ++storedLinks_;
            }
        }
    }
    hrefTokens_.emplace(std::string(href), token);
    return token;
}

void Walker::anchor(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    const char* href = attribute(element, "href");
    const std::string token = href != nullptr && !capReached() ? linkToken(href) : std::string();
    if (token.empty()) {
        // A link that cannot be followed here (mailto:, javascript:, a place
        // on this page) is shown as its text.
        children(node);
        return;
    }
    std::string text = flatText(node, true);
    if (!hasText(text)) {
        const char* label = attribute(element, "aria-label");
        if (label == nullptr) label = attribute(element, "title");
        text = label != nullptr ? toAscii(label) : std::string();
        if (!hasText(text)) text = "[link]";
    }
    w_->link(token, text);
    ++elements_;
}

void Walker::list(const GumboNode* node, bool ordered) {
    const GumboElement& element = node->v.element;
    std::vector<const GumboNode*> items;
    bool numbered = false;
    for (unsigned i = 0; i < element.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        if (isElement(child, GUMBO_TAG_LI)) {
            items.push_back(child);
            if (hasAttribute(child->v.element, "value")) numbered = true;
        }
    }
    // The browser numbers items with one character from 1: longer lists,
    // other starts and other kinds of numbers are numbered here.
    const std::string type =
        attribute(element, "type") != nullptr ? std::string(attribute(element, "type")) : "1";
    const bool reversed = hasAttribute(element, "reversed");
    const int start =
        numberAttribute(element, "start", reversed ? static_cast<int>(items.size()) : 1, -1000000, 1000000);
    const bool browserNumbers =
        ordered && !numbered && !reversed && start == 1 && type == "1" && items.size() <= 9;
    const bool ownNumbers = ordered && !browserNumbers;
    w_->beginList(browserNumbers ? ListKind::Ordered : ListKind::Unordered);
    int number = start;
    for (unsigned i = 0; i < element.children.length && !stopped_; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        if (isElement(child, GUMBO_TAG_LI)) {
            if (isHidden(child->v.element)) {
                recordHiddenControls(child);
                continue;
            }
            number = numberAttribute(child->v.element, "value", number, -1000000, 1000000);
            w_->listItem(ownNumbers ? itemNumber(number, type) : std::string());
            number += reversed ? -1 : 1;
            ++depth_;
            children(child);
            --depth_;
        } else {
            walk(child);
        }
    }
    w_->endList();
}

// --- Tables ------------------------------------------------------------------------

// The rows of a table in order (header rows, body rows, footer rows), and
// the forms and captions met between them.
struct TableParts {
    std::vector<const GumboNode*> rows;
    // Forms and inputs between the rows, in page order: the parser puts a
    // form opened there, and hidden inputs, outside every cell.
    std::vector<const GumboNode*> between;
    const GumboNode* caption = nullptr;
};

void collectRows(const GumboNode* node, TableParts& parts, std::vector<const GumboNode*>& footer) {
    const GumboVector& list = node->v.element.children;
    for (unsigned i = 0; i < list.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(list.data[i]);
        if (child->type != GUMBO_NODE_ELEMENT || isHidden(child->v.element)) continue;
        switch (child->v.element.tag) {
            case GUMBO_TAG_TR:
                parts.rows.push_back(child);
                for (unsigned k = 0; k < child->v.element.children.length; ++k) {
                    const auto* cell = static_cast<const GumboNode*>(child->v.element.children.data[k]);
                    if (isElement(cell, GUMBO_TAG_FORM) || isElement(cell, GUMBO_TAG_INPUT))
                        parts.between.push_back(cell);
                }
                break;
            case GUMBO_TAG_THEAD:
            case GUMBO_TAG_TBODY:
                collectRows(child, parts, footer);
                break;
            case GUMBO_TAG_TFOOT: {
                TableParts inner;
                collectRows(child, inner, footer);
                footer.insert(footer.end(), inner.rows.begin(), inner.rows.end());
                parts.between.insert(parts.between.end(), inner.between.begin(), inner.between.end());
                break;
            }
            case GUMBO_TAG_CAPTION:
                if (parts.caption == nullptr) parts.caption = child;
                break;
            case GUMBO_TAG_FORM:
            case GUMBO_TAG_INPUT:
                parts.between.push_back(child);
                break;
            default:
                break;
        }
    }
}

std::vector<const GumboNode*> cellsOf(const GumboNode* row) {
    std::vector<const GumboNode*> cells;
    const GumboVector& list = row->v.element.children;
    for (unsigned i = 0; i < list.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(list.data[i]);
        if ((isElement(child, GUMBO_TAG_TD) || isElement(child, GUMBO_TAG_TH)) && !isHidden(child->v.element))
            cells.push_back(child);
    }
    return cells;
}

// A table used to lay a page out rather than to hold data: a cell holds
// blocks (lists, paragraphs, headings, forms, a table of several rows, a
// long text), or the table has a single column.
bool Walker::isLayoutTable(const GumboNode* node, const std::vector<const GumboNode*>& rows) const {
    const GumboElement& element = node->v.element;
    const std::string role = lowerAttribute(element, "role");
    if (role == "presentation" || role == "none") return true;
    std::size_t widest = 0;
    for (const GumboNode* row : rows) widest = std::max(widest, cellsOf(row).size());
    if (widest <= 1) return true;
    int budget = 20000;  // nodes looked at for one table
    for (const GumboNode* row : rows) {
        for (const GumboNode* cell : cellsOf(row)) {
            std::size_t textLength = 0;
            int paragraphs = 0;
            std::vector<const GumboNode*> pending{cell};
            while (!pending.empty() && budget-- > 0) {
                const GumboNode* at = pending.back();
                pending.pop_back();
                if (at->type == GUMBO_NODE_TEXT) {
                    textLength += std::char_traits<char>::length(at->v.text.text);
                    if (textLength > 200) return true;
                    continue;
                }
                if (at->type != GUMBO_NODE_ELEMENT) continue;
                const GumboElement& e = at->v.element;
                if (at != cell) {
                    switch (e.tag) {
                        case GUMBO_TAG_UL:
                        case GUMBO_TAG_OL:
                        case GUMBO_TAG_DL:
                        case GUMBO_TAG_BLOCKQUOTE:
                        case GUMBO_TAG_PRE:
                        case GUMBO_TAG_FORM:
                        case GUMBO_TAG_HR:
                        case GUMBO_TAG_H1:
                        case GUMBO_TAG_H2:
                        case GUMBO_TAG_H3:
                        case GUMBO_TAG_H4:
                        case GUMBO_TAG_H5:
                        case GUMBO_TAG_H6:
                            return true;
                        case GUMBO_TAG_P:
                            if (++paragraphs >= 2) return true;
                            break;
                        case GUMBO_TAG_TABLE: {
                            TableParts inner;
                            std::vector<const GumboNode*> footer;
                            collectRows(at, inner, footer);
                            if (inner.rows.size() + footer.size() > 2) return true;
                            break;
                        }
                        default:
                            break;
                    }
                }
                if (isSkipped(e.tag)) continue;
                for (unsigned i = 0; i < e.children.length; ++i)
                    pending.push_back(static_cast<const GumboNode*>(e.children.data[i]));
            }
            if (budget <= 0) return false;
        }
    }
    return false;
}

void Walker::table(const GumboNode* node) {
    TableParts parts;
    std::vector<const GumboNode*> footer;
    collectRows(node, parts, footer);
    parts.rows.insert(parts.rows.end(), footer.begin(), footer.end());

    const GumboNode* outerTable = currentTable_;
    currentTable_ = node;
    for (const GumboNode* found : parts.between) walk(found);

    if (cellDepth_ > 0) {
        // Inside a cell of a laid-out table: its cells become text of that cell.
        for (const GumboNode* row : parts.rows) {
            for (const GumboNode* cell : cellsOf(row)) {
                w_->space();
                children(cell);
            }
        }
    } else if (isLayoutTable(node, parts.rows)) {
        if (parts.caption != nullptr) block(parts.caption, false);
        for (const GumboNode* row : parts.rows) {
            for (const GumboNode* cell : cellsOf(row)) {
                w_->blockBreak();
                const bool header = isElement(cell, GUMBO_TAG_TH);
                if (header) w_->beginEmphasis(Emphasis::Bold);
                children(cell);
                if (header) w_->endEmphasis();
                w_->blockBreak();
                if (stopped_) break;
            }
        }
    } else {
        std::vector<std::vector<PageWriter::Cell>> grid;
        std::vector<int> spanLeft;  // rows still covered by a cell above, per column
        PageWriter* outer = w_;
        ++cellDepth_;
        for (const GumboNode* row : parts.rows) {
            std::vector<PageWriter::Cell> cells;
            std::vector<int> spanned(spanLeft.size(), 0);
            const CellAlign rowAlign = alignOf(row->v.element);
            auto skipCovered = [&]() {
                while (cells.size() < spanLeft.size() && spanLeft[cells.size()] > 0) cells.emplace_back();
            };
            for (const GumboNode* cellNode : cellsOf(row)) {
                skipCovered();
                const GumboElement& cellElement = cellNode->v.element;
                const bool header = cellElement.tag == GUMBO_TAG_TH;
                CellAlign align = alignOf(cellElement);
                if (align == CellAlign::None) align = rowAlign;
                if (align == CellAlign::None && header) align = CellAlign::Center;
                PageWriter cellWriter(PageWriter::Mode::Cell);
                w_ = &cellWriter;
                if (header) w_->beginEmphasis(Emphasis::Bold);
                children(cellNode);
                w_ = outer;
                cells.push_back(cellWriter.finishCell(align));
                const int colspan = numberAttribute(cellElement, "colspan", 1, 1, 50);
                const int rowspan = numberAttribute(cellElement, "rowspan", 1, 1, 1000);
                const std::size_t first = cells.size() - 1;
                for (int k = 1; k < colspan; ++k) cells.emplace_back();
                if (spanned.size() < cells.size()) spanned.resize(cells.size(), 0);
                for (std::size_t c = first; c < cells.size(); ++c) spanned[c] = rowspan - 1;
            }
            skipCovered();
            if (spanLeft.size() < spanned.size()) spanLeft.resize(spanned.size(), 0);
            for (std::size_t c = 0; c < spanLeft.size(); ++c)
                spanLeft[c] =
                    std::max(spanLeft[c] > 0 ? spanLeft[c] - 1 : 0, c < spanned.size() ? spanned[c] : 0);
            // Trailing cells that only fill covered columns show nothing.
            while (!cells.empty() && cells.back().html.empty() && cells.back().width == 0) cells.pop_back();
            if (!cells.empty()) grid.push_back(std::move(cells));
        }
        --cellDepth_;

        std::vector<int> widths;
        for (const auto& row : grid) {
            if (widths.size() < row.size()) widths.resize(row.size(), 0);
            for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].width);
        }
        int total = 0;
        for (int width : widths) total += width + 2;

        // Rows beyond the lines the browser can hold end the page.
        const long room = std::max(0L, settings_.maxLines - page_.lines());
        if (static_cast<long>(grid.size()) > room) {
            grid.resize(static_cast<std::size_t>(room));
            stopped_ = true;
        }
        w_->paragraphBreak();
        if (parts.caption != nullptr) {
            w_->beginEmphasis(Emphasis::Bold);
            children(parts.caption);
            w_->endEmphasis();
            w_->blockBreak();
        }
        if (total <= w_->lineRoom()) {
            w_->table(std::move(grid));
        } else {
            // Too wide to lay out: one line per row, cells between bars.
            for (const auto& row : grid) {
                w_->blockBreak();
                bool first = true;
                for (const PageWriter::Cell& cell : row) {
                    if (cell.html.empty()) continue;
                    if (!first) {
                        w_->space();
                        w_->text("|");
                        w_->space();
                    }
                    w_->inlineCell(cell);
                    first = false;
                }
            }
        }
        w_->paragraphBreak();
    }

    currentTable_ = outerTable;
    if (danglingScope_ == node && current_ != nullptr) closeForm();
}

void Walker::frames(const GumboNode* node) {
    // Frames are pages of their own: offered as links.
    std::vector<const GumboNode*> pending{node};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = at->v.element;
        if (element.tag == GUMBO_TAG_FRAME) {
            const char* src = attribute(element, "src");
            const std::string token = src != nullptr && !capReached() ? linkToken(src) : std::string();
            if (token.empty()) continue;
            const char* name = attribute(element, "title");
            if (name == nullptr) name = attribute(element, "name");
            w_->blockBreak();
            w_->text("Frame:");
            w_->space();
            w_->link(token, name != nullptr ? toAscii(name) : toAscii(src));
            ++elements_;
            w_->blockBreak();
        } else if (element.tag == GUMBO_TAG_NOFRAMES) {
            continue;
        } else {
            for (unsigned i = element.children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
        }
    }
}

// --- Forms -------------------------------------------------------------------------

FormBuild* Walker::ownerOf(const GumboElement& element) {
    const char* formId = attribute(element, "form");
    if (formId != nullptr) {
        auto found = formsById_.find(formId);
        return found != formsById_.end() ? found->second : nullptr;
    }
    return current_;
}

void Walker::addField(FormBuild* owner, const std::string& formId, FieldRecord field) {
    if (owner != nullptr) {
        owner->record.fields.push_back(std::move(field));
    } else if (!formId.empty()) {
        // The form comes later in the page.
        field.reachable = false;
        field.generated.clear();
        waitingForForm_[formId].push_back(std::move(field));
    }
}

// Whether a control of owner can be shown as a live control: the browser
// makes controls members of the form whose FORM tag is open.
bool Walker::controlShown(const FormBuild* owner) const {
    return owner != nullptr && owner == current_ && owner->open && !capReached();
}

void Walker::openForm(FormBuild& build) {
    std::string tag =
        "<FORM ACTION=" + formToken(build.id) + " METHOD=" + (build.record.post ? "POST" : "GET") + ">";
    w_->silentTag(tag);
    build.open = true;
    current_ = &build;
    lastOpened_ = &build;
}

void Walker::closeForm() {
    FormBuild* build = current_;
    if (build == nullptr) return;
    // A form without a button is sent with Enter in a desktop browser; this
    // browser needs a button to send it.
    if (!build->hasSubmit && build->hasTextField && !capReached()) {
        w_->space();
        w_->element("<INPUT TYPE=SUBMIT VALUE=Submit>", 6);
        ++elements_;
        build->hasSubmit = true;
    }
    w_->silentTag("</FORM>");
    build->open = false;
    current_ = nullptr;
    danglingScope_ = nullptr;
}

void Walker::form(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    if (current_ != nullptr) {
        // A form left open by a table ends where the next one starts.
        if (danglingScope_ != nullptr) {
            closeForm();
        } else {
            children(node);
            return;
        }
    }
    forms_.emplace_back();
    FormBuild& build = forms_.back();
    build.id = store_.newId();
    build.record.post = lowerAttribute(element, "method") == "post";
    build.record.multipart = lowerAttribute(element, "enctype") == "multipart/form-data";
    const char* action = attribute(element, "action");
    if (action == nullptr || !hasText(action)) {
        // No action: the form goes back to the page itself (not to a BASE).
        build.record.action = pageUrl_;
    } else {
        const UrlResolver::Result target = resolver_.resolve(action);
        if (target.kind == UrlResolver::Kind::Web) build.record.action = target.url;
    }
    build.record.charset = charset_;
    if (const char* accepted = attribute(element, "accept-charset")) {
        // The first charset named that this machine knows.
        std::string labels(accepted);
        for (char& c : labels) {
            if (c == ',') c = ' ';
        }
        std::size_t at = 0;
        while (at < labels.size()) {
            const std::size_t end = std::min(labels.find(' ', at), labels.size());
            const std::string name = canonicalCharset(labels.substr(at, end - at));
            if (!name.empty()) {
                build.record.charset = name;
                break;
            }
            at = end + 1;
        }
    }
    if (const char* id = attribute(element, "id")) {
        formsById_[id] = &build;
        auto waiting = waitingForForm_.find(id);
        if (waiting != waitingForForm_.end()) {
            for (FieldRecord& field : waiting->second) build.record.fields.push_back(std::move(field));
            waitingForForm_.erase(waiting);
        }
    }
    w_->blockBreak();
    openForm(build);
    children(node);
    // The parser leaves a form opened between the rows of a table empty and
    // puts its controls in the cells: it stays open to the end of the table.
    const GumboNode* parent = node->parent;
    const bool inTableStructure =
        parent != nullptr && (isElement(parent, GUMBO_TAG_TABLE) || isElement(parent, GUMBO_TAG_TBODY) ||
                              isElement(parent, GUMBO_TAG_THEAD) || isElement(parent, GUMBO_TAG_TFOOT) ||
                              isElement(parent, GUMBO_TAG_TR));
    if (element.children.length == 0 && inTableStructure && currentTable_ != nullptr) {
        danglingScope_ = currentTable_;
        return;
    }
    closeForm();
    w_->blockBreak();
}

void Walker::input(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    std::string type = lowerAttribute(element, "type");
    if (type.empty()) type = "text";
    const char* nameText = attribute(element, "name");
    const std::string name = nameText != nullptr ? nameText : "";
    const char* valueText = attribute(element, "value");
    const std::string value = valueText != nullptr ? valueText : "";
    const std::string formId = attribute(element, "form") != nullptr ? attribute(element, "form") : "";
    FormBuild* owner = ownerOf(element);
    const bool disabled = hasAttribute(element, "disabled") || disabledDepth_ > 0;

    FieldRecord field;
    field.name = name;
    if (type == "hidden") {
        field.kind = FieldRecord::Kind::Hidden;
        field.value = value;
        if (!disabled) addField(owner, formId, std::move(field));
        return;
    }
    if (type == "button" || type == "file") return;  // scripted, or beyond this browser

    const bool shown = controlShown(owner) && !disabled;
    if (type == "submit" || type == "image" || type == "reset") {
        std::string label =
            type == "image" ? (attribute(element, "alt") != nullptr ? attribute(element, "alt") : "") : value;
        if (!hasText(label)) label = type == "reset" ? "Reset" : "Submit";
        const std::string word = offeredWord(label, MAX_BUTTON_LABEL);
        // The browser gives a button to the form it opened last.
        const bool live = owner != nullptr && owner == lastOpened_ && !disabled && !capReached();
        if (type == "reset") {
            if (live) {
                w_->element("<INPUT TYPE=RESET VALUE=" + word + ">", static_cast<int>(word.size()));
                ++elements_;
            }
            return;
        }
        field.kind = type == "image" ? FieldRecord::Kind::ImageSubmit : FieldRecord::Kind::Submit;
        field.value = value;
        if (disabled) return;
        firstButton(owner, element);
        if (live) {
            w_->element("<INPUT TYPE=SUBMIT VALUE=" + word + ">", static_cast<int>(word.size()));
            ++elements_;
            owner->hasSubmit = true;
        }
        addField(owner, formId, std::move(field));
        return;
    }

    if (owner == nullptr && formId.empty()) return;  // belongs to no form: nothing to send it with
    if (disabled) {
        if (type == "checkbox" || type == "radio") {
            const bool checked = hasAttribute(element, "checked");
            w_->text(type == "checkbox" ? (checked ? "[X]" : "[ ]") : (checked ? "(*)" : "( )"));
        } else if (type != "password" && hasText(value)) {
            w_->text(toAscii(value));
        }
        return;
    }
    field.reachable = shown;
    if (type == "checkbox") {
        field.kind = FieldRecord::Kind::Checkbox;
        field.value = valueText != nullptr ? value : "on";
        field.checked = hasAttribute(element, "checked");
        if (shown) {
            field.generated = newName();
            w_->element("<INPUT TYPE=CHECKBOX NAME=" + field.generated + " VALUE=1" +
                            (field.checked ? " CHECKED>" : ">"),
                        3);
            ++elements_;
        }
    } else if (type == "radio") {
        field.kind = FieldRecord::Kind::Radio;
        field.value = valueText != nullptr ? value : "on";
        bool checked = hasAttribute(element, "checked");
        if (owner != nullptr) {
            // One button of a group is checked: the first that says so.
            bool& groupChecked = owner->radioChecked[name];
            if (groupChecked) checked = false;
            if (checked) groupChecked = true;
        }
        field.checked = checked;
        if (shown) {
            auto group = owner->radioNames.find(name);
            if (group == owner->radioNames.end()) group = owner->radioNames.emplace(name, newName()).first;
            field.generated = group->second;
            field.choice = std::to_string(owner->nextChoice++);
            w_->element("<INPUT TYPE=RADIO NAME=" + field.generated + " VALUE=" + field.choice +
                            (checked ? " CHECKED>" : ">"),
                        3);
            ++elements_;
        }
    } else if (type == "password") {
        field.kind = FieldRecord::Kind::Password;
        field.value = value;
        if (shown) {
            field.generated = newName();
            hint(element);
            w_->element("<INPUT TYPE=PASSWORD NAME=" + field.generated + ">", 20);
            ++elements_;
            owner->hasTextField = true;
        }
    } else {
        // Text, search, e-mail, number, date ... and types this browser does
        // not know: a text box, as a desktop browser falls back to.
        field.kind = FieldRecord::Kind::Text;
        field.value = value;
        field.offered = offeredWord(value, MAX_OFFERED_VALUE);
        field.readOnly = hasAttribute(element, "readonly");
        if (shown) {
            field.generated = newName();
            if (field.offered.empty()) hint(element);
            // VALUE comes last: the browser's word buffer is shorter than a
            // long last word may be.
            std::string html = "<INPUT TYPE=TEXTBOX NAME=" + field.generated;
            if (!field.offered.empty()) html += " VALUE=" + field.offered;
            html += ">";
            w_->element(html, 20);
            ++elements_;
            owner->hasTextField = true;
        } else if (hasText(value)) {
            w_->text(toAscii(value));
        }
    }
    addField(owner, formId, std::move(field));
}

// The text of an option, as a desktop browser shows it.
std::string optionText(const GumboNode* option) {
    const char* label = attribute(option->v.element, "label");
    if (label != nullptr && hasText(label)) return label;
    std::string text;
    for (unsigned i = 0; i < option->v.element.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(option->v.element.children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
            child->type == GUMBO_NODE_CDATA)
            text += child->v.text.text;
    }
    return text;
}

// HTML's "strip and collapse ASCII whitespace", which gives an option
// without a value attribute the value it sends.
std::string collapsed(std::string_view text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            blank = !out.empty();
            continue;
        }
        if (blank) out.push_back(' ');
        blank = false;
        out.push_back(c);
    }
    return out;
}

void Walker::select(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    const std::string formId = attribute(element, "form") != nullptr ? attribute(element, "form") : "";
    FormBuild* owner = ownerOf(element);
    if (owner == nullptr && formId.empty()) return;
    const bool disabled = hasAttribute(element, "disabled") || disabledDepth_ > 0;

    FieldRecord field;
    field.kind = FieldRecord::Kind::Select;
    field.name = attribute(element, "name") != nullptr ? attribute(element, "name") : "";
    field.multiple = hasAttribute(element, "multiple");
    std::vector<std::string> texts;
    std::vector<const GumboNode*> pending;
    for (unsigned i = element.children.length; i > 0; --i)
        pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& child = at->v.element;
        if (child.tag == GUMBO_TAG_OPTGROUP) {
            if (hasAttribute(child, "disabled")) continue;
            for (unsigned i = child.children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode*>(child.children.data[i - 1]));
            continue;
        }
        if (child.tag != GUMBO_TAG_OPTION) continue;
        const bool selected = hasAttribute(child, "selected");
        if (hasAttribute(child, "disabled") && !selected) continue;
        const std::string text = optionText(at);
        OptionRecord option;
        option.value = attribute(child, "value") != nullptr ? attribute(child, "value") : collapsed(text);
        option.selected = selected;
        field.options.push_back(std::move(option));
        std::string shownText = singleToken(toAscii(text), MAX_OPTION_TEXT);
        texts.push_back(shownText.empty() ? "-" : shownText);
    }
    if (field.options.empty()) return;  // nothing to choose, nothing sent

    // The option shown at first: a single list shows its last selected
    // option (or the first), a multiple list its first selected one.
    int shownIndex = -1;
    for (std::size_t i = 0; i < field.options.size(); ++i) {
        if (field.options[i].selected && (!field.multiple || shownIndex < 0))
            shownIndex = static_cast<int>(i);
    }
    if (shownIndex < 0 && !field.multiple) shownIndex = 0;

    if (disabled) {
        if (shownIndex >= 0) w_->text(texts[static_cast<std::size_t>(shownIndex)]);
        return;
    }
    field.reachable = controlShown(owner);
    if (field.reachable) {
        field.generated = newName();
        std::string html = "<SELECT NAME=" + field.generated + ">";
        int width = 0;
        if (shownIndex < 0) {
            // A multiple list with nothing selected may send nothing.
            html += "<OPTION VALUE=" + std::string(NO_OPTION_VALUE) + " SELECTED>-";
            field.choice = NO_OPTION_VALUE;
            width = 1;
        }
        for (std::size_t i = 0; i < texts.size(); ++i) {
            html += "<OPTION VALUE=" + std::to_string(i);
            if (static_cast<int>(i) == shownIndex) {
                html += " SELECTED";
                field.choice = std::to_string(i);
            }
            html += ">" + texts[i];
            width = std::max(width, static_cast<int>(texts[i].size()));
        }
        html += "</SELECT>";
        w_->element(html, width);
        ++elements_;
    } else if (shownIndex >= 0) {
        w_->text(texts[static_cast<std::size_t>(shownIndex)]);
    }
    addField(owner, formId, std::move(field));
}

void Walker::textArea(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    const std::string formId = attribute(element, "form") != nullptr ? attribute(element, "form") : "";
    FormBuild* owner = ownerOf(element);
    if (owner == nullptr && formId.empty()) return;
    std::string text;
    for (unsigned i = 0; i < element.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
            child->type == GUMBO_NODE_CDATA)
            text += child->v.text.text;
    }
    if (hasAttribute(element, "disabled") || disabledDepth_ > 0) {
        w_->text(toAscii(text));
        return;
    }
    FieldRecord field;
    field.kind = FieldRecord::Kind::TextArea;
    field.name = attribute(element, "name") != nullptr ? attribute(element, "name") : "";
    field.value = text;
    field.offered = offeredWord(text, MAX_OFFERED_VALUE);
    field.readOnly = hasAttribute(element, "readonly");
    field.reachable = controlShown(owner);
    if (field.reachable) {
        // The browser has no multi-line field: one line it is.
        field.generated = newName();
        if (field.offered.empty()) hint(element);
        std::string html = "<INPUT TYPE=TEXTBOX NAME=" + field.generated;
        if (!field.offered.empty()) html += " VALUE=" + field.offered;
        html += ">";
        w_->element(html, 20);
        ++elements_;
        owner->hasTextField = true;
    } else {
        w_->text(toAscii(text));
    }
    addField(owner, formId, std::move(field));
}

void Walker::button(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    std::string type = lowerAttribute(element, "type");
    if (type.empty()) type = "submit";
    if (type != "submit" && type != "reset") return;  // scripted buttons do nothing here
    const std::string formId = attribute(element, "form") != nullptr ? attribute(element, "form") : "";
    FormBuild* owner = ownerOf(element);
    if (owner == nullptr || hasAttribute(element, "disabled") || disabledDepth_ > 0) return;
    std::string label = flatText(node, false);
    if (!hasText(label)) {
        const char* named = attribute(element, "aria-label");
        if (named == nullptr) named = attribute(element, "title");
        label = named != nullptr ? toAscii(named) : "";
    }
    if (!hasText(label)) label = type == "reset" ? "Reset" : "Submit";
    const std::string word = offeredWord(label, MAX_BUTTON_LABEL);
    const bool live = owner == lastOpened_ && !capReached();
    if (type == "reset") {
        if (live) {
            w_->element("<INPUT TYPE=RESET VALUE=" + word + ">", static_cast<int>(word.size()));
            ++elements_;
        }
        return;
    }
    FieldRecord field;
    field.kind = FieldRecord::Kind::Submit;
    field.name = attribute(element, "name") != nullptr ? attribute(element, "name") : "";
    field.value = attribute(element, "value") != nullptr ? attribute(element, "value") : "";
    firstButton(owner, element);
    if (live) {
        w_->element("<INPUT TYPE=SUBMIT VALUE=" + word + ">", static_cast<int>(word.size()));
        ++elements_;
        owner->hasSubmit = true;
    }
    addField(owner, formId, std::move(field));
}

// What an empty field without a label is for: a desktop browser shows its
// placeholder inside it; here it stands in front of it.
void Walker::hint(const GumboElement& element) {
    if (labelDepth_ > 0) return;
    const char* id = attribute(element, "id");
    if (id != nullptr && labelledIds_.count(id) != 0) return;
    const char* text = attribute(element, "placeholder");
    if (text == nullptr || !hasText(text)) text = attribute(element, "aria-label");
    if (text == nullptr || !hasText(text)) text = attribute(element, "title");
    if (text == nullptr || !hasText(text)) return;
    w_->text(toAscii(text));
    w_->space();
}

// The form is sent as its first submit button says: the browser cannot
// tell which button was pressed, so the first one counts, with the action,
// method and encoding it may set for itself.
void Walker::firstButton(FormBuild* owner, const GumboElement& element) {
    if (owner == nullptr || owner->submitRecorded) return;
    owner->submitRecorded = true;
    if (const char* action = attribute(element, "formaction")) {
        const UrlResolver::Result target = resolver_.resolve(action);
        owner->record.action = target.kind == UrlResolver::Kind::Web ? target.url : std::string();
    }
    if (hasAttribute(element, "formmethod"))
        owner->record.post = lowerAttribute(element, "formmethod") == "post";
    if (hasAttribute(element, "formenctype"))
        owner->record.multipart = lowerAttribute(element, "formenctype") == "multipart/form-data";
}

// Controls inside something hidden still go with their form, as they are.
void Walker::recordHiddenControls(const GumboNode* node) {
    std::vector<const GumboNode*> pending{node};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = at->v.element;
        if (element.tag == GUMBO_TAG_TEMPLATE || element.tag == GUMBO_TAG_FORM) continue;
        const bool control = element.tag == GUMBO_TAG_INPUT || element.tag == GUMBO_TAG_SELECT ||
                             element.tag == GUMBO_TAG_TEXTAREA;
        if (!control) {
            for (unsigned i = element.children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
            continue;
        }
        const char* name = attribute(element, "name");
        if (name == nullptr || hasAttribute(element, "disabled")) continue;
        const std::string formId = attribute(element, "form") != nullptr ? attribute(element, "form") : "";
        FormBuild* owner = ownerOf(element);
        FieldRecord field;
        field.name = name;
        field.reachable = false;
        const char* value = attribute(element, "value");
        if (element.tag == GUMBO_TAG_INPUT) {
            const std::string type = lowerAttribute(element, "type");
            if (type == "submit" || type == "image" || type == "reset" || type == "button" || type == "file")
                continue;
            if (type == "checkbox" || type == "radio") {
                field.kind = type == "checkbox" ? FieldRecord::Kind::Checkbox : FieldRecord::Kind::Radio;
                field.value = value != nullptr ? value : "on";
                field.checked = hasAttribute(element, "checked");
            } else {
                field.kind = type == "hidden" ? FieldRecord::Kind::Hidden : FieldRecord::Kind::Text;
                field.value = value != nullptr ? value : "";
            }
        } else if (element.tag == GUMBO_TAG_TEXTAREA) {
            field.kind = FieldRecord::Kind::TextArea;
            for (unsigned i = 0; i < element.children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
                    field.value += child->v.text.text;
            }
        } else {
            field.kind = FieldRecord::Kind::Select;
            field.multiple = hasAttribute(element, "multiple");
            std::vector<const GumboNode*> options{at};
            while (!options.empty()) {
                const GumboNode* option = options.back();
                options.pop_back();
                if (option->type != GUMBO_NODE_ELEMENT) continue;
                if (option->v.element.tag == GUMBO_TAG_OPTION) {
                    OptionRecord record;
                    const char* optionValue = attribute(option->v.element, "value");
                    record.value = optionValue != nullptr ? optionValue : collapsed(optionText(option));
                    record.selected = hasAttribute(option->v.element, "selected");
                    field.options.push_back(std::move(record));
                    continue;
                }
                const GumboVector& list = option->v.element.children;
                for (unsigned i = list.length; i > 0; --i)
                    options.push_back(static_cast<const GumboNode*>(list.data[i - 1]));
            }
        }
        addField(owner, formId, std::move(field));
    }
}

// Elements that do not stay open around what follows them: void elements,
// and those the parser closes by themselves when the next one starts.
bool leavesNothingOpen(std::string_view name) {
    static const char* const NAMES[] = {"br",     "img",  "input", "meta",  "link",  "hr",     "wbr",
                                         "area",   "base", "col",   "embed", "param", "source", "track",
                                         "keygen", "p",    "li",    "dt",    "dd",    "option", "tr",
                                         "td",     "th",   "tbody", "thead", "tfoot", "frame",  "!doctype"};
    for (const char* known : NAMES) {
        if (name.size() == std::char_traits<char>::length(known) &&
            std::equal(name.begin(), name.end(), known, [](char a, char b) {
                return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
            }))
            return true;
    }
    return false;
}

// Where to cut a page so that parsing it stays within a time bound.
//
// The HTML5 tree builder looks through the stack of open elements for
// most start tags, so a page that nests elements tens of thousands deep
// takes time that grows with the square of its depth: seconds to hours of a
// worker's time for a megabyte. Desktop browsers cap the depth of their
// trees for the same reason. This is not parsing: it only estimates that
// cost (the sum of the open depth at each start tag, counting only elements
// that stay open) and returns the position where it passes budget, or npos.
std::size_t parseCostCut(std::string_view html, std::uint64_t budget) {
    std::uint64_t depth = 0;
    std::uint64_t cost = 0;
    std::size_t at = 0;
    while ((at = html.find('<', at)) != std::string_view::npos) {
        const std::size_t tagStart = at;
        ++at;
        const bool closing = at < html.size() && html[at] == '/';
        if (closing) ++at;
        std::size_t end = at;
        while (end < html.size() && (std::isalnum(static_cast<unsigned char>(html[end])) || html[end] == '!'))
            ++end;
        if (end == at) continue;
        const std::string_view name = html.substr(at, end - at);
        at = end;
        if (leavesNothingOpen(name)) continue;
        if (closing) {
            if (depth > 0) --depth;
            continue;
        }
        ++depth;
        cost += depth;
        if (cost > budget) return tagStart;
    }
    return std::string_view::npos;
}

// About a second of the tree builder's time on this machine.
constexpr std::uint64_t PARSE_COST_BUDGET = 200000000;

}  // namespace

// --- Public functions ------------------------------------------------------------

std::string offeredWord(std::string_view utf8Value, std::size_t maxLength) {
    std::string ascii = toAscii(utf8Value);
    std::string word;
    word.reserve(std::min(ascii.size(), maxLength));
    std::size_t start = 0;
    std::size_t end = ascii.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
    while (start < end && blank(ascii[start])) ++start;
    while (end > start && blank(ascii[end - 1])) --end;
    for (std::size_t i = start; i < end && word.size() < maxLength; ++i) {
        const char c = ascii[i];
        if (blank(c) || c == '=' || c == '>') {
            word.push_back('_');
        } else if (c == '"') {
            word.push_back('\'');
        } else {
            word.push_back(c);
        }
    }
    return word;
}

std::string normaliseHtml(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          TokenStore& store, const NormaliserSettings& settings) {
    const bool truncated = body.size() > settings.maxInputBytes;
    if (truncated) body = body.substr(0, settings.maxInputBytes);
    const CharsetChoice charset = detectCharset(contentType, body, true);
    std::string utf8 = decodeToUtf8(body.substr(std::min(charset.bomLength, body.size())), charset.name);
    const std::size_t cut = parseCostCut(utf8, PARSE_COST_BUDGET);
    const bool tooDeep = cut != std::string::npos;
    if (tooDeep) utf8.resize(cut);
    GumboMemory memory;
    const GumboOptions options = memory.options();
    const GumboOutput* output = gumbo_parse_with_options(&options, utf8.data(), utf8.size());
    // Forms send their data in the page's charset; UTF-16 pages send UTF-8.
    std::string formCharset = charset.name.compare(0, 6, "UTF-16") == 0 ? "UTF-8" : charset.name;
    Walker walker(settings, store, pageUrl, formCharset);
    return walker.run(output, truncated ? Walker::Cut::TooLarge
                              : tooDeep ? Walker::Cut::TooDeep
                                        : Walker::Cut::None);
}

std::string normaliseText(std::string_view body, std::string_view contentType, std::string_view pageUrl,
                          const NormaliserSettings& settings) {
    const bool truncated = body.size() > settings.maxInputBytes;
    if (truncated) body = body.substr(0, settings.maxInputBytes);
    const CharsetChoice charset = detectCharset(contentType, body, false);
    const std::string text =
        toAscii(decodeToUtf8(body.substr(std::min(charset.bomLength, body.size())), charset.name));
    PageWriter page;
    std::size_t at = 0;
    bool stopped = false;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        page.preformatted(std::string_view(text).substr(at, end - at));
        if (end < text.size()) page.preformatted("\n");
        at = end + 1;
        if (page.lines() > settings.maxLines) {
            stopped = true;
            break;
        }
    }
    if (stopped || truncated) {
        page.paragraphBreak();
        page.text("[The rest of this file is not shown: it is too long for this browser.]");
    }
    // The file's name is its title.
    std::string_view path = pageUrl.substr(0, pageUrl.find_first_of("?#"));
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    std::string title =
        singleToken(toAscii(slash == std::string_view::npos ? path : path.substr(slash + 1)), 80);
    std::string out;
    if (!title.empty()) out += "<TITLE>" + title + "</TITLE>";
    out += page.finishPage();
    return out;
}

void Normaliser::Gate::enter() {
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [this] { return free_ > 0; });
    --free_;
}

void Normaliser::Gate::leave() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++free_;
    }
    freed_.notify_one();
}

Normaliser::Normaliser(TokenStore& store, NormaliserSettings settings)
    : store_(store), settings_(settings), bigPages_(std::max(settings.bigPageSlots, 1)) {}

std::string Normaliser::render(const PageInput& input) const {
    if (input.bodyOmitted) return describeOtherContent(input);
    switch (classifyContentType(input.contentType)) {
        case ContentKind::Html: {
            // Without a declared type, a body holding NUL bytes is a binary
            // file, not a page.
            if (input.contentType.empty() && input.body.substr(0, 1024).find('\0') != std::string_view::npos)
                return describeOtherContent(input);
            const bool big = input.body.size() > settings_.bigPageBytes;
            if (big) bigPages_.enter();
            struct Leave {
                Gate* gate;
                ~Leave() {
                    if (gate != nullptr) gate->leave();
                }
            } leave{big ? &bigPages_ : nullptr};
            return normaliseHtml(input.body, input.contentType, input.finalUrl, store_, settings_);
        }
        case ContentKind::Text:
            return normaliseText(input.body, input.contentType, input.finalUrl, settings_);
        case ContentKind::Other:
            return describeOtherContent(input);
    }
    return describeOtherContent(input);
}

bool Normaliser::adaptRequest(Request& request, std::string& error) const {
    switch (request.command) {
        case Command::Get:
        case Command::Refresh: {
            const TokenLookup link = lookUpLink(request.url, store_);
            switch (link.kind) {
                case TokenLookup::Kind::None:
                    return true;
                case TokenLookup::Kind::Found:
                    request.url = link.url;
                    return true;
                case TokenLookup::Kind::Expired:
                    error = "This link has expired; reload the page";
                    return false;
                case TokenLookup::Kind::Damaged:
                    error = "This link is damaged; reload the page";
                    return false;
            }
            return true;
        }
        case Command::FormGet:
        case Command::FormPost: {
            const TokenLookup form = lookUpForm(request.url, store_);
            switch (form.kind) {
                case TokenLookup::Kind::None:
                    return true;
                case TokenLookup::Kind::Expired:
                    error = "This form has expired; reload the page";
                    return false;
                case TokenLookup::Kind::Damaged:
                    error = "This form is damaged; reload the page";
                    return false;
                case TokenLookup::Kind::Found:
                    break;
            }
            if (form.form->action.empty()) {
                error = "This form can only be sent by a script";
                return false;
            }
            request.url = form.form->action;
            request.command = form.form->post ? Command::FormPost : Command::FormGet;
            request.multipart = form.form->post && form.form->multipart;
            request.fields = restoreFields(*form.form, request.fields);
            return true;
        }
        case Command::Ping:
            return true;
    }
    return true;
}

}  // namespace wexaproxy
