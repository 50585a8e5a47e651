#include "TStringTable.h"

#include <algorithm>
#include <cstring>

namespace {
const std::string kEmpty;
}

TStringTable::TStringTable(QObject *parent) : QAbstractTableModel(parent) {
    Store.resize(static_cast<std::size_t>(StoredRows) * Cols);
    Stale.assign(static_cast<std::size_t>(StoredRows), 0);
}

void TStringTable::SetColCount(int count) {
    count = std::max(count, 1);
    if (count == Cols) return;
    std::vector<std::string> next(static_cast<std::size_t>(StoredRows) * count);
    const int keep = std::min(count, Cols);
    for (int r = 0; r < StoredRows; ++r)
        for (int c = 0; c < keep; ++c)
            next[static_cast<std::size_t>(r) * count + c] = std::move(Slot(c, r));
    if (UpdateDepth > 0) {
        Store.swap(next);
        Cols = count;
        return;
    }
    if (count > Cols) {
        beginInsertColumns(QModelIndex(), Cols, count - 1);
        Store.swap(next);
        Cols = ShownCols = count;
        endInsertColumns();
    } else {
        beginRemoveColumns(QModelIndex(), count, Cols - 1);
        Store.swap(next);
        Cols = ShownCols = count;
        endRemoveColumns();
    }
}

void TStringTable::Revive(int row) {
    for (int c = 0; c < Cols; ++c) Slot(c, row).clear();
    Stale[static_cast<std::size_t>(row)] = 0;
}

void TStringTable::SetRowCount(int count) {
    count = std::max(count, 1);
    if (count == Rows) return;
    // Rows cut off earlier and now shown again start empty.
    for (int r = Rows; r < std::min(count, StoredRows); ++r) Stale[static_cast<std::size_t>(r)] = 1;
    if (count > StoredRows) {
        Store.resize(static_cast<std::size_t>(count) * Cols);
        Stale.resize(static_cast<std::size_t>(count), 0);
        StoredRows = count;
    }
    const int fixed = Fixed >= count ? count - 1 : Fixed;
    if (UpdateDepth > 0) {
        Rows = count;
        Fixed = fixed;
        return;
    }
    if (count > Rows) {
        beginInsertRows(QModelIndex(), Rows, count - 1);
        Rows = ShownRows = count;
        endInsertRows();
    } else {
        // FixedRows is lowered with the row count, so a view laying itself out on rowsRemoved
        // never sees it reach the row count; FixedRowsChanged follows.
        beginRemoveRows(QModelIndex(), count, Rows - 1);
        Rows = ShownRows = count;
        Fixed = fixed;
        endRemoveRows();
    }
    if (fixed != ShownFixed) {
        Fixed = ShownFixed = fixed;
        emit FixedRowsChanged(Fixed);
    }
}

void TStringTable::SetFixedRows(int count) {
    count = std::clamp(count, 0, std::min(1, Rows - 1));
    if (count == Fixed) return;
    Fixed = count;
    if (UpdateDepth > 0) return;
    ShownFixed = Fixed;
    emit FixedRowsChanged(Fixed);
}

const std::string &TStringTable::Cells(int col, int row) const {
    if (col < 0 || col >= Cols || row < 0 || row >= Rows || Stale[static_cast<std::size_t>(row)])
        return kEmpty;
    return Store[static_cast<std::size_t>(row) * Cols + col];
}

void TStringTable::Rewrite(int col, int row, const char *text, std::size_t length) {
    Slot(col, row).assign(text ? text : "", length);
    NoteWritten(col, row);
}

void TStringTable::SetCells(int col, int row, const char *text) {
    SetCells(col, row, text, text ? std::strlen(text) : 0);
}

void TStringTable::NoteWritten(int col, int row) {
    if (UpdateDepth == 0) {
        const QModelIndex at = index(row, col);
        emit dataChanged(at, at, {Qt::DisplayRole});
        return;
    }
    if (!AnyWritten) {
        AnyWritten = true;
        MinRow = MaxRow = row;
        MinCol = MaxCol = col;
        return;
    }
    MinRow = std::min(MinRow, row);
    MaxRow = std::max(MaxRow, row);
    MinCol = std::min(MinCol, col);
    MaxCol = std::max(MaxCol, col);
}

void TStringTable::BeginUpdate() { ++UpdateDepth; }

void TStringTable::EndUpdate() {
    if (UpdateDepth == 0 || --UpdateDepth > 0) return;
    const bool written = AnyWritten;
    AnyWritten = false;
    if (Rows != ShownRows || Cols != ShownCols) {
        beginResetModel();
        ShownRows = Rows;
        ShownCols = Cols;
        endResetModel();
    } else if (written) {
        // Cells written past the row count of the moment are not shown; clip to what is.
        const int maxRow = std::min(MaxRow, Rows - 1), maxCol = std::min(MaxCol, Cols - 1);
        if (MinRow <= maxRow && MinCol <= maxCol)
            emit dataChanged(index(MinRow, MinCol), index(maxRow, maxCol), {Qt::DisplayRole});
    }
    if (Fixed != ShownFixed) {
        ShownFixed = Fixed;
        emit FixedRowsChanged(Fixed);
    }
}

int TStringTable::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ShownRows;
}

int TStringTable::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ShownCols;
}

QVariant TStringTable::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
    const std::string &text = Cells(index.column(), index.row());
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

Qt::ItemFlags TStringTable::flags(const QModelIndex &index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
