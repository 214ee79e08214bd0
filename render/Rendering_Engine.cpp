#include "render/Rendering_Engine.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "passone/pagestream.h"
#include "render/Pass3_Tokenizer.h"
#include "render/ast.h"
#include "screen/colours.h"

namespace {

// Screen layout.
constexpr int STATUS_ROW = 23;
constexpr int DOWN_MARK_COLUMN = 70;
constexpr int UP_MARK_COLUMN = 72;
constexpr int POSITION_COLUMN = 74;  // "NNN%", the part of the page seen so far
constexpr int HELP_BLANKS = 67;
constexpr const char* GLOBAL_KEYS = " F1(Help) F2(URL window) F3(Configure Proxy)";

// Every byte takes exactly one cell. Bytes a terminal would act on
// (control characters) or could not show as one column (bytes above 126)
// are shown as '?', so that nothing in a page can move the terminal's
// cursor or shift the rest of the line.
struct CellTable {
    chtype cell[256];
    constexpr CellTable() : cell{} {
        for (int b = 0; b < 256; ++b) cell[b] = (b >= 32 && b <= 126) ? static_cast<chtype>(b) : '?';
    }
};
constexpr CellTable CELLS;

chtype cellOf(char byte) {
    return CELLS.cell[static_cast<unsigned char>(byte)];
}

}  // namespace

Rendering_Engine::Rendering_Engine() : lists(std::make_unique<listStack>()) {}

Rendering_Engine::~Rendering_Engine() = default;

bool Rendering_Engine::createPad() {
    if (pad != nullptr) return true;
    pad.reset(newpad(PAD_ROWS, PAD_COLUMNS));
    if (pad == nullptr) return false;
    wbkgd(pad.get(), ' ');
    return true;
}

void Rendering_Engine::setSource(const char* fileName) {
    source = fileName != nullptr ? fileName : "";
}

Rendering_Engine::LayoutState Rendering_Engine::saveLayout() const {
    LayoutState state;
    state.offset = consumed;
    state.row = row;
    state.x = x;
    state.indent = indent;
    state.centring = centring;
    state.insideActive = insideActive;
    state.olDepth = olDepth;
    state.ulDepth = ulDepth;
    state.attrs = attrs;
    state.placed = placed;
    state.pendingCount = pendingCount;
    state.pendingExtra = pendingExtra;
    state.lists = lists->entries();
    return state;
}

void Rendering_Engine::restoreLayout(const LayoutState& state) {
    consumed = state.offset;
    row = state.row;
    x = state.x;
    indent = state.indent;
    centring = state.centring;
    insideActive = state.insideActive;
    olDepth = state.olDepth;
    ulDepth = state.ulDepth;
    attrs = state.attrs;
    placed = state.placed;
    pendingCount = state.pendingCount;
    pendingExtra = state.pendingExtra;
    lists->assign(state.lists);
}

void Rendering_Engine::takeCheckpoint() {
    if (lists->depth() > MAX_CHECKPOINT_LISTS) return;  // tried again at the next token
    checkpoints.push_back(saveLayout());
    nextCheckpointRow = row + CHECKPOINT_ROWS;
}

void Rendering_Engine::windowFilled() {
    if (relayout) {
        windowFull = true;
    } else if (pad != nullptr) {
        // Every row above has been drawn; the window moves on.
        base = row;
        werase(pad.get());
    }
}

void Rendering_Engine::renderWindow(int first) {
    if (pad == nullptr || relayout || drawingWindow) return;
    const LayoutState live = saveLayout();
    base = std::max(first, 0);
    werase(pad.get());
    if (table != nullptr) {
        elements.clear();
        const ASTNode* node = table->getPointerToAST();
        for (short i = 0; i < table->getCount() && node != nullptr; ++i, node = node->next)
            elements.push_back(node->info);
    }

    // The last note at or before the window's first row.
    auto after = std::upper_bound(checkpoints.begin(), checkpoints.end(), base,
                                  [](int r, const LayoutState& state) { return r < state.row; });
    if (!source.empty() && after != checkpoints.begin()) {
        restoreLayout(*std::prev(after));
        relayout = true;
        windowFull = false;
        Pass3_Tokenizer().findToken(source.c_str(), consumed, *this, &windowFull);
        relayout = false;
    }
    restoreLayout(live);

    // The elements whose text reaches into the window draw themselves (an
    // element's text wraps at most to a row further per line width).
    drawingWindow = true;
    for (const Component* element : elements) {
        const int firstRow = element->getRow();
        const int lastRow = firstRow + element->getLength() / LINE_WIDTH + 1;
        if (lastRow >= base && firstRow - base < PAD_ROWS) element->display();
    }
    elements.clear();
    drawingWindow = false;
    applyMark();
}

