// The string grid as a real widget (offscreen platform): painting through the draw-cell handler
// and its canvas, the fixed title row, hit-testing, the current cell and its event, scrolling,
// refills with painting suspended, and a second grid showing the first one's table.

#include "TStringGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Never destroyed: input devices that the test events create are freed at exit and need the
// application still in place then.
QApplication &App() {
    static int argc = 1;
    static char name[] = "test_grid";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

constexpr TColor kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x00FF00, kBlack = 0x000000;

class Grid : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        grid = std::make_unique<TStringGrid>();
        grid->resize(300, 200);
        grid->SetColCount(3);
        grid->SetRowCount(40);
        grid->SetFixedRows(1);
        for (int c = 0; c < 3; ++c) grid->SetColWidths(c, 50 + 10 * c);
        for (int r = 0; r < 40; ++r)
            for (int c = 0; c < 3; ++c)
                grid->SetCells(c, r, std::to_string(c) + ":" + std::to_string(r));
        grid->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.get()));
    }

    // Client point at the middle of a body cell, computed from the view's own layout.
    QPoint CellCentre(int col, int row) const {
        const QRect r = grid->visualRect(grid->model()->index(row, col));
        return grid->viewport()->mapTo(grid.get(), r.center());
    }
    // A body cell's rectangle in the grid's own coordinates.
    QRect CellRect(int col, int row) const {
        const QRect r = grid->visualRect(grid->model()->index(row, col));
        return r.translated(grid->viewport()->mapTo(grid.get(), QPoint(0, 0)));
    }
    QPoint TitleCentre(int col) const {
        QHeaderView *h = grid->horizontalHeader();
        const QPoint local(h->sectionViewportPosition(col) + h->sectionSize(col) / 2,
                           h->height() / 2);
        return h->viewport()->mapTo(grid.get(), local);
    }

    std::unique_ptr<TStringGrid> grid;
};

TEST_F(Grid, DrawCellHandlerPaintsTitleRowAndBodyAsGrabbed) {
    std::vector<std::pair<int, int>> drawn;
    grid->OnDrawCell = [&](TStringGrid *sender, int col, int row, const QRect &rect,
                           TGridDrawState state) {
        ASSERT_EQ(sender, grid.get());
        ASSERT_NE(sender->Canvas(), nullptr);
        drawn.emplace_back(col, row);
        TGridCanvas &c = *sender->Canvas();
        c.Brush.Color = row == 0 ? kBlack : (row % 2 ? kRed : kBlue);
        EXPECT_EQ((state & gdFixed) != 0, row == 0);
        c.FillRect(rect);
    };
    grid->Repaint();
    const QImage shot = grid->grab().toImage();
    EXPECT_EQ(grid->Canvas(), nullptr);

    auto colourAt = [&](QPoint p) { return QColor(shot.pixel(p)); };
    EXPECT_EQ(colourAt(TitleCentre(1)), QColor(Qt::black));
    EXPECT_EQ(colourAt(CellCentre(1, 1)), QColor(Qt::red));   // 0x0000FF is red
    EXPECT_EQ(colourAt(CellCentre(2, 2)), QColor(Qt::blue));  // 0xFF0000 is blue
    bool titleDrawn = false, bodyDrawn = false;
    for (auto [c, r] : drawn) {
        titleDrawn |= r == 0;
        bodyDrawn |= r == 3 && c == 2;
    }
    EXPECT_TRUE(titleDrawn);
    EXPECT_TRUE(bodyDrawn);
}

TEST_F(Grid, CanvasTextAndTransparentImage) {
    QImage ball(8, 8, QImage::Format_RGB32);
    ball.fill(Qt::white);
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x) ball.setPixel(x, y, qRgb(0, 255, 0));
    int narrow = 0, wide = 0;
    grid->OnDrawCell = [&](TStringGrid *sender, int col, int row, const QRect &rect,
                           TGridDrawState) {
        TGridCanvas &c = *sender->Canvas();
        c.Brush.Color = kBlue;
        c.FillRect(rect);
        if (row == 1 && col == 0) {
            c.Draw(rect.left(), rect.top(), ball, 0xFFFFFF);
        } else if (row == 2 && col == 0) {
            c.Font.Color = 0xFFFFFF;
            narrow = c.TextWidth(std::string("i"));
            wide = c.TextWidth(std::string("WWWW"));
            c.TextRect(rect, rect.left(), rect.top(), std::string("WWWWWWWWWWWWWWWWWWWWWWWW"));
        }
    };
    const QImage shot = grid->grab().toImage();
    const QRect cell1 = grid->visualRect(grid->model()->index(1, 0));
    const QPoint origin = grid->viewport()->mapTo(grid.get(), cell1.topLeft());
    EXPECT_EQ(QColor(shot.pixel(origin + QPoint(0, 0))), QColor(Qt::blue)) << "white left out";
    EXPECT_EQ(QColor(shot.pixel(origin + QPoint(3, 3))), QColor(Qt::green));
    EXPECT_GT(wide, narrow);
    EXPECT_GT(narrow, 0);

    // The long white text is clipped to its cell: white inside cell (0,2), none in cell (1,2).
    auto whiteIn = [&](int col, int row) {
        const QRect r = grid->visualRect(grid->model()->index(row, col));
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += QColor(shot.pixel(grid->viewport()->mapTo(grid.get(), QPoint(x, y)))) ==
                     QColor(Qt::white);
        return n;
    };
    EXPECT_GT(whiteIn(0, 2), 0);
    EXPECT_EQ(whiteIn(1, 2), 0);
}

