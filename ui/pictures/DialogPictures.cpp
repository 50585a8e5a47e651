// The pictures of the server browse dialog and the About box: ServerListBanner.bmp (325 x 65) and
// AboutPicture.bmp (474 x 130), both 8-bit with a palette of at most 256 colours.
#include "PictureFiles.h"
#include "Pictures.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace pictures {

namespace {

const QColor kTop(18, 44, 84), kBottom(6, 18, 40), kGrid(40, 72, 120), kTrace(92, 214, 120),
    kSubtitle(190, 210, 235);

// A night-blue ground with a faint grid, and one polled-looking trace inside band.
void DrawGround(QPainter &p, const QRect &r, const QRect &band, double phase) {
    QLinearGradient ground(r.topLeft(), r.bottomLeft());
    ground.setColorAt(0, kTop);
    ground.setColorAt(1, kBottom);
    p.fillRect(r, ground);
    p.setPen(QPen(kGrid, 1));
    for (int x = r.left() + 12; x < r.right(); x += 24) p.drawLine(x, r.top(), x, r.bottom());
    for (int y = r.top() + 8; y < r.bottom(); y += 16) p.drawLine(r.left(), y, r.right(), y);
    QPainterPath trace;
    for (int x = band.left(); x <= band.right(); x += 3) {
        const double t = (x - band.left()) / 23.0 + phase;
        const double level = 0.35 + 0.2 * std::sin(t) + 0.12 * std::sin(2.7 * t) +
                             (std::fmod(t, 9.0) < 0.6 ? 0.3 : 0.0);  // 0 bottom .. 1 top
        const double y = band.bottom() - level * band.height();
        if (x == band.left())
            trace.moveTo(x, y);
        else
            trace.lineTo(x, y);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kTrace, 2));
    p.drawPath(trace);
}

void DrawText(QPainter &p, const QRect &r, const QString &text, int pixelSize, bool bold,
              const QColor &colour, Qt::Alignment align) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, align, text);
}

QRgb Mix(const QColor &a, const QColor &b, double t) {
    return qRgb(qRound(a.red() + (b.red() - a.red()) * t),
                qRound(a.green() + (b.green() - a.green()) * t),
                qRound(a.blue() + (b.blue() - a.blue()) * t));
}

// The pictures' own palette: the ground's ramp, and ramps from the ground's middle to each colour
// drawn over it (the shades of anti-aliased edges), so nearest-colour mapping leaves no bands.
QVector<QRgb> Palette() {
    QVector<QRgb> colours;
    const QColor middle = QColor::fromRgb(Mix(kTop, kBottom, 0.5));
    for (int i = 0; i < 96; ++i) colours << Mix(kTop, kBottom, i / 95.0);
    for (int i = 0; i < 16; ++i) colours << Mix(middle, kGrid, (i + 1) / 16.0);
    for (const QColor &over : {kTrace, QColor(Qt::white), kSubtitle})
        for (int i = 0; i < 48; ++i) colours << Mix(middle, over, (i + 1) / 48.0);
    return colours;
}

QImage Indexed(const QImage &picture) {
    return picture.convertToFormat(QImage::Format_Indexed8, Palette(), Qt::ThresholdDither);
}

}  // namespace

bool DrawDialogPictures(const QDir &folder) {
    QImage banner(325, 65, QImage::Format_RGB32);
    {
        QPainter p(&banner);
        DrawGround(p, banner.rect(), QRect(200, 36, 125, 24), 0.4);
        DrawText(p, QRect(14, 6, 300, 30), QStringLiteral("Kivrawatch"), 24, true, Qt::white,
                 Qt::AlignLeft | Qt::AlignVCenter);
        DrawText(p, QRect(16, 36, 300, 20), QStringLiteral("Servers on your network"), 11, false,
                 kSubtitle, Qt::AlignLeft | Qt::AlignVCenter);
    }
    QImage about(474, 130, QImage::Format_RGB32);
    {
        QPainter p(&about);
        DrawGround(p, about.rect(), QRect(0, 94, 474, 30), 2.1);
        DrawText(p, QRect(24, 18, 430, 48), QStringLiteral("Kivrawatch"), 40, true, Qt::white,
                 Qt::AlignLeft | Qt::AlignVCenter);
        DrawText(p, QRect(27, 66, 430, 22),
                 QStringLiteral("Watches up to 16 SQL Server instances at once"), 14, false,
                 kSubtitle, Qt::AlignLeft | Qt::AlignVCenter);
    }
    return SaveBmp8(Indexed(banner), folder.filePath(QStringLiteral("ServerListBanner.bmp"))) &&
           SaveBmp8(Indexed(about), folder.filePath(QStringLiteral("AboutPicture.bmp")));
}

}  // namespace pictures