void Rendering_Engine::keepViewInPad() {
    if (pad == nullptr || relayout || drawingWindow) return;
    if (top >= base && top + VIEW_ROWS <= base + PAD_ROWS) return;
    // The view in the middle of the window, unless the page ends before.
    const int end = std::max(top + VIEW_ROWS, row + 1);
    renderWindow(std::min(top - (PAD_ROWS - VIEW_ROWS) / 2, end - PAD_ROWS));
}

void Rendering_Engine::writeText(const char* text, int n) {
    if (text == nullptr) return;
    chtype cells[LINE_WIDTH];
    int done = 0;
    while (done < n) {
        if (x >= LINE_WIDTH) {
            // A wrapped line is not centred. Elements met on the row being
            // left lie on that row, so they are placed now, as they stand.
            if (pendingCount > 0 || pendingExtra > 0) updateActiveE_Position(0);
            toDoubleBuffer();
        }
        const int take = std::min(n - done, LINE_WIDTH - x);
        if (inPad(row)) {
            for (int i = 0; i < take; ++i) cells[i] = cellOf(text[done + i]) | attrs;
            mvwaddchnstr(pad.get(), row - base, x, cells, take);
        }
        x = static_cast<short>(x + take);
        done += take;
    }
}

void Rendering_Engine::toTempBuffer(bool lineEnd, const char* text, short n) {
    if (lineEnd)
        endLine();
    else
        writeText(text, n);
}

void Rendering_Engine::toTempBuffer(char c) {
    writeText(&c, 1);
}

void Rendering_Engine::toDoubleBuffer() {
    x = indent;
    if (row < INT_MAX) ++row;
    if (row - base >= PAD_ROWS) windowFilled();
}

void Rendering_Engine::endLine() {
    short offset = 0;
    if (centring) {
        const short width = x;
        offset = static_cast<short>((LINE_WIDTH - width) / 2);
        if (inPad(row) && offset > 0 && width > 0) {
            chtype line[PAD_COLUMNS + 1];
            chtype shifted[LINE_WIDTH];
            mvwinchnstr(pad.get(), row - base, 0, line, width);
            std::fill(shifted, shifted + offset, static_cast<chtype>(' '));
            std::copy(line, line + width, shifted + offset);
            mvwaddchnstr(pad.get(), row - base, 0, shifted, offset + width);
        }
    }
    if (pendingCount > 0 || pendingExtra > 0) updateActiveE_Position(offset);
    toDoubleBuffer();
}

void Rendering_Engine::setActiveE_Position(short column, int pageRow) {
    if (table == nullptr || relayout) return;
    table->storeXY(column, pageRow);
    table->moveNext(false);
}

void Rendering_Engine::updateActiveE_Position(short offset) {
    // Laid out again, the elements keep the positions they were given.
    if (table != nullptr && !relayout) {
        for (short k = 0; k < pendingCount; ++k) {
            table->storeXY(static_cast<short>(offset + pendingX[k]), row);
            table->moveNext(false);
        }
        // Elements beyond what pendingX holds were given their position when
        // they were met; the selection only has to pass them.
        for (short k = 0; k < pendingExtra; ++k) table->moveNext(false);
    }
    pendingCount = 0;
    pendingExtra = 0;
}

void Rendering_Engine::openActive() {
    insideActive = true;
    // More delimiter pairs than registered elements: the text between them
    // is laid out as ordinary text and no position is recorded.
    if (table == nullptr || placed >= table->getCount()) return;

    // The element that takes this position: on a centred line the selection
    // still stands on the first element waiting for the line's end. Laid
    // out again, only the element's width matters: its position is known.
    const short waiting = static_cast<short>(pendingCount + pendingExtra);
    const std::size_t index = static_cast<std::size_t>(placed);
    const Component* element = !relayout                 ? table->componentAhead(waiting)
                               : index < elements.size() ? elements[index]
                                                         : nullptr;
    const short width = element != nullptr ? element->getLength() : 0;
    if (width > LINE_WIDTH - x) endLine();
    ++placed;
    if (relayout) return;

    if (!centring) {
        setActiveE_Position(x, row);
    } else if (pendingCount < static_cast<short>(sizeof pendingX / sizeof pendingX[0])) {
        pendingX[pendingCount++] = x;
    } else {
        // pendingX is full: this element keeps its column as it stands.
        table->componentAhead(static_cast<short>(pendingCount + pendingExtra))->setXY(x, row);
        ++pendingExtra;
    }
}