TEST_F(Grid, MouseToCellMapsClientPointsIncludingTheTitleRow) {
    struct Case {
        QPoint at;
        int col, row;
    };
    const QRect last = grid->visualRect(grid->model()->index(grid->rowAt(0), 2));
    const QPoint pastColumns =
        grid->viewport()->mapTo(grid.get(), QPoint(last.right() + 20, last.center().y()));
    const std::vector<Case> cases = {
        {TitleCentre(0), 0, 0},   {TitleCentre(2), 2, 0},    {CellCentre(0, 1), 0, 1},
        {CellCentre(2, 3), 2, 3}, {CellCentre(1, 5), 1, 5},  {pastColumns, -1, -1},
        {QPoint(-5, -5), -1, -1}, {QPoint(5000, 5), -1, -1},
    };
    for (const Case &c : cases) {
        int col = 99, row = 99;
        grid->MouseToCell(c.at.x(), c.at.y(), col, row);
        EXPECT_EQ(col, c.col) << c.at.x() << "," << c.at.y();
        EXPECT_EQ(row, c.row) << c.at.x() << "," << c.at.y();
    }
}

TEST_F(Grid, MouseDownReportsButtonAndClientPointOnBodyAndTitle) {
    struct Press {
        QPoint at;
        Qt::MouseButton button;
        int col, row;
    };
    std::vector<Press> seen;
    grid->OnMouseDown = [&](TStringGrid *, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
        int col, row;
        grid->MouseToCell(x, y, col, row);
        seen.push_back({QPoint(x, y), b, col, row});
    };
    const QPoint body = CellCentre(1, 4), title = TitleCentre(2);
    QTest::mousePress(grid->viewport(), Qt::RightButton, {},
                      grid->viewport()->mapFrom(grid.get(), body));
    QTest::mouseRelease(grid->viewport(), Qt::RightButton, {},
                        grid->viewport()->mapFrom(grid.get(), body));
    QWidget *hv = grid->horizontalHeader()->viewport();
    QTest::mousePress(hv, Qt::LeftButton, {}, hv->mapFrom(grid.get(), title));
    QTest::mouseRelease(hv, Qt::LeftButton, {}, hv->mapFrom(grid.get(), title));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].button, Qt::RightButton);
    EXPECT_EQ(seen[0].at, body);
    EXPECT_EQ(seen[0].col, 1);
    EXPECT_EQ(seen[0].row, 4);
    EXPECT_EQ(seen[1].button, Qt::LeftButton);
    EXPECT_EQ(seen[1].col, 2);
    EXPECT_EQ(seen[1].row, 0);
}

TEST_F(Grid, SelectCellIsRaisedBeforeTheCurrentCellMoves) {
    struct Event {
        int col, row, rowBefore, colBefore;
    };
    std::vector<Event> events;
    grid->OnSelectCell = [&](TStringGrid *g, int col, int row, bool &canSelect) {
        EXPECT_TRUE(canSelect);
        events.push_back({col, row, g->Row(), g->Col()});
    };
    EXPECT_EQ(grid->Row(), 1);
    EXPECT_EQ(grid->Col(), 0);

    grid->SetRow(7);
    grid->SetRow(7);  // same row: nothing
    grid->SetCol(2);
    grid->SetRow(0);   // the fixed row takes no current cell
    grid->SetRow(40);  // past the last row
    QTest::keyClick(grid.get(), Qt::Key_Down);
    const QPoint click = grid->viewport()->mapFrom(grid.get(), CellCentre(1, 3));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, click);

    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].row, 7);
    EXPECT_EQ(events[0].rowBefore, 1);
    EXPECT_EQ(events[1].col, 2);
    EXPECT_EQ(events[1].colBefore, 0);
    EXPECT_EQ(events[2].row, 8);  // the key
    EXPECT_EQ(events[2].rowBefore, 7);
    EXPECT_EQ(events[3].row, 3);  // the click
    EXPECT_EQ(events[3].col, 1);
    EXPECT_EQ(grid->Row(), 3);
    EXPECT_EQ(grid->Col(), 1);
}

