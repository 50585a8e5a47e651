// The server list panel and the client area inside the real main window: the active list's
// colours by selection and connection state, its mouse selection and pop-up, the client area's
// tabs, initial panel and current session, what a server change resets in the views, and the
// detail panes' requests to the server as sqlsim receives them.

#include "ProgramTestSupport.h"

#include "DBServerInfoSource.h"
#include "SimRequestLog.h"
#include "TFrameAllProcesses.h"
#include "TFrameBlockedProcesses.h"
#include "TFrameClientArea.h"
#include "TFrameDBProcesses.h"
#include "TFrameEventLog.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerBigGraphs.h"
#include "TFrameServerGraphsSmall.h"
#include "TFrameServerList.h"
#include "TFrameServerTitleBar.h"
#include "TFrameSmallGraphPanel.h"
#include "TFrameUserProcesses.h"
#include "TestPump.h"

#include <QImage>
#include <QListWidget>
#include <QTabBar>
#include <QTest>

#include <set>
#include <utility>

namespace {

QListWidget *ActiveList(TFormMain &w) { return w.FrameServerList1->ListBoxServerList; }

QPoint RowPoint(TFormMain &w, int row) {
    return ActiveList(w)->visualItemRect(ActiveList(w)->item(row)).center();
}

struct RowColours {
    QColor Background;
    bool HasText = false;  // a pixel of the text colour in the row
};

RowColours Row(TFormMain &w, int row, const QColor &text) {
    QListWidget *list = ActiveList(w);
    const QImage image = list->viewport()->grab().toImage();
    const QRect r = list->visualItemRect(list->item(row));
    RowColours c;
    c.Background = image.pixelColor(r.right() - 2, r.center().y());
    for (int x = r.left(); x < r.left() + 60 && !c.HasText; ++x)
        for (int y = r.top(); y <= r.bottom() && !c.HasText; ++y)
            c.HasText = image.pixelColor(x, y) == text;
    return c;
}

// Exactly the view of tab is shown; the event-log view never is.
void ExpectShown(TFrameClientArea *area, int tab) {
    const QWidget *views[] = {area->ServerSmallGraphs, area->ServerBigGraphs,
                              area->DBProcesses,       area->UserProcesses,
                              area->AllProcesses,      area->BlockedProcesses};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(views[i]->isHidden(), i != tab) << "view " << i;
    EXPECT_TRUE(area->EventLogs->isHidden());
}

}  // namespace

class FramesTest : public ProgramTest {};

TEST_F(FramesTest, ActiveEntriesAreColouredBySelectionAndConnectionState) {
    StartSims(2);
    ASSERT_TRUE(Connect(0));
    ASSERT_TRUE(Connect(1));
    TFormMain &w = Window();
    w.show();
    const QPalette palette = ActiveList(w)->palette();
    const QColor highlight = palette.color(QPalette::Highlight);
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    const QColor red(Qt::red), white(Qt::white);

    // After a connect the new entry is current and highlighted.
    EXPECT_EQ(ActiveList(w)->currentRow(), 1);
    EXPECT_EQ(Row(w, 1, white).Background, highlight);
    EXPECT_TRUE(Row(w, 1, white).HasText);
    EXPECT_EQ(Row(w, 0, text).Background, base);
    EXPECT_TRUE(Row(w, 0, text).HasText);

    ASSERT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));
    Sims->Server(0).DropConnections();
    ASSERT_TRUE(PumpUntil([&] { return !w.IsServerConnected(0); }));
    const struct {
        int selected;
        int row;
        QColor background, textColour;
    } cases[] = {
        {1, 0, red, white},        // lost, not selected
        {1, 1, highlight, white},  // connected, selected
        {0, 0, highlight, red},    // lost, selected
        {0, 1, base, text},        // connected, not selected
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "selected " << c.selected << " row " << c.row);
        w.SelectServer(c.selected);
        const RowColours got = Row(w, c.row, c.textColour);
        EXPECT_EQ(got.Background, c.background);
        EXPECT_TRUE(got.HasText);
    }
    // Connected again: the next repaint shows the normal colours.
    ASSERT_TRUE(w.Connections[0].ServerInfo->Reconnect());
    w.RefreshServerList();
    EXPECT_EQ(Row(w, 0, white).Background, highlight);
    EXPECT_TRUE(Row(w, 0, white).HasText);
}

