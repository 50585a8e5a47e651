// The string grid's cell store: geometry rules, cell storage and how bulk changes are signalled.

#include "TStringTable.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct RowRule {
    int fixedBefore;
    int rowsBefore;
    int setRows;
    int rows;
    int fixed;
};

void PrintTo(const RowRule &c, std::ostream *os) {
    *os << "fixed " << c.fixedBefore << ", rows " << c.rowsBefore << " -> " << c.setRows;
}

class RowCountRules : public ::testing::TestWithParam<RowRule> {};

TEST_P(RowCountRules, ClampsRowsAndLowersFixedRows) {
    const RowRule c = GetParam();
    TStringTable t;
    t.SetRowCount(c.rowsBefore);
    t.SetFixedRows(c.fixedBefore);
    t.SetRowCount(c.setRows);
    EXPECT_EQ(t.RowCount(), c.rows);
    EXPECT_EQ(t.FixedRows(), c.fixed);
}

INSTANTIATE_TEST_SUITE_P(Table, RowCountRules,
                         ::testing::Values(RowRule{1, 5, 0, 1, 0}, RowRule{1, 5, -7, 1, 0},
                                           RowRule{1, 5, 1, 1, 0}, RowRule{1, 5, 2, 2, 1},
                                           RowRule{0, 5, 3, 3, 0}, RowRule{1, 1, 40, 40, 0},
                                           RowRule{1, 2, 30000, 30000, 1}));

TEST_P(RowCountRules, ViewsNeverSeeFixedRowsReachingTheRowCount) {
    // A view that lays itself out on the row signals (as the grid does) reads FixedRows there.
    const RowRule c = GetParam();
    TStringTable t;
    t.SetRowCount(c.rowsBefore);
    t.SetFixedRows(c.fixedBefore);
    int checked = 0;
    auto check = [&] {
        ++checked;
        EXPECT_LT(t.FixedRows(), t.RowCount());
        EXPECT_EQ(t.RowCount(), t.rowCount());
    };
    QObject::connect(&t, &QAbstractItemModel::rowsRemoved, check);
    QObject::connect(&t, &QAbstractItemModel::rowsInserted, check);
    QObject::connect(&t, &TStringTable::FixedRowsChanged, check);
    t.SetRowCount(c.setRows);
    EXPECT_EQ(checked > 0, c.rows != c.rowsBefore);
}

struct FixedRule {
    int rows;
    int setFixed;
    int fixed;
};

void PrintTo(const FixedRule &c, std::ostream *os) {
    *os << "rows " << c.rows << ", fixed -> " << c.setFixed;
}

class FixedRowRules : public ::testing::TestWithParam<FixedRule> {};

TEST_P(FixedRowRules, StaysBelowRowCountAndAtMostOne) {
    const FixedRule c = GetParam();
    TStringTable t;
    t.SetRowCount(c.rows);
    t.SetFixedRows(c.setFixed);
    EXPECT_EQ(t.FixedRows(), c.fixed);
    EXPECT_LT(t.FixedRows(), t.RowCount());
}

INSTANTIATE_TEST_SUITE_P(Table, FixedRowRules,
                         ::testing::Values(FixedRule{1, 1, 0}, FixedRule{2, 1, 1},
                                           FixedRule{10, 3, 1}, FixedRule{10, -1, 0},
                                           FixedRule{10, 0, 0}));

