#pragma once
// Small questions asked of gumbo's parse tree while a page is walked: an
// element's attributes and inline style, whether the page hides it, how a
// desktop browser lays it out (skipped, block, paragraph, heading), and the
// plain text of a subtree.

#include <gumbo.h>
#include <strings.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "proxy/normalise/pagewriter.h"

namespace wexaproxy {

// The attribute named name (in lower case), or null: what
// gumbo_get_attribute finds (names compared without regard to case), with
// the first letter compared inline, since most attributes of most elements
// differ from the name asked for in their first letter already.
inline const GumboAttribute* findAttribute(const GumboVector& attributes, const char* name) {
    const char first = name[0];
    for (unsigned i = 0; i < attributes.length; ++i) {
        const auto* attr = static_cast<const GumboAttribute*>(attributes.data[i]);
        const char c = attr->name[0];
        if ((c == first || (c >= 'A' && c <= 'Z' && c - 'A' + 'a' == first)) &&
            strcasecmp(attr->name, name) == 0)
            return attr;
    }
    return nullptr;
}

// The value of an attribute (names are lower case), or null when absent.
inline const char* attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* found = findAttribute(element.attributes, name);
    return found != nullptr ? found->value : nullptr;
}

inline bool hasAttribute(const GumboElement& element, const char* name) {
    return findAttribute(element.attributes, name) != nullptr;
}

// The value of an attribute, or the empty text when absent.
inline std::string attributeText(const GumboElement& element, const char* name) {
    const char* value = attribute(element, name);
    return value != nullptr ? value : "";
}

// text without surrounding HTML white space, in lower case (ASCII letters).
std::string lowerTrimmed(std::string_view text);

// An attribute's value as lowerTrimmed gives it; empty when absent.
std::string lowerAttribute(const GumboElement& element, const char* name);

inline const GumboVector& childrenOf(const GumboNode* node) {
    return node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
}

inline const GumboNode* childAt(const GumboVector& children, unsigned index) {
    return static_cast<const GumboNode*>(children.data[index]);
}

inline bool isElement(const GumboNode* node, GumboTag tag) {
    return (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) &&
           node->v.element.tag == tag;
}

// The value of a declaration in an inline style ("display" in
// "color: red; display: none"), lower case; empty when absent.
std::string styleValue(const GumboElement& element, std::string_view property);

// Hidden from a desktop browser's reader by the page itself: the hidden
// attribute, aria-hidden="true", or an inline display: none or visibility:
// hidden (or collapse).
bool isHidden(const GumboElement& element);

// The alignment an element asks for (align, else the inline text-align).
CellAlign alignOf(const GumboElement& element);

inline bool isCentred(const GumboElement& element) {
    return alignOf(element) == CellAlign::Center;
}

// An integer attribute clamped to [low, high]; fallback when it is absent
// or does not start with a number.
int numberAttribute(const GumboElement& element, const char* name, int fallback, int low, int high);

// The elements whose content is not shown by a desktop browser, or is
// shown in a way this browser cannot (frames, media, scripted canvases).
bool isSkipped(GumboTag tag);

// Elements laid out as blocks of their own.
bool isBlock(GumboTag tag);

// Paragraph-like blocks: an empty line before and after.
bool isParagraph(GumboTag tag);

inline bool isHeading(GumboTag tag) {
    return tag >= GUMBO_TAG_H1 && tag <= GUMBO_TAG_H6;
}

// Whether text holds anything but white space.
bool hasText(std::string_view text);

// HTML's "strip and collapse ASCII whitespace".
std::string collapsed(std::string_view text);

// The text a link or a button shows, in ASCII: its text, images as their
// alt text, hidden parts left out (in a link, select lists and text areas
// too). Blocks and line breaks part words; inline elements (span, b, wbr
// ...) do not. Text is transliterated by the rules of language (see
// appendAscii). Not collapsed; gathering stops once limit bytes are reached.
std::string flatText(const GumboNode* node, bool forLink, std::string_view language = {},
                     std::size_t limit = 4096);

}  // namespace wexaproxy
