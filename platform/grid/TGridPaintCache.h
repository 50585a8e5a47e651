#pragma once
// TGridPaintCache: what one grid's cell painting would otherwise work out again at every paint:
// each cell text laid out once in the grid's font (a plain-text QStaticText with its advance),
// and each image with its transparent colour masked out. A repaint after a refill finds nearly
// all its texts here, since most cells keep their texts from one poll to the next.
//
// Texts are keyed by the cell's UTF-8 text, images by their cache key and the colour; the texts
// are dropped when the font changes, either kind when it holds its maximum (a grid shows a few
// hundred distinct texts and a few images at a time, so the cache stays small).
//
// Threads: main thread only. Owned by its TStringGrid; the canvas borrows it for one cell.

#include <QFont>
#include <QImage>
#include <QStaticText>

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

class QFontMetrics;

class TGridPaintCache {
public:
    static constexpr std::size_t kMaxTexts = 20000;
    static constexpr std::size_t kMaxImages = 64;

    struct TText {
        QStaticText Layout;
        int Width = 0;  // horizontalAdvance in the font
    };

    // The text laid out in font (whose metrics are given).
    const TText &Text(const char *text, std::size_t length, const QFont &font,
                      const QFontMetrics &metrics);
    // The image with the pixels of the colour (0xRRGGBB) made transparent.
    const QImage &Masked(const QImage &image, std::uint32_t rgb);

private:
    std::unordered_map<std::string, TText> Texts;
    std::string Key;  // the lookup key, kept so that a lookup does not allocate
    QFont Font;       // the font of the cached texts
    struct TMasked {
        qint64 Key = 0;
        std::uint32_t Rgb = 0;
        QImage Image;
    };
    std::unordered_map<qint64, TMasked> Images;
};
