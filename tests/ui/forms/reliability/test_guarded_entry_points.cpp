// What a handler throws is shown with the application's exception display and the program goes
// on, for each kind of entry point from Qt into the program: signals connected to commands (a
// menu item, a toolbar button, a pane's button), an event filter (the known servers' double
// click), the callbacks a grid raises from its events, and a callback raised from a tab bar's
// signal. The application object no longer catches: an unguarded throw would end the test.

#include "ReliabilitySupport.h"

#include "DBServerInfoSource.h"
#include "MessageBoxHook.h"
#include "TFrameAllProcesses.h"
#include "TFrameClientArea.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerBigGraphs.h"
#include "TFrameServerList.h"
#include "TFrameToolbarButtons.h"
#include "TFrameTwinGrids.h"
#include "TKnownServers.h"
#include "TStringGrid.h"
#include "TestPump.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <stdexcept>

namespace {

const unsigned kErrorFlags = kivra::MB_OK | kivra::MB_ICONERROR;

}  // namespace

class GuardedEntryTest : public ReliabilityTest {
protected:
    // The boxes since `from` hold exactly one exception display, with this text.
    void ExpectOneDisplay(int from, const std::string &text) {
        int displays = 0;
        for (int i = from; i < Boxes.Count(); ++i) {
            const RecordedMessageBox &box = Boxes.Boxes[static_cast<std::size_t>(i)];
            if (box.Flags != kErrorFlags) continue;
            ++displays;
            EXPECT_EQ(box.Text, text);
            EXPECT_EQ(box.Caption, "Kivrawatch");
        }
        EXPECT_EQ(displays, 1);
    }
};

// A kill on a server whose connection is lost: the database layer's error reaches the command,
// whose guard shows it.
TEST_F(GuardedEntryTest, CommandsConnectedToSignals) {
    SqlSimOptions options;
    options.Workload.ChurnPercent = 0;
    StartSims(1, options);
    CountingFormMain &w = Main();
    ASSERT_TRUE(Connect(0));
    w.show();
    ASSERT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));
    w.FrameClientArea1->TabSet1->setCurrentIndex(kAllProcessesTab);
    TFrameAllProcesses *all = w.FrameClientArea1->AllProcesses;
    const int row = FindRow(all, [](const GridSession &s) {
        return s.Spid > 50 && s.Program != "VORNIXMonitor";
    });
    ASSERT_GT(row, 0);
    all->FrameProcessGrids->SelectRow(row);
    const int spid = all->GetSelectedSpid();
    Sims->Server(0).DropConnections();
    ASSERT_TRUE(PumpUntil([&] { return !w.IsServerConnected(0); }));
    ASSERT_EQ(all->FrameCurrentProcessInfo->CurrentSpid, spid) << "the pane shows the session";

    const struct {
        const char *what;
        std::function<void()> command;
    } commands[] = {
        {"Processes > Kill Processes", [&] { Child<QAction>(&w, "KillProcesses1")->trigger(); }},
        {"toolbar Kill Proc",
         [&] { QTest::mouseClick(w.FrameToolbarButtons1->ToolButtonKillProc, Qt::LeftButton); }},
        {"the pane's Kill Process",
         [&] {
             QTest::mouseClick(all->FrameCurrentProcessInfo->ButtonKillProcess, Qt::LeftButton);
         }},
    };
    for (const auto &c : commands) {
        SCOPED_TRACE(c.what);
        const int from = Boxes.Count();
        Boxes.Answers.push_back(kivra::IDYES);
        c.command();
        ASSERT_EQ(Boxes.Count(), from + 2) << "the question, then the display";
        EXPECT_EQ(Boxes.Boxes[static_cast<std::size_t>(from)].Caption, "Kill Process Confirm");
        ExpectOneDisplay(from, "Operation is not allowed when the object is closed.");
        EXPECT_TRUE(w.isVisible());
    }
    // The program goes on: the server comes back and is polled.
    ClickReconnect();
    EXPECT_TRUE(w.IsServerConnected(0));
    EXPECT_TRUE(WaitPolls(0, 2));
}