void Rendering_Engine::setIndentFromDepth() {
    const int depth = olDepth + ulDepth;
    indent = static_cast<short>(std::min(depth * INDENT_STEP, static_cast<int>(MAX_INDENT)));
}

void Rendering_Engine::openList(bool ordered) {
    // The stack holds one node per open list, so the depths stay in range.
    if (olDepth + ulDepth >= SHRT_MAX) return;
    if (ordered) {
        ++olDepth;
        lists->push('0', true);
    } else {
        ++ulDepth;
        lists->push(bullets[(ulDepth - 1) % 7], false);
    }
    setIndentFromDepth();
    if (ordered) x = indent;
}

void Rendering_Engine::closeList(bool ordered) {
    short& depth = ordered ? olDepth : ulDepth;
    if (depth == 0) return;  // an end without a matching start does nothing
    --depth;
    lists->pop();
    setIndentFromDepth();
    if (depth == 0) endLine();
}

void Rendering_Engine::listItem() {
    endLine();
    x = indent;
    if (lists->empty()) return;  // an item outside any list gets no mark
    const bool ordered = lists->isOL();
    const short mark = lists->getValue();
    toTempBuffer(static_cast<char>(mark));
    if (ordered)
        writeText(". ", 2);
    else
        writeText(" ", 1);
}

void Rendering_Engine::acceptToken(const char* token, short last) {
    if (token == nullptr) return;
    if (!relayout && row >= nextCheckpointRow) takeCheckpoint();
    consumed += last >= 0 ? last + 1 : 1;
    if (last >= 0) {
        writeText(token, last + 1);
        return;
    }
    switch (static_cast<unsigned char>(token[0])) {
        case PS_TAB:
            if (insideActive)
                insideActive = false;
            else
                openActive();
            break;
        case PS_NL:
            endLine();
            break;
        case PS_OL:
            openList(true);
            break;
        case PS_OL_END:
            closeList(true);
            break;
        case PS_UL:
            openList(false);
            break;
        case PS_UL_END:
            closeList(false);
            break;
        case PS_LI:
            listItem();
            break;
        // Underlined text is drawn bold, exactly like bold text.
        case PS_BOLD:
        case PS_UNDERLINE:
            attrs = A_BOLD;
            break;
        case PS_BOLD_END:
        case PS_UNDERLINE_END:
            attrs &= ~A_BOLD;
            break;
        case PS_CENTER:
            endLine();
            centring = true;
            break;
        case PS_CENTER_END:
            endLine();
            centring = false;
            break;
        default:
            break;
    }
}

void Rendering_Engine::writeToDB(short column, int pageRow, const char* text, short colourPair) {
    // An element drawn where the view has just moved (one taking the focus)
    // must land in the window that the view will show.
    keepViewInPad();
    if (pad != nullptr && text != nullptr && column >= 0 && column < PAD_COLUMNS && pageRow >= 0) {
        const attr_t colour = (colourPair >= 0 && colourPair <= 255) ? COLOR_PAIR(colourPair) : 0;
        chtype cells[PAD_COLUMNS];
        int r = pageRow;
        int c = column;
        const char* p = text;
        // Text longer than the rest of the line continues at the start of
        // the next row, as the layout's 78-column lines do.
        while (*p != '\0' && r - base < PAD_ROWS) {
            const int lineEnd = c < LINE_WIDTH ? LINE_WIDTH : PAD_COLUMNS;
            int n = 0;
            while (p[n] != '\0' && c + n < lineEnd) {
                cells[n] = cellOf(p[n]) | attrs | colour;
                ++n;
            }
            if (r >= base) mvwaddchnstr(pad.get(), r - base, c, cells, n);
            p += n;
            ++r;
            c = 0;
        }
    }
    if (!refreshHeld && !drawingWindow) repaint();
}

void Rendering_Engine::scrollText(short key) {
    switch (key) {
        case KEY_DOWN:
            if (top + VIEW_ROWS <= row) ++top;
            break;
        case KEY_UP:
            if (top > 0) --top;
            break;
        case KEY_HOME:
            top = 0;
            break;
        case KEY_NPAGE:
            if (top + VIEW_ROWS <= row) top += VIEW_ROWS;
            break;
        case KEY_PPAGE:
            top = (top >= 0 && top <= VIEW_ROWS) ? 0 : top - VIEW_ROWS;
            break;
        case KEY_END:
            if (row - (VIEW_ROWS - 1) > 0) top = row - (VIEW_ROWS - 1);
            break;
        default:
            break;
    }
    top = std::max(top, 0);
    drawView();
}

