#include <gtest/gtest.h>

#include "tables/table.h"

namespace {

TEST(Table, CellLengthsAreKeptInReadingOrderWithMinusOneAfterEachRow) {
    table t;
    t.addColumn(1, 4);
    t.addColumn(2, 7);
    t.endRow();
    t.addColumn(1, 2);
    EXPECT_EQ(t.getCount(), 4);
    EXPECT_EQ(t.getLength(1), 4);
    EXPECT_EQ(t.getLength(2), 7);
    EXPECT_EQ(t.getLength(3), -1);
    EXPECT_EQ(t.getLength(4), 2);
}

TEST(Table, ColumnWidthIsTheLargestLengthInThatColumn) {
    table t;
    t.addColumn(1, 2);
    t.addColumn(2, 1);
    t.endRow();
    t.addColumn(1, 1);
    t.addColumn(2, 3);
    t.addColumn(3, 5);  // a longer row adds a column
    EXPECT_EQ(t.getMaxCount(), 3);
    EXPECT_EQ(t.getMaxLength(1), 2);
    EXPECT_EQ(t.getMaxLength(2), 3);
    EXPECT_EQ(t.getMaxLength(3), 5);
}

TEST(Table, LookupsOutsideTheListsReturnZero) {
    table t;
    EXPECT_EQ(t.getLength(0), 0);
    EXPECT_EQ(t.getLength(1), 0);
    EXPECT_EQ(t.getMaxLength(1), 0);
    t.addColumn(1, 9);
    EXPECT_EQ(t.getLength(0), 0);
    EXPECT_EQ(t.getLength(-3), 0);
    EXPECT_EQ(t.getLength(2), 0);
    EXPECT_EQ(t.getMaxLength(0), 0);
    EXPECT_EQ(t.getMaxLength(2), 0);
}

TEST(Table, ColumnNumbersBelowOneWidenNothing) {
    table t;
    t.updateMaxLength(0, 8);
    t.updateMaxLength(-1, 8);
    EXPECT_EQ(t.getMaxCount(), 0);
    t.addColumn(1, 3);
    t.addColumn(0, 8);  // a cell end before any cell start: length kept, no column
    EXPECT_EQ(t.getCount(), 2);
    EXPECT_EQ(t.getMaxCount(), 1);
    EXPECT_EQ(t.getMaxLength(1), 3);
}

TEST(Table, ResetEmptiesBothListsAndZeroesTheCounters) {
    table t(17);
    EXPECT_EQ(t.getOffset(), 17);
    t.addColumn(1, 3);
    t.endRow();
    t.resetDS();
    EXPECT_EQ(t.getOffset(), 0);
    EXPECT_EQ(t.getCount(), 0);
    EXPECT_EQ(t.getMaxCount(), 0);
    EXPECT_EQ(t.getLength(1), 0);
    EXPECT_EQ(t.getMaxLength(1), 0);
    t.addColumn(1, 1);  // the lists start again from entry 1
    EXPECT_EQ(t.getLength(1), 1);
    EXPECT_EQ(t.getMaxLength(1), 1);
}

}  // namespace
