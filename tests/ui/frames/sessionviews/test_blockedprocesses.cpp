// The blocked-sessions view: nothing blocked (both panes empty), a sqlsim blocking chain (the
// blocked session above, its blocker below, a chain of three), the order following the
// all-sessions sort key, a highlighted row past the end, and the view without a server.

#include "TFrameAllProcesses.h"
#include "TFrameBlockedProcesses.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerTitleBar.h"
#include "TFrameTwinGrids.h"

#include "PolledServer.h"
#include "SqlSimInstances.h"
#include "TempSettingsFile.h"
#include "TestPump.h"
#include "ViewTestSupport.h"

#include <QLabel>
#include <QSplitter>

#include <gtest/gtest.h>

namespace {

void Bind(TFrameBlockedProcesses &view, TDBServerInfo *server) {
    view.ServerInfo = server;
    for (TFrameProcessInfo *pane : {view.FrameBlockedProcess, view.FrameBlockingProcess}) {
        pane->ServerInfo = server;
        pane->CurrentSpid = pane->InputBufferSpid = pane->StatementSpid = -1;
    }
    view.FrameServerTitleBar1->SetServerName(server ? server->ServerName : std::string());
}

bool PanesEmpty(const TFrameBlockedProcesses &view) {
    return view.FrameBlockedProcess->CurrentSpid == -1 &&
           view.FrameBlockingProcess->CurrentSpid == -1 &&
           view.FrameBlockedProcess->LabelSPID->text().isEmpty() &&
           view.FrameBlockingProcess->LabelSPID->text().isEmpty();
}

// Sessions 51..58; 53 and 56 wait for 51, 57 for 56.
std::vector<PollRow> Chain() {
    std::vector<PollRow> rows = Sessions(51, 8);
    rows[2].Blocked = 51;
    rows[5].Blocked = 51;
    rows[6].Blocked = 56;
    rows[2].LoginName = "zulu";
    rows[5].LoginName = "alpha";
    rows[6].LoginName = "mike";
    return rows;
}

class BlockedProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        TDBServerInfo::ProcessSortKey = skSPID;
        TDBServerInfo::ProcessSortAscending = true;
        View.resize(1400, 900);
        View.show();
        Server.Poll(Chain());
        Bind(View, Server.Model());
        View.RefreshView();
    }
    TStringGrid *Right() const { return View.FrameBlockedProcessesGrids->sgRight; }

    TempSettingsFile Settings;
    ModelStateGuard SortState;
    FedServer Server;
    TFrameBlockedProcesses View;
};

TEST_F(BlockedProcesses, ListsOnlyBlockedSessionsWithTheirBlockers) {
    EXPECT_EQ(Column(Right(), 1), (std::vector<std::string>{"53", "56", "57"}));
    EXPECT_EQ(Column(Right(), 18), (std::vector<std::string>{"51", "51", "56"}));
    EXPECT_EQ(Column(Right(), 0), (std::vector<std::string>{"L", "L", "L"}));
    EXPECT_EQ(View.FrameBlockedProcessesGrids->Label1->text(),
              QStringLiteral(" Blocked Processes"));
    EXPECT_EQ(View.FrameBlockedProcessesGrids->LabelCount->text(),
              QStringLiteral("3 Blocked Processes"));
    EXPECT_EQ(View.FrameBlockedProcess->Title(), QStringLiteral(" Blocked Process"));
    EXPECT_EQ(View.FrameBlockingProcess->Title(), QStringLiteral(" Blocking Process"));
    EXPECT_EQ(View.FrameBlockedProcess->CurrentSpid, 53);
    EXPECT_EQ(View.FrameBlockingProcess->CurrentSpid, 51);
    // A blocker that is blocked itself is shown below all the same.
    ClickCell(Right(), 2, 3);
    EXPECT_EQ(View.FrameBlockedProcess->CurrentSpid, 57);
    EXPECT_EQ(View.FrameBlockingProcess->CurrentSpid, 56);
    EXPECT_EQ(View.FrameBlockedProcess->LabelSQLUser->text(), QStringLiteral("mike"));
    EXPECT_EQ(View.FrameBlockingProcess->LabelSQLUser->text(), QStringLiteral("alpha"));
    // The red ball of a blocked session.
    EXPECT_GT(PixelIn(Right(), 0, 2, QPoint(8, 8)).red(), 150);
}

TEST_F(BlockedProcesses, TheOrderFollowsTheAllSessionsSortKey) {
    TFrameAllProcesses all;
    all.resize(1400, 700);
    all.show();
    all.ServerInfo = Server.Model();
    all.FrameCurrentProcessInfo->ServerInfo = Server.Model();
    all.RefreshView();
    // A click on this grid's titles does not sort.
    ClickCell(Right(), 2, 0);
    EXPECT_EQ(TDBServerInfo::ProcessSortKey, skSPID);
    View.RefreshView();
    EXPECT_EQ(Column(Right(), 1), (std::vector<std::string>{"53", "56", "57"}));
    // Sorting the all-sessions view by login reorders this grid at its next refresh.
    ClickCell(all.FrameProcessGrids->sgRight, 2, 0);
    EXPECT_EQ(Column(Right(), 1), (std::vector<std::string>{"53", "56", "57"}));
    View.RefreshView();
    EXPECT_EQ(Column(Right(), 2), (std::vector<std::string>{"alpha", "mike", "zulu"}));
    EXPECT_EQ(View.FrameBlockedProcess->CurrentSpid, 56) << "row 1 is another session now";
}

