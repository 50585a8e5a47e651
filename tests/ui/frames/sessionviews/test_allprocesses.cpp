// The all-sessions view: the session grid's layout, header clicks for every column, clicks
// outside the cells and on data cells, the selection kept by row number (a row past the end
// selects nothing), the highlighted session offered to the kill commands, the layout kept in the
// settings store, the view without a server, and the view fed by a real worker against sqlsim.

#include "TFrameAllProcesses.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerTitleBar.h"
#include "TFrameTwinGrids.h"
#include "TStoredSplitterLayout.h"

#include "PolledServer.h"
#include "SimRequestLog.h"
#include "SqlSimInstances.h"
#include "TRegistry.h"
#include "TempSettingsFile.h"
#include "TestPump.h"
#include "ViewTestSupport.h"

#include <QLabel>
#include <QSplitter>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char *kKey = "\\SOFTWARE\\Vornix\\Kivrawatch\\AllProcesses";

// Six sessions that differ in every sorted column.
std::vector<PollRow> Varied() {
    std::vector<PollRow> rows = Sessions(51, 6);
    const char *logins[] = {"delta", "Alpha", "charlie", "bravo", "echo", "Foxtrot"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        PollRow &r = rows[i];
        r.LoginName = logins[i];
        r.HostName = "H" + std::to_string(10 - i);
        r.CPU = static_cast<std::int64_t>(100 * ((i * 7) % 6));
        r.MemUsage = static_cast<std::int64_t>(5 + i);
        r.PhysicalIO = static_cast<std::int64_t>(3 * i);
        r.DatabaseName = i % 2 ? "Sales" : "master";
        r.Command = i % 3 ? "SELECT" : "AWAITING COMMAND";
        r.WaitTime = static_cast<int>(i * 11 % 5);
        r.OpenTran = static_cast<int>(i % 2);
    }
    return rows;
}

class AllProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        View = std::make_unique<TFrameAllProcesses>();
        View->resize(2700, 700);  // every column in view
        View->show();
        ASSERT_TRUE(PumpUntil([&] { return View->Layout->Applied(); }));
        Server.Poll(Varied());
        Bind(*View, Server.Model());
        View->RefreshView();
    }

    TStringGrid *Right() const { return View->FrameProcessGrids->sgRight; }
    TStringGrid *Left() const { return View->FrameProcessGrids->sgLeft; }
    int Highlighted() const { return View->FrameProcessGrids->SelectedRow; }

    TempSettingsFile Settings;
    ModelStateGuard SortState;
    FedServer Server;
    std::unique_ptr<TFrameAllProcesses> View;
};

TEST_F(AllProcesses, TheSessionGridLayout) {
    const TStringGrid *grid = Right();
    ASSERT_EQ(grid->ColCount(), 25);
    EXPECT_EQ(Left()->ColCount(), 25);
    const char *titles[] = {"",           "SPID",      "Logon Name",    "Host",
                            "Database",   "CMD",       "Status",        "Program Name",
                            "Threads",    "Th Delta",  "Login Time",    "Latest Activity",
                            "CPU Usage",  "CPU Delta", "Mem Usage",     "Mem Delta",
                            "Phys IO",    "IO Delta",  "Locked",        "OpenTran",
                            "WaitTime",   "Host Proc", "NT Login Name", "Net Library",
                            "Net Address"};
    const int widths[] = {16, 45, 140, 125, 140, 140, 140, 140, 45, 45,  115, 115, 85,
                          85, 85, 85,  85,  85,  40,  85,  85,  85, 125, 80,  80};
    for (int col = 0; col < 25; ++col) {
        EXPECT_EQ(grid->Cells(col, 0), titles[col]);
        EXPECT_EQ(grid->ColWidths(col), widths[col]);
        EXPECT_EQ(Left()->ColWidths(col), widths[col]);
        const bool right = col == 8 || col == 9 || (col >= 12 && col <= 17);
        EXPECT_EQ(View->FrameProcessGrids->RightAligned[col], right ? 1 : 0) << col;
    }
    EXPECT_EQ(View->FrameProcessGrids->IconColumn, 0);
    EXPECT_EQ(View->FrameProcessGrids->Label1->text(), QStringLiteral(" All Processes"));
    EXPECT_EQ(View->FrameProcessGrids->LabelCount->text(), QStringLiteral("6 All Processes"));
    EXPECT_EQ(View->FrameServerTitleBar1->ServerNameText(), QStringLiteral("FED\\ONE"));
    EXPECT_EQ(View->FrameCurrentProcessInfo->CurrentSpid, 51) << "row 1 is shown from the start";
}