TEST_F(FramesTest, MouseSelectionRightClickAndDisconnect) {
    StartSims(3);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Connect(i));
    TFormMain &w = Window();
    w.show();
    QWidget *viewport = ActiveList(w)->viewport();

    // A left click selects; a right-button press selects the entry under the pointer.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, RowPoint(w, 0));
    EXPECT_EQ(w.SelectedServer, 0);
    QTest::mousePress(viewport, Qt::RightButton, {}, RowPoint(w, 2));
    EXPECT_TRUE(w.FrameServerList1->Tracking);
    EXPECT_EQ(w.SelectedServer, 2);
    EXPECT_EQ(ActiveList(w)->currentRow(), 2);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, RowPoint(w, 2));
    EXPECT_FALSE(w.FrameServerList1->Tracking);

    // Dragging with a button held selects each server passed over.
    QTest::mousePress(viewport, Qt::LeftButton, {}, RowPoint(w, 0));
    EXPECT_EQ(w.SelectedServer, 0);
    QMouseEvent move(QEvent::MouseMove, RowPoint(w, 1), viewport->mapToGlobal(RowPoint(w, 1)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
    EXPECT_EQ(w.SelectedServer, 1);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, RowPoint(w, 1));

    // A right click below the last entry leaves the selection; "Disconnect" acts on it.
    const QPoint below(5, ActiveList(w)->visualItemRect(ActiveList(w)->item(2)).bottom() + 20);
    QTest::mousePress(viewport, Qt::RightButton, {}, below);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, below);
    EXPECT_EQ(w.SelectedServer, 1);
    w.FrameServerList1->Disconnect1->trigger();
    EXPECT_EQ(ActiveNames(w), (std::vector<std::string>{Name(0), Name(2)}));
    EXPECT_EQ(w.SelectedServer, 1);

    // Disconnecting entry 0 keeps entries and slots together.
    ActiveList(w)->setCurrentRow(0);
    EXPECT_EQ(w.SelectedServer, 0);
    w.FrameServerList1->Disconnect1->trigger();
    EXPECT_EQ(ActiveNames(w), std::vector<std::string>{Name(2)});
    EXPECT_EQ(w.Connections[0].ServerName, Name(2));
    EXPECT_EQ(w.Connections[0].Thread->Slot, 0);
    EXPECT_EQ(w.SelectedServer, 0);

    // No current entry: "Disconnect" does nothing.
    ActiveList(w)->setCurrentRow(-1);
    w.FrameServerList1->Disconnect1->trigger();
    EXPECT_EQ(w.ConnectedCount(), 1);
    EXPECT_EQ(Boxes.Count(), 0);
}

TEST_F(FramesTest, TabsInitialPanelAndCurrentSession) {
    TFormMain &w = Window();
    TFrameClientArea *area = w.FrameClientArea1;
    ExpectShown(area, 0);
    for (int index : {6, -1, 0}) {
        area->SetInitialPanel(index);
        EXPECT_EQ(area->TabSet1->currentIndex(), 0);
        ExpectShown(area, 0);
    }
    for (int tab = 0; tab < 6; ++tab) {
        SCOPED_TRACE(tab);
        area->TabSet1->setCurrentIndex(tab);
        ExpectShown(area, tab);
        // No session without a server, whichever view is shown.
        EXPECT_EQ(area->GetCurrentSPID(), -1);
    }
    area->SetInitialPanel(2);
    ExpectShown(area, 2);
}

TEST_F(FramesTest, SelectingAnotherServerResetsThePanesAndTitles) {
    StartSims(2);
    ASSERT_TRUE(Connect(0));
    ASSERT_TRUE(Connect(1));
    TFormMain &w = Window();
    TFrameClientArea *area = w.FrameClientArea1;
    TFrameProcessInfo *panes[] = {area->UserProcesses->FrameCurrentProcessInfo,
                                  area->DBProcesses->FrameCurrentProcessInfo,
                                  area->AllProcesses->FrameCurrentProcessInfo,
                                  area->BlockedProcesses->FrameBlockedProcess,
                                  area->BlockedProcesses->FrameBlockingProcess};
    for (TFrameProcessInfo *pane : panes) {
        pane->CurrentSpid = 55;
        pane->InputBufferSpid = 55;
        pane->StatementSpid = 55;
    }
    w.SelectServer(0);
    for (TFrameProcessInfo *pane : panes) {
        EXPECT_EQ(pane->ServerInfo, w.Connections[0].ServerInfo);
        EXPECT_EQ(pane->CurrentSpid, -1);
        EXPECT_EQ(pane->InputBufferSpid, -1);
        EXPECT_EQ(pane->StatementSpid, -1);
    }
    for (TFrameServerTitleBar *bar :
         {area->UserProcesses->FrameServerTitleBar1, area->DBProcesses->FrameServerTitleBar1,
          area->AllProcesses->FrameServerTitleBar1, area->BlockedProcesses->FrameServerTitleBar1})
        EXPECT_EQ(bar->ServerNameText().toStdString(), Name(0));
    EXPECT_EQ(area->ServerBigGraphs->ServerInfo, w.Connections[0].ServerInfo);
}