TEST_F(Grid, OnlyTheLeftButtonMovesTheCurrentCellEveryButtonIsReported) {
    grid->SetRow(2);
    grid->SetCol(1);
    std::vector<std::string> events;
    grid->OnSelectCell = [&](TStringGrid *, int col, int row, bool &) {
        events.push_back("select " + std::to_string(col) + "," + std::to_string(row));
    };
    grid->OnMouseDown = [&](TStringGrid *, Qt::MouseButton b, Qt::KeyboardModifiers, int, int) {
        events.push_back("down " + std::to_string(int(b)));
    };
    const struct {
        Qt::MouseButton button;
        bool title;  // a press on the fixed title row instead of cell (2, 5)
        std::vector<std::string> events;
        int row, col;  // the current cell after the press
    } cases[] = {
        {Qt::RightButton, false, {"down 2"}, 2, 1},
        {Qt::MiddleButton, false, {"down 4"}, 2, 1},
        {Qt::RightButton, true, {"down 2"}, 2, 1},
        {Qt::MiddleButton, true, {"down 4"}, 2, 1},
        {Qt::LeftButton, true, {"down 1"}, 2, 1},
        {Qt::LeftButton, false, {"select 2,5", "down 1"}, 5, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(int(c.button)) + (c.title ? " on the title" : " on a cell"));
        events.clear();
        QWidget *target = c.title ? grid->horizontalHeader()->viewport() : grid->viewport();
        const QPoint at = target->mapFrom(grid.get(), c.title ? TitleCentre(2) : CellCentre(2, 5));
        QTest::mouseClick(target, c.button, {}, at);
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(grid->Row(), c.row);
        EXPECT_EQ(grid->Col(), c.col);
        EXPECT_EQ(grid->currentIndex().row(), c.row);
    }
}

TEST_F(Grid, AClickOnTheCurrentCellRaisesNoSelectCell) {
    grid->SetRow(2);
    std::vector<int> rows;
    grid->OnSelectCell = [&](TStringGrid *, int, int row, bool &) { rows.push_back(row); };
    grid->OnMouseDown = [&](TStringGrid *, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        rows.push_back(-1);
    };
    const auto click = [&](int row) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->viewport()->mapFrom(grid.get(), CellCentre(0, row)));
    };
    click(2);
    EXPECT_EQ(rows, std::vector<int>{-1}) << "the mouse down only";
    grid->SetRow(2);
    EXPECT_EQ(rows.size(), 1u);

    // A refill that removes the current row leaves the current cell on the last row, unchosen:
    // the first click there is the user's move to it, the next one moves nothing.
    click(5);
    grid->SetRedraw(false);
    grid->SetRowCount(4);
    grid->SetRedraw(true);
    ASSERT_EQ(grid->Row(), 3);
    rows.clear();
    click(3);
    EXPECT_EQ(rows, (std::vector<int>{3, -1}));
    click(3);
    EXPECT_EQ(rows, (std::vector<int>{3, -1, -1}));
}

