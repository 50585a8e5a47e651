#include "TStringGridHeader.h"

#include "TStringGrid.h"

#include <QPainter>

TStringGridHeader::TStringGridHeader(TStringGrid *grid)
    : QHeaderView(Qt::Horizontal, grid), Grid(grid) {
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setMinimumSectionSize(0);
}

QSize TStringGridHeader::sizeHint() const {
    QSize hint = QHeaderView::sizeHint();
    hint.setHeight(Grid->verticalHeader()->defaultSectionSize());
    return hint;
}

void TStringGridHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const {
    if (!rect.isValid()) return;
    // Leave the grid line on the right and bottom, as the body cells do.
    const QRect cell(rect.left(), rect.top(), rect.width() - 1, rect.height() - 1);
    painter->save();
    painter->setPen(palette().color(QPalette::Mid));
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->restore();
    Grid->PaintCell(*painter, cell, logicalIndex, 0, gdFixed);
}
