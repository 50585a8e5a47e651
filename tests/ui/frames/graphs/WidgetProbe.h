#pragma once
// Looking at the graph views as a user would: a named child, the colour a label's text is drawn
// in (from its rendered pixels), a pixel of a rendered widget.

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

namespace graphs_test {

template <class T> T *Child(const QWidget &parent, const char *name) {
    T *child = parent.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// The hue a label's text is drawn in: the label alone (without its siblings, which may share its
// place) painted over black, its lit pixels' most frequent hue: "lime", "yellow", "red",
// "white", ... or "none" when nothing is drawn. Anti-aliased edges keep their hue.
inline std::string TextColour(QWidget *widget) {
    QPixmap canvas(widget->size());
    canvas.fill(Qt::black);
    widget->render(&canvas, QPoint(), QRegion(), QWidget::DrawChildren);
    const QImage image = canvas.toImage();
    std::map<std::string, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int top = std::max({c.red(), c.green(), c.blue()});
            if (top < 96) continue;
            const bool r = c.red() > top / 2, g = c.green() > top / 2, b = c.blue() > top / 2;
            const char *hue = r && g && b ? "white"
                              : r && g    ? "yellow"
                              : g && !b   ? "lime"
                              : r && !b   ? "red"
                              : b         ? "blue"
                                          : "other";
            ++counts[hue];
        }
    std::string best = "none";
    int most = 0;
    for (const auto &[hue, n] : counts)
        if (n > most) {
            most = n;
            best = hue;
        }
    return best;
}

// How many of a widget's rendered pixels lie within 60 (per channel) of colour.
inline int PixelsNear(QWidget *widget, const QColor &colour) {
    const QImage image = widget->grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 60 &&
                std::abs(c.green() - colour.green()) < 60 &&
                std::abs(c.blue() - colour.blue()) < 60)
                ++n;
        }
    return n;
}

inline QColor PixelAt(QWidget *widget, int x, int y) {
    return widget->grab().toImage().pixelColor(x, y);
}

}  // namespace graphs_test
