// The twin grids as a user sees them: the painted cells (title row, zebra rows, the highlighted
// row, alignment, state icons) read back from pictures of the grids, the count label, the copy
// into the frozen grid, shared vertical scrolling, and the highlighted row's number; and every
// twin of the main window before a server is connected.

#include "TFormMain.h"
#include "TFrameAllProcesses.h"
#include "TFrameBlockedProcesses.h"
#include "TFrameClientArea.h"
#include "TFrameDBProcesses.h"
#include "TFrameTwinGrids.h"
#include "TFrameUserProcesses.h"
#include "TempSettingsFile.h"
#include "TestPump.h"
#include "ViewTestSupport.h"

#include <QLabel>
#include <QScrollBar>
#include <QSplitter>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const TGridColumns kTable{{
    {"", 16, false, skSPID},
    {"Name", 120, false, skSPID},
    {"Count", 80, true, skSPID},
    {"Note", 100, false, skSPID},
}};

// Antialiased text: a pixel counts as ink when it is closer to the ink than to any brush.
bool Near(const QColor &a, const QColor &b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <
           200;
}

const QColor kBlack = Rgb(0x000000), kWhite = Rgb(0xFFFFFF), kGrey = Rgb(0x808080),
             kZebra = Rgb(0xE9E9E9);

class TwinGrids : public ::testing::Test {
protected:
    void SetUp() override {
        Grids.setTitle(QStringLiteral(" Things"));
        Grids.resize(700, 400);
        Grids.SetupColumns(kTable, 0);
        Grids.show();
    }

    // Rows 1..count: the letter, "name<row>", the row number, a note.
    void Fill(int count, const char *letter = "A") {
        TStringTable *t = Grids.sgRight->Table();
        Grids.SetRedraw(false);
        t->SetRowCount(count + 1);
        for (int row = 1; row <= count; ++row) {
            t->SetCells(0, row, letter);
            t->SetCells(1, row, "name" + std::to_string(row));
            t->SetCells(2, row, std::to_string(row));
            t->SetCells(3, row, "n");
        }
        Grids.SyncGrids();
        Grids.SetRedraw(true);
    }

    // The background of a cell, read where no text or icon is drawn.
    QColor Background(TStringGrid *grid, int col, int row) {
        return PixelIn(grid, col, row, QPoint(-3, 2));
    }

    // The leftmost and rightmost x (cell coordinates) of pixels in the text colour.
    std::pair<int, int> InkSpan(TStringGrid *grid, int col, int row, const QColor &ink) {
        const QRect cell = CellRect(grid, col, row);
        const QImage picture = grid->grab().toImage();
        int first = -1, last = -1;
        for (int x = cell.left(); x <= cell.right(); ++x)
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                if (Near(picture.pixelColor(x, y), ink)) {
                    if (first < 0) first = x - cell.left();
                    last = x - cell.left();
                }
        return {first, last};
    }

    void WidenLeft(int width) { Grids.Splitter1->setSizes({width, 700 - width - 3}); }

    TFrameTwinGrids Grids;
};

TEST_F(TwinGrids, NoDataRowsShowTheTitleRowBlackWithWhiteTextAndCountZero) {
    Fill(0);
    WidenLeft(200);
    EXPECT_EQ(Grids.sgRight->RowCount(), 1);
    EXPECT_EQ(Grids.sgLeft->RowCount(), 1);
    EXPECT_EQ(Grids.LabelCount->text(), QStringLiteral("0 Things"));
    EXPECT_EQ(Grids.Label1->text(), QStringLiteral(" Things"));
    for (TStringGrid *grid : {Grids.sgRight, Grids.sgLeft}) {
        EXPECT_EQ(Background(grid, 1, 0), kBlack);
        EXPECT_EQ(Background(grid, 0, 0), kBlack);  // the icon column's title: nothing drawn
        EXPECT_GE(InkSpan(grid, 1, 0, kWhite).first, 0) << "the title in white";
        EXPECT_EQ(grid->Cells(1, 0), "Name");
    }
}

TEST_F(TwinGrids, TitleRowZebraRowsAndTheHighlightedRowFromTheStart) {
    Fill(4);
    WidenLeft(200);
    EXPECT_EQ(Grids.SelectedRow, 1);
    EXPECT_EQ(Grids.LabelCount->text(), QStringLiteral("4 Things"));
    EXPECT_EQ(Grids.sgRight->FixedRows(), 1);
    EXPECT_EQ(Grids.sgLeft->FixedRows(), 1);
    const struct {
        int row;
        QColor brush, ink;
    } rows[] = {
        {0, kBlack, kWhite}, {1, kGrey, kWhite},  {2, kZebra, kBlack},
        {3, kWhite, kBlack}, {4, kZebra, kBlack},
    };
    for (TStringGrid *grid : {Grids.sgRight, Grids.sgLeft})
        for (const auto &r : rows) {
            EXPECT_EQ(Background(grid, 1, r.row), r.brush) << "row " << r.row;
            EXPECT_GE(InkSpan(grid, 1, r.row, r.ink).first, 0) << "row " << r.row;
        }
}

