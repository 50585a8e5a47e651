// Writing the drawn pictures to files, byte for byte the same at every run, so that a picture
// drawn again equals the committed one unless its drawing changed. Each function writes `image`
// to `path`, names the file on stdout and returns true; on failure it says so on stderr and
// returns false. Called on the main thread of make_pictures, after QGuiApplication is made.
#pragma once

#include <QImage>
#include <QString>

namespace pictures {

// 24-bit BMP, bottom-up rows, 72 dpi (2835 dots per metre), no palette.
bool SaveBmp24(const QImage &image, const QString &path);

// 8-bit BMP of an image already in Format_Indexed8, with its colour table; the rows' padding to
// four bytes is zeroed (Qt's writer copies it from the image's memory, which holds anything).
bool SaveBmp8(const QImage &indexed, const QString &path);

// Through Qt's image writer for `format` ("PNG", "JPEG") at `quality` (-1: the writer's default).
bool SaveWithQt(const QImage &image, const QString &path, const char *format, int quality = -1);

}  // namespace pictures
