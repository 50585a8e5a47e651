// The databases view and the users view. What they share runs as typed tests over both views:
// the first refresh after binding, header clicks on each grid (a table of column -> key, the same
// title twice reverses), a click on a data cell, the highlighted session for the kill commands,
// the view without a server, and the six layout values in the settings store. Then each view's
// own edge cases: against sqlsim (a re-sort moving the selection with its group, the same login
// from two addresses, sessions that end while selected, the shared sessions order) and with fed
// models (another server bound, no session rows left).

#include "TFrameDBProcesses.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerTitleBar.h"
#include "TFrameTwinGrids.h"
#include "TFrameUserProcesses.h"
#include "TStoredSplitterLayout.h"

#include "KivraThreadSource.h"
#include "PolledServer.h"
#include "SqlSimInstances.h"
#include "TRegistry.h"
#include "TempSettingsFile.h"
#include "TestPump.h"
#include "ViewTestSupport.h"

#include <QLabel>
#include <QSplitter>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

// The sort state as the program starts with it.
void ResetSortState() {
    TDBServerInfo::FilteredProcessSortKey = TDBServerInfo::ProcessSortKey = skSPID;
    TDBServerInfo::UserSortKey = skLoginName;
    TDBServerInfo::DatabaseSortKey = skDatabase;
    TDBServerInfo::FilteredProcessSortAscending = TDBServerInfo::ProcessSortAscending =
        TDBServerInfo::UserSortAscending = TDBServerInfo::DatabaseSortAscending = true;
}

// What each view's tests need to know of it.
struct DatabasesView {
    using View = TFrameDBProcesses;
    static TFrameTwinGrids *Groups(View &v) { return v.FrameDBGrids; }
    static constexpr const char *kKey = "\\SOFTWARE\\Vornix\\Kivrawatch\\DBProcesses";
    static constexpr const char *kTopPanel = "PanelDBGrids";
    static constexpr int kDesignTop = 169;
    static constexpr const char *kTitle = " Databases";
    static constexpr const char *kSessionsTitle = " Database Processes";
    static std::vector<TSortKey> Keys() {
        return {skDatabase,   skDatabase, skProcesses, skProcessesDelta, skEarliestLogin,
                skLastBatch,  skCPU,      skCPUDelta,  skMemUsage,       skMemDelta,
                skPhysicalIO, skIODelta,  skLocked};
    }
    static std::vector<std::string> Titles() {
        return {"",          "Database",       "#Procs",
                "Prc Delta", "Earliest Login", "Latest Activity",
                "CPU Usage", "CPU Delta",      "Mem Usage",
                "Mem Delta", "Phys IO",        "IO Delta",
                "Locked"};
    }
    static std::vector<int> Widths() {
        return {16, 140, 45, 45, 115, 115, 85, 85, 85, 85, 85, 85, 40};
    }
    static std::set<int> RightAligned() { return {2, 3, 6, 7, 8, 9, 10, 11, 12}; }
    static TSortKey &SortKey() { return TDBServerInfo::DatabaseSortKey; }
    static bool &Ascending() { return TDBServerInfo::DatabaseSortAscending; }
    static std::string KeyOfRow(const TStringGrid *g, int row) { return g->Cells(1, row); }
    // Sessions of three databases, in name order "Alpha" (2), "Sales" (3), "master" (1).
    static std::vector<PollRow> Rows() {
        std::vector<PollRow> rows = Sessions(51, 6);
        const char *dbs[] = {"Sales", "Alpha", "Sales", "master", "Alpha", "Sales"};
        for (std::size_t i = 0; i < rows.size(); ++i) rows[i].DatabaseName = dbs[i];
        return rows;
    }
    static std::vector<std::string> FirstGroupSpids() { return {"52", "55"}; }
};

struct UsersView {
    using View = TFrameUserProcesses;
    static TFrameTwinGrids *Groups(View &v) { return v.FrameUserGrids; }
    static constexpr const char *kKey = "\\SOFTWARE\\Vornix\\Kivrawatch\\UserProcesses";
    static constexpr const char *kTopPanel = "PanelUserGrids";
    static constexpr int kDesignTop = 217;
    static constexpr const char *kTitle = " Users";
    static constexpr const char *kSessionsTitle = " User Processes";
    static std::vector<TSortKey> Keys() {
        return {skLoginName,     skLoginName,  skHostName, skProcesses, skProcessesDelta,
                skEarliestLogin, skLastBatch,  skCPU,      skCPUDelta,  skMemUsage,
                skMemDelta,      skPhysicalIO, skIODelta,  skLocked,    skNTLogin,
                skNetLibrary,    skNetAddress};
    }
    static std::vector<std::string> Titles() {
        return {"",
                "Logon Name",
                "Host",
                "#Procs",
                "Prc Delta",
                "Earliest Login",
                "Latest Activity",
                "CPU Usage",
                "CPU Delta",
                "Mem Usage",
                "Mem Delta",
                "Phys IO",
                "IO Delta",
                "Locked",
                "NT Login Name",
                "Net Library",
                "Net Address"};
    }
    static std::vector<int> Widths() {
        return {16, 140, 125, 45, 45, 115, 115, 85, 85, 85, 85, 85, 85, 40, 125, 80, 80};
    }
    static std::set<int> RightAligned() { return {3, 4, 7, 8, 9, 10, 11, 12, 13}; }
    static TSortKey &SortKey() { return TDBServerInfo::UserSortKey; }
    static bool &Ascending() { return TDBServerInfo::UserSortAscending; }
    static std::string KeyOfRow(const TStringGrid *g, int row) {
        return g->Cells(1, row) + "@" + g->Cells(16, row);
    }
    // Sessions of three users, in login order "Alpha" (2), "Sales" (3), "master" (1).
    static std::vector<PollRow> Rows() {
        std::vector<PollRow> rows = Sessions(51, 6);
        const char *logins[] = {"Sales", "Alpha", "Sales", "master", "Alpha", "Sales"};
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i].LoginName = logins[i];
            rows[i].HostName = "HOST";
        }
        return rows;
    }
    static std::vector<std::string> FirstGroupSpids() { return {"52", "55"}; }
};

