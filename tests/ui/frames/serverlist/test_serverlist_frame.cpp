// The server list panel built without the main window, its commands recorded by a stand-in for
// the slots' owner, so that what a real window would absorb shows: the rows the window sets send
// nothing back; a mouse selection is sent once per entry reached, to that entry's slot, however
// often the pointer moves over it; "Disconnect" goes to the current entry's slot.

#include "ConnectionCommands.h"
#include "TFrameServerList.h"

#include <QAction>
#include <QCoreApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordedCommands : public TConnectionCommands {
public:
    std::vector<std::string> Sent;

    bool ConnectToServer(const std::string &server, bool, const std::string &,
                         const std::string &) override {
        Sent.push_back("ConnectToServer " + server);
        return false;
    }
    void DisconnectServer(int slot) override {
        Sent.push_back("DisconnectServer " + std::to_string(slot));
    }
    void SelectServer(int slot) override { Sent.push_back("SelectServer " + std::to_string(slot)); }
    bool IsServerConnected(int) const override { return true; }  // painting asks at will
    void ConnectKnownServer(const std::string &server) override {
        Sent.push_back("ConnectKnownServer " + server);
    }
    void ConnectKnownServerWithPrompt(const std::string &server) override {
        Sent.push_back("ConnectKnownServerWithPrompt " + server);
    }
    void RemoveKnownServer(const std::string &server) override {
        Sent.push_back("RemoveKnownServer " + server);
    }
};

using Commands = std::vector<std::string>;

}  // namespace

TEST(ServerListFrame, SendsEachMouseSelectionOnceAndNothingForTheRowsTheWindowSets) {
    RecordedCommands owner;
    TFrameServerList frame;
    frame.MainForm = &owner;
    frame.resize(185, 600);
    frame.show();
    QListWidget *list = frame.ListBoxServerList;
    QWidget *viewport = list->viewport();

    // What the main window does as slots are filled, selected and freed.
    for (const char *name : {"A", "B", "C", "D"}) frame.AddActiveServer(name);
    frame.SelectActiveServer(1);
    frame.RemoveActiveServer(3);
    frame.SelectActiveServer(2);
    EXPECT_EQ(owner.Sent, Commands{});
    EXPECT_EQ(list->currentRow(), 2);

    const auto point = [&](int row, int dx) {
        const QRect r = list->visualItemRect(list->item(row));
        return QPoint(r.left() + dx, r.center().y());
    };
    const auto moveTo = [&](QPoint pos, Qt::MouseButtons held) {
        QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton, held,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
    };

    // A drag from entry 0 over entry 1, the pointer moving three times within each.
    QTest::mousePress(viewport, Qt::LeftButton, {}, point(0, 5));
    for (int dx : {10, 20, 30}) moveTo(point(0, dx), Qt::LeftButton);
    for (int dx : {10, 20, 30}) moveTo(point(1, dx), Qt::LeftButton);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, point(1, 30));
    EXPECT_EQ(owner.Sent, (Commands{"SelectServer 0", "SelectServer 1"}));
    EXPECT_EQ(list->currentRow(), 1);

    // Without a button held, moving selects nothing; a right press selects its entry once.
    owner.Sent.clear();
    moveTo(point(2, 10), Qt::NoButton);
    QTest::mousePress(viewport, Qt::RightButton, {}, point(2, 10));
    QTest::mouseRelease(viewport, Qt::RightButton, {}, point(2, 10));
    frame.Disconnect1->trigger();
    EXPECT_EQ(owner.Sent, (Commands{"SelectServer 2", "DisconnectServer 2"}));
}
