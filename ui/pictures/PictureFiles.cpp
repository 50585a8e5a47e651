#include "PictureFiles.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <cstdio>
#include <cstring>
#include <zlib.h>

namespace pictures {

namespace {

bool Report(bool ok, const QString &path) {
    if (ok)
        std::printf("%s\n", qPrintable(path));
    else
        std::fprintf(stderr, "make_pictures: cannot write %s\n", qPrintable(path));
    return ok;
}

void AppendBigEndian(QByteArray &out, quint32 value) {
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

// A PNG chunk: length, kind, body, and the CRC-32 of kind and body.
void AppendChunk(QByteArray &png, const char *kind, const QByteArray &body) {
    AppendBigEndian(png, static_cast<quint32>(body.size()));
    QByteArray typed(kind, 4);
    typed += body;
    png += typed;
    AppendBigEndian(png, static_cast<quint32>(crc32(
                             0, reinterpret_cast<const Bytef *>(typed.constData()), typed.size())));
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

bool SavePlainPng(const QImage &image, const QString &path) {
    const QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray raw;
    for (int y = 0; y < straight.height(); ++y) {
        raw.append('\0');  // filter type 0: the row as it is
        const QRgb *row = reinterpret_cast<const QRgb *>(straight.constScanLine(y));
        for (int x = 0; x < straight.width(); ++x) {
            const char rgba[] = {static_cast<char>(qRed(row[x])), static_cast<char>(qGreen(row[x])),
                                 static_cast<char>(qBlue(row[x])),
                                 static_cast<char>(qAlpha(row[x]))};
            raw.append(rgba, 4);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    QByteArray packed(static_cast<int>(packedSize), '\0');
    if (compress2(reinterpret_cast<Bytef *>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef *>(raw.constData()), static_cast<uLong>(raw.size()),
                  9) != Z_OK)
        return Report(false, path);
    packed.truncate(static_cast<int>(packedSize));

    QByteArray header;
    AppendBigEndian(header, static_cast<quint32>(straight.width()));
    AppendBigEndian(header, static_cast<quint32>(straight.height()));
    header.append("\x08\x06\x00\x00\x00", 5);  // 8 bits a sample, RGBA, deflate, no interlace
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", QByteArray());
    QFile file(path);
    return Report(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                      file.write(png) == png.size() && file.flush(),
                  path);
}

bool SaveWithQt(const QImage &image, const QString &path, const char *format, int quality) {
    return Report(image.save(path, format, quality), path);
}

}  // namespace pictures