template <typename Kind> class GroupViews : public ::testing::Test {
protected:
    using View = typename Kind::View;

    void SetUp() override {
        ResetSortState();
        Frame = std::make_unique<View>();
        Frame->resize(2700, 900);  // every column of every grid in view
        Frame->show();
        ASSERT_TRUE(PumpUntil([&] { return Frame->Layout->Applied(); }));
        Server.Poll(Kind::Rows());
        Bind(*Frame, Server.Model());
        Frame->RefreshView();
    }

    TFrameTwinGrids *Groups() { return Kind::Groups(*Frame); }
    TFrameTwinGrids *SessionGrids() { return Frame->FrameProcessGrids; }

    TempSettingsFile Settings;
    ModelStateGuard SortState;
    FedServer Server;
    std::unique_ptr<View> Frame;
};

using Kinds = ::testing::Types<DatabasesView, UsersView>;
TYPED_TEST_SUITE(GroupViews, Kinds);

TYPED_TEST(GroupViews, TheGridLayouts) {
    TStringGrid *groups = this->Groups()->sgRight;
    const auto titles = TypeParam::Titles();
    const auto widths = TypeParam::Widths();
    const auto right = TypeParam::RightAligned();
    ASSERT_EQ(groups->ColCount(), static_cast<int>(titles.size()));
    EXPECT_EQ(this->Groups()->sgLeft->ColCount(), groups->ColCount());
    for (int col = 0; col < groups->ColCount(); ++col) {
        EXPECT_EQ(groups->Cells(col, 0), titles[static_cast<std::size_t>(col)]);
        EXPECT_EQ(groups->ColWidths(col), widths[static_cast<std::size_t>(col)]) << col;
        EXPECT_EQ(this->Groups()->RightAligned[col], right.count(col) ? 1 : 0) << col;
    }
    EXPECT_EQ(this->Groups()->IconColumn, 0);
    EXPECT_EQ(this->Groups()->Label1->text(), QString::fromLatin1(TypeParam::kTitle));
    EXPECT_EQ(this->SessionGrids()->Label1->text(), QString::fromLatin1(TypeParam::kSessionsTitle));
    EXPECT_EQ(this->SessionGrids()->sgRight->ColCount(), 25);
    EXPECT_EQ(this->SessionGrids()->sgRight->Cells(12, 0), "CPU Usage");
    EXPECT_EQ(this->SessionGrids()->RightAligned[13], 1);
    EXPECT_EQ(this->SessionGrids()->IconColumn, 0);
    EXPECT_EQ(this->Frame->FrameServerTitleBar1->ServerNameText(), QStringLiteral("FED\\ONE"));
}

TYPED_TEST(GroupViews, TheFirstRefreshSelectsTheFirstGroupAndListsItsSessions) {
    EXPECT_EQ(this->Groups()->SelectedRow, 1);
    EXPECT_EQ(this->Groups()->LabelCount->text(), QStringLiteral("3") + TypeParam::kTitle);
    EXPECT_EQ(Column(this->Groups()->sgRight, 1),
              (std::vector<std::string>{"Alpha", "Sales", "master"}));
    EXPECT_EQ(Column(this->SessionGrids()->sgRight, 1), TypeParam::FirstGroupSpids());
    EXPECT_EQ(this->SessionGrids()->SelectedRow, 1);
    EXPECT_EQ(this->Frame->FrameCurrentProcessInfo->CurrentSpid, 52);
    EXPECT_EQ(this->Frame->GetSelectedSpid(), 52);
}

TYPED_TEST(GroupViews, EveryTitleOfTheGroupGridSortsByItsKeyTwiceReverses) {
    const auto keys = TypeParam::Keys();
    for (int col = 0; col < static_cast<int>(keys.size()); ++col) {
        const TSortKey want = keys[static_cast<std::size_t>(col)];
        TypeParam::SortKey() = want == skCPU ? skMemUsage : skCPU;
        ClickCell(this->Groups()->sgRight, col, 0);
        EXPECT_EQ(TypeParam::SortKey(), want) << col;
        EXPECT_EQ(TypeParam::Ascending(), DefaultAscending(want)) << col;
        ClickCell(this->Groups()->sgRight, col, 0);
        EXPECT_EQ(TypeParam::Ascending(), !DefaultAscending(want)) << col;
    }
    EXPECT_EQ(TDBServerInfo::FilteredProcessSortKey, skSPID) << "the sessions order is its own";
}

