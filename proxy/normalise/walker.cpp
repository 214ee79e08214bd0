#include "proxy/normalise/walker.h"

#include <utility>
#include <vector>

#include "proxy/normalise/charset.h"
#include "proxy/normalise/dom.h"

namespace wexaproxy {

namespace {

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

// The language an element gives its content (lang, or xml:lang), or null.
const char* languageAttribute(const GumboElement& element) {
    const char* lang = attribute(element, "lang");
    return lang != nullptr ? lang : attribute(element, "xml:lang");
}

// The language of a node's text: the nearest lang attribute around it, else
// fallback.
std::string languageAt(const GumboNode* node, std::string_view fallback) {
    for (const GumboNode* at = node; at != nullptr; at = at->parent) {
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        if (const char* lang = languageAttribute(at->v.element)) return languageKey(lang);
    }
    return std::string(fallback);
}

// The note that ends a page the walk stopped short of its end.
std::string stopNote(WalkStop reason) {
    switch (reason) {
        case WalkStop::Time:
            return "[The rest of this page is not shown: preparing it takes too long.]";
        case WalkStop::Memory:
            return "[The rest of this page is not shown: it needs too much memory.]";
        case WalkStop::Forms:
            return "[The rest of this page is not shown: it has too many forms or form fields.]";
        case WalkStop::None:
        case WalkStop::Lines:
            break;
    }
    return "[The rest of this page is not shown: it is too long for this browser.]";
}

// The first TITLE of the page, as text.
std::string titleOf(const GumboNode* root, std::string_view language) {
    std::vector<const GumboNode*> pending{root};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = at->v.element;
        if (element.tag == GUMBO_TAG_TITLE) {
            std::string text;
            for (unsigned i = 0; i < element.children.length; ++i) {
                const GumboNode* child = childAt(element.children, i);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
                    appendAscii(text, child->v.text.text, language);
            }
            return text;
        }
        if (element.tag == GUMBO_TAG_SVG || element.tag_namespace != GUMBO_NAMESPACE_HTML) continue;
        for (unsigned i = element.children.length; i > 0; --i)
            pending.push_back(childAt(element.children, i - 1));
    }
    return {};
}

}  // namespace

Walker::Walker(const NormaliserSettings& settings, std::string_view pageUrl, std::string formCharset,
               std::string_view contentLanguage, std::int64_t cpuStartMs)
    : state_(settings, pageUrl, languageKey(contentLanguage), cpuStartMs),
      links_(state_, *this),
      forms_(state_, *this, state_.resolver.base(), std::move(formCharset)),
      tables_(state_, *this) {}

std::string Walker::pageLanguage(const GumboNode* root) const {
    return languageAt(root, state_.languages.front());
}

void Walker::begin(const GumboNode* root, const ViewLink* viewLink) {
    // The html element is not walked: its language is the page's.
    state_.languages.push_back(pageLanguage(root));
    if (viewLink != nullptr) {
        links_.viewLink(viewLink->url, viewLink->text);
        state_.page.paragraphBreak();
    }
    // The head before the body: a BASE changes how every link resolves.
    head(root);
}

std::string Walker::finish(const GumboNode* root, PageCut cut) {
    forms_.closeOpenForm();
    PageWriter& page = state_.page;
    if (state_.stopped) {
        page.paragraphBreak();
        page.text(stopNote(state_.reason));
    } else if (cut == PageCut::TooLarge) {
        page.paragraphBreak();
        page.text("[This page is cut short: only its first " +
                  std::to_string(state_.settings.maxInputBytes / (1024 * 1024)) + " MB are shown.]");
    } else if (cut == PageCut::TooDeep) {
        page.paragraphBreak();
        page.text("[The rest of this page is not shown: its elements are nested too deeply.]");
    } else if (cut == PageCut::TooMuchMarkup) {
        page.paragraphBreak();
        page.text("[The rest of this page is not shown: it has too much markup.]");
    }
    forms_.addRecords(state_.entries);
    const std::string title = singleToken(titleOf(root, pageLanguage(root)), 200);
    // The title goes in front of the page in place: a page of megabytes is
    // not copied again.
    std::string out = page.finishPage();
    if (!title.empty()) out.insert(0, "<TITLE>" + title + "</TITLE>");
    return out;
}

