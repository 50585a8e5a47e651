// The program's teardown racing its workers, for the sanitizer builds as much as for the plain
// one: a server disconnected while its hand-over is posted and while its hand-over runs, a kill
// whose session has just ended or whose server went while the question was open, a server
// selected while its poll is under way, and exit and disconnect with servers that have stopped
// answering (the window closes within two seconds).

#include "ReliabilitySupport.h"

#include "DBServerInfoSource.h"
#include "KivraQueryTexts.h"
#include "TFrameAllProcesses.h"
#include "TFrameClientArea.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerTitleBar.h"
#include "TFrameToolbarButtons.h"
#include "TFrameTwinGrids.h"
#include "TStringGrid.h"
#include "TestPump.h"

#include <QAction>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QToolButton>

#include <cstdio>

namespace {

constexpr qint64 kPromptMs = 2000;  // what "at once" is for a user closing or disconnecting

// A loopback port on which nothing listens.
int ClosedPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 1;
    const int port = probe.serverPort();
    probe.close();
    return port;
}

}  // namespace

class LifecycleTest : public ReliabilityTest {};

TEST_F(LifecycleTest, DisconnectingWhileTheHandOverIsPostedTouchesNothingOfTheServer) {
    ConnectFour(0);
    CountingFormMain &w = Main();
    Sims->Server(2).SetDelay(400);
    ASSERT_TRUE(PumpUntil([&] { return Sims->InBatch(2, kivra::ProcessQueryText()); }));
    // A request of the main thread waits until the worker is out of its query; the worker then
    // hands its rows over, and the hand-over waits for the main thread.
    std::string eventType;
    w.Connections[2].Thread->GetInputBuffer(1, eventType);
    w.DisconnectServer(2);
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 3; }));
    EXPECT_TRUE(OthersPoll(-1, 2));
    EXPECT_EQ(ActiveNames(w), (std::vector<std::string>{Name(0), Name(1), Name(3)}));
    EXPECT_EQ(w.RefreshesBeforeFirstPoll, 0);
    EXPECT_EQ(Boxes.Count(), 0);
}

// An alert mail that cannot be sent shows its error inside the hand-over; whatever runs while the
// box is up may disconnect that very server. The rest of the stopped hand-over must then leave
// the slot alone: here a new server has taken it and has not been polled yet.
TEST_F(LifecycleTest, DisconnectingFromInsideItsOwnHandOverLeavesTheSlotAlone) {
    StartSims(5);
    CountingFormMain &w = Main();
    w.AlertSettings.EmailAlerts = true;
    w.AlertSettings.ServerResponse = true;
    w.AlertSettings.ServerResponseValue = 200;
    w.AlertSettings.ServerResponseRefresh = 1;
    w.AlertSettings.SMTPHost = "127.0.0.1:" + std::to_string(ClosedPort());
    w.AlertSettings.AlertEmails = "dba@example.com";
    w.AlertSettings.FromEmail = "kivrawatch@example.com";
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(Connect(i));
    w.show();
    w.SelectServer(0);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(WaitForPoll(w.Connections[i].ServerInfo));

    bool disconnected = false;
    Boxes.OnShown = [&](const RecordedMessageBox &box) {
        if (disconnected || box.Caption != "Socket Error") return;
        disconnected = true;
        w.DisconnectServer(3);  // the server whose poll is being handed over
        EXPECT_TRUE(Connect(4));
        EXPECT_EQ(w.Connections[3].ServerName, Name(4));
    };
    Sims->Server(3).SetDelay(300);  // slow enough for the response alert
    ASSERT_TRUE(PumpUntil([&] { return disconnected; }));
    ASSERT_TRUE(WaitForPoll(w.Connections[3].ServerInfo));
    EXPECT_EQ(w.RefreshesBeforeFirstPoll, 0) << "the stopped hand-over refreshed the new server";
    EXPECT_TRUE(OthersPoll(-1, 2));
    EXPECT_EQ(Boxes.CountCaption("Socket Error"), 1);
}

