#pragma once
// The colours and fonts that the graph tiles and the large graphs share: the lines' lime, yellow
// and red, and Verdana at a pixel size (Qt falls back to the system's sans font where Verdana is
// not installed).

#include <QColor>
#include <QFont>
#include <QString>

namespace kivra {

inline QColor LimeColour() { return QColor(0, 255, 0); }
inline QColor YellowColour() { return QColor(255, 255, 0); }
inline QColor RedColour() { return QColor(255, 0, 0); }

inline QFont VerdanaFont(int pixelSize, bool bold = false) {
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace kivra