std::string Walker::run(const GumboNode* root, PageCut cut, const ViewLink* viewLink) {
    begin(root, viewLink);
    const GumboVector& top = root->v.element.children;
    for (unsigned i = 0; i < top.length && !state_.stopped; ++i) {
        const GumboNode* child = childAt(top, i);
        if (isElement(child, GUMBO_TAG_HEAD)) continue;
        walk(child);
    }
    return finish(root, cut);
}

std::string Walker::runArticle(const GumboNode* root, const Article& article, PageCut cut,
                               const ViewLink& viewLink) {
    begin(root, &viewLink);
    PageWriter& page = state_.page;
    // The heading lines, in the language of the page.
    const std::string language = pageLanguage(root);
    const ArticleMeta& meta = article.meta;
    if (hasText(meta.title)) {
        page.beginEmphasis(Emphasis::Bold);
        page.text(toAscii(meta.title, language));
        page.endEmphasis();
        page.blockBreak();
    }
    if (hasText(meta.byline)) {
        page.text(toAscii(meta.byline, language));
        page.blockBreak();
    }
    if (hasText(meta.date)) {
        page.text(toAscii(meta.date, language));
        page.blockBreak();
    }
    page.paragraphBreak();
    dropped_ = &article.dropped;
    const std::vector<const GumboNode*>& parts = article.parts;
    for (std::size_t i = 0; i < parts.size() && !state_.stopped;) {
        // Parts inside a form (some sites put the whole page in one) are
        // walked inside that form, so that their controls work and the
        // form's controls outside the article are still sent.
        const GumboNode* form = formAround(parts[i]);
        std::size_t end = i + 1;
        while (form != nullptr && end < parts.size() && formAround(parts[end]) == form) ++end;
        if (form != nullptr && forms_.openAround(form)) {
            partsInForm(form, parts.data() + i, end - i);
            forms_.closeAround();
        } else {
            for (std::size_t k = i; k < end; ++k) articlePart(parts[k]);
        }
        i = end;
    }
    dropped_ = nullptr;
    return finish(root, cut);
}

void Walker::articlePart(const GumboNode* part) {
    if (state_.stopped) return;
    // The part's text is in the language of the elements around it.
    state_.languages.push_back(languageAt(part->parent, state_.languages.front()));
    state_.page.blockBreak();
    walk(part);
    state_.page.blockBreak();
    state_.languages.pop_back();
}

const GumboNode* Walker::formAround(const GumboNode* node) {
    const GumboNode* form = nullptr;
    for (const GumboNode* up = node->parent; up != nullptr; up = up->parent) {
        if (isElement(up, GUMBO_TAG_FORM)) form = up;
    }
    return form;
}

void Walker::partsInForm(const GumboNode* form, const GumboNode* const* parts, std::size_t count) {
    std::unordered_set<const GumboNode*> shown(parts, parts + count);
    std::unordered_set<const GumboNode*> holders;
    for (std::size_t k = 0; k < count; ++k) {
        for (const GumboNode* up = parts[k]->parent; up != nullptr && up != form; up = up->parent)
            holders.insert(up);
    }
    // In the page's order, so that the form sends its fields in that order.
    std::vector<const GumboNode*> pending;
    const GumboVector& top = childrenOf(form);
    for (unsigned i = top.length; i > 0; --i) pending.push_back(childAt(top, i - 1));
    while (!pending.empty() && !state_.stopped) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (shown.count(at) > 0) {
            articlePart(at);
        } else if (holders.count(at) > 0) {
            const GumboVector& list = childrenOf(at);
            for (unsigned i = list.length; i > 0; --i) pending.push_back(childAt(list, i - 1));
        } else if (at->type == GUMBO_NODE_ELEMENT) {
            forms_.hiddenControls(at);
        }
    }
}

void Walker::head(const GumboNode* node) {
    std::vector<const GumboNode*> pending{node};
    while (!pending.empty()) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& element = at->v.element;
        if (element.tag == GUMBO_TAG_BASE) {
            if (const char* href = attribute(element, "href")) state_.resolver.rebase(href);
        } else if (element.tag == GUMBO_TAG_META && lowerAttribute(element, "http-equiv") == "refresh") {
            links_.refresh(element);
        } else if (element.tag == GUMBO_TAG_HEAD || element.tag == GUMBO_TAG_HTML) {
            for (unsigned i = element.children.length; i > 0; --i)
                pending.push_back(childAt(element.children, i - 1));
        }
    }
}

