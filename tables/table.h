#pragma once
// The measurements of the table being laid out: the length of every cell in
// reading order (with -1 after each row) and the width of every column.

#include <vector>

class table {
public:
    table();
    explicit table(int offset);

    // Appends a cell's length to the cell list and widens its column.
    void addColumn(int column, int length);
    // Column numbers are 1-based. A column one past the known ones is added
    // with this length; a known column keeps the larger of the two lengths.
    // A column number below 1 names no column and changes nothing.
    void updateMaxLength(int column, int length);
    // Marks the end of a row in the cell list (an entry of -1).
    void endRow();

    // 1-based lookups. A number outside the list (0, negative, or past the
    // end, which malformed streams ask for) reads nothing and returns 0.
    int getLength(int i) const;
    int getMaxLength(int column) const;

    // Empties both lists, releasing their storage, and zeroes the counters.
    void resetDS();

    int getCount() const { return count; }
    int getMaxCount() const { return maxCount; }
    int getOffset() const { return offset; }
    void setOffset(int newOffset) { offset = newOffset; }

private:
    int offset;    // kept for callers; the table pass does not use it
    int count;     // entries in lengths
    int maxCount;  // entries in maxLengths: columns seen so far
    std::vector<int> lengths;
    std::vector<int> maxLengths;
};
