// The main window's connection slots against simulated instances: the full table, failed
// connects (the login refused, a start-up query failing), the three disconnect cases with their
// selection, the same server twice, lost connections, the refresh interval, and what the views
// are bound to when nothing is selected.

#include "ProgramTestSupport.h"

#include "DBServerInfoSource.h"
#include "KivraQueryTexts.h"
#include "TFrameAllProcesses.h"
#include "TFrameBlockedProcesses.h"
#include "TFrameClientArea.h"
#include "TFrameDBProcesses.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerBigGraphs.h"
#include "TFrameServerGraphsSmall.h"
#include "TFrameServerList.h"
#include "TFrameServerTitleBar.h"
#include "TFrameSmallGraphPanel.h"
#include "TFrameTwinGrids.h"
#include "TFrameUserProcesses.h"
#include "TKnownServers.h"
#include "TestPump.h"

#include <QLabel>
#include <QListWidget>
#include <QTest>

#include <algorithm>

namespace {

// Every view and pane of the client area is bound to model, and each title shows name.
void ExpectViewsBoundTo(TFormMain &w, TDBServerInfo *model, const std::string &name) {
    TFrameClientArea *area = w.FrameClientArea1;
    EXPECT_EQ(area->ServerBigGraphs->ServerInfo, model);
    const QString title = QString::fromStdString(name);
    EXPECT_EQ(area->UserProcesses->ServerInfo, model);
    EXPECT_EQ(area->UserProcesses->FrameCurrentProcessInfo->ServerInfo, model);
    EXPECT_EQ(area->UserProcesses->FrameServerTitleBar1->ServerNameText(), title);
    EXPECT_EQ(area->DBProcesses->ServerInfo, model);
    EXPECT_EQ(area->DBProcesses->FrameCurrentProcessInfo->ServerInfo, model);
    EXPECT_EQ(area->DBProcesses->FrameServerTitleBar1->ServerNameText(), title);
    EXPECT_EQ(area->AllProcesses->ServerInfo, model);
    EXPECT_EQ(area->AllProcesses->FrameCurrentProcessInfo->ServerInfo, model);
    EXPECT_EQ(area->AllProcesses->FrameServerTitleBar1->ServerNameText(), title);
    EXPECT_EQ(area->BlockedProcesses->ServerInfo, model);
    EXPECT_EQ(area->BlockedProcesses->FrameBlockedProcess->ServerInfo, model);
    EXPECT_EQ(area->BlockedProcesses->FrameBlockingProcess->ServerInfo, model);
    EXPECT_EQ(area->BlockedProcesses->FrameServerTitleBar1->ServerNameText(), title);
}

// The four places of a slot index agree: slot, thread, tile, active-list row; the selected
// slot is the active list's current row and its tile the only highlighted one.
void ExpectSlotsConsistent(TFormMain &w) {
    const std::vector<std::string> rows = ActiveNames(w);
    int used = 0;
    for (int i = 0; i < TFormMain::kSlotCount; ++i) {
        const stDBConnections &c = w.Connections[i];
        if (!c.InUse) {
            EXPECT_EQ(c.ServerInfo, nullptr) << i;
            EXPECT_EQ(c.Thread, nullptr) << i;
            EXPECT_EQ(c.Graph, nullptr) << i;
            EXPECT_TRUE(c.ServerName.empty()) << i;
            continue;
        }
        EXPECT_EQ(i, used++) << "occupied slots are a prefix";
        ASSERT_NE(c.Thread, nullptr);
        ASSERT_NE(c.ServerInfo, nullptr);
        EXPECT_EQ(c.Thread->Slot, i);
        EXPECT_EQ(c.ServerInfo->Thread, c.Thread);
        EXPECT_EQ(c.ServerInfo->ServerName, c.ServerName);
        ASSERT_LT(static_cast<std::size_t>(i), rows.size());
        EXPECT_EQ(rows[static_cast<std::size_t>(i)], c.ServerName);
        ASSERT_NE(c.Graph, nullptr);
        EXPECT_EQ(c.Graph->Slot, i);
        EXPECT_EQ(c.Graph->MainForm, &w);
        EXPECT_EQ(c.Graph->ServerInfo, c.ServerInfo);
        EXPECT_EQ(c.Graph->Highlighted, i == w.SelectedServer) << i;
        const st_FSGP_GraphedServers &entry =
            w.FrameClientArea1->ServerSmallGraphs->GraphedServers[i];
        EXPECT_TRUE(entry.InUse);
        EXPECT_EQ(entry.Graph, c.Graph);
    }
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(used));
    for (int i = used; i < TFormMain::kSlotCount; ++i)
        EXPECT_FALSE(w.FrameClientArea1->ServerSmallGraphs->GraphedServers[i].InUse) << i;
    EXPECT_EQ(w.FrameServerList1->ListBoxServerList->currentRow(), w.SelectedServer);
    if (w.SelectedServer >= 0) {
        const stDBConnections &s = w.Connections[w.SelectedServer];
        ExpectViewsBoundTo(w, s.ServerInfo, s.ServerName);
    } else {
        ExpectViewsBoundTo(w, nullptr, std::string());
    }
}

}  // namespace

