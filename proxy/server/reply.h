#pragma once
// The reply writer: the bytes the server sends back, and the line cutter
// that makes a page safe for the browser's line reader.
//
// The browser reads a page reply line by line and stores the lines joined
// with nothing between them. Its reader ends the reply at an empty line or
// at six "~" in a row, and a page line beginning with "TRUE" or "FALSE"
// would flip its cache flag. So every page line is non-empty, holds at most
// five "~" in a row, never begins with "TRUE" or "FALSE", and is far shorter
// than the 511 bytes the reader takes at once; and the lines joined again
// give back exactly the page text that was cut.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wexaproxy {

// The page lines are cut to at most this many bytes.
constexpr std::size_t PAGE_LINE_LENGTH = 400;

// The message window shows at most this many characters of an error line.
constexpr std::size_t MAX_MESSAGE_LENGTH = 58;

enum class Cacheability { Cacheable, NotCacheable };

// What the browser may store. The tokenizer drops line feeds inside text,
// which would glue the last word of one line to the first of the next, so
// CR and LF become blanks (HTML treats them as white space anyway). NUL is
// dropped. The browser's byte reader cannot tell a 255 byte from the end of
// the stream and would cut the page there, so 255 becomes "?".
std::string sanitizePageText(std::string_view page);

// Cuts text into lines as described at the top of this file. The views point
// into text. maxLine must be at least 2 (one byte and room to step past a
// "TRUE" or "FALSE").
std::vector<std::string_view> cutLines(std::string_view text, std::size_t maxLine = PAGE_LINE_LENGTH);

// "OK", the cache flag, the page's lines, six "~".
std::string pageReply(std::string_view page, Cacheability cacheability);

// "ERROR" and one line: the message made safe (one non-empty line of at most
// MAX_MESSAGE_LENGTH printable characters, no "~" run that would end the reply).
std::string errorReply(std::string_view message);

// The one-line text that errorReply sends for message.
std::string plainMessage(std::string_view message);

// The answer to PING.
std::string aliveReply();

}  // namespace wexaproxy