TEST_F(TwinGrids, TextIsLeftOrRightAlignedByColumn) {
    Fill(3);
    const int width = CellRect(Grids.sgRight, 2, 2).width();
    const auto [leftFirst, leftLast] = InkSpan(Grids.sgRight, 1, 2, kBlack);
    const auto [rightFirst, rightLast] = InkSpan(Grids.sgRight, 2, 2, kBlack);
    EXPECT_GE(leftFirst, 2);  // after the leading blank
    EXPECT_LT(leftFirst, 10);
    EXPECT_GT(rightFirst, width / 2);  // "2 " ends at the right edge
    EXPECT_GE(rightLast, width - 12);
    EXPECT_LT(rightLast, width - 1);  // the trailing blank keeps it off the edge
    EXPECT_EQ(Grids.RightAligned[2], 1);
    EXPECT_EQ(Grids.RightAligned[1], 0);
}

TEST_F(TwinGrids, StateLettersDrawTheirBallsAndOtherTextsNone) {
    const struct {
        const char *letter;
        QColor ball;  // the ball's centre, or the row's background when none
        bool drawn;
    } cases[] = {
        {"L", QColor(200, 0, 0), true},
        {"A", QColor(0, 160, 0), true},
        {"I", QColor(128, 128, 128), true},
        {"P", QColor(220, 190, 0), true},
        {"", kZebra, false},
        {"X", kZebra, false},
        {"LA", kZebra, false},
    };
    for (const auto &c : cases) {
        Fill(2, c.letter);
        // Row 2 is not highlighted: the zebra brush shows where no ball is drawn.
        const QColor centre = PixelIn(Grids.sgRight, 0, 2, QPoint(10, 10));
        const QColor corner = PixelIn(Grids.sgRight, 0, 2, QPoint(0, 0));
        if (c.drawn) {
            EXPECT_LT(std::abs(centre.red() - c.ball.red()) +
                          std::abs(centre.green() - c.ball.green()) +
                          std::abs(centre.blue() - c.ball.blue()),
                      120)
                << c.letter << ": " << centre.name().toStdString();
            EXPECT_EQ(corner, kZebra) << c.letter << ": white around the ball is transparent";
        } else {
            EXPECT_EQ(centre, kZebra) << "'" << c.letter << "'";
        }
    }
}

TEST_F(TwinGrids, WithoutAnIconColumnColumnZeroIsText) {
    Grids.IconColumn = -1;
    Fill(2, "L");
    EXPECT_GE(InkSpan(Grids.sgRight, 0, 2, kBlack).first, 0);
    EXPECT_EQ(PixelIn(Grids.sgRight, 0, 2, QPoint(-2, 2)), kZebra);
}

TEST_F(TwinGrids, AHighlightPastTheEndShowsNoRowUntilTheRowsComeBack) {
    Fill(5);
    ClickCell(Grids.sgRight, 1, 4);
    EXPECT_EQ(Grids.SelectedRow, 4);
    EXPECT_EQ(Background(Grids.sgRight, 1, 4), kGrey);
    EXPECT_EQ(Grids.SelectedNumber(2), 4);

    Fill(2);
    EXPECT_EQ(Grids.SelectedRow, 4);
    for (int row = 1; row <= 2; ++row) EXPECT_NE(Background(Grids.sgRight, 1, row), kGrey);
    EXPECT_EQ(Grids.SelectedNumber(2), -1) << "a row past the end holds no number";

    Fill(5);
    EXPECT_EQ(Background(Grids.sgRight, 1, 4), kGrey);
    EXPECT_EQ(Background(Grids.sgRight, 1, 1), kWhite);
}

TEST_F(TwinGrids, ClickingTheTitleRowChangesNothing) {
    Fill(0);
    ClickCell(Grids.sgRight, 1, 0);
    EXPECT_EQ(Grids.SelectedRow, 1);
    EXPECT_EQ(Grids.SelectedNumber(2), -1);
    bool canSelect = true;
    Grids.sgSelectCell(Grids.sgRight, 1, 0, canSelect);
    EXPECT_EQ(Grids.SelectedRow, 1);
    EXPECT_TRUE(canSelect);
}

TEST_F(TwinGrids, TheHighlightedNumberOfEachKindOfCell) {
    Fill(3);
    TStringTable *t = Grids.sgRight->Table();
    t->SetCells(3, 1, "-7");
    t->SetCells(3, 2, "12x");
    t->SetCells(3, 3, "");
    const struct {
        int row, col, expected;
    } cases[] = {
        {1, 2, 1}, {1, 3, -7}, {2, 3, -1}, {3, 3, -1}, {1, 1, -1}, {0, 1, -1}, {4, 2, -1},
    };
    for (const auto &c : cases) {
        Grids.SelectedRow = c.row;
        EXPECT_EQ(Grids.SelectedNumber(c.col), c.expected) << c.row << "," << c.col;
    }
}

