// The About box as drawn offscreen: its picture at the top, the panel with the Close button at
// the bottom, nothing between, and the button closing it.

#include "TFormAbout.h"

#include "DialogTestSupport.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

TEST(About, PictureAtTheTopCloseButtonAtTheBottom) {
    TFormAbout about;
    about.show();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("FormAbout"));
    EXPECT_EQ(about.size(), QSize(475, 369));

    const QImage picture(QStringLiteral(":/images/AboutPicture.bmp"));
    EXPECT_EQ(picture.size(), QSize(474, 130));
    EXPECT_EQ(picture.format(), QImage::Format_Indexed8);
    EXPECT_LE(picture.colorCount(), 256);
    auto *image = Child<QLabel>(about, "Image1");
    EXPECT_EQ(image->geometry(), QRect(0, 0, 474, 130));
    EXPECT_EQ(image->pixmap().size(), QSize(474, 130));
    // The picture is what the window shows there.
    EXPECT_EQ(about.grab().toImage().pixel(20, 20), picture.pixel(20, 20));

    auto *panel = Child<QWidget>(about, "PanelBottom");
    EXPECT_EQ(panel->geometry(), QRect(0, 312, 475, 57));
    auto *close = Child<QPushButton>(about, "Button3");
    EXPECT_EQ(close->text(), QStringLiteral("Close"));
    EXPECT_EQ(close->size(), QSize(401, 25));
    EXPECT_LT(close->y(), 20);  // near the panel's top
    for (QWidget *w : about.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        EXPECT_FALSE(w->geometry().intersects(QRect(0, 130, 475, 182)))
            << w->objectName().toStdString();

    close->click();
    EXPECT_FALSE(about.isVisible());
}
