#pragma once
// TFrameTwinGrids: the list control of every session, user and database view and of the detail
// pane's threads tab. One table shown twice: a frozen left grid (sgLeft, 1 px wide until the
// splitter between them is dragged) and a scrolling right grid (sgRight), with a title bar above
// and a count label below. The owning view fills only the right grid (sgRight->Table()) and then
// calls SyncGrids; the left grid shows the right grid's own table (TStringGrid::ShareTable), so
// it holds the same cells without a copy, and SyncGrids sets the title row and the count, as
// after a copy. Until the first fill the table holds the title row alone (the count reads 0).
// Vertical scrolling of either grid is applied to both. The control paints every cell of both
// grids: the title row, zebra rows, the highlighted row (SelectedRow), per-column alignment and
// the state icons of column 0.
//
// Both grids start with sgDrawCell, sgSelectCell and sgTopLeftChanged bound; a view may rebind
// OnSelectCell and OnMouseDown to its own handlers (which call sgSelectCell first).
//
// Main thread only. The frame owns its grids; it never sees a server model.

#include "GridColumns.h"
#include "TStringGrid.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QLabel;
class QSplitter;

namespace Ui {
class TFrameTwinGrids;
}

class TFrameTwinGrids : public QWidget {
    Q_OBJECT
    // The caption of the title bar, also written after the count: " All Processes".
    Q_PROPERTY(QString title READ Title WRITE setTitle)
public:
    static constexpr int kMaxColumns = 40;  // RightAligned has one flag per column

    explicit TFrameTwinGrids(QWidget *parent = nullptr);
    ~TFrameTwinGrids() override;

    // After a fill of the right grid: the left grid shows the same rows (one table), the title
    // row is fixed once there is a data row, and the count label reads the number of data rows
    // followed by the title.
    void SyncGrids();
    // Suspends (false) or resumes (true) painting of both grids; resuming has them repainted at
    // the next paint (once, however many changes follow before it).
    void SetRedraw(bool on);
    // The current row of both grids (each raising its OnSelectCell), then SelectedRow.
    void SelectRow(int row);

    // The handlers bound to both grids.
    void sgSelectCell(TStringGrid *Sender, int ACol, int ARow, bool &CanSelect);
    void sgTopLeftChanged(TStringGrid *Sender);
    void sgDrawCell(TStringGrid *Sender, int ACol, int ARow, const QRect &Rect,
                    TGridDrawState State);

    // A view's grid setup: IconColumn, the column count and widths (right grid, then left),
    // the titles into row 0 of the right grid, SyncGrids, the alignment flags.
    void SetupColumns(const TGridColumns &columns, int iconColumn);
    // The cell under a press at X, Y of grid, which becomes that grid's current column (its row is
    // unchanged); false outside every cell (the empty area below the last row among it). Row 0 is
    // the title row.
    static bool PressedCell(TStringGrid *grid, int X, int Y, int &col, int &row);
    // Only the title row left, in both grids (count "0" + title).
    void Clear();
    // The number in column col of the highlighted row of the right grid; -1 when no data row is
    // highlighted (the title row, a row past the end) or the cell holds no whole number.
    int SelectedNumber(int col) const;
    // Suspends or resumes painting of the right grid alone, around a detail-pane update; does
    // nothing while SetRedraw(false) holds both grids (resuming then is SetRedraw's).
    void SetRightRedraw(bool on);

    // Binds a view's own OnSelectCell and OnMouseDown handlers to grid (sgLeft or sgRight); an
    // empty handler leaves that event as it is. What a handler throws is shown by the
    // application's exception display, never passed through Qt.
    using TSelectCellHandler =
        std::function<void(TStringGrid *Sender, int ACol, int ARow, bool &CanSelect)>;
    using TMouseDownHandler = std::function<void(TStringGrid *Sender, Qt::MouseButton Button,
                                                 Qt::KeyboardModifiers Shift, int X, int Y)>;
    void BindViewHandlers(TStringGrid *grid, TSelectCellHandler onSelectCell,
                          TMouseDownHandler onMouseDown);

    QString Title() const;
    void setTitle(const QString &title);

    TStringGrid *sgLeft = nullptr;
    TStringGrid *sgRight = nullptr;
    QSplitter *Splitter1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *LabelCount = nullptr;
    std::array<QImage, 4> ImageListStates;  // grey, red, yellow, green balls on white

    int SelectedRow = 1;                 // the highlighted row
    int IconColumn = -1;                 // the column drawn as state icons (0) or none (-1)
    int RightAligned[kMaxColumns] = {};  // 1: the column's text is right-aligned

private:
    void BindGrid(TStringGrid *grid);

    std::unique_ptr<Ui::TFrameTwinGrids> ui;
    bool Suspended = false;       // SetRedraw(false) in force
    bool RightSuspended = false;  // SetRightRedraw(false) in force
};

// The whole number a grid cell holds (an optional minus sign and decimal digits, nothing else,
// within int); fallback otherwise.
int CellNumber(const std::string &text, int fallback = -1);