TYPED_TEST(GroupViews, EveryTitleOfTheSessionsGridSortsTheSharedSessionsOrder) {
    for (int col = 0; col < 25; ++col) {
        TDBServerInfo::FilteredProcessSortKey = kSessionColumnKeys[col] == skCPU ? skMemUsage
                                                                                 : skCPU;
        ClickCell(this->SessionGrids()->sgRight, col, 0);
        EXPECT_EQ(TDBServerInfo::FilteredProcessSortKey, kSessionColumnKeys[col]) << col;
        EXPECT_EQ(TDBServerInfo::FilteredProcessSortAscending,
                  DefaultAscending(kSessionColumnKeys[col]));
        ClickCell(this->SessionGrids()->sgRight, col, 0);
        EXPECT_EQ(TDBServerInfo::FilteredProcessSortAscending,
                  !DefaultAscending(kSessionColumnKeys[col]));
    }
    EXPECT_EQ(TDBServerInfo::ProcessSortKey, skSPID) << "the all-sessions order is apart";
}

TYPED_TEST(GroupViews, TheFirstClickOnTheDefaultTitleReverses) {
    ClickCell(this->Groups()->sgRight, 1, 0);  // the grid starts in that order
    EXPECT_FALSE(TypeParam::Ascending());
    EXPECT_EQ(Column(this->Groups()->sgRight, 1),
              (std::vector<std::string>{"master", "Sales", "Alpha"}));
    EXPECT_EQ(this->Groups()->SelectedRow, 3) << "the selection moved with its group";
    EXPECT_EQ(Column(this->SessionGrids()->sgRight, 1), TypeParam::FirstGroupSpids());
}

TYPED_TEST(GroupViews, AClickOnAGroupListsItsSessions) {
    ClickCell(this->Groups()->sgRight, 2, 2);
    EXPECT_EQ(this->Groups()->SelectedRow, 2);
    EXPECT_EQ(Column(this->SessionGrids()->sgRight, 1),
              (std::vector<std::string>{"51", "53", "56"}));
    EXPECT_EQ(this->Frame->FrameCurrentProcessInfo->CurrentSpid, 51);
    EXPECT_EQ(this->SessionGrids()->LabelCount->text(),
              QStringLiteral("3") + TypeParam::kSessionsTitle);
}

TYPED_TEST(GroupViews, AClickOnASessionCellSelectsItAndRefillsTheSessions) {
    ClickCell(this->Groups()->sgRight, 2, 2);
    TStringGrid *sessions = this->SessionGrids()->sgRight;
    sessions->SetCells(2, 1, "marker");
    ClickCell(sessions, 3, 3);
    EXPECT_NE(sessions->Cells(2, 1), "marker");
    EXPECT_EQ(this->SessionGrids()->SelectedRow, 3);
    EXPECT_EQ(this->Frame->FrameCurrentProcessInfo->CurrentSpid, 56);
    EXPECT_EQ(this->Frame->GetSelectedSpid(), 56);
    // A click in the empty area below the last row refills too.
    sessions->SetCells(2, 1, "marker");
    const QRect last = CellRect(sessions, 2, 3);
    ClickAt(sessions, QPoint(last.center().x(), last.bottom() + 30));
    EXPECT_NE(sessions->Cells(2, 1), "marker");
}

TYPED_TEST(GroupViews, OnlyALeftClickMovesTheHighlightedGroupOrSession) {
    TFrameTwinGrids *groups = this->Groups(), *sessions = this->SessionGrids();
    const QColor grey = Rgb(0x808080);
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(int(button));
        ClickCell(groups->sgRight, 1, 3, button);
        ClickCell(sessions->sgRight, 3, 2, button);
        EXPECT_EQ(groups->SelectedRow, 1);
        EXPECT_EQ(PixelIn(groups->sgRight, 1, 1, QPoint(-3, 2)), grey);
        EXPECT_EQ(Column(sessions->sgRight, 1), TypeParam::FirstGroupSpids());
        EXPECT_EQ(sessions->SelectedRow, 1);
        EXPECT_EQ(PixelIn(sessions->sgRight, 3, 1, QPoint(-3, 2)), grey);
        EXPECT_NE(PixelIn(sessions->sgRight, 3, 2, QPoint(-3, 2)), grey);
        EXPECT_EQ(this->Frame->FrameCurrentProcessInfo->LabelSPID->text(), QStringLiteral("52"));
        EXPECT_EQ(this->Frame->GetSelectedSpid(), 52) << "what the kill commands end";
        // In the empty area below the sessions any button refills them; the highlight stays.
        sessions->sgRight->SetCells(2, 1, "marker");
        const QRect last = CellRect(sessions->sgRight, 2, sessions->sgRight->RowCount() - 1);
        ClickAt(sessions->sgRight, QPoint(last.center().x(), last.bottom() + 30), button);
        EXPECT_NE(sessions->sgRight->Cells(2, 1), "marker");
        EXPECT_EQ(sessions->SelectedRow, 1);
    }
    ClickCell(sessions->sgRight, 3, 2);
    EXPECT_EQ(sessions->SelectedRow, 2);
    EXPECT_EQ(this->Frame->FrameCurrentProcessInfo->LabelSPID->text(), QStringLiteral("55"));
    EXPECT_EQ(this->Frame->GetSelectedSpid(), 55);
    ClickCell(groups->sgRight, 1, 3);
    EXPECT_EQ(groups->SelectedRow, 3);
    EXPECT_EQ(Column(sessions->sgRight, 1), std::vector<std::string>{"54"});
}

