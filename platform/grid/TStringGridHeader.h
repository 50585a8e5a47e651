#pragma once
// TStringGridHeader: the horizontal header of a TStringGrid, which shows the fixed title row
// (row 0) while FixedRows is 1. Each section is painted through the grid's PaintCell as cell
// (column, 0), one row high. Owned by its grid; main thread only.

#include <QHeaderView>

class TStringGrid;

class TStringGridHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TStringGridHeader(TStringGrid *grid);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    TStringGrid *Grid;
};
