#include "proxy/normalise/pagewriter.h"

#include <algorithm>
#include <utility>

#include "proxy/normalise/ascii.h"

namespace wexaproxy {

namespace {

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether text ends with "&nbs" in any letter case: a "p" written next
// would complete the one entity the browser decodes.
bool endsWithNbsPrefix(const std::string& text) {
    if (text.size() < 4) return false;
    const char* tail = text.data() + text.size() - 4;
    return tail[0] == '&' && lower(tail[1]) == 'n' && lower(tail[2]) == 'b' && lower(tail[3]) == 's';
}

// A tag that parts text and shows nothing: an end tag the browser knows
// and has no action for (the tag table's /IMG).
constexpr std::string_view SEPARATOR = "</IMG>";

// Characters that need a look in writeChars.
bool needsCare(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte >= 0x7F || c == '<' || c == ';' || c == 'p' || c == 'P';
}

// A text run longer than this gets a separator at the next word start; a
// single word longer than WORD_SPLIT gets one where it reaches that length.
constexpr int RUN_SPLIT = 400;
constexpr int WORD_SPLIT = 450;

// The shortest first part of a long link that is put at the end of a line
// (a shorter one would be hard to pick out).
constexpr int MIN_LINK_PART = 20;

}  // namespace

std::string singleToken(std::string_view text, std::size_t maxLength) {
    std::string out;
    out.reserve(std::min(text.size(), maxLength + 8));
    bool blank = false;
    for (char c : text) {
        if (isHtmlSpace(c)) {
            blank = !out.empty();
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) continue;
        if (blank) out.push_back(' ');
        blank = false;
        // Any "<" ends the browser's text token.
        out.push_back(c == '<' ? '{' : c);
        if (out.size() > maxLength + 8) break;  // enough to cut from
    }
    for (std::size_t at = 0; (at = out.find('&', at)) != std::string::npos; ++at) {
        if (at + 4 < out.size() && lower(out[at + 1]) == 'n' && lower(out[at + 2]) == 'b' &&
            lower(out[at + 3]) == 's' && lower(out[at + 4]) == 'p') {
            out.insert(at + 1, " ");
        }
    }
    if (out.size() > maxLength && maxLength >= 4) {
        std::size_t cut = maxLength - 3;
        const std::size_t blankAt = out.rfind(' ', cut);
        if (blankAt != std::string::npos && blankAt > cut / 2) cut = blankAt;
        out.resize(cut);
        while (!out.empty() && out.back() == ' ') out.pop_back();
        out += "...";
    } else if (out.size() > maxLength) {
        out.resize(maxLength);
    }
    return out;
}

LinkTextParts splitLinkText(std::string_view text, std::size_t maxLength) {
    // White space collapsed first, so that lengths count what is shown.
    std::string flat;
    flat.reserve(std::min(text.size(), maxLength * 4 + 16));
    bool blank = false;
    for (char c : text) {
        if (isHtmlSpace(c)) {
            blank = !flat.empty();
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) continue;
        if (blank) flat.push_back(' ');
        blank = false;
        flat.push_back(c);
    }
    LinkTextParts parts;
    std::size_t cut = flat.size();
    if (flat.size() > maxLength && maxLength > 0) {
        // At the last blank that lets the first words fit; inside the first
        // word when even that is too long.
        const std::size_t blankAt = flat.rfind(' ', maxLength);
        cut = blankAt != std::string::npos && blankAt > 0 ? blankAt : maxLength;
        parts.rest = flat.substr(cut);
    }
    flat.resize(cut);
    // Only "&nbsp" grows by a blank in singleToken; nothing is cut there.
    parts.shown = singleToken(flat, flat.size() + flat.size() / 5 + 8);
    return parts;
}

PageWriter::PageWriter(Mode mode) : mode_(mode) {
    if (!page()) ended_ = 0;
}

void PageWriter::tag(std::string_view html) {
    // A blank written before a tag stays (the browser keeps it at the end
    // of the text before the tag), so lastBlank_ is left as it is.
    out_.append(html);
    afterTag_ = true;
    afterBareNbsp_ = false;
    textRun_ = 0;
}

void PageWriter::code(std::string_view html) {
    tag(html);
    if (!page()) ++codes_;
}

void PageWriter::lineEnded() {
    ended_ = std::min(ended_ + 1, 2);
    col_ = indent_;
    ++lines_;
    lineHasContent_ = false;
    pendingSpace_ = false;
    preBlanks_ = 0;
    lastBlank_ = false;
}

void PageWriter::advance(int columns) {
    if (!page()) {
        width_ += columns;
        return;
    }
    while (columns > 0) {
        // The browser moves to a new line before a character that would
        // stand beyond the last column.
        if (col_ >= LINE_WIDTH) {
            col_ = indent_;
            ++lines_;
        }
        const int step = std::min(columns, std::max(LINE_WIDTH - col_, 1));
        col_ += step;
        columns -= step;
    }
}

void PageWriter::openFrames() {
    for (Frame& frame : frames_) {
        if (frame.opened) continue;
        frame.opened = true;
        if (writtenLists_ >= MAX_LIST_DEPTH) continue;
        const bool ordered = frame.kind == ListKind::Ordered;
        code(ordered ? "<OL>" : "<UL>");
        frame.written = true;
        ++writtenLists_;
        ++(ordered ? writtenOl_ : writtenUl_);
        indent_ += 5;
        // The browser moves to the new indentation at once for a numbered list.
        if (ordered) col_ = indent_;
    }
}

void PageWriter::flushBreaks(bool contentEndsLine) {
    if (!page()) return;
    int need = wanted_ - ended_ - (contentEndsLine ? 1 : 0);
    wanted_ = 0;
    const bool indentPending =
        std::any_of(frames_.begin(), frames_.end(), [](const Frame& f) { return !f.opened && f.indentOnly; });
    if (indentPending && !contentEndsLine) {
        // The browser indents the lines that start after the list code: the
        // code has to come before the line end that starts the content.
        if (need >= 1) {
            openFrames();
        } else if (ended_ >= 1 && lastBreakEnd_ == out_.size()) {
            out_.resize(out_.size() - 4);  // the BR moves after the codes
            openFrames();
            tag("<BR>");
            col_ = indent_;
            lastBreakEnd_ = out_.size();
        } else {
            openFrames();
            need = std::max(need, 1);
        }
    }
    for (int i = 0; i < need; ++i) {
        tag("<BR>");
        lineEnded();
        lastBreakEnd_ = out_.size();
    }
    openFrames();
}

void PageWriter::openCenter() {
    closeEmphasis();
    flushBreaks(true);
    code("<CENTER>");
    lineEnded();
    centerOpen_ = true;
    itemStart_ = true;
}

void PageWriter::closeCenter() {
    if (emphasisDepth_ == 0) closeEmphasis();
    // "</CENTER>" ends the line; the breaks still wanted come after it.
    code("</CENTER>");
    lineEnded();
    centerOpen_ = false;
}

void PageWriter::prelude() {
    // Emphasis that has ended is closed before any break or blank.
    if (emphasisOpen_ && emphasisDepth_ == 0) closeEmphasis();
    if (!page()) return;
    if (centerDepth_ > 0 && !centerOpen_ && frames_.empty()) {
        openCenter();
    } else {
        flushBreaks(false);
    }
}

void PageWriter::emitSpace() {
    if (!lastBlank_) {
        if (afterTag_) {
            out_ += "&nbsp";
            afterBareNbsp_ = true;
        } else {
            out_ += ' ';
            afterBareNbsp_ = false;
        }
        afterTag_ = false;
        lastBlank_ = true;
        ++textRun_;
        advance(1);
    }
    if (textRun_ >= RUN_SPLIT) tag(SEPARATOR);
}

void PageWriter::placeSpace(int nextWidth) {
    if (!pendingSpace_) return;
    pendingSpace_ = false;
    const int blanks = preBlanks_;
    preBlanks_ = 0;
    if (!lineHasContent_) return;
    if (page() && blanks > 1) {
        // Blanks of preformatted text before a link or control.
        emitHardSpaces(blanks);
        return;
    }
    if (page() && col_ + 1 + nextWidth > LINE_WIDTH && col_ > indent_) {
        tag("<BR>");
        lineEnded();
        lastBreakEnd_ = out_.size();
        return;
    }
    emitSpace();
}

void PageWriter::emitHardSpaces(int count) {
    if (count <= 0) return;
    int left = count;
    if (!afterTag_ && !lastBlank_) {
        out_ += ' ';
        --left;
        afterBareNbsp_ = false;
    }
    // The single "&nbsp" first: after it comes "&", never a ";" that would
    // make it two blanks.
    if (left % 2 == 1) {
        out_ += "&nbsp";
        afterBareNbsp_ = true;
        --left;
    }
    for (; left >= 2; left -= 2) {
        out_ += "&nbsp;";
        afterBareNbsp_ = false;
    }
    afterTag_ = false;
    lastBlank_ = true;
    textRun_ += count;
    advance(count);
}

void PageWriter::syncEmphasis() {
    const bool want = emphasisDepth_ > 0;
    if (want && !emphasisOpen_) {
        code(emphasisKind_ == Emphasis::Bold ? "<B>" : "<U>");
        emphasisOpen_ = true;
        openKind_ = emphasisKind_;
    } else if (!want && emphasisOpen_) {
        closeEmphasis();
    }
}

void PageWriter::closeEmphasis() {
    if (!emphasisOpen_) return;
    code(openKind_ == Emphasis::Bold ? "</B>" : "</U>");
    emphasisOpen_ = false;
}

void PageWriter::writeChars(std::string_view word) {
    // Most words need no care: written in one go.
    if (textRun_ + static_cast<int>(word.size()) < WORD_SPLIT &&
        std::none_of(word.begin(), word.end(), needsCare)) {
        out_.append(word);
        afterTag_ = false;
        afterBareNbsp_ = false;
        lastBlank_ = false;
        textRun_ += static_cast<int>(word.size());
        advance(static_cast<int>(word.size()));
        return;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) continue;
        if (textRun_ >= WORD_SPLIT) tag(SEPARATOR);
        // A ";" right after a bare "&nbsp" would make it two blanks, and a
        // "p" after a text "&nbs" would make an entity of the text.
        if ((c == ';' && afterBareNbsp_) || (lower(c) == 'p' && !afterTag_ && endsWithNbsPrefix(out_)))
            tag(SEPARATOR);
        out_.push_back(c);
        afterTag_ = false;
        afterBareNbsp_ = false;
        lastBlank_ = false;
        ++textRun_;
        advance(1);
        if (c == '<') {
            const char next = i + 1 < word.size() ? word[i + 1] : '\0';
            // What follows the word is not known: a tag may come next.
            if (next == '\0' || isLetter(next) || next == '/' || next == '!' || next == '<') {
                out_.push_back(' ');
                lastBlank_ = true;
                ++textRun_;
                advance(1);
            }
        }
    }
}

