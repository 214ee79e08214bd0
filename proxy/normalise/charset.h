#pragma once
// Character sets: from the bytes a web server sends to UTF-8 (which the HTML
// parser needs), from UTF-8 to the 7-bit ASCII the browser shows, and back
// from UTF-8 to a page's own character set for the values a form sends.
// ICU does the converting, the guessing of unlabelled pages and the
// romanisation of other scripts.
//
// Nothing here fails: bytes that are not valid in their character set are
// skipped, and text that has no ASCII form becomes "?".

#include <gumbo.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "proxy/normalise/transliterate.h"

namespace wexaproxy {

// The name a character set label stands for ("UTF-8", "WINDOWS-1252",
// "ISO-8859-2" ...), following the labels browsers accept where they read a
// label differently from ICU: "latin1", "iso-8859-1" and "us-ascii" all mean
// windows-1252, "gb2312" means GBK (read as its superset GB18030), "euc-kr"
// means windows-949, "big5" means Big5-HKSCS, "x-user-defined" is its own.
// Empty for a label that names no ASCII-compatible character set this
// machine can decode.
std::string canonicalCharset(std::string_view label);

// The charset parameter of a Content-Type value ("text/html; charset=UTF-8"
// gives "utf-8"), unquoted and in lower case; empty when there is none.
std::string charsetParameter(std::string_view contentType);

// Detected: the bytes were examined because no label was given and they
// are not UTF-8, or because the label given cannot be right for them.
enum class CharsetSource { ByteOrderMark, Header, MetaTag, Guess, Detected };

struct CharsetChoice {
    std::string name;           // canonical, as canonicalCharset returns it
    std::size_t bomLength = 0;  // bytes of a byte order mark to skip
    CharsetSource source = CharsetSource::Guess;
};

// How the bytes of an HTML page are to be read. A byte order mark decides;
// else the charset of the Content-Type header; else a meta declaration
// (either form) in the first kilobytes, found by parsing them with the HTML
// parser. A declared charset under which the bytes hold invalid sequences
// (UTF-8 labelled gb2312, say) cannot be right: then, as for a page with no
// label at all, valid UTF-8 is UTF-8, and otherwise ICU's detector is
// trusted when it is confident enough. Failing that, the declared charset
// stays; an unlabelled page is read as windows-1252.
//
// pageTree, when given, is gumbo's tree of the page parsed from body itself,
// which must be its own UTF-8 text (isOwnUtf8Text): the meta declaration is
// then looked for in it first, which spares a second parse of the first
// kilobytes in most pages, and the bytes are not checked again; the answer
// is the same.
CharsetChoice detectCharset(std::string_view contentType, std::string_view body, bool html = true,
                            const GumboNode* pageTree = nullptr);

// Whether bytes are, as they are, the UTF-8 text that reading them as
// UTF-8 gives: well-formed UTF-8 throughout, without a NUL (dropped when
// read) or a byte order mark.
bool isOwnUtf8Text(std::string_view bytes);

// True when text is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);

// The bytes in charset (a canonical name) as UTF-8. Invalid bytes are
// skipped, NUL bytes dropped (and the C1 control characters a legacy
// charset gives), an incomplete character at the end dropped.
std::string decodeToUtf8(std::string_view bytes, const std::string& charset);

// utf8 written in charset (a canonical name), for the values a form sends:
// servers read form data in the character set of the page that held the
// form. A character the charset lacks is written as a numeric character
// reference ("&#8364;"), as browsers do.
std::string encodeFromUtf8(std::string_view utf8, const std::string& charset);

}  // namespace wexaproxy