// The known servers' double click runs in the list's event filter. Here the connection error's
// box itself fails; the display shows that, no worker is left behind, and the next double click
// connects.
TEST_F(GuardedEntryTest, EventFilter) {
    StartSims(1);
    CountingFormMain &w = Main();
    w.show();
    const std::string refused = "127.0.0.1,1";  // nothing listens there
    TKnownServers::SaveLogon(Name(0), false, SqlSimInstances::kLogin, true,
                             SqlSimInstances::kPassword);
    w.FrameServerList1->AddKnownServer(refused);
    w.FrameServerList1->AddKnownServer(Name(0));
    QListWidget *known = w.FrameServerList1->ListBoxAllServers;
    auto doubleClick = [&](const std::string &name) {
        const QList<QListWidgetItem *> items =
            known->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        known->setCurrentItem(items[0]);
        QTest::mouseDClick(known->viewport(), Qt::LeftButton, {},
                           known->visualItemRect(items[0]).center());
    };

    bool failed = false;
    Boxes.OnShown = [&](const RecordedMessageBox &box) {
        if (failed || box.Flags == kErrorFlags) return;
        failed = true;
        throw std::runtime_error("The message could not be shown");
    };
    doubleClick(refused);
    ASSERT_TRUE(failed) << "the connection error was shown";
    ExpectOneDisplay(0, "The message could not be shown");
    EXPECT_EQ(w.ConnectedCount(), 0);
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }));

    Boxes.OnShown = nullptr;
    const int from = Boxes.Count();
    doubleClick(Name(0));
    EXPECT_EQ(w.ConnectedCount(), 1);
    EXPECT_EQ(Boxes.Count(), from);
    EXPECT_TRUE(WaitPolls(0, 1));
}

// The callbacks the session grid raises from its mouse events, and the tab bar's change callback.
TEST_F(GuardedEntryTest, CallbacksRaisedFromEvents) {
    StartSims(1);
    CountingFormMain &w = Main();
    ASSERT_TRUE(Connect(0));
    w.show();
    ASSERT_TRUE(WaitForPoll(w.Connections[0].ServerInfo));
    TFrameClientArea *area = w.FrameClientArea1;
    area->TabSet1->setCurrentIndex(kAllProcessesTab);
    TFrameTwinGrids *grids = area->AllProcesses->FrameProcessGrids;
    TStringGrid *grid = grids->sgRight;
    ASSERT_GT(grid->RowCount(), 3);

    int selects = 0, presses = 0;
    grids->BindViewHandlers(
        grid,
        [&](TStringGrid *, int, int, bool &) {
            ++selects;
            throw std::runtime_error("'x' is not a valid row");
        },
        [&](TStringGrid *, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
            ++presses;
            throw std::out_of_range("column 99");
        });
    QRect cell = grid->visualRect(grid->model()->index(3, 2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(selects, 1);
    int displays = 0;
    for (const RecordedMessageBox &box : Boxes.Boxes) displays += box.Flags == kErrorFlags ? 1 : 0;
    EXPECT_EQ(displays, 2);
    EXPECT_EQ(grid->Row(), 3) << "the grid took the click";

    // The tab bar's change goes through the main window's callback.
    const int from = Boxes.Count();
    auto forward = area->OnTabSet1Change;
    area->OnTabSet1Change = [](QObject *, int, bool &) {
        throw std::runtime_error("no such view");
    };
    area->TabSet1->setCurrentIndex(kServerGraphsTab);
    ExpectOneDisplay(from, "no such view");
    area->OnTabSet1Change = forward;
    area->TabSet1->setCurrentIndex(kAllProcessesTab);
    EXPECT_FALSE(area->AllProcesses->isHidden());
    EXPECT_TRUE(area->ServerBigGraphs->isHidden());
    EXPECT_TRUE(WaitPolls(0, 1));
    EXPECT_TRUE(w.isVisible());
}
