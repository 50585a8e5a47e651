// The logon dialog's banner (LogonBanner.bmp, 325 x 65) and the toolbar's four button images
// (Tool*.png, 16 x 16 with transparency), drawn pixel by pixel: filled boxes, one-pixel or
// two-pixel lines stepped from end to end, and the word mark in a 5 x 7 face of our own.
#include "PictureFiles.h"
#include "Pictures.h"

#include <QImage>

#include <cstdlib>
#include <iterator>

namespace pictures {

namespace {

void Set(QImage &image, int x, int y, QRgb colour) {
    if (image.rect().contains(x, y)) image.setPixel(x, y, colour);
}

// The box from (x0, y0) to (x1, y1), both corners included.
void Box(QImage &image, int x0, int y0, int x1, int y1, QRgb colour) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) Set(image, x, y, colour);
}

// Bresenham's line from (x0, y0) to (x1, y1), both ends included; `thick` widens each step to a
// thick x thick square to its lower right.
void Line(QImage &image, int x0, int y0, int x1, int y1, QRgb colour, int thick = 1) {
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        Box(image, x0, y0, x0 + thick - 1, y0 + thick - 1, colour);
        if (x0 == x1 && y0 == y1) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

struct Glyph {
    char letter;
    const char *rows[7];  // 'X' is ink
};

const Glyph kGlyphs[] = {
    {'K', {"X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"}},
    {'i', {"..X..", ".....", ".XX..", "..X..", "..X..", "..X..", ".XXX."}},
    {'v', {".....", ".....", "X...X", "X...X", "X...X", ".X.X.", "..X.."}},
    {'r', {".....", ".....", "X.XX.", "XX..X", "X....", "X....", "X...."}},
    {'a', {".....", ".....", ".XXX.", "....X", ".XXXX", "X...X", ".XXXX"}},
    {'w', {".....", ".....", "X...X", "X...X", "X.X.X", "X.X.X", ".X.X."}},
    {'t', {".X...", ".X...", "XXXX.", ".X...", ".X...", ".X..X", "..XX."}},
    {'c', {".....", ".....", ".XXX.", "X....", "X....", "X...X", ".XXX."}},
    {'h', {"X....", "X....", "X.XX.", "XX..X", "X...X", "X...X", "X...X"}},
};

// `word` with its top left at (x, y), each dot scale x scale, six dots a letter.
void Text(QImage &image, int x, int y, const char *word, int scale, QRgb colour) {
    for (; *word; ++word, x += 6 * scale)
        for (const Glyph &glyph : kGlyphs) {
            if (glyph.letter != *word) continue;
            for (int gy = 0; gy < 7; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    if (glyph.rows[gy][gx] == 'X')
                        Box(image, x + gx * scale, y + gy * scale, x + gx * scale + scale - 1,
                            y + gy * scale + scale - 1, colour);
        }
}

QImage Banner() {
    QImage image(325, 65, QImage::Format_RGB32);
    // Slate blue, darker to the right, as the title bars of the views.
    for (int x = 0; x < image.width(); ++x) {
        const double t = x / double(image.width() - 1);
        const int r = static_cast<int>(96 - 50 * t), g = static_cast<int>(112 - 55 * t),
                  b = static_cast<int>(136 - 50 * t);
        for (int y = 0; y < image.height(); ++y) {
            const double shade = 1.0 - 0.25 * (y / double(image.height() - 1));
            image.setPixel(x, y,
                           qRgb(static_cast<int>(r * shade), static_cast<int>(g * shade),
                                static_cast<int>(b * shade)));
        }
    }
    // A faint grid and a response line, as on the graph tiles.
    const QRgb grid = qRgb(120, 136, 160);
    for (int gx = 205; gx < 321; gx += 12) Line(image, gx, 8, gx, 56, grid);
    for (int gy = 8; gy < 57; gy += 12) Line(image, 205, gy, 320, gy, grid);
    const QPoint points[] = {{205, 44}, {217, 40}, {229, 46}, {241, 30}, {253, 34}, {265, 20},
                             {277, 26}, {289, 16}, {301, 28}, {313, 22}, {320, 24}};
    for (std::size_t i = 1; i < std::size(points); ++i)
        Line(image, points[i - 1].x(), points[i - 1].y(), points[i].x(), points[i].y(),
             qRgb(80, 230, 120), 2);
    Text(image, 15, 19, "Kivrawatch", 3, qRgb(255, 255, 255));
    Line(image, 15, 47, 190, 47, qRgb(200, 210, 225));
    return image;
}

QImage Button() {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// A server box with a green arrow into it.
QImage ConnectButton() {
    QImage image = Button();
    Box(image, 8, 2, 14, 13, qRgb(90, 100, 120));
    Box(image, 9, 3, 13, 12, qRgb(170, 180, 200));
    for (int y : {5, 8, 11}) Line(image, 10, y, 12, y, qRgb(60, 70, 90));
    const QRgb green = qRgb(20, 150, 40);
    Line(image, 1, 7, 6, 7, green, 2);
    Line(image, 4, 4, 7, 7, green, 2);
    Line(image, 4, 10, 7, 7, green, 2);
    return image;
}

void Cross(QImage &image, int x, int y, int size, QRgb colour) {
    Line(image, x, y, x + size, y + size, colour, 2);
    Line(image, x + size, y, x, y + size, colour, 2);
}

QImage KillProcButton() {
    QImage image = Button();
    Cross(image, 2, 2, 11, qRgb(200, 30, 30));
    return image;
}

QImage KillGroupButton() {
    QImage image = Button();
    Cross(image, 0, 0, 8, qRgb(150, 30, 30));
    Cross(image, 6, 6, 8, qRgb(220, 40, 40));
    return image;
}

// A sheet with settings lines and tick boxes.
QImage PropertiesButton() {
    QImage image = Button();
    Box(image, 2, 1, 13, 14, qRgb(90, 100, 120));
    Box(image, 3, 2, 12, 13, qRgb(250, 250, 250));
    for (int y : {4, 7, 10}) {
        Box(image, 4, y, 6, y + 1, qRgb(40, 90, 180));
        Line(image, 8, y, 11, y, qRgb(120, 120, 120));
    }
    return image;
}

}  // namespace

bool DrawProgramPictures(const QDir &folder) {
    return SaveBmp24(Banner(), folder.filePath(QStringLiteral("LogonBanner.bmp"))) &&
           SaveWithQt(ConnectButton(), folder.filePath(QStringLiteral("ToolConnect.png")), "PNG") &&
           SaveWithQt(KillProcButton(), folder.filePath(QStringLiteral("ToolKillProc.png")),
                      "PNG") &&
           SaveWithQt(KillGroupButton(), folder.filePath(QStringLiteral("ToolKillGroup.png")),
                      "PNG") &&
           SaveWithQt(PropertiesButton(), folder.filePath(QStringLiteral("ToolProperties.png")),
                      "PNG");
}

}  // namespace pictures