void PageWriter::word(std::string_view text) {
    prelude();
    placeSpace(static_cast<int>(text.size()));
    syncEmphasis();
    writeChars(text);
    lineHasContent_ = true;
    itemStart_ = false;
    ended_ = 0;
}

void PageWriter::text(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (isHtmlSpace(text[i])) {
            space();
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !isHtmlSpace(text[end])) ++end;
        word(text.substr(i, end - i));
        i = end;
    }
}

void PageWriter::space() {
    if (lineHasContent_) pendingSpace_ = true;
}

void PageWriter::preformatted(std::string_view text) {
    // Blanks the piece before left at its end belong to this line too (a
    // collapsible blank only when no line end comes between).
    int blanks = preBlanks_ > 0 ? preBlanks_ : pendingSpace_ && wanted_ == 0 ? 1 : 0;
    preBlanks_ = 0;
    // Column in the preformatted line, for tab stops (breaks are written
    // late, so col_ may still belong to the line before).
    int column = (ended_ > 0 || wanted_ > 0 ? 0 : col_ - indent_) + blanks;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            blanks = 0;  // blanks at the end of a line show nothing
            column = 0;
            lineBreak();
            ++i;
        } else if (c == '\r' || c == '\f') {
            ++i;
        } else if (c == '\t') {
            const int width = page() ? 8 - (column % 8) : 1;
            blanks += width;
            column += width;
            ++i;
        } else if (c == ' ') {
            ++blanks;
            ++column;
            ++i;
        } else {
            std::size_t end = i;
            while (end < text.size() && !isHtmlSpace(text[end])) ++end;
            column += static_cast<int>(end - i);
            prelude();
            pendingSpace_ = false;
            // The blanks before the word, then emphasis: a run covers its
            // own text only.
            if (!page() && blanks > 0) {
                if (lineHasContent_) emitSpace();
            } else {
                emitHardSpaces(blanks);
            }
            blanks = 0;
            syncEmphasis();
            writeChars(text.substr(i, end - i));
            lineHasContent_ = true;
            itemStart_ = false;
            ended_ = 0;
            i = end;
        }
    }
    pendingSpace_ = false;
    if (blanks > 0) {
        // Kept for what follows: more preformatted text keeps them all, other
        // content at least one.
        pendingSpace_ = true;
        preBlanks_ = blanks;
    }
}

