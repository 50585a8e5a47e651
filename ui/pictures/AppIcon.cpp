// The program's icon at the sizes of the desktop's icon theme (hicolor), kivrawatch-SIZE.png: a
// graph tile in small, its blue name bar over the charts' dark grey with a lime and a yellow line.
#include "PictureFiles.h"
#include "Pictures.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace pictures {

namespace {

const int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QImage Icon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const qreal margin = size <= 24 ? 0.5 : s / 32;
    const QRectF tile(margin, margin, s - 2 * margin, s - 2 * margin);
    const qreal radius = s * 0.16;
    QPainterPath outline;
    outline.addRoundedRect(tile, radius, radius);

    // The charts' dark grey, the name bar's blue along the top.
    p.fillPath(outline, QColor(48, 48, 48));
    p.save();
    p.setClipPath(outline);
    p.fillRect(QRectF(tile.left(), tile.top(), tile.width(), tile.height() * 0.22),
               QColor(0, 102, 204));
    // Faint grid lines on the larger sizes.
    if (size >= 48) {
        p.setPen(QPen(QColor(80, 80, 80), s / 128));
        for (int i = 1; i < 4; ++i) {
            const qreal y = tile.top() + tile.height() * (0.22 + 0.78 * i / 4.0);
            p.drawLine(QPointF(tile.left(), y), QPointF(tile.right(), y));
        }
    }
    p.restore();

    // Two lines of a history: the busy one lime, the calmer one yellow.
    const qreal w = tile.width(), h = tile.height();
    auto at = [&](qreal x, qreal y) { return QPointF(tile.left() + w * x, tile.top() + h * y); };
    const qreal line = qMax<qreal>(1.5, s / 20);
    p.setPen(QPen(QColor(0, 255, 0), line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF lime[] = {at(0.10, 0.80), at(0.28, 0.52), at(0.42, 0.66),
                            at(0.60, 0.34), at(0.76, 0.56), at(0.90, 0.40)};
    p.drawPolyline(lime, 6);
    p.setPen(QPen(QColor(255, 255, 0), line * 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF yellow[] = {at(0.10, 0.90), at(0.35, 0.84), at(0.58, 0.88), at(0.90, 0.76)};
    p.drawPolyline(yellow, 4);

    // A light rim, so the tile stands out on dark menus too.
    p.setPen(QPen(QColor(150, 150, 150), qMax<qreal>(1, s / 64)));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);
    return image;
}

}  // namespace

bool DrawAppIcon(const QDir &folder) {
    for (int size : kSizes)
        if (!SaveWithQt(Icon(size), folder.filePath(QStringLiteral("kivrawatch-%1.png").arg(size)),
                        "PNG"))
            return false;
    return true;
}

}  // namespace pictures
