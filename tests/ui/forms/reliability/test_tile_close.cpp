// The tiles' close images in the real main window: after a disconnect has moved tiles down, each
// moved tile's close image disconnects its own server at its new slot; a double click on a close
// image disconnects one server, not also the one whose tile moves under the pointer.

#include "ProgramTestSupport.h"

#include "DBServerInfoSource.h"
#include "TFrameServerGraphsSmall.h"
#include "TestPump.h"

#include <QTest>
#include <QWindow>

namespace {

// A left click at pos through the window system's path (as QTest does it, but with the times
// here, so that a second click soon after at the same place is a double click's second).
void ClickAt(QWindow *window, QPoint pos) {
    const QPointF global = window->mapToGlobal(QPointF(pos));
    int &time = QTest::lastMouseTimestamp;
    qt_handleMouseEvent(window, pos, global, Qt::LeftButton, Qt::LeftButton,
                        QEvent::MouseButtonPress, Qt::NoModifier, ++time);
    qt_handleMouseEvent(window, pos, global, Qt::NoButton, Qt::LeftButton,
                        QEvent::MouseButtonRelease, Qt::NoModifier, ++time);
}

}  // namespace

class TileCloseTest : public ProgramTest {
protected:
    void ConnectFour() {
        for (int i = 0; i < 4; ++i) ASSERT_TRUE(Connect(i)) << i;
        Window().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
    }
    TFrameServerGraphsSmall *Tile(int slot) { return Window().Connections[slot].Graph; }
    QWidget *CloseImage(int slot) { return Child<QWidget>(Tile(slot), "Image1"); }
    // Where the pointer is over slot's close image, in the window's coordinates.
    QPoint OverCloseImage(int slot) {
        QWidget *image = CloseImage(slot);
        return image->mapTo(&Window(), image->rect().center());
    }
    std::vector<std::string> Names(std::initializer_list<int> instances) {
        std::vector<std::string> names;
        for (int i : instances) names.push_back(Name(i));
        return names;
    }
};

TEST_F(TileCloseTest, MovedTilesCloseTheirOwnServersAtTheirNewSlots) {
    StartSims(4);
    for (int first : {1, 2}) {  // which moved tile is closed first
        SCOPED_TRACE("first the tile now in slot " + std::to_string(first));
        ConnectFour();
        TFormMain &w = Window();
        w.DisconnectServer(1);
        ASSERT_EQ(ActiveNames(w), Names({0, 2, 3}));
        for (int slot = 1; slot <= 2; ++slot) {
            EXPECT_EQ(Tile(slot)->Slot, slot);
            EXPECT_EQ(Tile(slot)->ServerInfo, w.Connections[slot].ServerInfo);
        }

        QTest::mouseClick(CloseImage(first), Qt::LeftButton);
        ASSERT_TRUE(PumpUntil([&] { return w.ConnectedCount() == 2; }));
        EXPECT_EQ(ActiveNames(w), first == 1 ? Names({0, 3}) : Names({0, 2}));
        // The other moved tile, in slot 1 now either way, closes its own server.
        QTest::mouseClick(CloseImage(1), Qt::LeftButton);
        ASSERT_TRUE(PumpUntil([&] { return w.ConnectedCount() == 1; }));
        EXPECT_EQ(ActiveNames(w), Names({0}));
        EXPECT_EQ(w.SelectedServer, 0);
        EXPECT_TRUE(Tile(0)->Highlighted);
        EXPECT_TRUE(WaitForPolls(w.Connections[0].ServerInfo, 1));
        CloseWindow();
    }
    EXPECT_EQ(Boxes.Count(), 0);
}

TEST_F(TileCloseTest, ADoubleClickOnACloseImageDisconnectsOneServer) {
    StartSims(4);
    const struct {
        const char *what;
        bool closeRunsBetweenTheClicks;  // the user's pace: the first close is done before the
                                         // second press, which lands on the tile moved under it
    } cases[] = {{"both clicks before the close runs", false},
                 {"the close runs between the clicks", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ConnectFour();
        TFormMain &w = Window();
        QWindow *window = w.windowHandle();
        ASSERT_NE(window, nullptr);
        const QPoint at = OverCloseImage(0);
        ClickAt(window, at);
        if (c.closeRunsBetweenTheClicks) {
            ASSERT_TRUE(PumpUntil([&] { return w.ConnectedCount() == 3; }));
            ASSERT_EQ(OverCloseImage(0), at) << "the next tile has moved under the pointer";
        }
        ClickAt(window, at);
        QTest::lastMouseTimestamp += QTest::mouseDoubleClickInterval;  // no further double click
        ASSERT_TRUE(PumpUntil([&] { return w.ConnectedCount() <= 3; }));
        // Whatever is still queued runs, and the server that moved under the pointer is polled on.
        ASSERT_TRUE(WaitForPolls(w.Connections[0].ServerInfo, 2));
        EXPECT_EQ(w.ConnectedCount(), 3);
        EXPECT_EQ(ActiveNames(w), Names({1, 2, 3}));
        CloseWindow();
    }
}