void PageWriter::lineBreak() {
    preBlanks_ = 0;
    if (!page()) {
        space();
        return;
    }
    if (itemStart_ && !lineHasContent_) return;
    wanted_ = std::min(std::max(wanted_, ended_) + 1, 2);
}

void PageWriter::blockBreak() {
    preBlanks_ = 0;
    if (!page()) {
        space();
        return;
    }
    if (itemStart_ && !lineHasContent_) return;
    wanted_ = std::max(wanted_, 1);
}

void PageWriter::paragraphBreak() {
    preBlanks_ = 0;
    if (!page()) {
        space();
        return;
    }
    if (itemStart_ && !lineHasContent_) return;
    wanted_ = 2;
}

void PageWriter::beginEmphasis(Emphasis kind) {
    if (emphasisDepth_++ == 0) {
        // A run that has ended is closed here, before the blank or break
        // that parts it from this one, so that each run covers its own text
        // only; one of the same kind that follows with nothing between goes
        // on in the same run.
        if (emphasisOpen_ && (pendingSpace_ || wanted_ > 0 || kind != openKind_)) closeEmphasis();
        emphasisKind_ = kind;
    }
}

void PageWriter::endEmphasis() {
    if (emphasisDepth_ > 0) --emphasisDepth_;
}

void PageWriter::element(std::string_view html, int width) {
    prelude();
    placeSpace(width);
    syncEmphasis();
    if (page()) {
        // The browser starts a new line for an element that does not fit.
        if (width > LINE_WIDTH - col_) {
            col_ = indent_;
            ++lines_;
        }
        col_ += width;
        while (col_ > LINE_WIDTH && LINE_WIDTH > indent_) {
            col_ -= LINE_WIDTH - indent_;
            ++lines_;
        }
    } else {
        width_ += width;
        codes_ += 2;  // the delimiters around the element
    }
    out_.append(html);
    afterTag_ = true;
    afterBareNbsp_ = false;
    lastBlank_ = false;
    textRun_ = 0;
    lineHasContent_ = true;
    itemStart_ = false;
    ended_ = 0;
    ++elements_;
}

