#include "TStringGridDelegate.h"

#include "TStringGrid.h"

#include <QPainter>

TStringGridDelegate::TStringGridDelegate(TStringGrid *grid)
    : QStyledItemDelegate(grid), Grid(grid) {}

void TStringGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const {
    TGridDrawState state = 0;
    if (option.state & QStyle::State_Selected) state |= gdSelected;
    if (option.state & QStyle::State_HasFocus) state |= gdFocused;
    if (index.row() < Grid->FixedRows()) state |= gdFixed;
    Grid->PaintCell(*painter, option.rect, index.column(), index.row(), state);
}