class SlotsTest : public ProgramTest {};

TEST_F(SlotsTest, AConnectFillsTheFirstFreeSlotAndSelectsIt) {
    StartSims(2);
    ASSERT_TRUE(Connect(0));
    ASSERT_TRUE(Connect(1));
    TFormMain &w = Window();
    EXPECT_EQ(w.ConnectedCount(), 2);
    EXPECT_EQ(w.SelectedServer, 1);
    EXPECT_EQ(w.Connections[1].ServerName, Name(1));
    EXPECT_EQ(w.Connections[1].ServerInfo->Owner, &w);
    EXPECT_FALSE(w.Connections[1].ServerInfo->Disconnected);
    std::vector<std::string> known{Name(0), Name(1)};
    std::sort(known.begin(), known.end());  // the known list is in alphabetical order
    EXPECT_EQ(KnownNames(w), known);
    ExpectSlotsConsistent(w);
    EXPECT_TRUE(WaitForPoll(w.Connections[1].ServerInfo));
    EXPECT_EQ(Boxes.Count(), 0);
}

TEST_F(SlotsTest, SixteenSlotsFullThenTheLastDisconnected) {
    StartSims(4);
    for (int k = 0; k < TFormMain::kSlotCount; ++k) ASSERT_TRUE(Connect(k % 4)) << k;
    TFormMain &w = Window();
    EXPECT_EQ(w.ConnectedCount(), 16);
    EXPECT_EQ(w.SelectedServer, 15);
    EXPECT_EQ(TKivraThread::LiveCount(), 16);

    // The 17th connect: the full-table box, no thread left behind, nothing changed.
    EXPECT_FALSE(Connect(0));
    ASSERT_EQ(Boxes.Count(), 1);
    EXPECT_EQ(Boxes.Boxes[0].Text, "The connection queue is full for this session");
    EXPECT_EQ(Boxes.Boxes[0].Caption, "Connections Full");
    EXPECT_EQ(Boxes.Boxes[0].Flags, unsigned(kivra::MB_OK));
    EXPECT_EQ(TKivraThread::LiveCount(), 16);
    EXPECT_EQ(ActiveNames(w).size(), 16u);

    // The logon commands say it with text and caption swapped, and open no dialog.
    DialogAnswerer dialogs;
    w.OpenLogonDialog();
    w.ConnectKnownServerWithPrompt(Name(1));
    ASSERT_EQ(Boxes.Count(), 3);
    for (int b : {1, 2}) {
        EXPECT_EQ(Boxes.Boxes[b].Text, "Connections Full");
        EXPECT_EQ(Boxes.Boxes[b].Caption, "The connection queue is full for this session");
    }
    EXPECT_TRUE(dialogs.Shown.empty());

    // Slot 15 selected, disconnected: slot 14 is selected.
    w.DisconnectServer(15);
    EXPECT_EQ(w.ConnectedCount(), 15);
    EXPECT_EQ(w.SelectedServer, 14);
    ExpectSlotsConsistent(w);
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 15; }));
}

TEST_F(SlotsTest, AFailedConnectChangesNothingAndLeavesNoThread) {
    StartSims(2);
    ASSERT_TRUE(Connect(0));
    TFormMain &w = Window();
    EXPECT_FALSE(w.ConnectToServer(Name(1), false, "sa", "wrong password"));
    ASSERT_EQ(Boxes.Count(), 1);
    EXPECT_NE(Boxes.Boxes[0].Text.find("Login failed"), std::string::npos) << Boxes.Boxes[0].Text;
    EXPECT_FALSE(Boxes.Boxes[0].Caption.empty());
    EXPECT_EQ(w.ConnectedCount(), 1);
    EXPECT_EQ(w.SelectedServer, 0);
    EXPECT_EQ(ActiveNames(w), std::vector<std::string>{Name(0)});
    EXPECT_EQ(KnownNames(w), std::vector<std::string>{Name(0)});
    ExpectSlotsConsistent(w);
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 1; }));
}