TYPED_TEST(GroupViews, ASelectionInTheFrozenSessionsGridIsWhatTheKillCommandsOffer) {
    ClickCell(this->Groups()->sgRight, 2, 2);
    this->SessionGrids()->Splitter1->setSizes({300, 2000});
    ClickCell(this->SessionGrids()->sgLeft, 1, 2);
    EXPECT_EQ(this->Frame->GetSelectedSpid(), 53);
    EXPECT_EQ(this->Frame->FrameCurrentProcessInfo->CurrentSpid, 53);
}

TYPED_TEST(GroupViews, TheSelectedSpidBeforeAnyFillAndWithoutAServer) {
    auto fresh = std::make_unique<typename TypeParam::View>();
    EXPECT_EQ(fresh->GetSelectedSpid(), -1) << "unbound";
    FedServer empty;
    empty.Poll({});
    Bind(*fresh, empty.Model());
    EXPECT_EQ(fresh->GetSelectedSpid(), -1) << "before the first fill: the title row";
    fresh->RefreshView();
    EXPECT_EQ(fresh->GetSelectedSpid(), -1) << "no session row";

    Bind(*this->Frame, nullptr);
    this->Frame->RefreshView();
    EXPECT_EQ(this->Groups()->sgRight->RowCount(), 1);
    EXPECT_EQ(this->SessionGrids()->sgRight->RowCount(), 1);
    EXPECT_EQ(this->Groups()->LabelCount->text(), QStringLiteral("0") + TypeParam::kTitle);
    EXPECT_EQ(this->Frame->FrameCurrentProcessInfo->CurrentSpid, -1);
    EXPECT_TRUE(this->Frame->FrameServerTitleBar1->ServerNameText().isEmpty());
    EXPECT_EQ(this->Frame->GetSelectedSpid(), -1);
    ClickCell(this->Groups()->sgRight, 1, 0);
    ClickCell(this->SessionGrids()->sgRight, 1, 0);
    EXPECT_TRUE(TypeParam::Ascending());
    EXPECT_TRUE(TDBServerInfo::FilteredProcessSortAscending);
}

// ---- Layout ------------------------------------------------------------------------------------

const char *kLayoutNames[] = {"TopSplitValue", "BottomSplitValue", "TopGrid",
                              "MiddleGrid",    "MiddleGridTop",    "BottomGrid"};

template <typename Kind> class GroupViewLayout : public ::testing::Test {
protected:
    std::unique_ptr<typename Kind::View> ShowView(int height = 700) {
        auto view = std::make_unique<typename Kind::View>();
        view->resize(800, height);
        view->show();
        EXPECT_TRUE(PumpUntil([&] { return view->Layout->Applied(); }));
        return view;
    }
    static QWidget *Panel(QWidget &view, const char *name) {
        return view.findChild<QWidget *>(QString::fromLatin1(name));
    }
    static std::vector<int> Heights(QWidget &view) {
        return {Panel(view, Kind::kTopPanel)->height(), Panel(view, "PanelProcessGrids")->height(),
                Panel(view, "PanelThreadsGrids")->height()};
    }
    void Store(const std::vector<int> &values, int skip = -1, int asText = -1) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(Kind::kKey, true));
        for (int i = 0; i < 6; ++i) {
            if (i == skip) continue;
            if (i == asText)
                reg.WriteString(kLayoutNames[i],
                                std::to_string(values[static_cast<std::size_t>(i)]));
            else
                reg.WriteInteger(kLayoutNames[i], values[static_cast<std::size_t>(i)]);
        }
    }

    TempSettingsFile Settings;
};
TYPED_TEST_SUITE(GroupViewLayout, Kinds);

TYPED_TEST(GroupViewLayout, TheDesignLayoutWithoutAStoredOne) {
    auto view = this->ShowView();
    const std::vector<int> h = this->Heights(*view);
    EXPECT_EQ(h[0], TypeParam::kDesignTop);
    EXPECT_EQ(h[2], 264);
    EXPECT_EQ(h[0] + h[1] + h[2] + 6, 700);
    TRegistry reg(KEY_READ);
    EXPECT_FALSE(reg.KeyExists(TypeParam::kKey));
}