TEST_F(AllProcesses, EveryColumnTitleSortsByItsKeyAndTheSameTitleTwiceReverses) {
    const TSortKey *expected = kSessionColumnKeys;
    View->resize(5400, 700);  // both grids wide enough for every column
    View->FrameProcessGrids->Splitter1->setSizes({2650, 2650});
    PumpPending();
    for (int col = 0; col < 25; ++col) {
        // Start from another key, so the first click chooses the column's key anew.
        TDBServerInfo::ProcessSortKey = expected[col] == skCommand ? skStatus : skCommand;
        ClickCell(Right(), col, 0);
        EXPECT_EQ(TDBServerInfo::ProcessSortKey, expected[col]) << "column " << col;
        EXPECT_EQ(TDBServerInfo::ProcessSortAscending, DefaultAscending(expected[col])) << col;
        ClickCell(col % 2 ? Right() : Left(), col, 0);  // either grid
        EXPECT_EQ(TDBServerInfo::ProcessSortKey, expected[col]) << col;
        EXPECT_EQ(TDBServerInfo::ProcessSortAscending, !DefaultAscending(expected[col])) << col;
    }
}

TEST_F(AllProcesses, HeaderClicksReorderTheGrid) {
    ClickCell(Right(), 2, 0);  // "Logon Name": byte order, A first
    EXPECT_EQ(Column(Right(), 2),
              (std::vector<std::string>{"Alpha", "Foxtrot", "bravo", "charlie", "delta", "echo"}));
    EXPECT_EQ(Column(Left(), 2), Column(Right(), 2));
    ClickCell(Right(), 2, 0);
    EXPECT_EQ(Column(Right(), 2).front(), "echo");
    ClickCell(Right(), 1, 0);  // "SPID"
    EXPECT_EQ(Column(Right(), 1), (std::vector<std::string>{"51", "52", "53", "54", "55", "56"}));
    ClickCell(Right(), 0, 0);  // the icon column sorts by SPID too: the same key reverses
    EXPECT_EQ(Column(Right(), 1).front(), "56");
    ClickCell(Right(), 6, 0);  // "Status"
    EXPECT_EQ(TDBServerInfo::ProcessSortKey, skStatus);
    ClickCell(Right(), 7, 0);  // "Program Name"
    EXPECT_EQ(TDBServerInfo::ProcessSortKey, skProgramName);
}

TEST_F(AllProcesses, AClickOutsideEveryCellChangesNothing) {
    Right()->SetCells(2, 1, "marker");
    const TSortKey key = TDBServerInfo::ProcessSortKey;
    const bool ascending = TDBServerInfo::ProcessSortAscending;
    const QRect last = CellRect(Right(), 2, 6);
    ClickAt(Right(), QPoint(last.center().x(), last.bottom() + 40));
    EXPECT_EQ(Right()->Cells(2, 1), "marker") << "no refill";
    EXPECT_EQ(Highlighted(), 1);
    EXPECT_EQ(TDBServerInfo::ProcessSortKey, key);
    EXPECT_EQ(TDBServerInfo::ProcessSortAscending, ascending);
}

TEST_F(AllProcesses, AClickOnADataCellSelectsItAndRefills) {
    Right()->SetCells(2, 1, "marker");
    ClickCell(Right(), 3, 4);
    EXPECT_EQ(Highlighted(), 4);
    EXPECT_EQ(Right()->Cells(2, 1), Left()->Cells(2, 1));
    EXPECT_NE(Right()->Cells(2, 1), "marker") << "refilled";
    EXPECT_EQ(View->FrameCurrentProcessInfo->CurrentSpid, 54);
    EXPECT_EQ(View->GetSelectedSpid(), 54);
    EXPECT_EQ(PixelIn(Right(), 3, 4, QPoint(-3, 2)), Rgb(0x808080));
}

TEST_F(AllProcesses, ARightOrMiddlePressMovesNeitherTheHighlightNorTheCurrentRow) {
    ClickCell(Right(), 2, 3);
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(int(button));
        ClickCell(Right(), 4, 5, button);
        EXPECT_EQ(Highlighted(), 3);
        EXPECT_EQ(Right()->Row(), 3);
        EXPECT_EQ(PixelIn(Right(), 4, 3, QPoint(-3, 2)), Rgb(0x808080));
        EXPECT_NE(PixelIn(Right(), 4, 5, QPoint(-3, 2)), Rgb(0x808080));
        EXPECT_EQ(View->FrameCurrentProcessInfo->LabelSPID->text(), QStringLiteral("53"));
        EXPECT_EQ(View->GetSelectedSpid(), 53);
    }
    // A press on a title with either button sorts; the highlight keeps its row number.
    ClickCell(Right(), 2, 0, Qt::RightButton);
    EXPECT_EQ(TDBServerInfo::ProcessSortKey, skLoginName);
    EXPECT_EQ(Column(Right(), 2).front(), "Alpha");
    EXPECT_EQ(Highlighted(), 3);
    EXPECT_EQ(Right()->Row(), 3);
    EXPECT_EQ(View->GetSelectedSpid(), CellNumber(Right()->Cells(1, 3)));
}