void PageWriter::link(std::string_view href, std::string_view text) {
    std::size_t longest = MAX_LINK_TEXT;
    if (page()) longest = std::min<std::size_t>(longest, static_cast<std::size_t>(LINE_WIDTH - indent_));
    LinkTextParts parts = splitLinkText(text, longest);
    if (page() && !parts.rest.empty() && wanted_ == 0 && lineHasContent_) {
        // A link that is cut anyway fills the line it starts on, when that
        // leaves it a fair part, rather than leave a gap before it.
        const int room = LINE_WIDTH - col_ - (pendingSpace_ ? 1 : 0);
        if (room >= MIN_LINK_PART && room < static_cast<int>(parts.shown.size())) {
            LinkTextParts fitted = splitLinkText(text, static_cast<std::size_t>(room));
            if (fitted.shown.size() >= static_cast<std::size_t>(MIN_LINK_PART)) parts = std::move(fitted);
        }
    }
    if (parts.shown.empty()) parts.shown = "link";
    std::string html;
    html.reserve(href.size() + parts.shown.size() + 16);
    html += "<A HREF=";
    html.append(href);
    html += ">";
    html += parts.shown;
    html += "</A>";
    element(html, static_cast<int>(parts.shown.size()));
    if (!parts.rest.empty()) this->text(parts.rest);
}