void Walker::checkLines() {
    if (state_.page.lines() > state_.settings.maxLines) state_.stop(WalkStop::Lines);
}

void Walker::textNode(const char* utf8) {
    ascii_.clear();
    appendAscii(ascii_, utf8, state_.language());
    if (preDepth_ > 0) {
        state_.out->preformatted(ascii_);
    } else {
        state_.out->text(ascii_);
    }
}

void Walker::walk(const GumboNode* node) {
    if (++sinceBudgetCheck_ >= BUDGET_CHECK_EVERY) {
        sinceBudgetCheck_ = 0;
        state_.checkBudget();
    }
    if (state_.stopped) return;
    switch (node->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_CDATA:
            textNode(node->v.text.text);
            break;
        case GUMBO_NODE_WHITESPACE:
            if (preDepth_ > 0) {
                textNode(node->v.text.text);
            } else {
                state_.out->space();
            }
            break;
        case GUMBO_NODE_ELEMENT:
            element(node);
            break;
        default:
            break;  // comments, templates' contents, the document
    }
}

bool Walker::leftOut(const GumboNode* node) {
    if (dropped_ == nullptr) return false;
    bool dropped = dropped_->count(node) > 0;
    // A table's builder walks its cells, not its rows and row groups.
    if (!dropped && (isElement(node, GUMBO_TAG_TD) || isElement(node, GUMBO_TAG_TH))) {
        for (const GumboNode* up = node->parent; up != nullptr && !dropped && !isElement(up, GUMBO_TAG_TABLE);
             up = up->parent)
            dropped = dropped_->count(up) > 0;
    }
    if (!dropped) return false;
    // Not shown, but a desktop browser still sends the controls in it.
    forms_.hiddenControls(node);
    return true;
}

void Walker::children(const GumboNode* node) {
    // The builders walk the content of list items, table cells and the like
    // through here: what the reader page leaves out is left out here too.
    if (leftOut(node)) return;
    const GumboVector& list = childrenOf(node);
    for (unsigned i = 0; i < list.length && !state_.stopped; ++i) walk(childAt(list, i));
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
            state_.out->space();
        } else if (at->type == GUMBO_NODE_ELEMENT && !isSkipped(at->v.element.tag) &&
                   !isHidden(at->v.element)) {
            state_.out->space();
            const GumboVector& list = at->v.element.children;
            for (unsigned i = list.length; i > 0; --i) pending.push_back(childAt(list, i - 1));
        }
    }
}

void Walker::element(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    if (element.tag_namespace != GUMBO_NAMESPACE_HTML) return;  // SVG and MathML drawings
    if (isSkipped(element.tag)) return;
    if (isHidden(element)) {
        // Not shown, but a desktop browser still sends the controls in it.
        forms_.hiddenControls(node);
        return;
    }
    if (leftOut(node)) return;
    const char* lang = languageAttribute(element);
    if (lang != nullptr) state_.languages.push_back(languageKey(lang));
    if (depth_ >= MAX_DEPTH) {
        plainText(node);
    } else {
        ++depth_;
        layout(node);
        --depth_;
    }
    if (lang != nullptr) state_.languages.pop_back();
    checkLines();
}