TEST_F(AllProcesses, TheSelectionIsARowNumber) {
    ClickCell(Right(), 2, 3);
    ASSERT_EQ(View->FrameCurrentProcessInfo->CurrentSpid, 53);
    std::vector<PollRow> rows = Varied();
    PollRow earlier;
    earlier.SPID = 40;
    rows.insert(rows.begin(), earlier);
    Server.Poll(rows);
    View->RefreshView();
    EXPECT_EQ(Highlighted(), 3);
    EXPECT_EQ(View->FrameCurrentProcessInfo->CurrentSpid, 52) << "whichever session is on row 3";
    EXPECT_EQ(View->GetSelectedSpid(), 52);
}

TEST_F(AllProcesses, AHighlightedRowPastTheEndSelectsNoSession) {
    ClickCell(Right(), 2, 5);
    ASSERT_EQ(View->FrameCurrentProcessInfo->CurrentSpid, 55);
    Server.Poll(Sessions(51, 3));
    View->RefreshView();
    EXPECT_EQ(Highlighted(), 5);
    EXPECT_EQ(View->GetSelectedSpid(), -1);
    EXPECT_EQ(View->FrameCurrentProcessInfo->CurrentSpid, -1);
    EXPECT_TRUE(View->FrameCurrentProcessInfo->LabelSPID->text().isEmpty());
    Server.Poll(Sessions(51, 6));
    View->RefreshView();
    EXPECT_EQ(View->FrameCurrentProcessInfo->CurrentSpid, 55);
    EXPECT_EQ(View->GetSelectedSpid(), 55);
}

TEST_F(AllProcesses, AfterTheHighlightFellPastTheEndAClickOnTheLastRowSelectsIt) {
    ClickCell(Right(), 2, 5);
    Server.Poll(Sessions(51, 3));
    View->RefreshView();
    ASSERT_EQ(View->GetSelectedSpid(), -1);
    ClickCell(Right(), 2, 3);  // where the refill left the grid's current cell
    EXPECT_EQ(Highlighted(), 3);
    EXPECT_EQ(PixelIn(Right(), 2, 3, QPoint(-3, 2)), Rgb(0x808080));
    EXPECT_EQ(View->FrameCurrentProcessInfo->LabelSPID->text(), QStringLiteral("53"));
    EXPECT_EQ(View->GetSelectedSpid(), 53);
}

TEST_F(AllProcesses, ASelectionInTheFrozenGridIsWhatTheKillCommandsOffer) {
    View->FrameProcessGrids->Splitter1->setSizes({200, 2400});
    ClickCell(Left(), 1, 4);
    EXPECT_EQ(Right()->Row(), 1) << "the scrolling grid's own current row did not move";
    EXPECT_EQ(Highlighted(), 4);
    EXPECT_EQ(View->FrameCurrentProcessInfo->CurrentSpid, 54);
    EXPECT_EQ(View->GetSelectedSpid(), 54);
    ClickCell(Right(), 1, 2);
    EXPECT_EQ(View->GetSelectedSpid(), 52);
}

TEST_F(AllProcesses, NoSessionOffersMinusOne) {
    Server.Poll({});
    View->RefreshView();
    EXPECT_EQ(Right()->RowCount(), 1);
    EXPECT_EQ(View->GetSelectedSpid(), -1) << "the title row reads SPID, not a number";
    EXPECT_EQ(View->FrameProcessGrids->LabelCount->text(), QStringLiteral("0 All Processes"));
}

TEST_F(AllProcesses, WithoutAServerTheViewIsEmptyAndClicksDoNothing) {
    Bind(*View, nullptr);
    View->RefreshView();
    EXPECT_EQ(Right()->RowCount(), 1);
    EXPECT_EQ(Left()->RowCount(), 1);
    EXPECT_EQ(View->FrameProcessGrids->LabelCount->text(), QStringLiteral("0 All Processes"));
    EXPECT_EQ(View->FrameCurrentProcessInfo->CurrentSpid, -1);
    EXPECT_TRUE(View->FrameServerTitleBar1->ServerNameText().isEmpty());
    EXPECT_EQ(View->GetSelectedSpid(), -1);
    const TSortKey key = TDBServerInfo::ProcessSortKey;
    const bool ascending = TDBServerInfo::ProcessSortAscending;
    ClickCell(Right(), 2, 0);
    ClickCell(Right(), 5, 0);
    EXPECT_EQ(TDBServerInfo::ProcessSortKey, key);
    EXPECT_EQ(TDBServerInfo::ProcessSortAscending, ascending);
    View->RefreshView();
    EXPECT_EQ(Right()->RowCount(), 1);
}

