#pragma once
// TGridCanvas: what a string grid's draw-cell handler paints with, over the grid's QPainter for
// the duration of one cell's paint. Colours are TColor values, 0x00BBGGRR as the handlers give
// them (0x0000FF is red). Text is drawn in the grid's font and in Font.Color.
//
// Lifetime: created by TStringGrid around each OnDrawCell call; a handler must not keep it. The
// font, its metrics and the paint cache are the grid's, borrowed for the cell.

#include <QFont>
#include <QFontMetrics>
#include <QRect>

#include <cstdint>
#include <string>

class QColor;
class QImage;
class QPainter;
class QString;
class TGridPaintCache;

using TColor = std::uint32_t;  // 0x00BBGGRR
constexpr TColor clNone = 0x1FFFFFFF;

class TGridCanvas {
public:
    struct TBrush {
        TColor Color = 0xFFFFFF;
    };
    struct TFont {
        TColor Color = 0x000000;
    };

    TGridCanvas(QPainter &painter, const QFont &font, const QFontMetrics &metrics,
                TGridPaintCache &cache);

    TBrush Brush;
    TFont Font;

    void FillRect(const QRect &rect);  // rect in Brush.Color
    int TextWidth(const std::string &text) const;
    int TextWidth(const QString &text) const;
    // Fills rect with Brush.Color, then draws text with its top-left corner at (x, y), clipped
    // to rect.
    void TextRect(const QRect &rect, int x, int y, const std::string &text);
    void TextRect(const QRect &rect, int x, int y, const QString &text);
    // The image with its top-left corner at (x, y); with a transparent colour, the pixels of
    // that colour are left unpainted.
    void Draw(int x, int y, const QImage &image, TColor transparentColor = clNone);

    static QColor ToQColor(TColor color);

private:
    QPainter &Painter;
    const QFont &GridFont;
    const QFontMetrics &Metrics;
    TGridPaintCache &Cache;
};
