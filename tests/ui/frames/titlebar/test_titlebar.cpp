// The server title bar as drawn offscreen: its pictures decode to their sizes, the name is shown
// as plain text, and the bar keeps its height whatever the width.

#include "TFrameServerTitleBar.h"

#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

TEST(ServerTitleBar, PicturesDecodeToTheirSizes) {
    const struct {
        const char *path;
        QSize size;
    } cases[] = {
        {":/images/TitleBarLeft.bmp", {5, 24}},
        {":/images/TitleBarMiddle.bmp", {8, 24}},
        {":/images/TitleBarRight.bmp", {5, 24}},
    };
    for (const auto &c : cases) {
        QImage image(QString::fromLatin1(c.path));
        EXPECT_FALSE(image.isNull()) << c.path;
        EXPECT_EQ(image.size(), c.size) << c.path;
    }
}

TEST(ServerTitleBar, ShowsTheNameAsPlainTextOverTheBar) {
    TFrameServerTitleBar bar;
    bar.resize(600, 24);
    bar.show();
    bar.SetServerName("HOST\\<b>INST</b>");
    auto *label = bar.findChild<QLabel *>(QStringLiteral("LabelServerName"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("HOST\\<b>INST</b>"));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->pos(), QPoint(8, 3));
    EXPECT_EQ(bar.height(), 24);
    EXPECT_GT(label->width(), 500);
}