TEST_F(FramesTest, TilesSelectAndCloseTheirServers) {
    StartSims(3);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Connect(i));
    TFormMain &w = Window();
    w.show();
    auto tile = [&](int slot) { return w.Connections[slot].Graph; };
    QTest::mouseClick(Child<QWidget>(tile(0), "LabelServerName"), Qt::LeftButton);
    EXPECT_EQ(w.SelectedServer, 0);
    EXPECT_TRUE(tile(0)->Highlighted);
    EXPECT_FALSE(tile(2)->Highlighted);
    EXPECT_EQ(ActiveList(w)->currentRow(), 0);

    // The close image of the first tile disconnects its server; the others move down.
    QTest::mouseClick(Child<QWidget>(tile(0), "Image1"), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return w.ConnectedCount() == 2; }));
    EXPECT_EQ(ActiveNames(w), (std::vector<std::string>{Name(1), Name(2)}));
    for (int slot = 0; slot < 2; ++slot) {
        EXPECT_EQ(tile(slot)->Slot, slot);
        EXPECT_EQ(tile(slot)->ServerInfo, w.Connections[slot].ServerInfo);
    }
    EXPECT_EQ(w.SelectedServer, 0);
    EXPECT_TRUE(tile(0)->Highlighted);
    EXPECT_FALSE(tile(1)->Highlighted);
    EXPECT_TRUE(WaitForPolls(w.Connections[1].ServerInfo, 1));
}

// Only the panes of the view shown ask the server for their sessions' texts, never twice for a
// session in one poll; choosing a tab asks for its panes' texts at once, so the view is current.
TEST_F(FramesTest, OnlyTheShownViewsPanesAskTheServerAndNeverTwiceForASession) {
    SqlSimOptions options;
    options.Workload.UserSessions = 60;
    options.Workload.ChurnPercent = 0;
    options.Workload.BlockingChains = 1;  // "Locks" shows a blocked session and its blocker
    StartSims(1, options);
    TFormMain &w = Window();
    w.SetRefreshInterval(0);  // one poll after the connect, then one per tick of the test
    ASSERT_TRUE(Connect(0));
    TFrameClientArea *area = w.FrameClientArea1;
    TDBServerInfo *model = w.Connections[0].ServerInfo;
    ASSERT_TRUE(WaitForPoll(model));
    const auto poll = [&] {
        w.Connections[0].Thread->PollTimerTimer();
        return WaitForPolls(model, 1);
    };
    SimRequestLog log(Sims->Server(0));
    using Asked = std::set<std::pair<int, int>>;  // kind, session
    const auto take = [&log] {
        const std::vector<SimRequestLog::Request> requests = log.Take();
        EXPECT_EQ(SimRequestLog::Repeated(requests), 0) << "a session asked about twice";
        Asked asked;
        for (const SimRequestLog::Request &r : requests) asked.insert({r.Query, r.Spid});
        return asked;
    };

    // "Small Graphs" shown: the session views and their panes follow the polls, unasked.
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(poll());
        EXPECT_EQ(take(), Asked{});
    }

    const struct {
        int tab;
        std::vector<TFrameProcessInfo *> panes;
    } tabs[] = {
        {2, {area->DBProcesses->FrameCurrentProcessInfo}},
        {3, {area->UserProcesses->FrameCurrentProcessInfo}},
        {4, {area->AllProcesses->FrameCurrentProcessInfo}},
        {5,
         {area->BlockedProcesses->FrameBlockedProcess,
          area->BlockedProcesses->FrameBlockingProcess}},
    };
    for (const auto &t : tabs) {
        SCOPED_TRACE(t.tab);
        area->TabSet1->setCurrentIndex(t.tab);
        // At once: both texts of each pane's session, new to the pane.
        Asked inputBuffers, both;
        for (TFrameProcessInfo *pane : t.panes) {
            ASSERT_GT(pane->CurrentSpid, 0);
            EXPECT_EQ(pane->InputBufferSpid, pane->CurrentSpid);
            EXPECT_EQ(pane->StatementSpid, pane->CurrentSpid);
            inputBuffers.insert({SimRequestLog::InputBuffer, pane->CurrentSpid});
            both.insert({SimRequestLog::InputBuffer, pane->CurrentSpid});
            both.insert({SimRequestLog::Statement, pane->CurrentSpid});
        }
        EXPECT_EQ(take(), both);
        // Each poll: the input buffer of each shown session again (its tab shows), nothing else.
        ASSERT_TRUE(poll());
        EXPECT_EQ(take(), inputBuffers);
    }
}