TYPED_TEST(GroupViewLayout, DraggingEitherSplitterWritesAllSixValuesAndANewViewRestoresThem) {
    std::vector<int> dragged;
    {
        auto view = this->ShowView();
        QSplitter *splitter = view->template findChild<QSplitter *>(QStringLiteral("Splitters"));
        for (int handle : {1, 2}) {
            this->Settings.SetContents(QByteArray());
            DragSplitter(splitter, handle, handle == 1 ? 40 : -30);
            TRegistry reg(KEY_READ);
            ASSERT_TRUE(reg.OpenKeyReadOnly(TypeParam::kKey)) << handle;
            std::vector<std::string> names;
            reg.GetValueNames(names);
            EXPECT_EQ(names,
                      std::vector<std::string>(std::begin(kLayoutNames), std::end(kLayoutNames)));
            const std::vector<int> h = this->Heights(*view);
            QWidget *middle = this->Panel(*view, "PanelProcessGrids");
            const int expected[6] = {h[0], middle->geometry().bottom() + 1, h[0], h[1], middle->y(),
                                     h[2]};
            for (int i = 0; i < 6; ++i) {
                EXPECT_EQ(reg.GetDataType(kLayoutNames[i]), rdInteger);
                EXPECT_EQ(reg.ReadInteger(kLayoutNames[i]), expected[i]) << kLayoutNames[i];
            }
        }
        dragged = this->Heights(*view);
        EXPECT_NEAR(dragged[0], TypeParam::kDesignTop + 40, 1);
        EXPECT_NEAR(dragged[2], 264 + 30, 1);
    }
    this->Settings.Reload();
    auto again = this->ShowView();
    EXPECT_TRUE(again->Layout->UsedStored());
    EXPECT_EQ(this->Heights(*again), dragged);
}

TYPED_TEST(GroupViewLayout, AnIncompleteMistypedOrOversizedSetKeepsTheDesignLayout) {
    const std::vector<int> good = {200, 403, 200, 200, 203, 294};
    const struct {
        const char *what;
        std::vector<int> values;
        int skip, asText;
    } cases[] = {
        {"complete", good, -1, -1},
        {"no TopSplitValue", good, 0, -1},
        {"no MiddleGridTop", good, 4, -1},
        {"BottomGrid as text", good, -1, 5},
        {"a panel taller than the view", {200, 403, 200, 900, 203, 294}, -1, -1},
        {"the outer panels leave no room", {300, 303, 300, 40, 303, 370}, -1, -1},
        {"a position past the view", {200, 1403, 200, 200, 203, 294}, -1, -1},
    };
    for (const auto &c : cases) {
        this->Settings.SetContents(QByteArray());
        this->Store(c.values, c.skip, c.asText);
        auto view = this->ShowView();
        const std::vector<int> h = this->Heights(*view);
        if (std::string(c.what) == "complete") {
            EXPECT_TRUE(view->Layout->UsedStored());
            EXPECT_EQ(h[0], 200);
            EXPECT_EQ(h[2], 294);
        } else {
            EXPECT_FALSE(view->Layout->UsedStored()) << c.what;
            EXPECT_EQ(h[0], TypeParam::kDesignTop) << c.what;
            EXPECT_EQ(h[2], 264) << c.what;
        }
    }
}

// ---- Against sqlsim ----------------------------------------------------------------------------

// Both views on one server fed by a real worker; a poll only when the test asks for one.
class GroupViewsLive : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSortState();
        SqlSimOptions o;
        o.Workload.Seed = 5;
        o.Workload.UserSessions = Target;
        o.Workload.ChurnPercent = 0;
        o.Workload.BlockingChains = 0;
        Sims = std::make_unique<SqlSimInstances>(1, o);
        ASSERT_TRUE(Sims->Started()) << Sims->Error();
        for (QWidget *w : {static_cast<QWidget *>(&Db), static_cast<QWidget *>(&Users)}) {
            w->resize(2700, 900);
            w->show();
        }
        Monitor.DuringUpdate = [this] {
            Users.RefreshView();
            Db.RefreshView();
        };
        ASSERT_TRUE(Monitor.Connect(Sims->ServerName(0), 3600));
        Bind(Users, Monitor.Model());
        Bind(Db, Monitor.Model());
        Users.RefreshView();
        Db.RefreshView();
        ASSERT_TRUE(Monitor.WaitForPolls(1));
    }

    // One poll that the test asked for. The startup interval may have let another poll start
    // before the test changed the server: while an ended session still shows, that one arrived
    // and the asked-for poll is still to come.
    void Poll() {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const int polls = Monitor.Polls();
            Monitor.Thread()->PollTimerTimer();
            ASSERT_TRUE(PumpUntil([&] { return Monitor.Polls() > polls; }));
            if (std::none_of(Ended.begin(), Ended.end(), [&](int spid) { return Known(spid); }))
                return;
        }
        FAIL() << "an ended session still shows after five polls";
    }
    bool Known(int spid) const {
        std::string t;
        int n;
        TDateTime d;
        return Monitor.Model()->GetProcessDetails(spid, t, t, t, t, t, t, t, n, n, n, n, n, n, n, n,
                                                  d, d);
    }
    // Ends a simulated session for good (no new one takes its place, not even from a workload
    // step between the kill and the lowered count).
    void End(int spid) {
        ASSERT_TRUE(Sims->Server(0).EndSession(spid)) << spid;
        --Target;
        Ended.push_back(spid);
    }
    // The first group row (of either grid) with at least n sessions; with endable, only one whose
    // sessions are all simulated user sessions (no system session, no client of sqlsim).
    int RowWithSessions(TStringGrid *groups, int countColumn, int n, bool endable = false) {
        for (int row = 1; row < groups->RowCount(); ++row) {
            if (CellNumber(groups->Cells(countColumn, row)) < n) continue;
            if (!endable) return row;
            ClickCell(groups, 1, row);
            TFrameTwinGrids *sessions =
                groups == Db.FrameDBGrids->sgRight ? Db.FrameProcessGrids : Users.FrameProcessGrids;
            bool all = true;
            for (int spid : Spids(sessions->sgRight)) {
                SimSession s;
                all = all && Sims->Server(0).Workload().Find(spid, s) && !s.System && !s.Client;
            }
            if (all) return row;
        }
        return -1;
    }
    static std::vector<int> Spids(const TStringGrid *sessions) {
        std::vector<int> out;
        for (const std::string &s : Column(sessions, 1)) out.push_back(CellNumber(s));
        return out;
    }

    int Target = 60;
    std::vector<int> Ended;  // sessions the test ended; no later poll shows them
    TempSettingsFile Settings;
    ModelStateGuard SortState;
    std::unique_ptr<SqlSimInstances> Sims;
    PolledServer Monitor;
    TFrameDBProcesses Db;
    TFrameUserProcesses Users;
};