TEST_F(Grid, TheEmptyAreaBelowTheLastRow) {
    grid->SetRowCount(4);
    QApplication::processEvents();
    const QRect last = CellRect(1, 3);
    const struct {
        const char *what;
        QPoint at;
        bool below;
    } cases[] = {
        {"below the last row", QPoint(last.center().x(), last.bottom() + 20), true},
        {"below, past the last column",
         QPoint(grid->viewport()->geometry().right() - 2, last.bottom() + 20), true},
        {"on the last row", last.center(), false},
        {"right of the last row's cells", QPoint(CellRect(2, 3).right() + 10, last.center().y()),
         false},
        {"on the title row", TitleCentre(1), false},
        {"outside the grid", QPoint(last.center().x(), 5000), false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(grid->IsBelowLastRow(c.at.x(), c.at.y()), c.below) << c.what;
        int col = 0, row = 0;
        grid->MouseToCell(c.at.x(), c.at.y(), col, row);
        if (c.below) {
            EXPECT_EQ(col, -1) << c.what << ": no cell there";
        }
    }
}

TEST_F(Grid, RefusedSelectionKeepsTheCurrentCell) {
    grid->OnSelectCell = [](TStringGrid *, int, int row, bool &canSelect) { canSelect = row != 5; };
    grid->SetRow(4);
    grid->SetRow(5);
    EXPECT_EQ(grid->Row(), 4);
    EXPECT_EQ(grid->currentIndex().row(), 4);
}

TEST_F(Grid, TitleRowTakesNoSelectionWhileFixedButDoesWhenNotFixed) {
    int events = 0;
    grid->OnSelectCell = [&](TStringGrid *, int, int, bool &) { ++events; };
    QWidget *hv = grid->horizontalHeader()->viewport();
    QTest::mouseClick(hv, Qt::LeftButton, {}, hv->mapFrom(grid.get(), TitleCentre(1)));
    EXPECT_EQ(events, 0);
    EXPECT_EQ(grid->Row(), 1);

    grid->SetRowCount(1);  // only the title row: FixedRows drops to 0
    EXPECT_EQ(grid->FixedRows(), 0);
    EXPECT_FALSE(grid->horizontalHeader()->isVisible());
    EXPECT_EQ(grid->Row(), 0);
    int col, row;
    const QPoint p = CellCentre(1, 0);
    grid->MouseToCell(p.x(), p.y(), col, row);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(col, 1);
    grid->SetCol(1);
    EXPECT_EQ(events, 1);
}

TEST_F(Grid, TopRowScrollsAndRaisesTopLeftChanged) {
    int changes = 0;
    grid->OnTopLeftChanged = [&](TStringGrid *) { ++changes; };
    EXPECT_EQ(grid->TopRow(), 1);
    grid->SetTopRow(20);
    EXPECT_EQ(grid->TopRow(), 20);
    EXPECT_GE(changes, 1);
    const int before = changes;
    grid->SetTopRow(20);
    EXPECT_EQ(changes, before) << "no scroll, no event";
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->value() - 3);
    EXPECT_EQ(grid->TopRow(), 17);
    EXPECT_GT(changes, before);
    int col, row;
    const QPoint top = grid->viewport()->mapTo(grid.get(), QPoint(5, 2));
    grid->MouseToCell(top.x(), top.y(), col, row);
    EXPECT_EQ(row, 17);
}

TEST_F(Grid, SuspendedRefillIsOneResetAndKeepsWidthsCurrentCellAndScroll) {
    grid->SetTopRow(10);
    grid->SetRow(12);
    int draws = 0;
    grid->OnDrawCell = [&](TStringGrid *, int, int, const QRect &, TGridDrawState) { ++draws; };
    QSignalSpy reset(grid->Table(), &QAbstractItemModel::modelReset);
    QSignalSpy data(grid->Table(), &QAbstractItemModel::dataChanged);

    grid->SetRedraw(false);
    grid->SetRedraw(false);  // as the window message: not counted
    grid->SetRowCount(61);
    for (int r = 1; r < 61; ++r) grid->SetCells(0, r, "n" + std::to_string(r));
    draws = 0;
    grid->Repaint();
    QApplication::processEvents();
    EXPECT_EQ(draws, 0) << "painting is suspended";
    grid->SetRedraw(true);
    grid->Refresh();
    EXPECT_GT(draws, 0);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(data.count(), 0);
    EXPECT_EQ(grid->ColWidths(2), 70);
    EXPECT_EQ(grid->columnWidth(2), 70);
    EXPECT_EQ(grid->Row(), 12);
    EXPECT_EQ(grid->currentIndex().row(), 12);
    EXPECT_TRUE(grid->isRowHidden(0));
    EXPECT_EQ(grid->Cells(0, 60), "n60");

    // Same size again: one dataChanged, no reset.
    grid->SetRedraw(false);
    for (int r = 1; r < 61; ++r) grid->SetCells(1, r, "m");
    grid->SetRedraw(true);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(data.count(), 1);

    // A refill that loses the current row moves it to the last row, without an event.
    int events = 0;
    grid->OnSelectCell = [&](TStringGrid *, int, int, bool &) { ++events; };
    grid->SetRedraw(false);
    grid->SetRowCount(6);
    grid->SetRedraw(true);
    EXPECT_EQ(grid->Row(), 5);
    EXPECT_EQ(events, 0);
}

