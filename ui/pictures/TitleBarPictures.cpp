// The server title bar's three pieces, 24 pixels high: its left end (5 wide), the middle that is
// stretched between them (8 wide) and its right end (5 wide). Slate blue, darker downwards; each
// end has a dark outer edge and a light line inside it.
#include "PictureFiles.h"
#include "Pictures.h"

#include <QImage>

namespace pictures {

namespace {

const int kHeight = 24;
const QRgb kTop = qRgb(96, 112, 136), kBottom = qRgb(40, 48, 64), kEdge = qRgb(24, 28, 36);
const int kLightLift = 40;  // the light line: the bar's shade, this much lighter

int Shade(int top, int bottom, int y) {
    return static_cast<int>(top + (bottom - top) * y / double(kHeight - 1));
}

QRgb Bar(int y, int lift = 0) {
    return qRgb(Shade(qRed(kTop), qRed(kBottom), y) + lift,
                Shade(qGreen(kTop), qGreen(kBottom), y) + lift,
                Shade(qBlue(kTop), qBlue(kBottom), y) + lift);
}

// edgeColumn: where the dark edge is (-1: none); the light line is next to it, inward.
QImage Piece(int width, int edgeColumn) {
    QImage image(width, kHeight, QImage::Format_RGB32);
    const int lightColumn = edgeColumn == 0 ? 1 : edgeColumn - 1;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           edgeColumn < 0     ? Bar(y)
                           : x == edgeColumn  ? kEdge
                           : x == lightColumn ? Bar(y, kLightLift)
                                              : Bar(y));
    return image;
}

}  // namespace

bool DrawTitleBar(const QDir &folder) {
    return SaveBmp24(Piece(5, 0), folder.filePath(QStringLiteral("TitleBarLeft.bmp"))) &&
           SaveBmp24(Piece(8, -1), folder.filePath(QStringLiteral("TitleBarMiddle.bmp"))) &&
           SaveBmp24(Piece(5, 4), folder.filePath(QStringLiteral("TitleBarRight.bmp")));
}

}  // namespace pictures