TEST_F(GroupViewsLive, TheFirstRefreshListsTheSessionsOfTheFirstDatabaseAndUser) {
    const TStringGrid *dbs = Db.FrameDBGrids->sgRight;
    ASSERT_GT(dbs->RowCount(), 3) << "several databases";
    std::vector<std::string> names = Column(dbs, 1);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << "database name, byte order";
    const std::vector<std::string> sessionDbs = Column(Db.FrameProcessGrids->sgRight, 4);
    EXPECT_EQ(static_cast<int>(sessionDbs.size()), CellNumber(dbs->Cells(2, 1)));
    for (const std::string &db : sessionDbs) EXPECT_EQ(db, names.front());

    const TStringGrid *users = Users.FrameUserGrids->sgRight;
    ASSERT_GT(users->RowCount(), 3);
    const std::vector<std::string> logins = Column(users, 1);
    EXPECT_TRUE(std::is_sorted(logins.begin(), logins.end()));
    const TStringGrid *userSessions = Users.FrameProcessGrids->sgRight;
    EXPECT_EQ(userSessions->RowCount() - 1, CellNumber(users->Cells(3, 1)));
    for (int row = 1; row < userSessions->RowCount(); ++row) {
        EXPECT_EQ(userSessions->Cells(2, row), users->Cells(1, 1));
        EXPECT_EQ(userSessions->Cells(24, row), users->Cells(16, 1));
    }
    // The refresh right after binding found no poll yet (empty grids); the first poll's refresh
    // still selects the first session of each view and shows it.
    for (TFrameGroupProcesses *view :
         {static_cast<TFrameGroupProcesses *>(&Db), static_cast<TFrameGroupProcesses *>(&Users)}) {
        EXPECT_EQ(view->FrameProcessGrids->SelectedRow, 1);
        EXPECT_EQ(view->FrameCurrentProcessInfo->CurrentSpid,
                  CellNumber(view->FrameProcessGrids->sgRight->Cells(1, 1)));
        EXPECT_EQ(view->GetSelectedSpid(), view->FrameCurrentProcessInfo->CurrentSpid);
    }
}

TEST_F(GroupViewsLive, AReSortMovesTheSelectionWithItsDatabase) {
    TStringGrid *dbs = Db.FrameDBGrids->sgRight;
    ClickCell(dbs, 1, 3);
    const std::string name = dbs->Cells(1, 3);
    const std::vector<int> sessions = Spids(Db.FrameProcessGrids->sgRight);
    ClickCell(dbs, 2, 0);  // "#Procs": most sessions first
    ASSERT_EQ(TDBServerInfo::DatabaseSortKey, skProcesses);
    const int row = Db.FrameDBGrids->SelectedRow;
    EXPECT_EQ(dbs->Cells(1, row), name);
    EXPECT_EQ(Spids(Db.FrameProcessGrids->sgRight), sessions);
    Poll();
    EXPECT_EQ(dbs->Cells(1, Db.FrameDBGrids->SelectedRow), name) << "and across polls";
}

TEST_F(GroupViewsLive, TheSameLoginFromTwoAddressesIsTwoUsersAndTheSelectedOneStays) {
    const TStringGrid *users = Users.FrameUserGrids->sgRight;
    std::map<std::string, std::vector<int>> rowsOfLogin;
    for (int row = 1; row < users->RowCount(); ++row)
        rowsOfLogin[users->Cells(1, row)].push_back(row);
    int second = -1;
    for (const auto &[login, rows] : rowsOfLogin)
        if (rows.size() >= 2) second = rows[1];
    ASSERT_GT(second, 0) << "a login from two addresses";
    ClickCell(Users.FrameUserGrids->sgRight, 2, second);
    const std::string login = users->Cells(1, second), address = users->Cells(16, second);
    for (int row = 1; row < Users.FrameProcessGrids->sgRight->RowCount(); ++row)
        EXPECT_EQ(Users.FrameProcessGrids->sgRight->Cells(24, row), address);
    for (int column : {16, 2, 16}) {  // "Net Address", "Host", then "Net Address" reversed
        ClickCell(Users.FrameUserGrids->sgRight, column, 0);
        Poll();
        const int row = Users.FrameUserGrids->SelectedRow;
        EXPECT_EQ(users->Cells(1, row), login);
        EXPECT_EQ(users->Cells(16, row), address);
    }
}