// ---- Layout ------------------------------------------------------------------------------------

class AllProcessesLayout : public ::testing::Test {
protected:
    std::unique_ptr<TFrameAllProcesses> ShowView(int height = 600) {
        auto view = std::make_unique<TFrameAllProcesses>();
        view->resize(800, height);
        view->show();
        EXPECT_TRUE(PumpUntil([&] { return view->Layout->Applied(); }));
        return view;
    }
    static QWidget *Bottom(TFrameAllProcesses &v) {
        return v.findChild<QWidget *>(QStringLiteral("PanelProcessThreadsGrids"));
    }
    static QWidget *Top(TFrameAllProcesses &v) {
        return v.findChild<QWidget *>(QStringLiteral("PanelAllProcessesGrid"));
    }
    static QSplitter *Splitter(TFrameAllProcesses &v) {
        return v.findChild<QSplitter *>(QStringLiteral("Splitter1"));
    }
    void Store(const std::vector<std::pair<const char *, int>> &values) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        for (const auto &[name, value] : values) reg.WriteInteger(name, value);
    }

    TempSettingsFile Settings;
};

TEST_F(AllProcessesLayout, AFreshInstallationShowsTheDesignLayoutAndWritesNothing) {
    auto view = ShowView();
    EXPECT_EQ(Bottom(*view)->height(), 262);
    EXPECT_FALSE(view->Layout->UsedStored());
    TRegistry reg(KEY_READ);
    EXPECT_FALSE(reg.KeyExists(kKey)) << "reading never creates the key";
}

TEST_F(AllProcessesLayout, ADragWritesTheThreeValuesAndTheNextViewRestoresThem) {
    int dragged = 0;
    {
        auto view = ShowView();
        DragSplitter(Splitter(*view), 1, -60);
        dragged = Bottom(*view)->height();
        EXPECT_NEAR(dragged, 322, 1);
        TRegistry reg(KEY_READ);
        ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
        std::vector<std::string> names;
        reg.GetValueNames(names);
        EXPECT_EQ(names, (std::vector<std::string>{"TopSplitValue", "TopGrid", "BottomGrid"}));
        for (const std::string &name : names) EXPECT_EQ(reg.GetDataType(name), rdInteger);
        EXPECT_EQ(reg.ReadInteger("TopSplitValue"), Top(*view)->height());
        EXPECT_EQ(reg.ReadInteger("TopGrid"), Top(*view)->height());
        EXPECT_EQ(reg.ReadInteger("BottomGrid"), dragged);
        EXPECT_EQ(Top(*view)->height() + 3 + dragged, 600);
    }
    Settings.Reload();  // as at the next start
    auto again = ShowView();
    EXPECT_TRUE(again->Layout->UsedStored());
    EXPECT_EQ(Bottom(*again)->height(), dragged);
    auto larger = ShowView(900);  // a larger view: the detail pane keeps its height
    EXPECT_EQ(Bottom(*larger)->height(), dragged);
}

TEST_F(AllProcessesLayout, AnIncompleteMistypedOrOversizedLayoutKeepsTheDesign) {
    const struct {
        const char *what;
        std::vector<std::pair<const char *, int>> values;
        const char *asText;  // a value stored as REG_SZ instead
    } cases[] = {
        {"no TopSplitValue", {{"TopGrid", 200}, {"BottomGrid", 300}}, nullptr},
        {"no BottomGrid", {{"TopSplitValue", 200}, {"TopGrid", 200}}, nullptr},
        {"BottomGrid as text", {{"TopSplitValue", 200}, {"TopGrid", 200}}, "BottomGrid"},
        {"taller than the view",
         {{"TopSplitValue", 200}, {"TopGrid", 200}, {"BottomGrid", 700}},
         nullptr},
        {"no room left above",
         {{"TopSplitValue", 10}, {"TopGrid", 10}, {"BottomGrid", 580}},
         nullptr},
        {"a position past the view",
         {{"TopSplitValue", 900}, {"TopGrid", 200}, {"BottomGrid", 300}},
         nullptr},
        {"negative", {{"TopSplitValue", 200}, {"TopGrid", -5}, {"BottomGrid", 300}}, nullptr},
    };
    for (const auto &c : cases) {
        Settings.SetContents(QByteArray());
        Store(c.values);
        if (c.asText) {
            TRegistry reg;
            ASSERT_TRUE(reg.OpenKey(kKey, false));
            reg.WriteString(c.asText, "300");
        }
        auto view = ShowView();
        EXPECT_FALSE(view->Layout->UsedStored()) << c.what;
        EXPECT_EQ(Bottom(*view)->height(), 262) << c.what;
    }
}

