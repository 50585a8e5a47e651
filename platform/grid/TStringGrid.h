#pragma once
// TStringGrid: the program's string grid, a QTableView over its own TStringTable.
//
// Geometry and cells live in the table (Table()), which the engine's fills write directly; the
// accessors here forward to it. Row 0 is the title row while FixedRows is 1: it is drawn as the
// (non-scrolling) header and takes neither the selection nor the current cell. There is never a
// fixed column.
//
// Painting: every visible cell, the fixed row included, is painted by OnDrawCell when it is set,
// on Canvas() (valid only inside the handler); without a handler the grid paints plain text.
// SetRedraw(false) suspends painting and the table's signals until SetRedraw(true) (not nested,
// as the window message it stands for), so a refill reaches the view as one change.
//
// Coordinates: X, Y of OnMouseDown and MouseToCell are in this widget's own coordinates.
// Mouse: a press of any button, on a cell, the title row or elsewhere, is reported to OnMouseDown
// (after the current cell moved, when it does); only the left button moves the current cell.
// Current cell: Row() and Col(); any move (a left click, keys, SetRow/SetCol) raises OnSelectCell
// first, while Row()/Col() still give the old cell; a handler that clears CanSelect keeps the old
// cell. Nothing is raised when the cell does not move (a click on the current cell, setting
// Row/Col to itself). A move made while painting is suspended takes effect (and is scrolled into
// view) when the refill ends. A refill that removes the current row moves the current cell to the
// last row without an event; the next click on that cell is the move to it the user makes, and
// raises OnSelectCell. Otherwise a refill keeps the current cell and the scroll position.
//
// Threads: main thread only. The grid owns its table (unless it shows another grid's, see
// ShareTable) and the items that paint it.

#include "TGridCanvas.h"
#include "TGridPaintCache.h"
#include "TStringTable.h"

#include <QTableView>

#include <functional>
#include <string>
#include <vector>

class TStringGridDelegate;
class TStringGridHeader;

enum TGridDrawStateFlag : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = unsigned;

class TStringGrid : public QTableView {
    Q_OBJECT
public:
    explicit TStringGrid(QWidget *parent = nullptr);
    ~TStringGrid() override;

    TStringTable *Table() const { return Store; }
    // Shows source's table from now on instead of a table of its own, as the frozen grid of a
    // pair shows the scrolling grid's: cells, row and column counts and the fixed row are then
    // one, written once; the column widths, the current cell and the scroll position stay each
    // grid's own. The source must outlive this grid (a sibling, both children of one frame).
    void ShareTable(TStringGrid *source);

    const std::string &Cells(int col, int row) const { return Store->Cells(col, row); }
    void SetCells(int col, int row, const std::string &text) { Store->SetCells(col, row, text); }

    int ColCount() const { return Store->ColCount(); }
    void SetColCount(int count) { Store->SetColCount(count); }
    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int RowCount() const { return Store->RowCount(); }
    void SetRowCount(int count) { Store->SetRowCount(count); }
    int FixedRows() const { return Store->FixedRows(); }
    void SetFixedRows(int count) { Store->SetFixedRows(count); }
    int FixedCols() const { return 0; }
    void SetFixedCols(int) {}  // there is no fixed column

    int Row() const { return CurRow; }
    void SetRow(int row);
    int Col() const { return CurCol; }
    void SetCol(int col);
    int TopRow() const;
    void SetTopRow(int row);

    // The cell under the client point; -1, -1 outside every cell.
    void MouseToCell(int X, int Y, int &ACol, int &ARow) const;
    // Whether the client point lies in the grid's empty area below its last row (no cell there).
    bool IsBelowLastRow(int X, int Y) const;

    void Repaint();
    void Refresh() { Repaint(); }
    // The whole grid is repainted at the next paint the event loop delivers, once however many
    // changes ask for it before then.
    void Invalidate();
    void SetRedraw(bool on);

    // The canvas of the cell being painted; nullptr outside OnDrawCell.
    TGridCanvas *Canvas() const { return ActiveCanvas; }

    std::function<void(TStringGrid *Sender, int ACol, int ARow, const QRect &Rect,
                       TGridDrawState State)>
        OnDrawCell;
    std::function<void(TStringGrid *Sender, int ACol, int ARow, bool &CanSelect)> OnSelectCell;
    std::function<void(TStringGrid *Sender)> OnTopLeftChanged;
    std::function<void(TStringGrid *Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                       int X, int Y)>
        OnMouseDown;

    // Called by the delegate and the header: paints one cell in rect.
    void PaintCell(QPainter &painter, const QRect &rect, int col, int row, TGridDrawState state);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BindTable();                    // follows Store's geometry changes
    void MoveCurrent(int col, int row);  // raises OnSelectCell, honours CanSelect
    void ApplyLayout();                  // after a geometry change: widths, title row, current
    void PlaceCurrentSilently();
    void RaiseMouseDown(QMouseEvent *event, QWidget *from);

    TStringTable *Store;
    TStringGridDelegate *Painter;
    TStringGridHeader *Header;
    TGridCanvas *ActiveCanvas = nullptr;
    QFontMetrics Metrics;        // of font(), for every cell's canvas
    TGridPaintCache PaintCache;  // the cells' laid-out texts and masked images
    std::vector<int> Widths;     // per column; reapplied after a model reset
    int CurRow = 1, CurCol = 0;
    // The row last moved to (click, keys, SetRow/SetCol); differs from CurRow only while a refill
    // left the current cell where the grid placed it.
    int ChosenRow = 1;
    bool Placing = false;    // the current index is being set by the grid itself
    bool Suspended = false;  // SetRedraw(false) in force
    bool RestoreAfterReset = false;
    bool ScrollToCurrent = false;  // a cell chosen inside a suspended refill
    QPoint ResetScroll;            // vertical, horizontal scroll values before the last reset
};