void Rendering_Engine::drawView() {
    if (stdscr == nullptr) return;  // curses is not running
    keepViewInPad();
    mvwaddch(stdscr, STATUS_ROW, DOWN_MARK_COLUMN, top + VIEW_ROWS <= row ? ACS_DARROW : ' ');
    mvwaddch(stdscr, STATUS_ROW, UP_MARK_COLUMN, top > 0 ? ACS_UARROW : ' ');
    // How much of the page lies above the bottom of the view.
    const int seen = static_cast<int>(
        std::clamp((static_cast<long>(top) + VIEW_ROWS) * 100 / std::max<long>(row, 1), 0L, 100L));
    char position[12];
    std::snprintf(position, sizeof position, "%3d%%", seen);
    wattron(stdscr, COLOR_PAIR(PAIR_STATUS));
    mvwaddstr(stdscr, STATUS_ROW, POSITION_COLUMN, position);
    wattroff(stdscr, COLOR_PAIR(PAIR_STATUS));
    // The standard screen goes first so that the page view always shows the
    // page, even where the standard screen was touched as a whole.
    wnoutrefresh(stdscr);
    if (pad != nullptr && top >= base) {
        const int lastRow = std::min(top + VIEW_ROWS - 1, base + PAD_ROWS - 1);
        if (lastRow >= top)
            pnoutrefresh(pad.get(), top - base, 0, VIEW_FIRST_SCREEN_ROW, 1,
                         VIEW_FIRST_SCREEN_ROW + lastRow - top, LINE_WIDTH);
    }
    doupdate();
}

void Rendering_Engine::scrollNext_aE() {
    const int r = table != nullptr ? table->getRow() : 0;
    if (top + VIEW_ROWS <= r)
        top = r - (VIEW_ROWS - 1);
    else if (r < top)
        top = r;
    top = std::max(top, 0);
}

void Rendering_Engine::browserWindow() {
    if (stdscr == nullptr) return;
    const chtype border = COLOR_PAIR(PAIR_BORDER);
    wattron(stdscr, border);
    // The frame of the 80x24 screen, also on a larger terminal (whose rest
    // stays blank). Lines of one cell place the corners: they never move the
    // cursor, so the bottom right corner is no special case.
    constexpr int LAST_COLUMN = PAD_COLUMNS - 1;
    mvwhline(stdscr, 0, 1, ACS_HLINE | border, LAST_COLUMN - 1);
    mvwhline(stdscr, STATUS_ROW, 1, ACS_HLINE | border, LAST_COLUMN - 1);
    mvwvline(stdscr, 1, 0, ACS_VLINE | border, STATUS_ROW - 1);
    mvwvline(stdscr, 1, LAST_COLUMN, ACS_VLINE | border, STATUS_ROW - 1);
    mvwhline(stdscr, 0, 0, ACS_ULCORNER | border, 1);
    mvwhline(stdscr, 0, LAST_COLUMN, ACS_URCORNER | border, 1);
    mvwhline(stdscr, STATUS_ROW, 0, ACS_LLCORNER | border, 1);
    mvwhline(stdscr, STATUS_ROW, LAST_COLUMN, ACS_LRCORNER | border, 1);
    wattroff(stdscr, border);

    const chtype status = COLOR_PAIR(PAIR_STATUS);
    wattron(stdscr, status);
    mvwhline(stdscr, 2, 1, ACS_HLINE | status, LINE_WIDTH);
    mvwhline(stdscr, 22, 1, ACS_HLINE | status, LINE_WIDTH);
    wattroff(stdscr, status);
    curs_set(0);
    drawStatusLine();
    wrefresh(stdscr);
}

void Rendering_Engine::drawStatusLine() {
    if (stdscr == nullptr) return;
    const chtype status = COLOR_PAIR(PAIR_STATUS);
    const chtype border = COLOR_PAIR(PAIR_BORDER);
    // What a control's help text left there goes first.
    mvwhline(stdscr, STATUS_ROW, 1, ACS_HLINE | border, HELP_BLANKS);
    wattron(stdscr, status);
    mvwvline(stdscr, STATUS_ROW, 68, ACS_VLINE | status, 1);
    mvwvline(stdscr, STATUS_ROW, 55, ACS_VLINE | status, 1);
    mvwaddstr(stdscr, STATUS_ROW, 1, GLOBAL_KEYS);
    wattroff(stdscr, status);

    wattron(stdscr, A_BOLD);
    mvwaddstr(stdscr, STATUS_ROW, 57, "MODE: ");
    wattroff(stdscr, A_BOLD);
}

