#include "tables/table_engine.h"

#include <sys/stat.h>

#include <algorithm>
#include <ios>
#include <string>

#include "common/check.h"
#include "passone/pagestream.h"

table_engine::table_engine(const char* inputName)
    : consumed(0),
      delimiters{static_cast<char>(PS_TABLE),        static_cast<char>(PS_TR),
                 static_cast<char>(PS_TD),           static_cast<char>(PS_TD_NOALIGN),
                 static_cast<char>(PS_ALIGN_LEFT),   static_cast<char>(PS_ALIGN_RIGHT),
                 static_cast<char>(PS_ALIGN_CENTER), static_cast<char>(PS_TD_END),
                 static_cast<char>(PS_TR_END),       static_cast<char>(PS_TABLE_END)},
      loneDelimiter(false),
      last(-1),
      buffer{},
      measuring(true),
      column(0),
      cellIndex(0),
      cellLength(0),
      leftPad(0),
      rightPad(0),
      alignSet(false),
      inTable(false),
      inRow(false),
      inCell(false) {
    // Only a regular file is read: reading a directory fails (the stream
    // buffer reports that by throwing), and a pipe could block forever.
    struct stat st {};
    if (inputName != nullptr && ::stat(inputName, &st) == 0 && S_ISREG(st.st_mode))
        in.open(inputName, std::ios::in | std::ios::binary);
    out.open(PASS2_FILE, std::ios::out | std::ios::binary | std::ios::trunc);
    reset();
}

table_engine::~table_engine() {
    if (in.is_open()) in.close();
    if (out.is_open()) out.close();
}

namespace {

// The largest table code. Text bytes, nearly all of a page stream, lie above
// it and are told apart without searching the delimiter list.
constexpr unsigned char HIGHEST_TABLE_CODE = PS_TABLE_END;
static_assert(PS_TABLE <= HIGHEST_TABLE_CODE && PS_TR <= HIGHEST_TABLE_CODE && PS_TD <= HIGHEST_TABLE_CODE &&
                  PS_TD_NOALIGN <= HIGHEST_TABLE_CODE && PS_ALIGN_LEFT <= HIGHEST_TABLE_CODE &&
                  PS_ALIGN_RIGHT <= HIGHEST_TABLE_CODE && PS_ALIGN_CENTER <= HIGHEST_TABLE_CODE &&
                  PS_TD_END <= HIGHEST_TABLE_CODE && PS_TR_END <= HIGHEST_TABLE_CODE,
              "every table code is at most HIGHEST_TABLE_CODE");

}  // namespace

bool table_engine::if_delimiter(char c) const {
    if (static_cast<unsigned char>(c) > HIGHEST_TABLE_CODE) return false;
    return std::find(std::begin(delimiters), std::end(delimiters), c) != std::end(delimiters);
}

void table_engine::reset() {
    consumed = 0;
    last = -1;
    loneDelimiter = false;
    measuring = true;
    column = 0;
    cellIndex = 0;
    cellLength = 0;
    leftPad = 0;
    rightPad = 0;
    alignSet = false;
    inTable = false;
    inRow = false;
    inCell = false;
    model.resetDS();
}

void table_engine::write_to_buffer() {
    if (!in.is_open()) return;
    // Bytes are taken straight from the file buffer: istream::get would build
    // a sentry for every byte, which cost more than the rest of the pass.
    // Only a code can change the stream's state (a failed seek back marks it
    // failed to end the pass), so the state is checked after each code
    // rather than per byte, and the codes are looked up in a table.
    std::streambuf* const source = in.rdbuf();
    using traits = std::char_traits<char>;
    bool isCode[256] = {};
    for (int b = 0; b < 256; ++b) isCode[b] = if_delimiter(static_cast<char>(b));
    try {
        if (in.good()) {
            for (int c = source->sbumpc(); c != traits::eof(); c = source->sbumpc()) {
                if (last == BUFFER_SIZE - 1) write_from_buffer();
                const char byte = static_cast<char>(c);
                if (isCode[static_cast<unsigned char>(c)]) {
                    write_from_buffer();
                    buffer[0] = byte;
                    last = 0;
                    loneDelimiter = true;
                    write_from_buffer();
                    if (!in.good()) break;
                } else {
                    WEXA_CHECK(last + 1 < BUFFER_SIZE, "last < 511");
                    buffer[++last] = byte;
                }
            }
        }
    } catch (const std::ios_base::failure&) {
        // The input could not be read any further: it ends here.
        in.setstate(std::ios::badbit);
    }
    if (last >= 0) write_from_buffer();
}

