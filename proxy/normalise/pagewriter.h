#pragma once
// Writes a page in the small HTML dialect the browser reads, so that it
// shows as intended.
//
// What the browser does with what it is given decides every rule here:
//
// - Its tokenizer drops the blanks at the start of a text that directly
//   follows a tag, collapses runs of blanks, and decodes only "&nbsp" (one
//   blank) and "&nbsp;" (two). So a blank that must follow a tag is written
//   as "&nbsp", a run of blanks that must stay as pairs of "&nbsp;", and a
//   text "&nbsp" is split by a tag that shows nothing ("&nbs</IMG>p": the
//   browser knows /IMG and has no action for it).
// - "<" followed by a letter, "/" or "!" would open a tag: page text writes
//   it as "< ".
// - Line breaks are BR tags; list items, rules, tables and centring end the
//   current line themselves. Breaks are therefore held back until the next
//   content shows how many are still needed, so that empty lines never pile
//   up (at most one in a row) and a page never starts with one.
// - The browser breaks lines after column 78 wherever they are, in the
//   middle of a word too. The writer follows its layout (indentation of
//   lists, width of links and controls) and ends a line with BR before a
//   word that would not fit.
// - Bold and underline are one attribute in the browser; emphasis is
//   written on and off only where the combined state changes.
// - A text run is split by "</IMG>" every few hundred characters, at a word
//   start: the browser's tokens hold at most 511 characters, and one cut in
//   the middle of a run would lose a blank.
//
// A writer in cell mode writes the content of one table cell: line breaks
// become blanks and lists become text, and it counts the columns the content
// takes and the control bytes (bold, delimiters of links and controls) that
// the browser's table layout counts as if they were visible.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wexaproxy {

enum class Emphasis { Bold, Underline };
enum class ListKind { Unordered, Ordered };
enum class CellAlign { None, Left, Right, Center };

// A link text parted where the link would no longer fit: the part shown
// as the link (as singleToken makes it, at most maxLength characters, cut
// at a word end when there is one, else inside the word) and the rest, to
// be written as plain text (starting with a blank when the cut was at one;
// empty when the whole text fits).
struct LinkTextParts {
    std::string shown;
    std::string rest;
};
LinkTextParts splitLinkText(std::string_view text, std::size_t maxLength);

// text as one word of text the browser reads whole (a link text, an option
// text, the title): white space collapsed, no leading or trailing blank, no
// "<" (it would end the word), no "&nbsp" (it would become a blank); cut at
// maxLength characters, at a word end with "..." when one is near.
std::string singleToken(std::string_view text, std::size_t maxLength);

class PageWriter {
public:
    enum class Mode { Page, Cell };

    // Columns of a page line in the browser.
    static constexpr int LINE_WIDTH = 78;
    // Lists nested deeper than this are shown at this depth (the browser
    // indents 5 columns per list).
    static constexpr int MAX_LIST_DEPTH = 6;
    // Longest link text written; the words of a longer one that do not fit
    // follow the link as plain text.
    static constexpr std::size_t MAX_LINK_TEXT = 70;

    // What a finished cell holds, for the table layout.
    struct Cell {
        std::string html;
        int width = 0;  // columns shown
        int codes = 0;  // control bytes the table layout counts as well
        int elements = 0;
        CellAlign align = CellAlign::None;
        bool endsWithTag = true;
        bool endsWithBlank = false;
    };

    explicit PageWriter(Mode mode = Mode::Page);

    // Text of the page (printable ASCII; white space collapses as in HTML).
    void text(std::string_view text);
    // Preformatted text: blanks, tabs (to every 8th column) and line breaks kept.
    void preformatted(std::string_view text);
    // One collapsible blank, as a white space node.
    void space();

    // BR: ends the line; a second one in a row leaves an empty line.
    void lineBreak();
    // The edge of a block (div, list item, table row): the next content
    // starts a line.
    void blockBreak();
    // The edge of a paragraph, heading, list or table: an empty line before
    // the next content.
    void paragraphBreak();

    void beginEmphasis(Emphasis kind);
    void endEmphasis();

