#include "proxy/normalise/tables.h"

#include <algorithm>
#include <string>
#include <utility>

#include "proxy/normalise/dom.h"
#include "proxy/normalise/walker.h"

namespace wexaproxy {

namespace {

// Longest text in one cell of a data table; a longer one makes the table
// one of layout.
constexpr std::size_t MAX_DATA_CELL_TEXT = 200;
// Nodes looked at to tell a layout table from a data table.
constexpr int LAYOUT_SCAN_BUDGET = 20000;
// Spans as far as they are followed.
constexpr int MAX_COLSPAN = 50;
constexpr int MAX_ROWSPAN = 1000;
// Columns a span may reach: the empty cells spans leave are what a hostile
// table multiplies (one row of wide, tall cells covers every row below), and
// a grid this wide is written a row a line anyway. Cells with content are
// kept whatever their column.
constexpr std::size_t MAX_SPANNED_COLUMNS = 256;
// Empty cells spans may add to one table; past them, spans are no longer
// followed (the cells keep their content, the columns may no longer line up).
constexpr std::size_t MAX_SPAN_CELLS = 100000;

// The rows of a table in order (header rows, body rows, footer rows), and
// the forms and captions met between them.
struct TableParts {
    std::vector<const GumboNode*> rows;
    // Forms and inputs between the rows, in page order: the parser puts a
    // form opened there, and hidden inputs, outside every cell.
    std::vector<const GumboNode*> between;
    const GumboNode* caption = nullptr;
};

void collectRows(const GumboNode* node, TableParts& parts, std::vector<const GumboNode*>& footer) {
    const GumboVector& list = node->v.element.children;
    for (unsigned i = 0; i < list.length; ++i) {
        const GumboNode* child = childAt(list, i);
        if (child->type != GUMBO_NODE_ELEMENT || isHidden(child->v.element)) continue;
        switch (child->v.element.tag) {
            case GUMBO_TAG_TR:
                parts.rows.push_back(child);
                for (unsigned k = 0; k < child->v.element.children.length; ++k) {
                    const GumboNode* cell = childAt(child->v.element.children, k);
                    if (isElement(cell, GUMBO_TAG_FORM) || isElement(cell, GUMBO_TAG_INPUT))
                        parts.between.push_back(cell);
                }
                break;
            case GUMBO_TAG_THEAD:
            case GUMBO_TAG_TBODY:
                collectRows(child, parts, footer);
                break;
            case GUMBO_TAG_TFOOT: {
                TableParts inner;
                collectRows(child, inner, footer);
                footer.insert(footer.end(), inner.rows.begin(), inner.rows.end());
                parts.between.insert(parts.between.end(), inner.between.begin(), inner.between.end());
                break;
            }
            case GUMBO_TAG_CAPTION:
                if (parts.caption == nullptr) parts.caption = child;
                break;
            case GUMBO_TAG_FORM:
            case GUMBO_TAG_INPUT:
                parts.between.push_back(child);
                break;
            default:
                break;
        }
    }
}

std::vector<const GumboNode*> cellsOf(const GumboNode* row) {
    std::vector<const GumboNode*> cells;
    const GumboVector& list = row->v.element.children;
    for (unsigned i = 0; i < list.length; ++i) {
        const GumboNode* child = childAt(list, i);
        if ((isElement(child, GUMBO_TAG_TD) || isElement(child, GUMBO_TAG_TH)) && !isHidden(child->v.element))
            cells.push_back(child);
    }
    return cells;
}

// A table used to lay a page out rather than to hold data: a cell holds
// blocks (lists, paragraphs, headings, forms, a table of several rows, a
// long text), or the table has a single column.
bool isLayoutTable(const GumboNode* node, const std::vector<const GumboNode*>& rows) {
    const GumboElement& element = node->v.element;
    const std::string role = lowerAttribute(element, "role");
    if (role == "presentation" || role == "none") return true;
    std::size_t widest = 0;
    for (const GumboNode* row : rows) widest = std::max(widest, cellsOf(row).size());
    if (widest <= 1) return true;
    int budget = LAYOUT_SCAN_BUDGET;
    for (const GumboNode* row : rows) {
        for (const GumboNode* cell : cellsOf(row)) {
            std::size_t textLength = 0;
            int paragraphs = 0;
            std::vector<const GumboNode*> pending{cell};
            while (!pending.empty() && budget-- > 0) {
                const GumboNode* at = pending.back();
                pending.pop_back();
                if (at->type == GUMBO_NODE_TEXT) {
                    textLength += std::char_traits<char>::length(at->v.text.text);
                    if (textLength > MAX_DATA_CELL_TEXT) return true;
                    continue;
                }
                if (at->type != GUMBO_NODE_ELEMENT) continue;
                const GumboElement& e = at->v.element;
                if (at != cell) {
                    switch (e.tag) {
                        case GUMBO_TAG_UL:
                        case GUMBO_TAG_OL:
                        case GUMBO_TAG_DL:
                        case GUMBO_TAG_BLOCKQUOTE:
                        case GUMBO_TAG_PRE:
                        case GUMBO_TAG_FORM:
                        case GUMBO_TAG_HR:
                        case GUMBO_TAG_H1:
                        case GUMBO_TAG_H2:
                        case GUMBO_TAG_H3:
                        case GUMBO_TAG_H4:
                        case GUMBO_TAG_H5:
                        case GUMBO_TAG_H6:
                            return true;
                        case GUMBO_TAG_P:
                            if (++paragraphs >= 2) return true;
                            break;
                        case GUMBO_TAG_TABLE: {
                            TableParts inner;
                            std::vector<const GumboNode*> footer;
                            collectRows(at, inner, footer);
                            if (inner.rows.size() + footer.size() > 2) return true;
                            break;
                        }
                        default:
                            break;
                    }
                }
                if (isSkipped(e.tag)) continue;
                for (unsigned i = 0; i < e.children.length; ++i) pending.push_back(childAt(e.children, i));
            }
            if (budget <= 0) return false;
        }
    }
    return false;
}

// The label cell of a key/value row: a short text of its own, no blocks.
constexpr std::size_t MAX_LABEL_TEXT = 40;
constexpr int LABEL_SCAN_BUDGET = 200;

bool isLabelCell(const GumboNode* cell) {
    std::size_t textLength = 0;
    int budget = LABEL_SCAN_BUDGET;
    std::vector<const GumboNode*> pending{cell};
    while (!pending.empty()) {
        if (--budget < 0) return false;
        const GumboNode* at = pending.back();
        pending.pop_back();
        if (at->type == GUMBO_NODE_TEXT) {
            textLength += collapsed(at->v.text.text).size();
            if (textLength > MAX_LABEL_TEXT) return false;
            continue;
        }
        if (at->type != GUMBO_NODE_ELEMENT) continue;
        const GumboElement& e = at->v.element;
        if (at != cell && (isBlock(e.tag) || isParagraph(e.tag) || isHeading(e.tag))) return false;
        switch (e.tag) {
            case GUMBO_TAG_UL:
            case GUMBO_TAG_OL:
            case GUMBO_TAG_TABLE:
            case GUMBO_TAG_FORM:
            case GUMBO_TAG_INPUT:
            case GUMBO_TAG_SELECT:
            case GUMBO_TAG_TEXTAREA:
            case GUMBO_TAG_PRE:
            case GUMBO_TAG_BLOCKQUOTE:
                return false;
            default:
                break;
        }
        if (isSkipped(e.tag) || isHidden(e)) continue;
        for (unsigned i = 0; i < e.children.length; ++i) pending.push_back(childAt(e.children, i));
    }
    return textLength > 0;
}

// A row of a label and its value (an infobox's "Born | 10 December 1815").
bool isKeyValueRow(const std::vector<const GumboNode*>& cells) {
    return cells.size() == 2 && isLabelCell(cells[0]);
}

// A table whose rows are mostly labels with their values: at least two such
// rows, and at least half of the rows that have cells.
bool isKeyValueTable(const std::vector<const GumboNode*>& rows) {
    std::size_t pairs = 0;
    std::size_t withCells = 0;
    for (const GumboNode* row : rows) {
        const std::vector<const GumboNode*> cells = cellsOf(row);
        if (cells.empty()) continue;
        ++withCells;
        if (isKeyValueRow(cells)) ++pairs;
    }
    return pairs >= 2 && pairs * 2 >= withCells;
}

}  // namespace

void TableBuilder::table(const GumboNode* node) {
    TableParts parts;
    std::vector<const GumboNode*> footer;
    collectRows(node, parts, footer);
    parts.rows.insert(parts.rows.end(), footer.begin(), footer.end());

    for (const GumboNode* found : parts.between) walker_.walk(found);

    if (cellDepth_ > 0) {
        cellsAsText(parts.rows);
    } else if (isLayoutTable(node, parts.rows)) {
        if (isKeyValueTable(parts.rows)) {
            keyValueTable(parts.rows, parts.caption);
        } else {
            layoutTable(parts.rows, parts.caption);
        }
    } else {
        gridBytes_ = 0;
        writeGrid(buildGrid(parts.rows), parts.caption);
        // The grid is gone; what it became is in the page.
        state_.built -= std::min(state_.built, gridBytes_);
    }
}

// Inside a cell of a data table: the cells become text of that cell.
void TableBuilder::cellsAsText(const std::vector<const GumboNode*>& rows) {
    for (const GumboNode* row : rows) {
        for (const GumboNode* cell : cellsOf(row)) {
            state_.out->space();
            walker_.children(cell);
        }
    }
}

void TableBuilder::layoutTable(const std::vector<const GumboNode*>& rows, const GumboNode* caption) {
    if (caption != nullptr) walker_.block(caption, false);
    PageWriter& out = *state_.out;
    for (const GumboNode* row : rows) {
        for (const GumboNode* cell : cellsOf(row)) {
            out.blockBreak();
            const bool header = isElement(cell, GUMBO_TAG_TH);
            if (header) out.beginEmphasis(Emphasis::Bold);
            walker_.children(cell);
            if (header) out.endEmphasis();
            out.blockBreak();
            if (state_.stopped) break;
        }
    }
}

// Rows of a label and a value: the label in bold and the value after it on
// the same line (the value's own blocks and breaks still start lines);
// other rows (a heading across the table, an image) as blocks.
void TableBuilder::keyValueTable(const std::vector<const GumboNode*>& rows, const GumboNode* caption) {
    PageWriter& out = *state_.out;
    out.paragraphBreak();
    if (caption != nullptr) walker_.block(caption, false);
    for (const GumboNode* row : rows) {
        if (state_.stopped) break;
        const std::vector<const GumboNode*> cells = cellsOf(row);
        if (isKeyValueRow(cells)) {
            out.blockBreak();
            out.beginEmphasis(Emphasis::Bold);
            walker_.children(cells[0]);
            out.endEmphasis();
            out.space();
            walker_.children(cells[1]);
            out.blockBreak();
            continue;
        }
        for (const GumboNode* cell : cells) {
            out.blockBreak();
            const bool header = isElement(cell, GUMBO_TAG_TH);
            if (header) out.beginEmphasis(Emphasis::Bold);
            walker_.children(cell);
            if (header) out.endEmphasis();
            out.blockBreak();
        }
    }
    out.paragraphBreak();
}

// Each cell written by a writer of its own; a cell spanning columns is
// followed by empty cells, and one spanning rows leaves empty cells in its
// columns of the rows below. Rows stop where the browser's page would be
// full (writeGrid ends the page there).
TableBuilder::Grid TableBuilder::buildGrid(const std::vector<const GumboNode*>& rows) {
    Grid grid;
    std::vector<int> spanLeft;  // rows still covered by a cell above, per column
    std::size_t spanCells = 0;  // empty cells added for spans
    const long room = std::max(0L, state_.settings.maxLines - state_.page.lines());
    PageWriter* outer = state_.out;
    ++cellDepth_;
    for (const GumboNode* row : rows) {
        if (static_cast<long>(grid.size()) > room || state_.stopped) break;
        std::vector<PageWriter::Cell> cells;
        std::vector<int> spanned(spanLeft.size(), 0);
        const CellAlign rowAlign = alignOf(row->v.element);
        auto addSpanCell = [&]() {
            cells.emplace_back();
            if (++spanCells >= MAX_SPAN_CELLS) spanLeft.clear();
        };
        auto skipCovered = [&]() {
            while (cells.size() < spanLeft.size() && spanLeft[cells.size()] > 0) addSpanCell();
        };
        for (const GumboNode* cellNode : cellsOf(row)) {
            skipCovered();
            const GumboElement& cellElement = cellNode->v.element;
            const bool header = cellElement.tag == GUMBO_TAG_TH;
            CellAlign align = alignOf(cellElement);
            if (align == CellAlign::None) align = rowAlign;
            if (align == CellAlign::None && header) align = CellAlign::Center;
            PageWriter cellWriter(PageWriter::Mode::Cell);
            state_.out = &cellWriter;
            if (header) cellWriter.beginEmphasis(Emphasis::Bold);
            walker_.children(cellNode);
            state_.out = outer;
            cells.push_back(cellWriter.finishCell(align));
            gridBytes_ += cells.back().html.size();
            state_.built += cells.back().html.size();
            const bool followSpans = spanCells < MAX_SPAN_CELLS;
            const int colspan = followSpans ? numberAttribute(cellElement, "colspan", 1, 1, MAX_COLSPAN) : 1;
            const int rowspan = followSpans ? numberAttribute(cellElement, "rowspan", 1, 1, MAX_ROWSPAN) : 1;
            const std::size_t first = cells.size() - 1;
            for (int k = 1; k < colspan && cells.size() < MAX_SPANNED_COLUMNS; ++k) addSpanCell();
            const std::size_t reach = std::min(cells.size(), MAX_SPANNED_COLUMNS);
            if (rowspan > 1 && spanned.size() < reach) spanned.resize(reach, 0);
            for (std::size_t c = first; c < reach && rowspan > 1; ++c) spanned[c] = rowspan - 1;
        }
        skipCovered();
        if (spanCells >= MAX_SPAN_CELLS) spanned.clear();
        if (spanLeft.size() < spanned.size()) spanLeft.resize(spanned.size(), 0);
        for (std::size_t c = 0; c < spanLeft.size(); ++c)
            spanLeft[c] =
                std::max(spanLeft[c] > 0 ? spanLeft[c] - 1 : 0, c < spanned.size() ? spanned[c] : 0);
        // Trailing cells that only fill covered columns show nothing.
        while (!cells.empty() && cells.back().html.empty() && cells.back().width == 0) cells.pop_back();
        if (!cells.empty()) {
            const std::size_t rowBytes = cells.size() * sizeof(PageWriter::Cell);
            gridBytes_ += rowBytes;
            state_.built += rowBytes;
            grid.push_back(std::move(cells));
        }
    }
    --cellDepth_;
    return grid;
}

void TableBuilder::writeGrid(Grid grid, const GumboNode* caption) {
    std::vector<int> widths;
    for (const auto& row : grid) {
        if (widths.size() < row.size()) widths.resize(row.size(), 0);
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].width);
    }
    int total = 0;
    for (int width : widths) total += width + 2;

    // Rows beyond the lines the browser can hold end the page.
    const long room = std::max(0L, state_.settings.maxLines - state_.page.lines());
    if (static_cast<long>(grid.size()) > room) {
        grid.resize(static_cast<std::size_t>(room));
        state_.stop(WalkStop::Lines);
    }
    PageWriter& out = *state_.out;
    out.paragraphBreak();
    if (caption != nullptr) {
        out.beginEmphasis(Emphasis::Bold);
        walker_.children(caption);
        out.endEmphasis();
        out.blockBreak();
    }
    if (total <= out.lineRoom()) {
        out.table(std::move(grid));
    } else {
        // Too wide to lay out: one line per row, cells between bars.
        for (const auto& row : grid) {
            out.blockBreak();
            bool first = true;
            for (const PageWriter::Cell& cell : row) {
                if (cell.html.empty()) continue;
                if (!first) {
                    out.space();
                    out.text("|");
                    out.space();
                }
                out.inlineCell(cell);
                first = false;
            }
        }
    }
    out.paragraphBreak();
}

}  // namespace wexaproxy