void table_engine::write_from_buffer() {
    const bool code = loneDelimiter && last == 0;
    const unsigned char first = static_cast<unsigned char>(buffer[0]);
    if (!code) flushText();
    last = -1;
    loneDelimiter = false;
    if (code) interpret(first);
}

void table_engine::flushText() {
    const int length = last + 1;
    if (measuring) {
        if (!inTable) {
            write(buffer, length);
            return;
        }
        consumed += length;
        if (inCell) cellLength += length;
        return;
    }
    // Output pass: only cell content is written. Text between cells (and, after
    // a malformed stream's seek, text already copied before the table) is not.
    if (!inCell) return;
    writeSpaces(leftPad);
    write(buffer, length);
    writeSpaces(rightPad);
}

void table_engine::interpret(unsigned char code) {
    switch (code) {
        case PS_TABLE:
            if (measuring && !inTable) {
                // A table starts from clean measurements. Stray cell and row
                // ends met outside any table would otherwise shift this
                // table's cell lengths and move the seek back before its start.
                model.resetDS();
                consumed = 0;
            }
            inTable = true;
            if (measuring) ++consumed;
            break;

        case PS_TR:
            if (inTable && !inRow) inRow = true;
            if (measuring)
                ++consumed;
            else
                write("\n", 1);
            break;

        case PS_TD:
            if (inRow && !inCell) {
                inCell = true;
                ++column;
                ++cellIndex;
            }
            if (measuring) ++consumed;
            break;

        case PS_TD_NOALIGN:
        case PS_ALIGN_LEFT:
        case PS_ALIGN_RIGHT:
        case PS_ALIGN_CENTER:
            if (measuring) {
                ++consumed;
            } else if (inCell && !alignSet) {
                alignSet = true;
                const int spare = model.getMaxLength(column) - model.getLength(cellIndex);
                if (code == PS_ALIGN_RIGHT) {
                    leftPad = spare;
                    rightPad = 0;
                } else if (code == PS_ALIGN_CENTER) {
                    leftPad = spare / 2;
                    rightPad = spare - leftPad;
                } else {
                    leftPad = 0;
                    rightPad = spare;
                }
            }
            break;

        case PS_TD_END:
            if (inCell) {
                inCell = false;
                alignSet = false;
            }
            if (measuring) {
                ++consumed;
                model.addColumn(column, cellLength);
                cellLength = 0;
            } else {
                write("  ", 2);
                leftPad = 0;
                rightPad = 0;
            }
            break;

        case PS_TR_END:
            if (inRow) {
                inRow = false;
                column = 0;
                ++cellIndex;
            }
            if (measuring) {
                ++consumed;
                model.endRow();
            }
            break;

        case PS_TABLE_END:
            if (measuring) {
                ++consumed;
                measuring = false;
                seekBackToTableStart();
                column = 0;
                cellIndex = 0;
            } else {
                // The output pass always ends at the end code that ended the
                // measuring pass: no other end code lies between the seek
                // target and it, or the measuring pass would have stopped there.
                write("\n", 1);
                inTable = false;
                reset();
            }
            break;

        default:
            break;
    }
}

void table_engine::seekBackToTableStart() {
    // consumed counts only bytes read in this measuring pass, each once, so the
    // target is never before the table's start code (or, for an end code met
    // outside any table, before the last reset): every end code is read at
    // most twice and the pass always moves on.
    const std::streamoff position = in.tellg();
    if (position < 0) {
        // An input that cannot seek cannot be read a second time: stop here.
        in.setstate(std::ios::failbit);
        return;
    }
    WEXA_CHECK(position >= consumed, "consumed <= in.tellg()");
    in.seekg(-static_cast<std::streamoff>(consumed), std::ios::cur);
}

void table_engine::writeSpaces(int n) {
    static const std::string spaces(64, ' ');
    while (n > 0) {
        const int piece = std::min(n, static_cast<int>(spaces.size()));
        write(spaces.data(), piece);
        n -= piece;
    }
}

void table_engine::write(const char* bytes, int n) {
    if (n > 0 && out.is_open()) out.write(bytes, n);
}
