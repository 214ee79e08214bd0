#include "proxy/normalise/dom.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "proxy/normalise/charset.h"

namespace wexaproxy {

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

// Called for every element: one pass over the attributes.
bool isHidden(const GumboElement& element) {
    bool styled = false;
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attr = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        const char* name = attr->name;  // the parser writes names in lower case
        // (The first letter first: most attributes are none of these.)
        if (name[0] == 'h' && std::strcmp(name, "hidden") == 0) return true;
        if (name[0] == 'a' && std::strcmp(name, "aria-hidden") == 0 && lowerTrimmed(attr->value) == "true")
            return true;
        if (name[0] == 's' && std::strcmp(name, "style") == 0) styled = true;
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

int numberAttribute(const GumboElement& element, const char* name, int fallback, int low, int high) {
    const char* value = attribute(element, name);
    if (value == nullptr) return fallback;
    char* end = nullptr;
    const long number = std::strtol(value, &end, 10);
    if (end == value) return fallback;
    return static_cast<int>(std::clamp<long>(number, low, high));
}

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

bool hasText(std::string_view text) {
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f') return true;
    }
    return false;
}

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

namespace {

// Elements a desktop browser lays out on lines of their own, or that end a
// line: their text never runs into the text around them.
bool separatesWords(GumboTag tag) {
    if (isBlock(tag) || isParagraph(tag) || isHeading(tag)) return true;
    switch (tag) {
        case GUMBO_TAG_BR:
        case GUMBO_TAG_HR:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_DT:
        case GUMBO_TAG_DD:
        case GUMBO_TAG_UL:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_MENU:
        case GUMBO_TAG_DIR:
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_CENTER:
        case GUMBO_TAG_LEGEND:
        case GUMBO_TAG_FORM:
        case GUMBO_TAG_INPUT:
        case GUMBO_TAG_BUTTON:
        case GUMBO_TAG_SELECT:
        case GUMBO_TAG_TEXTAREA:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string flatText(const GumboNode* node, bool forLink, std::string_view language, std::size_t limit) {
    std::string text;
    // A null entry stands for the blank after a block.
    std::vector<const GumboNode*> pending;
    const GumboVector& top = node->v.element.children;
    for (unsigned i = top.length; i > 0; --i) pending.push_back(childAt(top, i - 1));
    while (!pending.empty() && text.size() < limit) {
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at == nullptr) {
            text.push_back(' ');
        } else if (at->type == GUMBO_NODE_TEXT || at->type == GUMBO_NODE_CDATA) {
            appendAscii(text, at->v.text.text, language);
        } else if (at->type == GUMBO_NODE_WHITESPACE) {
            text.push_back(' ');
        } else if (at->type == GUMBO_NODE_ELEMENT) {
            const GumboElement& element = at->v.element;
            if (isHidden(element) || isSkipped(element.tag)) continue;
            if (element.tag == GUMBO_TAG_IMG) {
                if (const char* alt = attribute(element, "alt")) {
                    text.push_back(' ');
                    appendAscii(text, alt, language);
                    text.push_back(' ');
                }
                continue;
            }
            if (forLink && (element.tag == GUMBO_TAG_SELECT || element.tag == GUMBO_TAG_TEXTAREA)) continue;
            if (separatesWords(element.tag)) {
                text.push_back(' ');
                pending.push_back(nullptr);
            }
            for (unsigned i = element.children.length; i > 0; --i)
                pending.push_back(childAt(element.children, i - 1));
        }
    }
    return text;
}

}  // namespace wexaproxy
