#include "TPlainTextLabel.h"

#include <QPainter>
#include <QStyle>

TPlainTextLabel::TPlainTextLabel(QWidget *parent) : QLabel(parent) {}

bool TPlainTextLabel::PaintsItself() const {
    const Qt::TextFormat format = textFormat();
    const bool plain = format == Qt::PlainText ||
                       (format == Qt::AutoText && !Qt::mightBeRichText(text()));
    return plain && isEnabled() && frameShape() == QFrame::NoFrame && margin() == 0 &&
           indent() <= 0 && !wordWrap() && pixmap().isNull() && buddy() == nullptr &&
           !(textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard));
}

void TPlainTextLabel::paintEvent(QPaintEvent *event) {
    if (!PaintsItself()) {
        QLabel::paintEvent(event);
        return;
    }
    const QString &shown = text();
    if (shown.isEmpty()) return;
    // As QLabel and the style draw a plain text: aligned for the text's own direction, forced to
    // that direction, in the foreground role's brush.
    const bool rightToLeft = shown.isRightToLeft();
    const int flags =
        int(QStyle::visualAlignment(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight, alignment())) |
        (rightToLeft ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight);
    QPainter painter(this);
    painter.setPen(QPen(palette().brush(foregroundRole()), painter.pen().widthF()));
    painter.drawText(contentsRect(), flags, shown);
}