    // A link: href is the token to write, text plain text. The link shows as
    // one word as long as fits (MAX_LINK_TEXT, and never more than a line;
    // a link that is cut anyway takes the rest of the line it starts on when
    // that is not too short), cut at a word end; the rest of the text
    // follows it as plain text, so that every word of a long link is shown
    // and the link can still be followed.
    void link(std::string_view href, std::string_view text);
    // An element the browser shows width columns wide: html is its whole
    // markup (INPUT tag, SELECT with its options).
    void element(std::string_view html, int width);
    // A tag that shows nothing (FORM, /FORM).
    void silentTag(std::string_view html);
    // A horizontal rule; inside lists and cells just a break.
    void rule();

    void beginList(ListKind kind);
    // Starts an item; prefix (an item number the writer is given when the
    // browser's numbering cannot be used) is written first.
    void listItem(std::string_view prefix = {});
    void endList();
    // Indents what follows by one list step, without items (blockquote, dd).
    void beginIndent();
    void endIndent();
    void beginCenter();
    void endCenter();

    // A table laid out by the browser. Columns that hold more control bytes
    // in some cells than in others are evened out with invisible bytes, so
    // that the columns line up on the screen.
    void table(std::vector<std::vector<Cell>> rows);
    // A cell's content written inline (a table too wide to lay out is
    // written row by row).
    void inlineCell(const Cell& cell);

    // Cell mode: the cell's content, emphasis closed.
    Cell finishCell(CellAlign align);
    // Page mode: the page, every open state closed.
    std::string finishPage();

    // Columns of the content so far (cell mode); lines begun (page mode).
    int width() const { return width_; }
    long lines() const { return lines_; }
    // Links and controls written.
    int elements() const { return elements_; }
    bool hasContent() const { return width_ > 0 || elements_ > 0; }
    // Columns a line has at the current indentation.
    int lineRoom() const { return LINE_WIDTH - indent_; }
    // Bytes written so far.
    std::size_t size() const { return out_.size(); }
    // Room for bytes of page written from now on, taken at once: a page of
    // megabytes grown by doubling is copied and its fresh memory faulted in
    // over and over.
    void reserve(std::size_t bytes) { out_.reserve(out_.size() + bytes); }

private:
    struct Frame {
        ListKind kind = ListKind::Unordered;
        bool indentOnly = false;  // a list without items, used to indent
        bool opened = false;      // handled: its code written, or too deep for one
        bool written = false;     // its code was written
    };

    bool page() const { return mode_ == Mode::Page; }
    void tag(std::string_view html);
    void code(std::string_view html);  // a tag that writes one control byte
    void lineEnded();
    void flushBreaks(bool contentEndsLine);
    void openFrames();
    void closeFrame(const Frame& frame);
    void prelude();
    void placeSpace(int nextWidth);
    void emitSpace();
    void emitHardSpaces(int count);
    void syncEmphasis();
    void closeEmphasis();
    void openCenter();
    void closeCenter();
    void writeChars(std::string_view word);
    void word(std::string_view word);
    void advance(int columns);

    Mode mode_;
    std::string out_;

    // The browser's layout as the writer follows it.
    int col_ = 0;
    int indent_ = 0;
    long lines_ = 0;

    // Line ends written at the tail of the output, and line ends wanted
    // before the next content.
    int ended_ = 2;
    int wanted_ = 0;
    std::size_t lastBreakEnd_ = std::string::npos;  // output size after the last BR
    bool lineHasContent_ = false;
    bool itemStart_ = false;  // at the start of a list item or centred block
    bool pendingSpace_ = false;
    // Blanks at the end of a piece of preformatted text, written before
    // whatever follows on the same line (the next piece may be the text of
    // another inline element).
    int preBlanks_ = 0;

    // What the tokenizer will make of the next bytes.
    bool afterTag_ = true;
    bool afterBareNbsp_ = false;
    bool lastBlank_ = false;
    int textRun_ = 0;

    int emphasisDepth_ = 0;
    Emphasis emphasisKind_ = Emphasis::Bold;
    bool emphasisOpen_ = false;
    Emphasis openKind_ = Emphasis::Bold;

    std::vector<Frame> frames_;
    int writtenUl_ = 0;
    int writtenOl_ = 0;
    int writtenLists_ = 0;

    int centerDepth_ = 0;
    bool centerOpen_ = false;

    int width_ = 0;
    int codes_ = 0;
    int elements_ = 0;
};

}  // namespace wexaproxy