void PageWriter::silentTag(std::string_view html) {
    if (emphasisDepth_ == 0) closeEmphasis();
    tag(html);
}

void PageWriter::rule() {
    if (!page() || indent_ > 0 || !frames_.empty()) {
        paragraphBreak();
        return;
    }
    if (centerOpen_) closeCenter();
    closeEmphasis();
    flushBreaks(true);
    code("<HR>");
    // A line end, the rule's line, a line end.
    lineEnded();
    lineEnded();
    ended_ = 1;
    wanted_ = 0;
}

void PageWriter::beginList(ListKind kind) {
    if (page()) {
        if (frames_.empty()) {
            paragraphBreak();
        } else {
            blockBreak();
        }
    }
    Frame frame;
    frame.kind = kind;
    frames_.push_back(frame);
}

void PageWriter::listItem(std::string_view prefix) {
    if (!page()) {
        space();
        word(prefix.empty() ? std::string_view("*") : prefix);
        pendingSpace_ = true;
        return;
    }
    if (centerOpen_) closeCenter();
    if (emphasisDepth_ == 0) closeEmphasis();
    flushBreaks(true);
    if (writtenLists_ == 0) {
        // An item outside every list: a line of its own.
        blockBreak();
        word(prefix.empty() ? std::string_view("*") : prefix);
        pendingSpace_ = true;
        return;
    }
    code("<LI>");
    lineEnded();
    // The mark the browser writes: "1. " or "* ".
    const Frame* top = nullptr;
    for (const Frame& frame : frames_) {
        if (frame.written) top = &frame;
    }
    const bool ordered = top != nullptr && top->kind == ListKind::Ordered;
    col_ = indent_ + (ordered ? 3 : 2);
    ended_ = 0;
    itemStart_ = true;
    if (!prefix.empty()) {
        word(prefix);
        pendingSpace_ = true;
    }
}

void PageWriter::closeFrame(const Frame& frame) {
    if (!page()) return;
    if (!frame.written) {
        blockBreak();
        return;
    }
    const bool ordered = frame.kind == ListKind::Ordered;
    int& depth = ordered ? writtenOl_ : writtenUl_;
    // The browser ends the line at the end of the outermost list of a kind.
    const bool endsLine = depth == 1;
    indent_ -= 5;
    --writtenLists_;
    --depth;
    if (centerOpen_) closeCenter();
    if (emphasisDepth_ == 0) closeEmphasis();
    code(ordered ? "</OL>" : "</UL>");
    if (endsLine) {
        lineEnded();
    } else {
        wanted_ = std::max(wanted_, 1);
    }
}

void PageWriter::endList() {
    if (frames_.empty()) return;
    const Frame frame = frames_.back();
    frames_.pop_back();
    closeFrame(frame);
    if (page()) {
        if (frames_.empty()) {
            paragraphBreak();
        } else {
            blockBreak();
        }
    }
}

