#pragma once
// The tables of a page while it is walked.
//
// A table used for layout (cells holding blocks, a single column,
// role=presentation) is written as blocks, one cell after another. A data
// table is built as a grid of cells, each written by a page writer of its
// own in cell mode: column and row spans take their places as empty cells,
// and the grid goes to the page writer's table, or, when it is wider than a
// line, one row a line with the cells between bars. A table inside a cell
// of a data table is the text of its cells.

#include <gumbo.h>

#include <cstddef>
#include <vector>

#include "proxy/normalise/pagewriter.h"
#include "proxy/normalise/walkstate.h"

namespace wexaproxy {

class Walker;

class TableBuilder {
public:
    TableBuilder(WalkState& state, Walker& walker) : state_(state), walker_(walker) {}

    void table(const GumboNode* node);

private:
    using Grid = std::vector<std::vector<PageWriter::Cell>>;

    void cellsAsText(const std::vector<const GumboNode*>& rows);
    void layoutTable(const std::vector<const GumboNode*>& rows, const GumboNode* caption);
    void keyValueTable(const std::vector<const GumboNode*>& rows, const GumboNode* caption);
    Grid buildGrid(const std::vector<const GumboNode*>& rows);
    void writeGrid(Grid grid, const GumboNode* caption);

    WalkState& state_;
    Walker& walker_;
    int cellDepth_ = 0;          // inside a cell of a data table
    std::size_t gridBytes_ = 0;  // what the grid being built holds
};

}  // namespace wexaproxy
