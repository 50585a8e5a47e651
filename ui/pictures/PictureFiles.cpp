#include "PictureFiles.h"

#include <cstdio>
#include <cstring>

namespace pictures {

namespace {

bool Report(bool ok, const QString &path) {
    if (ok)
        std::printf("%s\n", qPrintable(path));
    else
        std::fprintf(stderr, "make_pictures: cannot write %s\n", qPrintable(path));
    return ok;
}

}  // namespace

bool SaveBmp24(const QImage &image, const QString &path) {
    QImage opaque = image.convertToFormat(QImage::Format_RGB32);
    opaque.setDotsPerMeterX(2835);
    opaque.setDotsPerMeterY(2835);
    return Report(opaque.save(path, "BMP"), path);
}

bool SaveBmp8(const QImage &indexed, const QString &path) {
    if (indexed.format() != QImage::Format_Indexed8) return Report(false, path);
    QImage padded = indexed;
    for (int y = 0; y < padded.height(); ++y)
        std::memset(padded.scanLine(y) + padded.width(), 0,
                    static_cast<std::size_t>(padded.bytesPerLine() - padded.width()));
    return Report(padded.save(path, "BMP"), path);
}

bool SaveWithQt(const QImage &image, const QString &path, const char *format, int quality) {
    return Report(image.save(path, format, quality), path);
}

}  // namespace pictures
