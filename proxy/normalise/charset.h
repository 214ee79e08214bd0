#pragma once
// Character sets: from the bytes a web server sends to UTF-8 (which the HTML
// parser needs), from UTF-8 to the 7-bit ASCII the browser shows, and back
// from UTF-8 to a page's own character set for the values a form sends.
//
// Nothing here fails: bytes that are not valid in their character set are
// skipped, and characters that have no ASCII form become "?".

#include <cstddef>
#include <string>
#include <string_view>

namespace wexaproxy {

// The name iconv knows a character set label by ("UTF-8", "WINDOWS-1252",
// "ISO-8859-2" ...), following the labels browsers accept: "latin1",
// "iso-8859-1" and "us-ascii" all mean windows-1252, "utf8" means UTF-8.
// Empty for a label that names no character set this machine can decode.
std::string canonicalCharset(std::string_view label);

// The charset parameter of a Content-Type value ("text/html; charset=UTF-8"
// gives "UTF-8"), unquoted; empty when there is none.
std::string charsetParameter(std::string_view contentType);

enum class CharsetSource { ByteOrderMark, Header, MetaTag, Guess };

struct CharsetChoice {
    std::string name;           // canonical, as canonicalCharset returns it
    std::size_t bomLength = 0;  // bytes of a byte order mark to skip
    CharsetSource source = CharsetSource::Guess;
};

// How the bytes of an HTML page are to be read, in the order browsers decide
// it: a byte order mark; the charset of the Content-Type header; a meta
// declaration (either form) in the first kilobytes, found by parsing them
// with the HTML parser; otherwise UTF-8 when the bytes are valid UTF-8 and
// windows-1252 when they are not.
CharsetChoice detectCharset(std::string_view contentType, std::string_view body, bool html = true);

// True when text is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);

// The bytes in charset (a canonical name) as UTF-8. Invalid bytes are
// skipped, NUL bytes dropped, an incomplete character at the end dropped.
std::string decodeToUtf8(std::string_view bytes, const std::string& charset);

// Appends utf8 to out as printable ASCII: accents dropped, typographic
// quotes, dashes, the ellipsis and the like written with ASCII characters,
// Greek and Cyrillic letters spelt with Latin ones, the no-break space as a
// blank, invisible characters (zero-width spaces, soft hyphens, combining
// marks) left out, and a run of characters that have no ASCII form written
// as one "?". Tab, line feed, carriage return and form feed are kept (they
// are white space to the caller); every other control character is dropped.
// Invalid UTF-8 bytes are skipped.
void appendAscii(std::string& out, std::string_view utf8);

inline std::string toAscii(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    appendAscii(out, utf8);
    return out;
}

// utf8 written in charset (a canonical name), for the values a form sends:
// servers read form data in the character set of the page that held the
// form. A character the charset lacks is written as a numeric character
// reference ("&#8364;"), as browsers do.
std::string encodeFromUtf8(std::string_view utf8, const std::string& charset);

}  // namespace wexaproxy
