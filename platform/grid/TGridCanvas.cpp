#include "TGridCanvas.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>

TGridCanvas::TGridCanvas(QPainter &painter, const QFont &font)
    : Painter(painter), GridFont(font), Metrics(font) {}

QColor TGridCanvas::ToQColor(TColor color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

void TGridCanvas::FillRect(const QRect &rect) { Painter.fillRect(rect, ToQColor(Brush.Color)); }

int TGridCanvas::TextWidth(const QString &text) const {
    return Metrics.horizontalAdvance(text);
}

int TGridCanvas::TextWidth(const std::string &text) const {
    return TextWidth(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TGridCanvas::TextRect(const QRect &rect, int x, int y, const QString &text) {
    FillRect(rect);
    Painter.save();
    Painter.setClipRect(rect, Qt::IntersectClip);
    Painter.setFont(GridFont);
    Painter.setPen(ToQColor(Font.Color));
    const int width = Metrics.horizontalAdvance(text) + 1;
    Painter.drawText(QRect(x, y, width, Metrics.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    Painter.restore();
}

void TGridCanvas::TextRect(const QRect &rect, int x, int y, const std::string &text) {
    TextRect(rect, x, y, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TGridCanvas::Draw(int x, int y, const QImage &image, TColor transparentColor) {
    if (image.isNull()) return;
    if (transparentColor == clNone) {
        Painter.drawImage(x, y, image);
        return;
    }
    QImage masked = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = ToQColor(transparentColor).rgb() & 0xFFFFFF;
    for (int row = 0; row < masked.height(); ++row) {
        auto *line = reinterpret_cast<QRgb *>(masked.scanLine(row));
        for (int col = 0; col < masked.width(); ++col)
            if ((line[col] & 0xFFFFFF) == key) line[col] = 0;
    }
    Painter.drawImage(x, y, masked);
}