TEST_F(GroupViewsLive, DatabaseSessionsFromRowTwoAreFollowedBySpidRowOneByNumber) {
    TStringGrid *dbs = Db.FrameDBGrids->sgRight;
    const int row = RowWithSessions(dbs, 2, 3);
    ASSERT_GT(row, 0);
    ClickCell(dbs, 1, row);
    TStringGrid *sessions = Db.FrameProcessGrids->sgRight;
    ClickCell(sessions, 2, 2);
    const int followed = CellNumber(sessions->Cells(1, 2));
    ClickCell(sessions, 1, 0);  // SPID again: descending
    EXPECT_EQ(CellNumber(sessions->Cells(1, Db.FrameProcessGrids->SelectedRow)), followed);
    EXPECT_NE(Db.FrameProcessGrids->SelectedRow, 2);
    EXPECT_EQ(Db.FrameCurrentProcessInfo->CurrentSpid, followed);

    ClickCell(sessions, 2, 1);
    const int first = CellNumber(sessions->Cells(1, 1));
    ClickCell(sessions, 1, 0);  // ascending again: row 1 stays, another session stands there
    EXPECT_EQ(Db.FrameProcessGrids->SelectedRow, 1);
    EXPECT_NE(CellNumber(sessions->Cells(1, 1)), first);
    EXPECT_EQ(Db.GetSelectedSpid(), CellNumber(sessions->Cells(1, 1)));
}

TEST_F(GroupViewsLive, ASelectedDatabaseSessionThatEndsKeepsOrClampsTheRow) {
    TStringGrid *dbs = Db.FrameDBGrids->sgRight;
    const int row = RowWithSessions(dbs, 2, 4, true);
    ASSERT_GT(row, 0);
    ClickCell(dbs, 1, row);
    const std::string name = dbs->Cells(1, row);
    TStringGrid *sessions = Db.FrameProcessGrids->sgRight;
    // The middle row's session ends: the selection stays on that row, now the next session.
    ClickCell(sessions, 2, 2);
    const std::vector<int> before = Spids(sessions);
    End(before[1]);
    Poll();
    ASSERT_EQ(dbs->Cells(1, Db.FrameDBGrids->SelectedRow), name);
    EXPECT_EQ(Db.FrameProcessGrids->SelectedRow, 2);
    EXPECT_EQ(CellNumber(sessions->Cells(1, 2)), before[2]);
    EXPECT_EQ(Db.FrameCurrentProcessInfo->CurrentSpid, before[2]);
    // The last row's session ends: the selection moves to the new last row.
    const int last = sessions->RowCount() - 1;
    ClickCell(sessions, 2, last);
    End(CellNumber(sessions->Cells(1, last)));
    Poll();
    EXPECT_EQ(Db.FrameProcessGrids->SelectedRow, last - 1);
    EXPECT_EQ(Db.GetSelectedSpid(), CellNumber(sessions->Cells(1, last - 1)));
}

TEST_F(GroupViewsLive, UserSessionsStayOnTheirRowNumber) {
    TStringGrid *users = Users.FrameUserGrids->sgRight;
    const int row = RowWithSessions(users, 3, 4, true);
    ASSERT_GT(row, 0);
    ClickCell(users, 1, row);
    TStringGrid *sessions = Users.FrameProcessGrids->sgRight;
    ClickCell(sessions, 2, 3);
    const std::vector<int> before = Spids(sessions);
    End(before[0]);  // an earlier session of the user ends
    Poll();
    EXPECT_EQ(Users.FrameProcessGrids->SelectedRow, 3);
    EXPECT_EQ(CellNumber(sessions->Cells(1, 3)), before[3]);
    EXPECT_EQ(Users.FrameCurrentProcessInfo->CurrentSpid, before[3])
        << "the pane shows the next session";
    EXPECT_EQ(Users.GetSelectedSpid(), before[3]);
}

TEST_F(GroupViewsLive, TheDatabasesAndUsersSessionsGridsShareOneOrder) {
    TStringGrid *dbSessions = Db.FrameProcessGrids->sgRight;
    TStringGrid *userSessions = Users.FrameProcessGrids->sgRight;
    ClickCell(Users.FrameUserGrids->sgRight, 1,
              RowWithSessions(Users.FrameUserGrids->sgRight, 3, 3));
    ClickCell(userSessions, 1, 0);  // SPID descending, in the users view
    EXPECT_FALSE(TDBServerInfo::FilteredProcessSortAscending);
    const std::vector<int> dbBefore = Spids(dbSessions);
    EXPECT_TRUE(std::is_sorted(dbBefore.begin(), dbBefore.end())) << "not refilled yet";
    Poll();
    const std::vector<int> users = Spids(userSessions), dbs = Spids(dbSessions);
    EXPECT_TRUE(std::is_sorted(users.rbegin(), users.rend()));
    EXPECT_TRUE(std::is_sorted(dbs.rbegin(), dbs.rend()))
        << "the databases view follows at its refresh";
}