TEST_F(TwinGrids, SelectRowMovesBothGridsAndTheHighlight) {
    Fill(6);
    int events = 0;
    for (TStringGrid *grid : {Grids.sgLeft, Grids.sgRight})
        Grids.BindViewHandlers(
            grid,
            [&](TStringGrid *s, int c, int r, bool &ok) {
                ++events;
                Grids.sgSelectCell(s, c, r, ok);
            },
            nullptr);
    Grids.SelectRow(5);
    EXPECT_EQ(Grids.sgLeft->Row(), 5);
    EXPECT_EQ(Grids.sgRight->Row(), 5);
    EXPECT_EQ(Grids.SelectedRow, 5);
    EXPECT_EQ(events, 2);
    EXPECT_EQ(Background(Grids.sgRight, 1, 5), kGrey);
}

TEST_F(TwinGrids, VerticalScrollingIsSharedHorizontalIsNot) {
    Fill(200);
    WidenLeft(150);
    PumpPending();
    Grids.sgRight->SetTopRow(40);
    EXPECT_EQ(Grids.sgRight->TopRow(), 40);
    EXPECT_EQ(Grids.sgLeft->TopRow(), 40);
    Grids.sgLeft->verticalScrollBar()->setValue(Grids.sgLeft->verticalScrollBar()->value() + 10);
    EXPECT_EQ(Grids.sgRight->TopRow(), Grids.sgLeft->TopRow());
    EXPECT_GT(Grids.sgLeft->TopRow(), 40);

    const int leftBefore = Grids.sgLeft->horizontalScrollBar()->value();
    Grids.sgRight->horizontalScrollBar()->setValue(Grids.sgRight->horizontalScrollBar()->maximum());
    EXPECT_EQ(Grids.sgLeft->horizontalScrollBar()->value(), leftBefore);
    EXPECT_EQ(Grids.sgLeft->TopRow(), Grids.sgRight->TopRow());
}

TEST_F(TwinGrids, SyncCopiesEveryCellAndTheFrozenGridStartsOnePixelWide) {
    Fill(3);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            EXPECT_EQ(Grids.sgLeft->Cells(col, row), Grids.sgRight->Cells(col, row));
    EXPECT_EQ(Grids.sgLeft->width(), 1);
    EXPECT_EQ(Grids.sgLeft->ColWidths(1), 120);
    EXPECT_EQ(Grids.sgRight->ColWidths(2), 80);
    Fill(1);
    EXPECT_EQ(Grids.sgLeft->RowCount(), 2);
    EXPECT_EQ(Grids.LabelCount->text(), QStringLiteral("1 Things"));
}

// The main window as it starts, no server connected: each session, database, user and thread
// grid of every view holds its title row alone, its count reads 0, and no empty row is painted
// (nor highlighted) under the titles.
TEST(TwinGridsInTheMainWindow, WithoutAServerEveryGridHoldsItsTitleRowAloneAndCountsZero) {
    TempSettingsFile settings;
    TFormMain window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    TFrameClientArea *area = window.FrameClientArea1;
    const struct {
        TFrameTwinGrids *grids;
        const char *count;
    } named[] = {
        {area->DBProcesses->FrameDBGrids, "0 Databases"},
        {area->DBProcesses->FrameProcessGrids, "0 Database Processes"},
        {area->UserProcesses->FrameUserGrids, "0 Users"},
        {area->UserProcesses->FrameProcessGrids, "0 User Processes"},
        {area->AllProcesses->FrameProcessGrids, "0 All Processes"},
        {area->BlockedProcesses->FrameBlockedProcessesGrids, "0 Blocked Processes"},
        {area->AllProcesses->FrameCurrentProcessInfo->FrameThreadGrids, "0 Threads"},
    };
    for (const auto &n : named)
        EXPECT_EQ(n.grids->LabelCount->text(), QString::fromLatin1(n.count));

    const QList<TFrameTwinGrids *> all = area->findChildren<TFrameTwinGrids *>();
    EXPECT_EQ(all.size(), 11) << "six grids of the views, the thread grids of five detail panes";
    for (int tab = 2; tab <= 5; ++tab) {
        area->TabSet1->setCurrentIndex(tab);
        PumpPending();
        for (TFrameTwinGrids *grids : all) {
            if (!grids->isVisibleTo(&window)) continue;
            const std::string title = grids->Label1->text().toStdString();
            SCOPED_TRACE("tab " + std::to_string(tab) + ":" + title);
            EXPECT_EQ(grids->sgRight->RowCount(), 1);
            EXPECT_EQ(grids->sgLeft->RowCount(), 1);
            EXPECT_EQ(grids->LabelCount->text(), QStringLiteral("0") + grids->Label1->text());
            TStringGrid *grid = grids->sgRight;
            if (grid->height() < 60) continue;  // no room for a row under the titles
            EXPECT_EQ(PixelIn(grid, 1, 0, QPoint(-3, 2)), kBlack) << "the title row";
            const QRect title0 = CellRect(grid, 1, 0);
            const QImage picture = grid->grab().toImage();
            for (int below : {title0.bottom() + 8, title0.bottom() + 24}) {
                const QColor c = picture.pixelColor(title0.right() - 3, below);
                EXPECT_NE(c, kGrey) << "a highlighted empty row";
                EXPECT_NE(c, kZebra) << "an empty zebra row";
            }
        }
    }
}

}  // namespace
