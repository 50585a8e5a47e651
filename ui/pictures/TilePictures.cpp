// The graph tile's pictures, written as JPEG (through Qt's JPEG writer, which is libjpeg's): the
// close image of the name bar, the enlarge image shared by the five small charts and the restore
// image of the enlarged chart.
#include "PictureFiles.h"
#include "Pictures.h"

#include <QImage>
#include <QPainter>
#include <QPen>

namespace pictures {

namespace {

const QColor kChartGrey(48, 48, 48);  // the charts' background, so the small images blend in

// 16 x 16: a white cross on a dark red square with a light rim, readable on the name bar's grey,
// blue or red.
QImage CloseImage() {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(QColor(160, 24, 24));
    QPainter p(&image);
    p.setPen(QPen(QColor(230, 230, 230), 1));
    p.drawRect(0, 0, 15, 15);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4.5, 4.5), QPointF(11.5, 11.5));
    p.drawLine(QPointF(11.5, 4.5), QPointF(4.5, 11.5));
    return image;
}

// 11 x 9: a window outline with a thick top edge (the usual "maximise" sign), yellow as the small
// charts' titles.
QImage EnlargeImage() {
    QImage image(11, 9, QImage::Format_RGB32);
    image.fill(kChartGrey);
    QPainter p(&image);
    p.setPen(QPen(QColor(255, 255, 0), 1));
    p.drawRect(1, 1, 8, 6);
    p.drawLine(1, 2, 9, 2);
    return image;
}

// 11 x 9: two overlapping window outlines (the usual "restore" sign).
QImage RestoreImage() {
    QImage image(11, 9, QImage::Format_RGB32);
    image.fill(kChartGrey);
    QPainter p(&image);
    p.setPen(QPen(QColor(255, 255, 0), 1));
    p.drawLine(3, 0, 10, 0);
    p.drawLine(10, 0, 10, 5);
    p.fillRect(0, 3, 8, 6, kChartGrey);
    p.drawRect(0, 3, 7, 5);
    p.drawLine(0, 4, 7, 4);
    return image;
}

}  // namespace

bool DrawTileImages(const QDir &folder) {
    return SaveWithQt(CloseImage(), folder.filePath(QStringLiteral("GraphClose.jpg")), "JPEG",
                      100) &&
           SaveWithQt(EnlargeImage(), folder.filePath(QStringLiteral("GraphEnlarge.jpg")), "JPEG",
                      100) &&
           SaveWithQt(RestoreImage(), folder.filePath(QStringLiteral("GraphRestore.jpg")), "JPEG",
                      100);
}

}  // namespace pictures