void Walker::layout(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    PageWriter& out = *state_.out;
    switch (element.tag) {
        case GUMBO_TAG_BR:
            out.lineBreak();
            break;
        case GUMBO_TAG_HR:
            out.rule();
            break;
        case GUMBO_TAG_IMG:
            image(element);
            break;
        case GUMBO_TAG_A:
            links_.anchor(node);
            break;
        case GUMBO_TAG_FORM:
            forms_.form(node);
            break;
        case GUMBO_TAG_INPUT:
            forms_.input(node);
            break;
        case GUMBO_TAG_SELECT:
            forms_.select(node);
            break;
        case GUMBO_TAG_TEXTAREA:
            forms_.textArea(node);
            break;
        case GUMBO_TAG_BUTTON:
            forms_.button(node);
            break;
        case GUMBO_TAG_LABEL:
            forms_.label(node);
            break;
        case GUMBO_TAG_TABLE: {
            const GumboNode* enclosing = forms_.enterTable(node);
            tables_.table(node);
            forms_.leaveTable(node, enclosing);
            break;
        }
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
            out.blockBreak();
            out.text("*");
            out.space();
            children(node);
            out.blockBreak();
            break;
        case GUMBO_TAG_DT:
            out.blockBreak();
            children(node);
            out.blockBreak();
            break;
        case GUMBO_TAG_DD:
            out.blockBreak();
            out.beginIndent();
            children(node);
            out.endIndent();
            out.blockBreak();
            break;
        case GUMBO_TAG_BLOCKQUOTE:
            out.paragraphBreak();
            out.beginIndent();
            children(node);
            out.endIndent();
            out.paragraphBreak();
            break;
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_PLAINTEXT:
            out.paragraphBreak();
            ++preDepth_;
            children(node);
            --preDepth_;
            out.paragraphBreak();
            break;
        case GUMBO_TAG_CENTER:
            out.blockBreak();
            out.beginCenter();
            children(node);
            out.endCenter();
            out.blockBreak();
            break;
        case GUMBO_TAG_LEGEND:
            out.blockBreak();
            emphasis(node, Emphasis::Bold);
            out.blockBreak();
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
        case GUMBO_TAG_Q:
            out.text("\"");
            children(node);
            out.text("\"");
            break;
        case GUMBO_TAG_FRAMESET:
            links_.frames(node);
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
}

void Walker::block(const GumboNode* node, bool paragraph) {
    const GumboElement& element = node->v.element;
    const bool disabled = element.tag == GUMBO_TAG_FIELDSET && hasAttribute(element, "disabled");
    const bool centred = isCentred(element) && element.tag != GUMBO_TAG_TD && element.tag != GUMBO_TAG_TH;
    PageWriter& out = *state_.out;
    paragraph ? out.paragraphBreak() : out.blockBreak();
    if (centred) out.beginCenter();
    if (disabled) forms_.beginDisabled();
    children(node);
    if (disabled) forms_.endDisabled();
    if (centred) out.endCenter();
    paragraph ? out.paragraphBreak() : out.blockBreak();
}

void Walker::heading(const GumboNode* node) {
    const bool centred = isCentred(node->v.element);
    PageWriter& out = *state_.out;
    out.paragraphBreak();
    if (centred) out.beginCenter();
    out.beginEmphasis(Emphasis::Bold);
    children(node);
    out.endEmphasis();
    if (centred) out.endCenter();
    out.paragraphBreak();
}

void Walker::emphasis(const GumboNode* node, Emphasis kind) {
    state_.out->beginEmphasis(kind);
    children(node);
    state_.out->endEmphasis();
}

void Walker::image(const GumboElement& element) {
    const char* alt = attribute(element, "alt");
    if (alt == nullptr || !hasText(alt)) return;  // no words to show for it
    // An image is not part of the words around it.
    state_.out->space();
    state_.out->text(toAscii(alt, state_.language()));
    state_.out->space();
}

void Walker::list(const GumboNode* node, bool ordered) {
    const GumboElement& element = node->v.element;
    std::vector<const GumboNode*> items;
    bool numbered = false;
    for (unsigned i = 0; i < element.children.length; ++i) {
        const GumboNode* child = childAt(element.children, i);
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
    PageWriter& out = *state_.out;
    out.beginList(browserNumbers ? ListKind::Ordered : ListKind::Unordered);
    int number = start;
    for (unsigned i = 0; i < element.children.length && !state_.stopped; ++i) {
        const GumboNode* child = childAt(element.children, i);
        if (isElement(child, GUMBO_TAG_LI)) {
            if (isHidden(child->v.element)) {
                forms_.hiddenControls(child);
                continue;
            }
            if (leftOut(child)) continue;
            number = numberAttribute(child->v.element, "value", number, -1000000, 1000000);
            out.listItem(ownNumbers ? itemNumber(number, type) : std::string());
            number += reversed ? -1 : 1;
            ++depth_;
            children(child);
            --depth_;
        } else {
            walk(child);
        }
    }
    out.endList();
}

}  // namespace wexaproxy