// ---- Fed by a real worker ----------------------------------------------------------------------

// The view on a server polled by a real worker: one poll, the first, unless a test asks for more.
class AllProcessesLive : public ::testing::Test {
protected:
    void SetUp() override {
        TDBServerInfo::ProcessSortKey = skSPID;
        TDBServerInfo::ProcessSortAscending = true;
        SqlSimOptions o;
        o.Workload.ChurnPercent = 0;
        Sims = std::make_unique<SqlSimInstances>(1, o);
        ASSERT_TRUE(Sims->Started()) << Sims->Error();
        View.resize(1200, 700);
        View.show();
        Monitor.DuringUpdate = [this] { View.RefreshView(); };
        ASSERT_TRUE(Monitor.Connect(Sims->ServerName(0), 3600));
        Bind(View, Monitor.Model());
        ASSERT_TRUE(Monitor.WaitForPolls(1));
    }

    TempSettingsFile Settings;
    ModelStateGuard SortState;
    std::unique_ptr<SqlSimInstances> Sims;
    TFrameAllProcesses View;
    PolledServer Monitor;
};

TEST_F(AllProcessesLive, ListsEverySessionOfTheServerAfterEachPoll) {
    std::vector<std::string> spids;
    Sims->Server(0).Workload().Read(
        [&](const std::map<int, SimSession> &sessions, const SimCounters &) {
            for (const auto &entry : sessions) spids.push_back(std::to_string(entry.first));
        });
    EXPECT_EQ(Column(View.FrameProcessGrids->sgRight, 1), spids);
    EXPECT_EQ(View.FrameProcessGrids->LabelCount->text(),
              QString::number(spids.size()) + QStringLiteral(" All Processes"));
    EXPECT_EQ(View.FrameCurrentProcessInfo->CurrentSpid, std::stoi(spids.front()));
    EXPECT_EQ(View.FrameServerTitleBar1->ServerNameText(),
              QString::fromStdString(Sims->ServerName(0)));
    Monitor.Stop();
    Bind(View, nullptr);
    View.RefreshView();
    EXPECT_EQ(View.FrameProcessGrids->sgRight->RowCount(), 1);
}

TEST_F(AllProcessesLive, AClickOnTheCurrentCellKeepsTheOtherGridsSelection) {
    View.resize(2400, 700);
    TFrameTwinGrids *grids = View.FrameProcessGrids;
    ASSERT_GT(grids->sgRight->RowCount(), 6);
    grids->Splitter1->setSizes({300, 2100});
    const int second = CellNumber(grids->sgRight->Cells(1, 2));
    const int fourth = CellNumber(grids->sgRight->Cells(1, 4));

    ClickCell(grids->sgRight, 2, 2);
    ClickCell(grids->sgLeft, 2, 4);
    ASSERT_EQ(grids->SelectedRow, 4);
    ASSERT_EQ(View.FrameCurrentProcessInfo->CurrentSpid, fourth);
    SimRequestLog log(Sims->Server(0));
    ClickCell(grids->sgRight, 2, 2);  // the scrolling grid's current cell: nothing moves
    EXPECT_EQ(grids->SelectedRow, 4);
    EXPECT_EQ(PixelIn(grids->sgRight, 3, 4, QPoint(-3, 2)), Rgb(0x808080));
    EXPECT_NE(PixelIn(grids->sgRight, 3, 2, QPoint(-3, 2)), Rgb(0x808080));
    EXPECT_EQ(View.FrameCurrentProcessInfo->LabelSPID->text(), QString::number(fourth));
    EXPECT_EQ(View.GetSelectedSpid(), fourth);
    // The click refills the grid, so the shown session's input buffer is asked for again (its
    // tab shows); nothing is asked about the session of the clicked row.
    for (const SimRequestLog::Request &r : log.Take()) {
        EXPECT_EQ(r.Spid, fourth);
        EXPECT_NE(r.Spid, second);
        EXPECT_EQ(r.Query, SimRequestLog::InputBuffer);
    }
}

}  // namespace
