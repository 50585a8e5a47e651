#include "TGridCanvas.h"

#include "TGridPaintCache.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>

TGridCanvas::TGridCanvas(QPainter &painter, const QFont &font, const QFontMetrics &metrics,
                         TGridPaintCache &cache)
    : Painter(painter), GridFont(font), Metrics(metrics), Cache(cache) {}

QColor TGridCanvas::ToQColor(TColor color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

void TGridCanvas::FillRect(const QRect &rect) { Painter.fillRect(rect, ToQColor(Brush.Color)); }

int TGridCanvas::TextWidth(const QString &text) const { return Metrics.horizontalAdvance(text); }

int TGridCanvas::TextWidth(const std::string &text) const {
    return Cache.Text(text.data(), text.size(), GridFont, Metrics).Width;
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
    FillRect(rect);
    if (text.empty()) return;
    const TGridPaintCache::TText &laid = Cache.Text(text.data(), text.size(), GridFont, Metrics);
    Painter.setFont(GridFont);
    Painter.setPen(ToQColor(Font.Color));
    // Most texts fit their cell: only one that reaches past an edge needs the clip.
    const bool fits = x >= rect.left() && y >= rect.top() && x + laid.Width <= rect.right() + 1 &&
                      y + Metrics.height() <= rect.bottom() + 1;
    if (fits) {
        Painter.drawStaticText(x, y, laid.Layout);
        return;
    }
    Painter.save();
    Painter.setClipRect(rect, Qt::IntersectClip);
    Painter.drawStaticText(x, y, laid.Layout);
    Painter.restore();
}

void TGridCanvas::Draw(int x, int y, const QImage &image, TColor transparentColor) {
    if (image.isNull()) return;
    if (transparentColor == clNone) {
        Painter.drawImage(x, y, image);
        return;
    }
    Painter.drawImage(x, y, Cache.Masked(image, ToQColor(transparentColor).rgb() & 0xFFFFFF));
}
