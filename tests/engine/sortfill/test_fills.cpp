// Grid fills: columns and cell formats, state letters, filters, row counts, and how a fill
// reaches a view (one signal) without allocating per cell.

#include "TableFixture.h"

#include "DateTimeText.h"
#include "TDateTime.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <string>
#include <vector>

// Counts operator new while a fill runs, to show that cells are written without allocating.
namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
}  // namespace

void *operator new(std::size_t size) {
    if (gCounting.load(std::memory_order_relaxed))
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

using Columns = std::vector<std::string>;

const TDateTime kLogin = kivra::EncodeDateTime(2026, 12, 10, 8, 5, 9);
const TDateTime kBatch = kivra::EncodeDateTime(2026, 12, 10, 9, 30, 0);

TEST_F(TableFixture, SessionRowHasTheTwentyFiveColumnsInOrder) {
    stProcessInfo p = Session(57, "app_user", "WS-12", "10.1.2.3");
    std::strcpy(p.DatabaseName, "Sales");
    std::strcpy(p.Command, "SELECT");
    std::strcpy(p.Status, "runnable  ");  // texts unchanged: not trimmed
    std::strcpy(p.ProgramName, "VORNIXMonitor");
    std::strcpy(p.NTDomain, "CORP");
    std::strcpy(p.NTUserName, "jdoe");
    std::strcpy(p.NetLibrary, "TCP/IP");
    std::strcpy(p.HostProcess, "4242");
    p.Threads = 2;
    p.PrevThreads = 5;
    p.LoginTime = kLogin;
    p.LastBatch = kBatch;
    p.CPU = 5600;
    p.PrevCPU = 5590;
    p.BaselineCPU = 5000;
    p.MemUsage = 12;
    p.PrevMemUsage = 20;
    p.PhysicalIO = 3000000000LL;
    p.PrevPhysicalIO = 3000000000LL;
    p.BaselinePhysicalIO = 1;
    p.BlockedBy = 0;
    p.OpenTran = 1;
    p.WaitTime = 250;
    Add(p);
    Model.FillProcessGrid(&Grid);
    ASSERT_EQ(Grid.RowCount(), 2);
    const Columns want = {"A",
                          "57",
                          "app_user",
                          "WS-12",
                          "Sales",
                          "SELECT",
                          "runnable  ",
                          "VORNIXMonitor",
                          "2",
                          "-3",
                          kivra::DateTimeToStr(kLogin),
                          kivra::DateTimeToStr(kBatch),
                          "5600",
                          "10",
                          "12",
                          "-8",
                          "3000000000",
                          "0",
                          "0",
                          "1",
                          "250",
                          "4242",
                          "CORP\\jdoe",
                          "TCP/IP",
                          "10.1.2.3"};
    EXPECT_EQ(Row(1), want);

    TDBServerInfo::ProcessBaselineMode = true;  // CPU and IO count from the baseline
    Model.FillProcessGrid(&Grid);
    EXPECT_EQ(Grid.Cells(12, 1), "600");
    EXPECT_EQ(Grid.Cells(13, 1), "10") << "the delta is the same with the baseline on";
    EXPECT_EQ(Grid.Cells(14, 1), "12");
    EXPECT_EQ(Grid.Cells(16, 1), "2999999999");
}

struct LetterCase {
    const char *what;
    int blockedBy;
    std::int64_t cpuStep, memStep, ioStep;
    const char *letter;
};

void PrintTo(const LetterCase &c, std::ostream *os) { *os << c.what; }

class StateLetter : public TableFixture, public ::testing::WithParamInterface<LetterCase> {};

TEST_P(StateLetter, InSessionUserAndDatabaseRows) {
    const LetterCase &c = GetParam();
    stProcessInfo p = Session(60);
    stUserInfo u = User("sa", "HOST", "10.0.0.1");
    stDatabaseInfo d = Database("master");
    auto apply = [&c](auto &r) {
        r.BlockedBy = c.blockedBy;
        r.PrevCPU = 1000;
        r.CPU = 1000 + c.cpuStep;
        r.PrevMemUsage = 1LL << 40;
        r.MemUsage = (1LL << 40) + c.memStep;
        r.PrevPhysicalIO = 0;
        r.PhysicalIO = c.ioStep;
    };
    apply(p);
    apply(u);
    apply(d);
    Add(p);
    Add(u);
    Add(d);
    Model.FillProcessGrid(&Grid);
    EXPECT_STREQ(Grid.Cells(0, 1).c_str(), c.letter) << c.what;
    Model.FillUserGrid(&Grid);
    EXPECT_STREQ(Grid.Cells(0, 1).c_str(), c.letter) << c.what;
    Model.FillDatabaseGrid(&Grid);
    EXPECT_STREQ(Grid.Cells(0, 1).c_str(), c.letter) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Table, StateLetter,
                         ::testing::Values(LetterCase{"nothing moved", 0, 0, 0, 0, "I"},
                                           LetterCase{"CPU moved", 0, 1, 0, 0, "A"},
                                           LetterCase{"memory fell", 0, 0, -8, 0, "A"},
                                           LetterCase{"IO moved", 0, 0, 0, 3, "A"},
                                           LetterCase{"blocked and idle", 61, 0, 0, 0, "L"},
                                           LetterCase{"blocked and busy", 61, 5, 5, 5, "L"}));

struct LoginCase {
    const char *domain, *user, *shown;
};

void PrintTo(const LoginCase &c, std::ostream *os) {
    *os << '"' << c.domain << "\\" << c.user << '"';
}

class WindowsLoginColumn : public TableFixture, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(WindowsLoginColumn, NeedsBothDomainAndUser) {
    const LoginCase &c = GetParam();
    stProcessInfo p = Session(70);
    stUserInfo u = User("sa", "HOST", "10.0.0.1");
    std::strcpy(p.NTDomain, c.domain);
    std::strcpy(p.NTUserName, c.user);
    std::strcpy(u.NTDomain, c.domain);
    std::strcpy(u.NTUserName, c.user);
    Add(p);
    Add(u);
    Model.FillProcessGrid(&Grid);
    EXPECT_EQ(Grid.Cells(22, 1), c.shown);
    Model.FillUserGrid(&Grid);
    EXPECT_EQ(Grid.Cells(14, 1), c.shown);
}

INSTANTIATE_TEST_SUITE_P(Table, WindowsLoginColumn,
                         ::testing::Values(LoginCase{"CORP", "jdoe", "CORP\\jdoe"},
                                           LoginCase{"", "jdoe", ""}, LoginCase{"CORP", "", ""},
                                           LoginCase{"", "", ""}));

TEST_F(TableFixture, UserRowHasSeventeenColumns) {
    stUserInfo u = User("app", "WS-1", "10.9.9.9");
    std::strcpy(u.NTDomain, "CORP");
    std::strcpy(u.NTUserName, "amy");
    std::strcpy(u.NetLibrary, "LPC");
    u.Processes = 4;
    u.PrevProcesses = 6;
    u.EarliestLogin = kLogin;
    u.LatestActivity = kBatch;
    u.CPU = 900;
    u.PrevCPU = 850;
    u.BaselineCPU = 800;
    u.MemUsage = 5;
    u.PrevMemUsage = 13;
    u.PhysicalIO = 77;
    u.PrevPhysicalIO = 70;
    u.BaselinePhysicalIO = 7;
    u.BlockedBy = 12;
    Add(u);
    Grid.SetColCount(17);
    Model.FillUserGrid(&Grid);
    const Columns want = {"L",
                          "app",
                          "WS-1",
                          "4",
                          "-2",
                          kivra::DateTimeToStr(kLogin),
                          kivra::DateTimeToStr(kBatch),
                          "900",
                          "50",
                          "5",
                          "-8",
                          "77",
                          "7",
                          "12",
                          "CORP\\amy",
                          "LPC",
                          "10.9.9.9"};
    EXPECT_EQ(Row(1), want);
    TDBServerInfo::UserBaselineMode = true;
    Model.FillUserGrid(&Grid);
    EXPECT_EQ(Grid.Cells(7, 1), "100");
    EXPECT_EQ(Grid.Cells(11, 1), "70");
    EXPECT_EQ(Grid.Cells(8, 1), "50");
}

TEST_F(TableFixture, DatabaseRowHasThirteenColumns) {
    stDatabaseInfo d = Database("<SystemProcess>");
    d.Processes = 9;
    d.PrevProcesses = 9;
    d.EarliestLogin = kLogin;
    d.LatestActivity = kivra::EncodeDate(2026, 12, 10);  // midnight
    d.CPU = -5;
    d.PrevCPU = -5;  // odd values still print as they are
    d.MemUsage = 0;
    d.PrevMemUsage = 0;
    d.PhysicalIO = 1;
    d.PrevPhysicalIO = 1;
    d.BaselinePhysicalIO = 0;
    Add(d);
    Grid.SetColCount(13);
    Model.FillDatabaseGrid(&Grid);
    const Columns want = {"I",
                          "<SystemProcess>",
                          "9",
                          "0",
                          kivra::DateTimeToStr(kLogin),
                          kivra::DateTimeToStr(kivra::EncodeDate(2026, 12, 10)),
                          "-5",
                          "0",
                          "0",
                          "0",
                          "1",
                          "0",
                          "0"};
    EXPECT_EQ(Row(1), want);
}

TEST_F(TableFixture, EmptyTablesGiveOnlyTheTitleRow) {
    Grid.SetRowCount(40);
    Grid.SetFixedRows(1);
    Grid.SetCells(0, 0, "title");
    Model.FillProcessGrid(&Grid);
    EXPECT_EQ(Grid.RowCount(), 1);
    EXPECT_EQ(Grid.Cells(0, 0), "title") << "row 0 is the view's";
    using Fill = std::function<void()>;
    const std::vector<Fill> fills = {
        [&] { Model.FillBlockedProcessGrid(&Grid); },
        [&] { Model.FillDatabaseProcessGrid("master", &Grid); },
        [&] { Model.FillUserProcessGrid("sa", "10.0.0.1", &Grid); },
        [&] { Model.FillThreadGrid(51, &Grid); },
        [&] { Model.FillUserGrid(&Grid); },
        [&] { Model.FillDatabaseGrid(&Grid); },
    };
    for (std::size_t i = 0; i < fills.size(); ++i) {
        Grid.SetRowCount(7);
        fills[i]();
        EXPECT_EQ(Grid.RowCount(), 1) << "fill " << i;
    }
    // Tables that hold no block at all (a failed allocation) fill the same way.
    for (AllocatedBuffer *t :
         {Model.ProcessTable, Model.UserTable, Model.DatabaseTable, Model.ThreadTable})
        t->Deallocate();
    for (std::size_t i = 0; i < fills.size(); ++i) {
        Grid.SetRowCount(7);
        fills[i]();
        EXPECT_EQ(Grid.RowCount(), 1) << "fill " << i << " without a block";
    }
}

TEST_F(TableFixture, BlockedGridListsOnlyBlockedSessions) {
    Add(Session(51));
    Model.FillBlockedProcessGrid(&Grid);
    EXPECT_EQ(Grid.RowCount(), 1) << "no blocking, no row";

    stProcessInfo victim = Session(52);
    victim.BlockedBy = 51;
    victim.CPU = victim.PrevCPU = 10;  // idle, still "L"
    stProcessInfo chained = Session(50);
    chained.BlockedBy = 52;
    chained.CPU = 99;  // busy, still "L"
    Add(victim);
    Add(chained);
    Model.FillBlockedProcessGrid(&Grid);
    EXPECT_EQ(Column(1), (Columns{"50", "52"}));
    EXPECT_EQ(Column(0), (Columns{"L", "L"}));
    EXPECT_EQ(Column(18), (Columns{"52", "51"}));
}

TEST_F(TableFixture, ShorterRefillDropsTheRowsOfTheLongerOne) {
    for (int spid = 51; spid < 56; ++spid) Add(Session(spid));
    Model.FillProcessGrid(&Grid);
    EXPECT_EQ(Grid.RowCount(), 6);
    int at = 0;
    Model.ProcessTable->Delete(at);
    Model.ProcessTable->Delete(at);
    Model.ProcessTable->Delete(at);
    Model.FillProcessGrid(&Grid);
    EXPECT_EQ(Grid.RowCount(), 3);
    EXPECT_EQ(Column(1), (Columns{"54", "55"}));
}

TEST_F(TableFixture, DatabaseSessionsIncludingSystemProcesses) {
    for (int spid : {1, 2, 3, 60, 61}) {
        stProcessInfo p = Session(spid);
        std::strcpy(p.DatabaseName, spid < 10 ? "<SystemProcess>" : "Sales");
        Add(p);
    }
    stProcessInfo almost = Session(62);
    std::strcpy(almost.DatabaseName, "sales");  // exact, case-sensitive match only
    Add(almost);
    Model.FillDatabaseProcessGrid("<SystemProcess>", &Grid);
    EXPECT_EQ(Column(1), (Columns{"1", "2", "3"}));
    Model.FillDatabaseProcessGrid("Sales", &Grid);
    EXPECT_EQ(Column(1), (Columns{"60", "61"}));
    Grid.SetRowCount(100);  // a longer grid shrinks to the rows written
    Model.FillDatabaseProcessGrid("Sales", &Grid);
    EXPECT_EQ(Grid.RowCount(), 3);
    Model.FillDatabaseProcessGrid("Nowhere", &Grid);
    EXPECT_EQ(Grid.RowCount(), 1);
}

TEST_F(TableFixture, UserSessionsAreOneLoginFromOneAddress) {
    Add(Session(60, "app", "H1", "10.0.0.1"));
    Add(Session(61, "app", "H2", "10.0.0.2"));
    Add(Session(62, "app", "H1", "10.0.0.1"));
    Add(Session(63, "App", "H1", "10.0.0.1"));
    Model.FillUserProcessGrid("app", "10.0.0.1", &Grid);
    EXPECT_EQ(Column(1), (Columns{"60", "62"}));
    Model.FillUserProcessGrid("app", "10.0.0.2", &Grid);
    EXPECT_EQ(Column(1), (Columns{"61"}));
}

TEST_F(TableFixture, ThreadGridKeepsArrivalOrderAndBringsBackTheFixedTitleRow) {
    Grid.SetColCount(5);
    Grid.SetRowCount(3);
    Grid.SetFixedRows(1);
    Add(ThreadRow(70, 0, "other"));
    Model.FillThreadGrid(71, &Grid);  // a SPID without rows
    EXPECT_EQ(Grid.RowCount(), 1);
    EXPECT_EQ(Grid.FixedRows(), 0);

    stThreadInfo t2 = ThreadRow(71, 2, "CXPACKET");
    std::strcpy(t2.WaitResource, "page 1:2:3");
    t2.WaitTime = 40;
    Add(t2);
    Add(ThreadRow(70, 1, "other"));
    Add(ThreadRow(71, 0, "LCK_M_S"));
    Model.FillThreadGrid(71, &Grid);
    EXPECT_EQ(Grid.FixedRows(), 1);
    EXPECT_EQ(Grid.RowCount(), 3);
    EXPECT_EQ(Row(1), (Columns{"2", "master", "CXPACKET", "page 1:2:3", "40"}));
    EXPECT_EQ(Column(0), (Columns{"2", "0"}));
}

TEST_F(TableFixture, AFillReachesTheViewAsOneChange) {
    QAbstractItemModelTester tester(&Grid, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (int spid = 51; spid < 351; ++spid) Add(Session(spid));
    QSignalSpy reset(&Grid, &QAbstractItemModel::modelReset);
    QSignalSpy data(&Grid, &QAbstractItemModel::dataChanged);
    Model.FillProcessGrid(&Grid);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(data.count(), 0);
    for (int i = 0; i < Model.ProcessTable->Count; ++i)
        Model.ProcessTable->Item<stProcessInfo>(i).CPU += 3;
    Model.FillProcessGrid(&Grid);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(data.count(), 1);
}

TEST_F(TableFixture, RefillWritesCellsWithoutAllocating) {
    for (int spid = 51; spid < 351; ++spid) {
        stProcessInfo p = Session(spid, "some_login_name_longer_than_sso", "HOST-NAME-LONG-ENOUGH");
        p.LoginTime = kLogin + spid;
        p.LastBatch = kBatch + spid;
        p.CPU = 123456789012LL + spid;
        Add(p);
    }
    Model.FillProcessGrid(&Grid);  // the first fill sizes the cells
    for (int i = 0; i < Model.ProcessTable->Count; ++i) {
        stProcessInfo &p = Model.ProcessTable->Item<stProcessInfo>(i);
        p.PrevCPU = p.CPU;
        p.CPU += 7;
        p.LastBatch += 0.5;
    }
    gAllocations = 0;
    gCounting = true;
    Model.FillProcessGrid(&Grid);
    gCounting = false;
    EXPECT_EQ(Grid.RowCount(), 301);
    EXPECT_LE(gAllocations.load(), 8) << "7,500 cells rewritten";
}

// The merge reorders nothing behind a fill's back: a poll after a sort still updates the right
// sessions.
TEST_F(TableFixture, PollAfterASortUpdatesTheRightSessions) {
    auto poll = [&](std::int64_t cpuOf51, std::int64_t cpuOf52) {
        Model.BeginPollCycle();
        for (auto [spid, cpu] : {std::pair<int, std::int64_t>{51, cpuOf51}, {52, cpuOf52}}) {
            stProcessRow row;
            row.SPID = spid;
            row.DatabaseName = "master";
            row.LoginName = spid == 51 ? "b" : "a";
            row.HostName = "H";
            row.NetAddress = "10.0.0.1";
            row.Command = "AWAITING COMMAND";
            row.Status = "sleeping";
            row.ProgramName = "prog";
            row.LoginTime = kLogin;
            row.LastBatch = kBatch;
            row.CPU = cpu;
            row.MemUsage = 10;
            row.PhysicalIO = 20;
            row.NetLibrary = "TCP/IP";
            row.HostProcess = "1";
            Model.AddProcessRow(row);
        }
        Model.EndPollCycle();
    };
    poll(100, 200);
    TDBServerInfo::ProcessSortKey = skLoginName;
    TDBServerInfo::ProcessSortAscending = true;
    Model.FillProcessGrid(&Grid);
    ASSERT_EQ(Column(1), (Columns{"52", "51"}));
    poll(150, 200);
    Model.FillProcessGrid(&Grid);
    EXPECT_EQ(Column(1), (Columns{"52", "51"}));
    EXPECT_EQ(Column(12), (Columns{"200", "150"}));
    EXPECT_EQ(Column(13), (Columns{"0", "50"}));
    EXPECT_EQ(Column(0), (Columns{"I", "A"}));
}

}  // namespace