// ---- With fed models ---------------------------------------------------------------------------

TEST(GroupViewsFed, BindingAnotherServerKeepsTheDatabaseByNameOrTheRowNumber) {
    TempSettingsFile settings;
    ModelStateGuard sortState;
    ResetSortState();
    auto rows = [](std::vector<const char *> dbs) {
        std::vector<PollRow> out = Sessions(51, static_cast<int>(dbs.size()));
        for (std::size_t i = 0; i < dbs.size(); ++i) out[i].DatabaseName = dbs[i];
        return out;
    };
    FedServer a("A"), b("B"), c("C");
    a.Poll(rows({"alpha", "beta", "gamma"}));
    b.Poll(rows({"beta", "delta"}));
    c.Poll(rows({"eta", "omega", "zeta"}));
    TFrameDBProcesses view;
    view.resize(1400, 800);
    view.show();
    Bind(view, a.Model());
    view.RefreshView();
    ClickCell(view.FrameDBGrids->sgRight, 1, 2);
    ASSERT_EQ(view.FrameDBGrids->sgRight->Cells(1, 2), "beta");

    Bind(view, b.Model());
    view.RefreshView();
    EXPECT_EQ(view.FrameDBGrids->SelectedRow, 1) << "beta is row 1 of the other server";
    EXPECT_EQ(Column(view.FrameProcessGrids->sgRight, 4), (std::vector<std::string>{"beta"}));
    EXPECT_EQ(view.FrameServerTitleBar1->ServerNameText(), QStringLiteral("B"));

    ClickCell(view.FrameDBGrids->sgRight, 1, 2);  // delta
    Bind(view, c.Model());
    view.RefreshView();
    EXPECT_EQ(view.FrameDBGrids->SelectedRow, 2) << "no delta there: the row number stays";
    EXPECT_EQ(Column(view.FrameProcessGrids->sgRight, 4), (std::vector<std::string>{"omega"}));
    EXPECT_EQ(view.FrameCurrentProcessInfo->CurrentSpid, 52) << "shown anew after the binding";
}

TEST(GroupViewsFed, NoSessionRowLeftSelectsRowZeroAndThePaneKeepsItsSession) {
    TempSettingsFile settings;
    ModelStateGuard sortState;
    ResetSortState();
    FedServer server;
    std::vector<PollRow> rows = DatabasesView::Rows();  // Alpha, Sales, master
    server.Poll(rows);
    TFrameDBProcesses view;
    view.resize(1400, 800);
    view.show();
    Bind(view, server.Model());
    view.RefreshView();
    ClickCell(view.FrameDBGrids->sgRight, 1, 3);  // master: session 54
    ASSERT_EQ(view.FrameCurrentProcessInfo->CurrentSpid, 54);
    rows.erase(rows.begin() + 3);  // master's only session ends, and master with it
    server.Poll(rows);
    view.RefreshView();
    EXPECT_EQ(view.FrameDBGrids->SelectedRow, 3) << "past the last database";
    EXPECT_EQ(view.FrameProcessGrids->sgRight->RowCount(), 1);
    EXPECT_EQ(view.FrameProcessGrids->SelectedRow, 0);
    EXPECT_EQ(view.FrameCurrentProcessInfo->CurrentSpid, 54) << "the pane keeps what it showed";
    EXPECT_EQ(view.GetSelectedSpid(), -1);
    // Sessions come back: the first one is selected again, not row 0 for good.
    server.Poll(DatabasesView::Rows());
    view.RefreshView();
    EXPECT_EQ(view.FrameProcessGrids->SelectedRow, 1);
    EXPECT_EQ(view.GetSelectedSpid(), 54);
    EXPECT_EQ(PixelIn(view.FrameProcessGrids->sgRight, 3, 1, QPoint(-3, 2)), Rgb(0x808080));
}

TEST(GroupViewsFed, AUserPastTheLastRowListsNoSessionsAndThePaneKeepsItsSession) {
    TempSettingsFile settings;
    ModelStateGuard sortState;
    ResetSortState();
    FedServer server;
    std::vector<PollRow> rows = UsersView::Rows();  // Alpha, Sales, master
    server.Poll(rows);
    TFrameUserProcesses view;
    view.resize(2000, 800);
    view.show();
    Bind(view, server.Model());
    view.RefreshView();
    ClickCell(view.FrameUserGrids->sgRight, 1, 2);  // Sales: 51, 53, 56
    ClickCell(view.FrameProcessGrids->sgRight, 1, 3);
    ASSERT_EQ(view.FrameCurrentProcessInfo->CurrentSpid, 56);
    rows.erase(rows.begin() + 5);
    server.Poll(rows);
    view.RefreshView();
    EXPECT_EQ(view.FrameProcessGrids->SelectedRow, 3) << "the row number stays, past the end";
    EXPECT_EQ(view.FrameCurrentProcessInfo->CurrentSpid, 56) << "no session is shown anew";
    EXPECT_EQ(view.GetSelectedSpid(), -1);
}

}  // namespace