void Rendering_Engine::write_helpString(const char* text) {
    if (stdscr == nullptr) return;
    mvwprintw(stdscr, STATUS_ROW, 1, "%*s", HELP_BLANKS, "");
    if (text == nullptr) return;
    // Kept clear of the mode word: a text too long for the columns left of
    // it loses the blanks after its semicolons first, so that every key
    // stays named.
    std::string help(text);
    for (std::size_t i = help.find("; "); help.size() > HELP_COLUMNS && i != std::string::npos;
         i = help.find("; ", i))
        help.erase(i + 1, 1);
    mvwaddnstr(stdscr, STATUS_ROW, 1, help.c_str(), HELP_COLUMNS);
}

void Rendering_Engine::unmark() {
    if (!markedCells.empty() && inPad(matchRow))
        mvwaddchnstr(pad.get(), matchRow - base, matchColumn, markedCells.data(),
                     static_cast<int>(markedCells.size()));
    markedCells.clear();
}

void Rendering_Engine::applyMark() {
    if (markedCells.empty() || !inPad(matchRow)) return;
    const std::size_t length = markedCells.size();
    std::vector<chtype> marked(length + 1, 0);
    mvwinchnstr(pad.get(), matchRow - base, matchColumn, marked.data(), static_cast<int>(length));
    for (std::size_t i = 0; i < length; ++i) {
        markedCells[i] = marked[i];
        marked[i] |= A_REVERSE;
    }
    mvwaddchnstr(pad.get(), matchRow - base, matchColumn, marked.data(), static_cast<int>(length));
}

bool Rendering_Engine::findText(const char* text, bool next) {
    if (pad == nullptr || text == nullptr || *text == '\0') return false;
    const std::size_t length = std::strlen(text);
    if (length > static_cast<std::size_t>(LINE_WIDTH)) return false;
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    std::string wanted(text);
    std::transform(wanted.begin(), wanted.end(), wanted.begin(), lower);

    // Every row that holds text: the completed lines and the one being
    // written. Rows outside the window are reached by drawing the window
    // anew from the row on.
    const int rows = row + 1;
    int startRow = top;
    int startColumn = 0;
    if (next && matchColumn >= 0) {
        startRow = matchRow;
        startColumn = matchColumn + 1;
    }
    if (startRow >= rows) startRow = 0;

    // The rows from the start on, round to the start row again, whose
    // columns before the start come last.
    chtype cells[PAD_COLUMNS + 1];
    std::string line(LINE_WIDTH, ' ');
    int foundRow = -1;
    std::size_t foundColumn = 0;
    for (long k = 0; k <= rows && foundRow < 0; ++k) {
        const int r = static_cast<int>((startRow + k) % rows);
        if (!inPad(r)) renderWindow(r);
        if (!inPad(r)) continue;
        mvwinchnstr(pad.get(), r - base, 0, cells, LINE_WIDTH);
        line.assign(LINE_WIDTH, ' ');
        for (int c = 0; c < LINE_WIDTH && cells[c] != 0; ++c)
            line[c] = lower(static_cast<char>(cells[c] & A_CHARTEXT));
        const std::size_t from = k == 0 ? static_cast<std::size_t>(startColumn) : 0;
        const std::size_t at = line.find(wanted, from);
        if (at == std::string::npos) continue;
        if (k == rows && at >= static_cast<std::size_t>(startColumn)) continue;  // seen at first already
        foundRow = r;
        foundColumn = at;
    }
    if (foundRow < 0) {
        keepViewInPad();  // the window back around the view
        return false;
    }

    unmark();
    matchRow = foundRow;
    matchColumn = static_cast<short>(foundColumn);
    markedCells.assign(length, 0);
    applyMark();

    if (matchRow < top || matchRow >= top + VIEW_ROWS) {
        // The match on the first row shown, unless the page ends before a
        // whole view below it.
        top = std::min(matchRow, std::max(0, row - (VIEW_ROWS - 1)));
    }
    drawView();
    return true;
}

void Rendering_Engine::reset() {
    if (pad != nullptr) werase(pad.get());
    base = 0;
    source.clear();
    consumed = 0;
    checkpoints.clear();
    checkpoints.shrink_to_fit();
    nextCheckpointRow = 0;
    lists = std::make_unique<listStack>();
    x = row = top = indent = 0;
    pendingCount = pendingExtra = 0;
    olDepth = ulDepth = 0;
    placed = 0;
    centring = insideActive = false;
    markedCells.clear();
    matchColumn = -1;
    // Bold left open at the end of a page does not carry over to the next.
    attrs = A_NORMAL;
}