TEST_F(LifecycleTest, KillingASessionThatHasJustEndedOrWhoseServerWent) {
    enum When { EndedBefore, EndedDuringTheQuestion, ServerGoneOtherSelected, OnlyServerGone };
    const struct {
        const char *what;
        When when;
        bool toolbar;
    } cases[] = {
        {"the session ended before the kill", EndedBefore, false},
        {"the session ended while the question was shown", EndedDuringTheQuestion, true},
        {"the server was disconnected during the question, another one selected",
         ServerGoneOtherSelected, false},
        {"the only server was disconnected during the question", OnlyServerGone, true},
    };
    SqlSimOptions options;
    options.Workload.ChurnPercent = 0;  // sessions stay unless killed, SPIDs are not reused
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        StartSims(2, options);
        CountingFormMain &w = Main();
        const int servers = c.when == OnlyServerGone ? 1 : 2;
        for (int i = 0; i < servers; ++i) ASSERT_TRUE(Connect(i));
        for (int i = 0; i < servers; ++i) ASSERT_TRUE(WaitForPoll(w.Connections[i].ServerInfo));
        const int slot = servers - 1;
        w.SelectServer(slot);
        w.FrameClientArea1->TabSet1->setCurrentIndex(kAllProcessesTab);
        TDBServerInfo *model = w.Connections[slot].ServerInfo;
        TDBServerInfo *other = slot > 0 ? w.Connections[0].ServerInfo : nullptr;
        TFrameAllProcesses *all = w.FrameClientArea1->AllProcesses;
        // A session whose SPID the other server has too: the kill must not land there.
        const int row =
            UserSessionRow(all, [&](int spid) { return !other || LoginTimeOf(other, spid) >= 0; });
        ASSERT_GT(row, 0);
        all->FrameProcessGrids->SelectRow(row);
        const int spid = all->GetSelectedSpid();
        const TDateTime login = LoginTimeOf(model, spid);
        const TDateTime otherLogin = other ? LoginTimeOf(other, spid) : -1;
        ASSERT_EQ(w.FrameClientArea1->GetCurrentSPID(), spid);

        if (c.when == EndedBefore) {
            ASSERT_TRUE(Sims->Server(slot).KillSession(spid));
        }
        Boxes.Answers.push_back(kivra::IDYES);
        Boxes.OnShown = [&](const RecordedMessageBox &) {
            // As the question's own event loop would: a poll comes, or a disconnect.
            if (c.when == EndedDuringTheQuestion) {
                ASSERT_TRUE(Sims->Server(slot).KillSession(spid));
                EXPECT_TRUE(PumpUntil([&] { return !HasSession(model, spid, login); }));
            } else if (c.when >= ServerGoneOtherSelected) {
                w.DisconnectServer(slot);
            }
        };
        if (c.toolbar)
            w.FrameToolbarButtons1->ToolButtonKillProc->click();
        else
            Child<QAction>(&w, "KillProcesses1")->trigger();
        Boxes.OnShown = nullptr;
        ASSERT_EQ(Boxes.Count(), 1) << "the question only";
        EXPECT_EQ(Boxes.Boxes[0].Caption, "Kill Process Confirm");

        if (c.when <= EndedDuringTheQuestion) {
            EXPECT_TRUE(WaitPolls(slot, 1));
            EXPECT_FALSE(HasSession(model, spid, login)) << "the ended session is not shown again";
        }
        if (other) {
            EXPECT_TRUE(WaitForPolls(other, 2));
            EXPECT_TRUE(HasSession(other, spid, otherLogin))
                << "the other server's session " << spid;
        }
        EXPECT_EQ(w.ConnectedCount(), c.when >= ServerGoneOtherSelected ? servers - 1 : servers);
        CloseWindow();
        Boxes.Boxes.clear();
        Sims.reset();
    }
}

TEST_F(LifecycleTest, SelectingAServerWhileItsPollIsUnderWay) {
    ConnectFour(0);
    CountingFormMain &w = Main();
    TFrameClientArea *area = w.FrameClientArea1;
    Sims->Server(2).SetDelay(300);
    for (const std::string &text :
         {std::string(kivra::kResponseProbeText), kivra::ProcessQueryText()}) {
        SCOPED_TRACE(text.substr(0, 20));
        ASSERT_TRUE(PumpUntil([&] { return Sims->InBatch(2, text); }));
        // The detail panes ask the server for the session's texts: that waits for the worker.
        w.SelectServer(2);
        EXPECT_EQ(area->AllProcesses->ServerInfo, w.Connections[2].ServerInfo);
        EXPECT_EQ(area->AllProcesses->FrameServerTitleBar1->ServerNameText().toStdString(),
                  Name(2));
        EXPECT_TRUE(WaitPolls(2, 1));
        EXPECT_GT(area->AllProcesses->FrameProcessGrids->sgRight->RowCount(), 1);
        w.SelectServer(0);
    }
    Sims->Server(2).SetDelay(0);
    EXPECT_TRUE(OthersPoll(-1, 2));
    EXPECT_EQ(Boxes.Count(), 0);
}

// Servers that have stopped answering hold their workers inside a call; disconnecting one and
// closing the window still end at once, and every worker goes within moments.
TEST_F(LifecycleTest, ExitAndDisconnectEndPromptlyWithServersThatStoppedAnswering) {
    ConnectFour(1);
    CountingFormMain &w = Main();
    Sims->Server(1).SetPaused(true);  // the selected one
    Sims->Server(2).SetPaused(true);
    ASSERT_TRUE(PumpUntil([&] { return Sims->InBatch(1) && Sims->InBatch(2); }));

    QElapsedTimer clock;
    clock.start();
    w.DisconnectServer(2);
    const qint64 disconnectMs = clock.elapsed();
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 3; }));
    const qint64 disconnectEndedMs = clock.elapsed();
    EXPECT_EQ(ActiveNames(w), (std::vector<std::string>{Name(0), Name(1), Name(3)}));
    EXPECT_TRUE(OthersPoll(1, 2));

    clock.restart();
    Child<QAction>(&w, "MenuExit")->trigger();
    const qint64 closeMs = clock.elapsed();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }));
    const qint64 exitEndedMs = clock.elapsed();
    std::printf(
        "paused servers: disconnect %lld ms (worker gone after %lld ms), window closed in "
        "%lld ms (workers gone after %lld ms)\n",
        static_cast<long long>(disconnectMs), static_cast<long long>(disconnectEndedMs),
        static_cast<long long>(closeMs), static_cast<long long>(exitEndedMs));
    EXPECT_LE(disconnectEndedMs, kPromptMs);
    EXPECT_LE(exitEndedMs, kPromptMs);
    EXPECT_EQ(Boxes.Count(), 0);
    Sims->Server(1).SetPaused(false);
}