// A connect whose login succeeds and whose start-up queries fail, started as a user does (a
// double-click on the known server with its saved logon): the error's box, the new worker
// stopped, no slot taken, and the window as it was.
TEST_F(SlotsTest, AConnectWhoseStartupQueryFailsTakesNoSlotAndLeavesNoThread) {
    StartSims(2);
    ASSERT_TRUE(Connect(0));
    TFormMain &w = Window();
    w.show();
    TKnownServers::SaveLogon(Name(1), false, SqlSimInstances::kLogin, true,
                             SqlSimInstances::kPassword);
    w.FrameServerList1->AddKnownServer(Name(1));
    QListWidget *known = w.FrameServerList1->ListBoxAllServers;
    const QList<QListWidgetItem *> items =
        known->findItems(QString::fromStdString(Name(1)), Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    const std::vector<std::string> knownBefore = KnownNames(w);
    const std::string failing[] = {kivra::kStatementProbeText, kivra::kPermissionProbeText,
                                   kivra::kStartupQueryText};
    for (const std::string &text : failing) {
        SCOPED_TRACE(text);
        Sims->Server(1).SetFailingText(text);
        Boxes.Boxes.clear();
        known->setCurrentItem(items[0]);
        QTest::mouseDClick(known->viewport(), Qt::LeftButton, {},
                           known->visualItemRect(items[0]).center());
        ASSERT_EQ(Boxes.Count(), 1);
        EXPECT_NE(Boxes.Boxes[0].Text.find("sqlsim fails batches"), std::string::npos)
            << Boxes.Boxes[0].Text;
        EXPECT_EQ(Boxes.Boxes[0].Flags & kivra::MB_ICONERROR, unsigned(kivra::MB_ICONERROR));
        EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 1; }))
            << "the new worker ended";
        EXPECT_EQ(w.ConnectedCount(), 1);
        EXPECT_FALSE(w.Connections[1].InUse);
        EXPECT_EQ(w.SelectedServer, 0);
        EXPECT_EQ(ActiveNames(w), std::vector<std::string>{Name(0)});
        EXPECT_EQ(KnownNames(w), knownBefore);
        ExpectSlotsConsistent(w);
    }
    Sims->Server(1).SetFailingText(std::string());
    ASSERT_TRUE(Connect(1));
    EXPECT_EQ(w.ConnectedCount(), 2);
    ExpectSlotsConsistent(w);
}

TEST_F(SlotsTest, DisconnectMovesTheLaterSlotsDownAndKeepsTheSelectionRule) {
    StartSims(4);
    const struct {
        const char *what;
        int selected;
        int disconnect;
        int expectSelected;
        int expectInstance;  // the server then selected
    } cases[] = {
        {"a slot below the selected one", 2, 1, 2, 3},
        {"a slot below the selected last one", 3, 1, 2, 3},
        {"the selected slot", 1, 1, 1, 2},
        {"the selected last slot", 3, 3, 2, 2},
        {"a slot above the selected one", 1, 3, 1, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < 4; ++i) ASSERT_TRUE(Connect(i));
        TFormMain &w = Window();
        w.SelectServer(c.selected);
        ExpectSlotsConsistent(w);
        w.DisconnectServer(c.disconnect);
        EXPECT_EQ(w.ConnectedCount(), 3);
        EXPECT_EQ(w.SelectedServer, c.expectSelected);
        EXPECT_EQ(InstanceOf(w.SelectedServer), c.expectInstance);
        std::vector<std::string> expected;
        for (int i = 0; i < 4; ++i)
            if (i != c.disconnect) expected.push_back(Name(i));
        EXPECT_EQ(ActiveNames(w), expected);
        ExpectSlotsConsistent(w);
        // The moved workers go on polling their models under their new slots.
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(WaitForPolls(w.Connections[i].ServerInfo, 1)) << i;
        CloseWindow();
    }
}