TEST_F(Grid, RefillKeepsTheScrollPositionAwayFromTheCurrentRow) {
    grid->SetRow(2);
    grid->SetTopRow(25);
    ASSERT_EQ(grid->TopRow(), 25);
    struct Refill {
        const char *what;
        int rows;
    };
    for (const Refill &r : {Refill{"same size", 40}, Refill{"longer", 45}, Refill{"shorter", 44}}) {
        grid->SetRedraw(false);
        grid->SetRowCount(r.rows);
        for (int row = 1; row < r.rows; ++row) grid->SetCells(0, row, r.what);
        grid->SetRedraw(true);
        QApplication::processEvents();
        EXPECT_EQ(grid->TopRow(), 25) << r.what;
        EXPECT_EQ(grid->Row(), 2) << r.what;
    }
}

TEST_F(Grid, RowChosenDuringASuspendedRefillIsRaisedAtOnceAndShownAfter) {
    std::vector<int> rows;
    grid->OnSelectCell = [&](TStringGrid *, int, int row, bool &) { rows.push_back(row); };
    grid->SetRedraw(false);
    grid->SetRowCount(300);
    grid->SetRow(250);  // not yet a row of the view
    EXPECT_EQ(rows, std::vector<int>{250});
    EXPECT_EQ(grid->Row(), 250);
    grid->SetRedraw(true);
    EXPECT_EQ(grid->currentIndex().row(), 250);
    EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualRect(grid->currentIndex())))
        << "scrolled into view";

    // Only the title row left: it is no longer fixed, and row 0 can be chosen.
    grid->SetRedraw(false);
    grid->SetRowCount(1);
    grid->SetRow(0);
    grid->SetRedraw(true);
    EXPECT_EQ(grid->Row(), 0);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_FALSE(grid->isRowHidden(0));
}

TEST_F(Grid, DefaultPaintingShowsTheCellText) {
    grid->SetCells(0, 1, "WWWWWWWW");
    const QImage shot = grid->grab().toImage();
    const QRect r = grid->visualRect(grid->model()->index(1, 0));
    int dark = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            dark += qGray(shot.pixel(grid->viewport()->mapTo(grid.get(), QPoint(x, y)))) < 128;
    EXPECT_GT(dark, 10);
}

TEST_F(Grid, TextWidthsFollowTheFontOfTheGrid) {
    // The laid-out texts are kept from paint to paint; a new font lays them out anew.
    int small = 0, large = 0;
    int *width = &small;
    grid->OnDrawCell = [&](TStringGrid *sender, int, int, const QRect &, TGridDrawState) {
        *width = sender->Canvas()->TextWidth(std::string("WWWW"));
    };
    QFont font = grid->font();
    font.setPixelSize(11);
    grid->setFont(font);
    grid->grab();
    width = &large;
    font.setPixelSize(22);
    grid->setFont(font);
    grid->grab();
    EXPECT_GT(small, 0);
    EXPECT_GT(large, small * 3 / 2);
}

TEST_F(Grid, ASecondGridShowsTheFirstOnesTableWithItsOwnWidthsCurrentCellAndScroll) {
    TStringGrid frozen;
    frozen.resize(200, 200);
    frozen.ShareTable(grid.get());
    frozen.SetColWidths(0, 33);
    frozen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frozen));
    EXPECT_EQ(frozen.Table(), grid->Table());
    EXPECT_EQ(frozen.RowCount(), 40);
    EXPECT_EQ(frozen.FixedRows(), 1);
    EXPECT_EQ(frozen.Cells(2, 39), "2:39");

    // A refill of the scrolling grid, both suspended as the twin grids do it: the frozen grid
    // shows the new rows, keeps its own width, current row and top row.
    frozen.SetRow(5);
    frozen.SetTopRow(3);
    grid->SetTopRow(12);
    QSignalSpy reset(grid->Table(), &QAbstractItemModel::modelReset);
    frozen.SetRedraw(false);
    grid->SetRedraw(false);
    grid->SetRowCount(30);
    grid->SetCells(1, 7, "new");
    frozen.SetRedraw(true);
    EXPECT_EQ(reset.count(), 0) << "the table is still being filled";
    grid->SetRedraw(true);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(frozen.RowCount(), 30);
    EXPECT_EQ(frozen.Cells(1, 7), "new");
    EXPECT_EQ(frozen.model()->rowCount(), 30);
    EXPECT_EQ(frozen.ColWidths(0), 33);
    EXPECT_EQ(grid->ColWidths(0), 50);
    EXPECT_EQ(frozen.Row(), 5);
    EXPECT_EQ(frozen.TopRow(), 3);
    EXPECT_EQ(grid->TopRow(), 12);
    EXPECT_TRUE(frozen.isRowHidden(0)) << "the fixed title row is the header";
}

}  // namespace