TEST_F(BlockedProcesses, ASelectionInTheFrozenGridMovesTheHighlightOnly) {
    View.FrameBlockedProcessesGrids->Splitter1->setSizes({300, 1000});
    ClickCell(View.FrameBlockedProcessesGrids->sgLeft, 1, 2);
    EXPECT_EQ(View.FrameBlockedProcessesGrids->SelectedRow, 2);
    EXPECT_EQ(View.FrameBlockedProcess->CurrentSpid, 53) << "the panes follow at the next refresh";
    View.RefreshView();
    EXPECT_EQ(View.FrameBlockedProcess->CurrentSpid, 56);
    EXPECT_EQ(View.FrameBlockingProcess->CurrentSpid, 51);
}

TEST_F(BlockedProcesses, AHighlightedRowPastTheEndShowsNoSession) {
    ClickCell(Right(), 2, 3);
    ASSERT_EQ(View.FrameBlockedProcess->CurrentSpid, 57);
    std::vector<PollRow> rows = Chain();
    rows[5].Blocked = 0;
    rows[6].Blocked = 0;
    Server.Poll(rows);
    View.RefreshView();
    EXPECT_EQ(Right()->RowCount(), 2);
    EXPECT_TRUE(PanesEmpty(View)) << "row 3 no longer exists: its old texts are not used";
    Server.Poll(Chain());
    View.RefreshView();
    EXPECT_EQ(View.FrameBlockedProcess->CurrentSpid, 57);
}

TEST_F(BlockedProcesses, NothingBlockedLeavesTheTitleRowAndBothPanesEmpty) {
    Server.Poll(Sessions(51, 8));
    for (int refresh = 0; refresh < 2; ++refresh) {
        View.RefreshView();
        EXPECT_EQ(Right()->RowCount(), 1);
        EXPECT_EQ(View.FrameBlockedProcessesGrids->LabelCount->text(),
                  QStringLiteral("0 Blocked Processes"));
        EXPECT_TRUE(PanesEmpty(View));
    }
}

TEST_F(BlockedProcesses, WithoutAServerTheViewIsEmpty) {
    Bind(View, nullptr);
    View.RefreshView();
    EXPECT_EQ(Right()->RowCount(), 1);
    EXPECT_TRUE(PanesEmpty(View));
    EXPECT_TRUE(View.FrameServerTitleBar1->ServerNameText().isEmpty());
    ClickCell(Right(), 1, 0);
    EXPECT_EQ(Right()->RowCount(), 1);
}

TEST_F(BlockedProcesses, TheDesignHeightsOfThePanes) {
    View.resize(900, 1000);
    ASSERT_TRUE(PumpUntil(
        [&] { return View.findChild<QWidget *>(QStringLiteral("Panel4"))->height() == 264; }));
    EXPECT_EQ(View.findChild<QWidget *>(QStringLiteral("Panel2"))->height(), 528);
}

// ---- Against sqlsim ----------------------------------------------------------------------------

TEST(BlockedProcessesLive, ABlockingChainOfThree) {
    ModelStateGuard sortState;
    TDBServerInfo::ProcessSortKey = skSPID;
    TDBServerInfo::ProcessSortAscending = true;
    SqlSimOptions o;
    o.Workload.ChurnPercent = 0;
    o.Workload.BlockingChains = 0;
    SqlSimInstances sims(1, o);
    ASSERT_TRUE(sims.Started()) << sims.Error();
    TFrameBlockedProcesses view;
    view.resize(1400, 900);
    view.show();
    PolledServer monitor;
    monitor.DuringUpdate = [&] { view.RefreshView(); };
    ASSERT_TRUE(monitor.Connect(sims.ServerName(0), 1));
    Bind(view, monitor.Model());
    ASSERT_TRUE(monitor.WaitForPolls(2));
    TStringGrid *grid = view.FrameBlockedProcessesGrids->sgRight;
    EXPECT_EQ(grid->RowCount(), 1) << "nothing blocked yet";
    EXPECT_TRUE(PanesEmpty(view));

    const int head = sims.Server(0).StartBlockingChain(3);
    ASSERT_GT(head, 0);
    ASSERT_TRUE(PumpUntil([&] { return grid->RowCount() == 4; }));
    // The blocked sessions as the server has them: the first two wait on the head, the third on
    // the second.
    std::vector<std::pair<int, int>> waits;  // spid, blocker
    sims.Server(0).Workload().Read(
        [&](const std::map<int, SimSession> &sessions, const SimCounters &) {
            for (const auto &[spid, s] : sessions)
                if (s.Blocked) waits.emplace_back(spid, s.Blocked);
        });
    ASSERT_EQ(waits.size(), 3u);
    for (int row = 1; row <= 3; ++row) {
        EXPECT_EQ(grid->Cells(1, row), std::to_string(waits[row - 1].first));
        EXPECT_EQ(grid->Cells(18, row), std::to_string(waits[row - 1].second));
        ClickCell(grid, 2, row);
        EXPECT_EQ(view.FrameBlockedProcess->CurrentSpid, waits[row - 1].first);
        EXPECT_EQ(view.FrameBlockingProcess->CurrentSpid, waits[row - 1].second);
    }
    int blockedBlockers = 0;
    for (const auto &w : waits) blockedBlockers += w.second != head;
    EXPECT_EQ(blockedBlockers, 1) << "one of them waits on another blocked session";
    // What the lower pane shows is the blocker's own session.
    EXPECT_EQ(view.FrameBlockingProcess->LabelSPID->text(), QString::number(waits[2].second));
    EXPECT_FALSE(view.FrameBlockingProcess->LabelSQLUser->text().isEmpty());

    sims.Server(0).EndBlockingChains();
    EXPECT_TRUE(PumpUntil([&] { return grid->RowCount() == 1 && PanesEmpty(view); }));
    monitor.Stop();
}

}  // namespace
