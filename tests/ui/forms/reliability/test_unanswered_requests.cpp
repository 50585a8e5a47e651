// Session requests and kills that the server leaves unanswered, in the real window against one
// sqlsim instance. A request whose connection the driver gives up (its cancel went unanswered
// too) shows the server lost where a user looks for it (the active list's colours, the tile's
// "Server Disconnected", "Reconnect" on "Server Graphs"), with a refresh interval of 0 (no poll
// to come) and of 1, and Reconnect brings it back. A kill that got no answer shows its error
// box, as a refused kill does, and the session list stays as it was.

#include "ReliabilitySupport.h"

#include "DBServerInfoSource.h"
#include "KivraQueryTexts.h"
#include "SimBatchWatch.h"
#include "TFrameAllProcesses.h"
#include "TFrameClientArea.h"
#include "TFrameProcessInfo.h"
#include "TFrameToolbarButtons.h"
#include "TFrameTwinGrids.h"
#include "TStringGrid.h"
#include "TestPump.h"

#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <ostream>

namespace {

constexpr int kSlot = 0;

// A row holding a user session of the workload, not the highlighted one.
int OtherUserRow(TFrameAllProcesses *view) {
    const int highlighted = view->FrameProcessGrids->SelectedNumber(1);
    return UserSessionRow(view, [&](int spid) { return spid != highlighted; });
}

// Clicks a row of the all-sessions grid as a user would.
void ClickRow(TFrameAllProcesses *view, int row) {
    TStringGrid *grid = view->FrameProcessGrids->sgRight;
    grid->scrollTo(grid->model()->index(row, 1));
    const QRect cell = grid->visualRect(grid->model()->index(row, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

struct LossCase {
    const char *Name;
    int Interval;     // the refresh interval, seconds
    bool InHandOver;  // the poll's refresh asks it, else a click on another session
};

const LossCase kLossCases[] = {
    {"IntervalZeroClick", 0, false},
    {"IntervalOneClick", 1, false},
    {"IntervalOnePollsRefresh", 1, true},
};

void PrintTo(const LossCase &c, std::ostream *os) { *os << c.Name; }

}  // namespace

class UnansweredRequestTest : public ReliabilityTest {
protected:
    // One instance connected in slot 0 with the refresh interval given, polled once, the window
    // shown with "All Processes".
    void ConnectOne(int interval) {
        SqlSimOptions options;
        options.Workload.ChurnPercent = 0;  // sessions stay unless killed
        StartSims(1, options);
        CountingFormMain &w = Main();
        w.SetRefreshInterval(interval);
        ASSERT_TRUE(Connect(0));
        w.show();
        ASSERT_TRUE(WaitForPoll(w.Connections[kSlot].ServerInfo));
        w.FrameClientArea1->TabSet1->setCurrentIndex(kAllProcessesTab);
        ASSERT_TRUE(Shown(kSlot).NoneLost());
    }
    TFrameAllProcesses *AllProcesses() { return Main().FrameClientArea1->AllProcesses; }
};

class UnansweredRequestLoss : public UnansweredRequestTest,
                              public ::testing::WithParamInterface<LossCase> {};

TEST_P(UnansweredRequestLoss, ShowsTheServerLostAndReconnectBringsItBack) {
    const LossCase &c = GetParam();
    ConnectOne(c.Interval);
    CountingFormMain &w = Main();
    TFrameAllProcesses *all = AllProcesses();
    SimBatchWatch watch(Sims->Server(0));
    if (c.InHandOver) {
        // The pane asks again for the highlighted session's input buffer at every poll.
        const int spid = all->FrameProcessGrids->SelectedNumber(1);
        ASSERT_GT(spid, 0);
        watch.PauseAt(kivra::InputBufferBatch(spid));
        ASSERT_TRUE(PumpUntil([&] { return Sims->InBatch(0, "INPUTBUFFER"); }, 30000));
    } else {
        const int row = OtherUserRow(all);
        ASSERT_GT(row, 0);
        watch.PauseAt(
            kivra::InputBufferBatch(CellNumber(all->FrameProcessGrids->sgRight->Cells(1, row))));
        ClickRow(all, row);  // returns once the driver has given the call up
    }
    ASSERT_TRUE(PumpUntil([&] { return Shown(kSlot).AllLost(); }, 30000))
        << "the server shown lost, with no poll to come";
    EXPECT_FALSE(w.IsServerConnected(kSlot));
    watch.PauseAt(std::string());
    Sims->Server(0).SetPaused(false);

    ClickReconnect();
    EXPECT_TRUE(w.IsServerConnected(kSlot));
    ASSERT_TRUE(WaitPolls(kSlot, 1));
    EXPECT_TRUE(Shown(kSlot).NoneLost());
    EXPECT_EQ(Boxes.Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sqlsim, UnansweredRequestLoss, ::testing::ValuesIn(kLossCases),
                         [](const ::testing::TestParamInfo<LossCase> &info) {
                             return std::string(info.param.Name);
                         });

// The kill's error box (the application's error display, as for a kill the server refuses),
// from "Kill Proc" and from the detail pane's "Kill Process"; the session stays listed.
TEST_F(UnansweredRequestTest, AKillThatGotNoAnswerShowsItsErrorAndTheListStays) {
    enum Held { WorkersCall, TheKill };
    const struct {
        const char *what;
        Held held;
        bool toolbar;  // "Kill Proc", else the pane's button
        const char *error;
        bool lost;  // the driver gave the connection up
    } cases[] = {
        {"Kill Proc behind the worker's unanswered poll", WorkersCall, true, "not answering",
         false},
        {"the pane's Kill Process, the kill itself unanswered", TheKill, false, "Timeout", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ConnectOne(1);
        CountingFormMain &w = Main();
        TDBServerInfo *model = w.Connections[kSlot].ServerInfo;
        TFrameAllProcesses *all = AllProcesses();
        const int row = OtherUserRow(all);
        ASSERT_GT(row, 0);
        ClickRow(all, row);
        const int spid = all->GetSelectedSpid();
        ASSERT_EQ(all->FrameCurrentProcessInfo->CurrentSpid, spid);
        const TDateTime login = LoginTimeOf(model, spid);
        const int rows = all->FrameProcessGrids->sgRight->RowCount();

        auto watch = std::make_unique<SimBatchWatch>(Sims->Server(0));  // gone before the server
        if (c.held == TheKill) {
            watch->PauseAt(kivra::KillBatch(spid));
        } else {
            Sims->Server(0).SetPaused(true);
            ASSERT_TRUE(PumpUntil([&] { return Sims->InBatch(0); }));
        }
        Boxes.Answers.push_back(kivra::IDYES);
        if (c.toolbar)
            w.FrameToolbarButtons1->ToolButtonKillProc->click();
        else
            all->FrameCurrentProcessInfo->ButtonKillProcess->click();
        ASSERT_EQ(Boxes.Count(), 2) << "the question, then the error";
        EXPECT_EQ(Boxes.Boxes[0].Caption, "Kill Process Confirm");
        EXPECT_EQ(Boxes.Boxes[1].Flags & kivra::MB_ICONERROR, unsigned(kivra::MB_ICONERROR));
        EXPECT_NE(Boxes.Boxes[1].Text.find(c.error), std::string::npos) << Boxes.Boxes[1].Text;
        EXPECT_EQ(all->GetSelectedSpid(), spid) << "the list as it was";
        EXPECT_EQ(all->FrameProcessGrids->sgRight->RowCount(), rows);
        watch.reset();
        Sims->Server(0).SetPaused(false);

        if (c.lost) {
            EXPECT_TRUE(PumpUntil([&] { return Shown(kSlot).AllLost(); }));
        } else {
            EXPECT_TRUE(WaitPolls(kSlot, 2));
        }
        EXPECT_TRUE(HasSession(model, spid, login)) << "not killed";
        EXPECT_EQ(all->GetSelectedSpid(), spid);
        SimSession still;
        EXPECT_TRUE(Sims->Server(0).Workload().Find(spid, still));
        CloseWindow();
        Boxes.Boxes.clear();
        Sims.reset();
    }
}
