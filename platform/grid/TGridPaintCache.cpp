#include "TGridPaintCache.h"

#include <QFontMetrics>
#include <QString>

const TGridPaintCache::TText &TGridPaintCache::Text(const char *text, std::size_t length,
                                                    const QFont &font,
                                                    const QFontMetrics &metrics) {
    if (font != Font) {
        Texts.clear();
        Font = font;
    }
    Key.assign(text ? text : "", text ? length : 0);
    const auto found = Texts.find(Key);
    if (found != Texts.end()) return found->second;
    if (Texts.size() >= kMaxTexts) Texts.clear();
    const QString shown = QString::fromUtf8(Key.data(), static_cast<qsizetype>(Key.size()));
    TText entry;
    entry.Layout.setTextFormat(Qt::PlainText);
    entry.Layout.setPerformanceHint(QStaticText::AggressiveCaching);
    entry.Layout.setText(shown);
    entry.Layout.prepare(QTransform(), font);
    entry.Width = metrics.horizontalAdvance(shown);
    return Texts.emplace(Key, std::move(entry)).first->second;
}

const QImage &TGridPaintCache::Masked(const QImage &image, std::uint32_t rgb) {
    if (Images.size() >= kMaxImages && !Images.count(image.cacheKey())) Images.clear();
    TMasked &entry = Images[image.cacheKey()];
    if (entry.Image.isNull() || entry.Key != image.cacheKey() || entry.Rgb != rgb) {
        QImage masked = image.convertToFormat(QImage::Format_ARGB32);
        for (int row = 0; row < masked.height(); ++row) {
            auto *line = reinterpret_cast<QRgb *>(masked.scanLine(row));
            for (int col = 0; col < masked.width(); ++col)
                if ((line[col] & 0xFFFFFF) == rgb) line[col] = 0;
        }
        entry = {image.cacheKey(), rgb, std::move(masked)};
    }
    return entry.Image;
}