void PageWriter::beginIndent() {
    Frame frame;
    frame.indentOnly = true;
    frames_.push_back(frame);
}

void PageWriter::endIndent() {
    if (frames_.empty()) return;
    const Frame frame = frames_.back();
    frames_.pop_back();
    closeFrame(frame);
}

void PageWriter::beginCenter() {
    if (page()) ++centerDepth_;
}

void PageWriter::endCenter() {
    if (!page() || centerDepth_ == 0) return;
    if (--centerDepth_ == 0 && centerOpen_) closeCenter();
}

void PageWriter::table(std::vector<std::vector<Cell>> rows) {
    if (!page() || rows.empty()) return;
    if (centerOpen_) closeCenter();
    closeEmphasis();
    flushBreaks(true);
    std::vector<int> mostCodes;
    for (const auto& row : rows) {
        if (mostCodes.size() < row.size()) mostCodes.resize(row.size(), 0);
        for (std::size_t c = 0; c < row.size(); ++c) mostCodes[c] = std::max(mostCodes[c], row[c].codes);
    }
    tag("<TABLE>");
    for (const auto& row : rows) {
        out_ += "<TR>";
        for (std::size_t c = 0; c < row.size(); ++c) {
            const Cell& cell = row[c];
            switch (cell.align) {
                case CellAlign::Right:
                    out_ += "<TD ALIGN=RIGHT>";
                    break;
                case CellAlign::Center:
                    out_ += "<TD ALIGN=CENTER>";
                    break;
                case CellAlign::Left:
                    out_ += "<TD ALIGN=LEFT>";
                    break;
                case CellAlign::None:
                    out_ += "<TD>";
                    break;
            }
            out_ += cell.html;
            // The table layout pads by bytes, control bytes included, and the
            // screen shows none of them: "</LI>" adds one byte that the
            // browser draws as nothing.
            for (int k = cell.codes; k < mostCodes[c]; ++k) out_ += "</LI>";
            out_ += "</TD>";
            elements_ += cell.elements;
        }
        out_ += "</TR>";
    }
    tag("</TABLE>");
    lines_ += static_cast<long>(rows.size()) + 1;
    ended_ = 1;
    wanted_ = 0;
    col_ = indent_;
    lineHasContent_ = false;
    pendingSpace_ = false;
    lastBlank_ = false;
}

void PageWriter::inlineCell(const Cell& cell) {
    if (cell.html.empty()) return;
    prelude();
    placeSpace(cell.width);
    syncEmphasis();
    if ((afterBareNbsp_ && cell.html[0] == ';') ||
        (lower(cell.html[0]) == 'p' && !afterTag_ && endsWithNbsPrefix(out_)))
        tag(SEPARATOR);
    advance(cell.width);
    out_ += cell.html;
    afterTag_ = cell.endsWithTag;
    lastBlank_ = cell.endsWithBlank;
    afterBareNbsp_ = cell.html.size() >= 5 && cell.html.compare(cell.html.size() - 5, 5, "&nbsp") == 0;
    textRun_ = 0;
    lineHasContent_ = true;
    itemStart_ = false;
    ended_ = 0;
    elements_ += cell.elements;
}

PageWriter::Cell PageWriter::finishCell(CellAlign align) {
    emphasisDepth_ = 0;
    closeEmphasis();
    Cell cell;
    cell.html = std::move(out_);
    out_.clear();
    cell.width = width_;
    cell.codes = codes_;
    cell.elements = elements_;
    cell.align = align;
    cell.endsWithTag = afterTag_;
    cell.endsWithBlank = lastBlank_;
    return cell;
}

std::string PageWriter::finishPage() {
    emphasisDepth_ = 0;
    closeEmphasis();
    if (centerOpen_) closeCenter();
    centerDepth_ = 0;
    while (!frames_.empty()) {
        const Frame frame = frames_.back();
        frames_.pop_back();
        closeFrame(frame);
    }
    return std::move(out_);
}

}  // namespace wexaproxy