TEST(StringTable, CellsReadBackWhatWasWrittenAndIgnoreWritesOutside) {
    TStringTable t;
    t.SetColCount(3);
    t.SetRowCount(4);
    t.SetCells(2, 3, "last");
    t.SetCells(0, 1, std::string("caf\xc3\xa9"));
    t.SetCells(3, 1, "past the columns");
    t.SetCells(0, 4, "past the rows");
    t.SetCells(-1, 0, "negative");
    EXPECT_EQ(t.Cells(2, 3), "last");
    EXPECT_EQ(t.Cells(0, 1), "caf\xc3\xa9");
    EXPECT_EQ(t.data(t.index(1, 0)).toString(), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(t.Cells(3, 1), "");
    EXPECT_EQ(t.Cells(0, 4), "");
    EXPECT_EQ(t.Cells(-1, 0), "");
}

TEST(StringTable, RowsShownAgainAfterBeingCutOffStartEmpty) {
    TStringTable t;
    t.SetColCount(2);
    t.SetRowCount(10);
    t.SetCells(1, 8, "old");
    t.SetRowCount(3);
    t.SetRowCount(10);
    EXPECT_EQ(t.Cells(1, 8), "");
    t.SetRowCount(3);
    t.SetRowCount(50);  // beyond anything stored before
    EXPECT_EQ(t.Cells(1, 8), "");
}

TEST(StringTable, ColumnCountChangeKeepsTheCellsOfRemainingColumns) {
    TStringTable t;
    t.SetColCount(3);
    t.SetRowCount(3);
    t.SetCells(0, 2, "a");
    t.SetCells(2, 2, "c");
    t.SetColCount(25);
    EXPECT_EQ(t.Cells(0, 2), "a");
    EXPECT_EQ(t.Cells(2, 2), "c");
    t.SetColCount(2);
    EXPECT_EQ(t.Cells(0, 2), "a");
    EXPECT_EQ(t.Cells(2, 2), "");
    EXPECT_EQ(t.columnCount(), 2);
}

// Counts every kind of change signal a view listens to.
struct SignalCount {
    explicit SignalCount(TStringTable &t)
        : reset(&t, &QAbstractItemModel::modelReset), data(&t, &QAbstractItemModel::dataChanged),
          inserted(&t, &QAbstractItemModel::rowsInserted),
          removed(&t, &QAbstractItemModel::rowsRemoved),
          fixed(&t, &TStringTable::FixedRowsChanged) {}
    QSignalSpy reset, data, inserted, removed, fixed;
};

TEST(StringTable, RefillOfTheSameSizeIsOneDataChangedOverTheWrittenCells) {
    TStringTable t;
    QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::Fatal);
    t.SetColCount(25);
    t.SetRowCount(301);
    SignalCount n(t);
    t.BeginUpdate();
    for (int r = 2; r < 300; ++r)
        for (int c = 3; c < 20; ++c) t.SetCells(c, r, std::to_string(r * c));
    t.EndUpdate();
    EXPECT_EQ(n.reset.count(), 0);
    EXPECT_EQ(n.inserted.count() + n.removed.count(), 0);
    ASSERT_EQ(n.data.count(), 1);
    const auto from = n.data.at(0).at(0).value<QModelIndex>();
    const auto to = n.data.at(0).at(1).value<QModelIndex>();
    EXPECT_EQ(from.row(), 2);
    EXPECT_EQ(from.column(), 3);
    EXPECT_EQ(to.row(), 299);
    EXPECT_EQ(to.column(), 19);
}

TEST(StringTable, RefillThatChangesTheRowCountIsOneReset) {
    TStringTable t;
    QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::Fatal);
    t.SetColCount(4);
    t.SetRowCount(6);
    SignalCount n(t);
    t.BeginUpdate();
    t.SetRowCount(1000);
    for (int r = 1; r < 1000; ++r) t.SetCells(1, r, "x");
    t.SetRowCount(400);
    EXPECT_EQ(t.rowCount(), 6) << "views keep the old geometry until the update ends";
    t.EndUpdate();
    EXPECT_EQ(n.reset.count(), 1);
    EXPECT_EQ(n.data.count() + n.inserted.count() + n.removed.count(), 0);
    EXPECT_EQ(t.rowCount(), 400);
    EXPECT_EQ(t.Cells(1, 399), "x");
}

TEST(StringTable, UnchangedRefillSendsNothingAndNestedUpdatesSignalOnceAtTheOuterEnd) {
    TStringTable t;
    t.SetRowCount(3);
    t.SetCells(0, 1, "same");
    SignalCount n(t);
    t.BeginUpdate();
    t.SetCells(0, 1, "same");
    t.EndUpdate();
    EXPECT_EQ(n.data.count() + n.reset.count(), 0);

    t.BeginUpdate();
    t.BeginUpdate();
    t.SetCells(0, 2, "new");
    t.EndUpdate();
    EXPECT_EQ(n.data.count(), 0);
    t.EndUpdate();
    EXPECT_EQ(n.data.count(), 1);
    t.EndUpdate();  // unbalanced: ignored
    EXPECT_FALSE(t.Updating());
}

TEST(StringTable, FixedRowsChangeInsideAnUpdateIsAnnouncedOnceAtTheEnd) {
    TStringTable t;
    t.SetRowCount(5);
    SignalCount n(t);
    t.BeginUpdate();
    t.SetRowCount(1);  // lowers FixedRows to 0
    t.SetRowCount(4);
    t.SetFixedRows(1);
    t.SetRowCount(3);
    t.EndUpdate();
    EXPECT_EQ(n.fixed.count(), 0) << "back where it started";

    t.BeginUpdate();
    t.SetRowCount(1);
    t.EndUpdate();
    ASSERT_EQ(n.fixed.count(), 1);
    EXPECT_EQ(n.fixed.at(0).at(0).toInt(), 0);
}

TEST(StringTable, OutsideAnUpdateEachChangeIsSignalledAtOnce) {
    TStringTable t;
    QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::Fatal);
    t.SetRowCount(2);
    SignalCount n(t);
    t.SetRowCount(5);
    EXPECT_EQ(n.inserted.count(), 1);
    t.SetCells(0, 4, "a");
    t.SetCells(1, 4, "b");
    EXPECT_EQ(n.data.count(), 2);
    t.SetRowCount(1);
    EXPECT_EQ(n.removed.count(), 1);
    EXPECT_EQ(n.fixed.count(), 1);
    EXPECT_EQ(t.rowCount(), 1);
}

}  // namespace