TEST_F(SlotsTest, TheLastDisconnectUnbindsEveryView) {
    StartSims(1);
    ASSERT_TRUE(Connect(0));
    TFormMain &w = Window();
    ASSERT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));
    TFrameClientArea *area = w.FrameClientArea1;
    TFrameTwinGrids *grids[] = {
        area->AllProcesses->FrameProcessGrids, area->BlockedProcesses->FrameBlockedProcessesGrids,
        area->DBProcesses->FrameDBGrids,       area->DBProcesses->FrameProcessGrids,
        area->UserProcesses->FrameUserGrids,   area->UserProcesses->FrameProcessGrids};
    EXPECT_GT(grids[0]->sgRight->RowCount(), 1) << "the views show the server";
    w.DisconnectServer(0);
    // Emptied: every grid back to its title row.
    for (TFrameTwinGrids *grid : grids) {
        EXPECT_EQ(grid->sgRight->RowCount(), 1) << grid->Title().toStdString();
        EXPECT_TRUE(grid->LabelCount->text().startsWith(QLatin1Char('0')))
            << grid->LabelCount->text().toStdString();
    }
    EXPECT_EQ(w.SelectedServer, -1);
    EXPECT_EQ(w.ConnectedCount(), 0);
    EXPECT_TRUE(ActiveNames(w).empty());
    EXPECT_EQ(KnownNames(w), std::vector<std::string>{Name(0)});
    ExpectSlotsConsistent(w);
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }));

    // Nothing selected: commands that need a server do nothing, the views stay unbound.
    w.SelectServer(-1);
    w.KillProcesses1Click();
    w.FrameToolbarButtons1ToolButtonKillProcClick();
    w.UpdateServerViews(0);
    w.ResetStats1Click();
    EXPECT_EQ(Boxes.Count(), 0);
    ExpectSlotsConsistent(w);
}

TEST_F(SlotsTest, TheSameServerTwiceTakesTwoSlots) {
    StartSims(1);
    ASSERT_TRUE(Connect(0));
    ASSERT_TRUE(Connect(0));
    TFormMain &w = Window();
    EXPECT_EQ(w.ConnectedCount(), 2);
    EXPECT_EQ(ActiveNames(w), (std::vector<std::string>{Name(0), Name(0)}));
    EXPECT_EQ(KnownNames(w), std::vector<std::string>{Name(0)});
    EXPECT_NE(w.Connections[0].ServerInfo, w.Connections[1].ServerInfo);
    ExpectSlotsConsistent(w);
    EXPECT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));
    EXPECT_TRUE(WaitForPoll(w.Connections[1].ServerInfo));
}

TEST_F(SlotsTest, IsServerConnectedOfFreeAndLostSlots) {
    StartSims(2);
    ASSERT_TRUE(Connect(0));
    ASSERT_TRUE(Connect(1));
    TFormMain &w = Window();
    EXPECT_TRUE(w.IsServerConnected(0));
    EXPECT_TRUE(w.IsServerConnected(1));
    EXPECT_FALSE(w.IsServerConnected(2));
    EXPECT_FALSE(w.IsServerConnected(-1));
    EXPECT_FALSE(w.IsServerConnected(16));
    ASSERT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));

    Sims->Server(0).DropConnections();
    EXPECT_TRUE(PumpUntil([&] { return !w.IsServerConnected(0); }));
    EXPECT_TRUE(w.Connections[0].InUse) << "a lost connection keeps its slot";
    EXPECT_TRUE(w.IsServerConnected(1));

    // Reconnected through the model (as the large graphs' Reconnect does): connected again.
    EXPECT_TRUE(w.Connections[0].ServerInfo->Reconnect());
    EXPECT_TRUE(w.IsServerConnected(0));
}

TEST_F(SlotsTest, RefreshIntervalWithoutServersIsHandedToTheNextConnect) {
    StartSims(1);
    TFormMain &w = Window();
    EXPECT_EQ(w.RefreshInterval, 1);  // no settings: the default
    w.SetRefreshInterval(7);
    EXPECT_EQ(w.RefreshInterval, 7);
    ASSERT_TRUE(Connect(0));
    EXPECT_EQ(w.Connections[0].Thread->RefreshInterval, 7);
    ASSERT_TRUE(Connect(0));
    w.SetRefreshInterval(3);
    EXPECT_EQ(w.Connections[0].Thread->RefreshInterval, 3);
    EXPECT_EQ(w.Connections[1].Thread->RefreshInterval, 3);
}
