// The four 16 x 16 state images of the session, user and database grids: a grey, red, yellow and
// green ball on white, lit from the upper left, darker at the rim.
#include "PictureFiles.h"
#include "Pictures.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace pictures {

namespace {

const int kSize = 16;
const double kRadius = 6.5;

struct Ball {
    const char *file;
    QRgb base, light;  // the shade at the far rim and at the highlight spot
};

const Ball kBalls[] = {
    {"StateGrey.bmp", qRgb(128, 128, 128), qRgb(230, 230, 230)},
    {"StateRed.bmp", qRgb(200, 0, 0), qRgb(255, 170, 170)},
    {"StateYellow.bmp", qRgb(220, 190, 0), qRgb(255, 250, 190)},
    {"StateGreen.bmp", qRgb(0, 160, 0), qRgb(170, 255, 170)},
};

// One channel inside the ball, rounded half to even; never pure white, which is the ground.
int Channel(int base, int light, double t, double rim) {
    double v = light + (base - light) * t;
    v = v * (1.0 - 0.45 * rim);
    return std::clamp(static_cast<int>(std::nearbyint(v)), 0, 254);
}

QRgb Pixel(int x, int y, const Ball &ball) {
    const double cx = (kSize - 1) / 2.0, cy = cx;
    const double d = std::hypot(x - cx, y - cy);
    if (d > kRadius) return qRgb(255, 255, 255);
    // Distance from the highlight spot: 0 at the spot, 1 at the far rim.
    const double hx = cx - 2.5, hy = cy - 2.5;
    const double t = std::min(1.0, std::hypot(x - hx, y - hy) / (kRadius + 2.5));
    const double rim = std::max(0.0, (d - (kRadius - 1.2)) / 1.2);  // a dark outline at the edge
    return qRgb(Channel(qRed(ball.base), qRed(ball.light), t, rim),
                Channel(qGreen(ball.base), qGreen(ball.light), t, rim),
                Channel(qBlue(ball.base), qBlue(ball.light), t, rim));
}

}  // namespace

bool DrawStateImages(const QDir &folder) {
    for (const Ball &ball : kBalls) {
        QImage image(kSize, kSize, QImage::Format_RGB32);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) image.setPixel(x, y, Pixel(x, y, ball));
        if (!SaveBmp24(image, folder.filePath(QString::fromLatin1(ball.file)))) return false;
    }
    return true;
}

}  // namespace pictures
