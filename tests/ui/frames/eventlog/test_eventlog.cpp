// The event-log view as drawn offscreen: the titles of its list grid, the bands, the highlighted
// selected row and the right-aligned texts on the rendered cells.

#include "TFrameEventLog.h"

#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QSplitter>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

class EventLog : public ::testing::Test {
protected:
    void SetUp() override {
        view = std::make_unique<TFrameEventLog>();
        view->resize(914, 619);
        view->show();
        logs = view->findChild<TStringGrid *>(QStringLiteral("StringGrid1"));
        ASSERT_NE(logs, nullptr);
    }

    // A cell's rectangle in the grid's own coordinates; row 0 is the title row (the header).
    QRect CellRect(int col, int row) const {
        if (row == 0) {
            QHeaderView *h = logs->horizontalHeader();
            const QRect local(h->sectionViewportPosition(col), 0, h->sectionSize(col), h->height());
            return local.translated(h->viewport()->mapTo(logs, QPoint(0, 0)));
        }
        const QRect local = logs->visualRect(logs->model()->index(row, col));
        return local.translated(logs->viewport()->mapTo(logs, QPoint(0, 0)));
    }

    // The background at the cell's left edge (the texts are right-aligned) and the columns where
    // the text's ink starts and ends: pixels nearer the text colour than the background.
    struct Painted {
        QColor background;
        int firstText = -1, lastText = -1;  // x inside the cell, -1 when no text pixel
    };
    Painted Look(const QImage &shot, int col, int row, QColor text) const {
        const QRect r = CellRect(col, row);
        Painted p;
        p.background = QColor(shot.pixel(r.left() + 1, r.center().y()));
        for (int x = r.left() + 1; x < r.right(); ++x)  // inside the cell's edges
            for (int y = r.top() + 1; y < r.bottom(); ++y)
                if (std::abs(qGray(shot.pixel(x, y)) - qGray(text.rgb())) <
                    std::abs(qGray(shot.pixel(x, y)) - qGray(p.background.rgb())) - 40) {
                    if (p.firstText < 0) p.firstText = x - r.left();
                    p.lastText = x - r.left();
                }
        return p;
    }

    std::unique_ptr<TFrameEventLog> view;
    TStringGrid *logs = nullptr;
};

TEST_F(EventLog, BuiltWithItsTitlesAndColumns) {
    ASSERT_EQ(logs->ColCount(), 3);
    EXPECT_EQ(logs->RowCount(), 5);
    EXPECT_EQ(logs->FixedRows(), 1);
    const char *titles[] = {"Log ID", "Archive Date", "Log File Size"};
    const int widths[] = {85, 185, 140};
    for (int col = 0; col < 3; ++col) {
        EXPECT_EQ(logs->Cells(col, 0), titles[col]);
        EXPECT_EQ(logs->ColWidths(col), widths[col]);
    }
    EXPECT_EQ(view->SelectedRow, 1);
    auto *details = view->findChild<TStringGrid *>(QStringLiteral("StringGrid2"));
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(details->ColCount(), 5);
    EXPECT_EQ(details->RowCount(), 5);
    auto *label = view->findChild<QLabel *>(QStringLiteral("Label1"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral(" Event Logs"));
    EXPECT_EQ(label->height(), 17);
    EXPECT_EQ(QColor(label->grab().toImage().pixel(label->width() - 2, 8)), QColor(160, 160, 164));
    // The list keeps its height; the lower grid takes the rest of the view.
    auto *panel1 = view->findChild<QWidget *>(QStringLiteral("Panel1"));
    EXPECT_EQ(panel1->height(), 89);
    view->resize(914, 800);
    EXPECT_EQ(panel1->height(), 89);
}

TEST_F(EventLog, SelectedRowGreyOthersBandedTitlesWhiteOnBlack) {
    // The user drags the splitter down so that every row shows.
    view->findChild<QSplitter *>(QStringLiteral("Splitter1"))->setSizes({200, 400});
    for (int row = 1; row < 5; ++row) logs->SetCells(0, row, std::to_string(row));
    logs->SetRow(3);
    EXPECT_EQ(view->SelectedRow, 3);
    const QImage shot = logs->grab().toImage();
    const QColor white(Qt::white), black(Qt::black);

    const struct {
        int row;
        QColor background, text;
    } rows[] = {{0, black, white},
                {1, white, black},
                {2, QColor(233, 233, 233), black},
                {3, QColor(128, 128, 128), white},
                {4, QColor(233, 233, 233), black}};
    const int blank = QFontMetrics(logs->font()).horizontalAdvance(QLatin1Char(' '));
    for (const auto &r : rows) {
        const Painted p = Look(shot, 0, r.row, r.text);
        EXPECT_EQ(p.background, r.background) << "row " << r.row;
        ASSERT_GE(p.lastText, 0) << "no text in row " << r.row;
        // Right-aligned: the text ends one blank before the cell's right edge.
        const int gap = CellRect(0, r.row).width() - 1 - p.lastText;
        EXPECT_GE(gap, blank) << "row " << r.row;
        EXPECT_LE(gap, blank + 3) << "row " << r.row;
        EXPECT_GT(p.firstText, CellRect(0, r.row).width() / 2) << "row " << r.row;
    }
    // Empty cells carry their row's colours too.
    EXPECT_EQ(Look(shot, 2, 3, white).background, QColor(128, 128, 128));
    EXPECT_EQ(Look(shot, 2, 2, black).background, QColor(233, 233, 233));
    EXPECT_EQ(Look(shot, 1, 0, white).background, black);
}

TEST_F(EventLog, TitleRowSelectsNothing) {
    view->findChild<QSplitter *>(QStringLiteral("Splitter1"))->setSizes({200, 400});
    logs->SetRow(2);
    bool canSelect = false;
    view->StringGrid1SelectCell(logs, 1, 0, canSelect);
    EXPECT_TRUE(canSelect);
    EXPECT_EQ(view->SelectedRow, 2);
    view->StringGrid1SelectCell(logs, 1, 4, canSelect);
    EXPECT_EQ(view->SelectedRow, 4);
    EXPECT_EQ(Look(logs->grab().toImage(), 1, 4, Qt::white).background, QColor(128, 128, 128));
}

}  // namespace
