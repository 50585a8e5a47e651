#pragma once
// TStringTable: the cell store of a string grid, a plain table model of narrow (UTF-8) texts.
// The engine's grid fills write into it without any widget code; a TStringGrid shows it.
//
// Geometry rules: RowCount below 1 becomes 1; a RowCount not above FixedRows lowers FixedRows to
// RowCount - 1; FixedRows is 0 or 1 and always below RowCount. Writes outside the current
// ColCount x RowCount are ignored; reads outside give the empty text. Rows that come back into
// range after the row count was lowered start empty.
//
// Bulk changes: between BeginUpdate and EndUpdate (nestable) no model signal is sent; views keep
// seeing the geometry of the BeginUpdate call. The outermost EndUpdate then sends ONE
// modelReset when the row or column count changed, otherwise ONE dataChanged covering the cells
// written (none when nothing was written), and FixedRowsChanged when that changed.
// Outside an update every change is signalled at once (one dataChanged per cell written).
//
// Cell texts keep their storage when rewritten or cut off, so refilling a grid of the same size
// allocates only for texts longer than the cell held before.
//
// Threads: the thread the object lives on (the main thread) only.

#include <QAbstractTableModel>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

class TStringTable : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TStringTable(QObject *parent = nullptr);

    int ColCount() const { return Cols; }
    void SetColCount(int count);  // below 1 becomes 1
    int RowCount() const { return Rows; }
    void SetRowCount(int count);
    int FixedRows() const { return Fixed; }
    void SetFixedRows(int count);  // clamped to 0..1 and below RowCount

    const std::string &Cells(int col, int row) const;
    // A cell that already holds the text is left alone (and nothing is signalled for it): the
    // check is inline, since a refill finds most cells unchanged.
    void SetCells(int col, int row, const char *text, std::size_t length) {
        if (col < 0 || col >= Cols || row < 0 || row >= Rows) return;
        if (!text) length = 0;
        if (Stale[static_cast<std::size_t>(row)]) Revive(row);
        const std::string &cell = Store[static_cast<std::size_t>(row) * Cols + col];
        if (cell.size() == length && (length == 0 || std::memcmp(cell.data(), text, length) == 0))
            return;
        Rewrite(col, row, text, length);
    }
    void SetCells(int col, int row, const char *text);
    void SetCells(int col, int row, const std::string &text) {
        SetCells(col, row, text.data(), text.size());
    }

    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return UpdateDepth > 0; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    void FixedRowsChanged(int fixedRows);

private:
    std::string &Slot(int col, int row) {
        return Store[static_cast<std::size_t>(row) * Cols + col];
    }
    void Rewrite(int col, int row, const char *text, std::size_t length);  // a cell that changes
    void Revive(int row);  // a stale row's texts cleared (keeping their capacity), no longer stale
    void NoteWritten(int col, int row);

    int Cols = 5;
    int Rows = 5;
    int Fixed = 1;
    int StoredRows = 5;              // rows held in Store (never shrinks)
    std::vector<std::string> Store;  // row-major, StoredRows x Cols
    // Per stored row: 1 while the row holds the texts of before the row count last cut it off;
    // it reads as empty and is cleared at its first write, so that raising the row count costs
    // nothing for the rows a fill does not reach.
    std::vector<unsigned char> Stale;

    // What views have been told; differs from Rows/Cols/Fixed only inside an update.
    int ShownRows = 5, ShownCols = 5, ShownFixed = 1;
    int UpdateDepth = 0;
    bool AnyWritten = false;
    int MinRow = 0, MaxRow = 0, MinCol = 0, MaxCol = 0;  // cells written inside the update
};
