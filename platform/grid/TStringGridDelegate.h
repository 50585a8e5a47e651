#pragma once
// TStringGridDelegate: paints each body cell of a TStringGrid through the grid's PaintCell, so
// the grid's draw-cell handler decides what shows. Owned by its grid; main thread only.

#include <QStyledItemDelegate>

class TStringGrid;

class TStringGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TStringGridDelegate(TStringGrid *grid);
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    TStringGrid *Grid;
};
