#include "tables/table.h"

#include <cstddef>

namespace {

// Entry i (1-based) of list, or 0 when i names no entry.
int entryOrZero(const std::vector<int>& list, int i) {
    if (i < 1 || static_cast<std::size_t>(i) > list.size()) return 0;
    return list[static_cast<std::size_t>(i) - 1];
}

}  // namespace

table::table() : table(0) {}

table::table(int offset) : offset(offset), count(0), maxCount(0) {}

void table::addColumn(int column, int length) {
    lengths.push_back(length);
    count = static_cast<int>(lengths.size());
    updateMaxLength(column, length);
}

void table::updateMaxLength(int column, int length) {
    if (column > maxCount) {
        maxLengths.push_back(length);
        maxCount = static_cast<int>(maxLengths.size());
        return;
    }
    if (column < 1) return;
    int& width = maxLengths[static_cast<std::size_t>(column) - 1];
    if (length >= width) width = length;
}

void table::endRow() {
    lengths.push_back(-1);
    count = static_cast<int>(lengths.size());
}

int table::getLength(int i) const {
    return entryOrZero(lengths, i);
}

int table::getMaxLength(int column) const {
    return entryOrZero(maxLengths, column);
}

void table::resetDS() {
    std::vector<int>().swap(lengths);
    std::vector<int>().swap(maxLengths);
    offset = 0;
    count = 0;
    maxCount = 0;
}
