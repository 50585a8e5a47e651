// Sort keys: how a header press changes a family's state, and the orders the comparators give.

#include "TableFixture.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

enum Family { Filtered, Sessions, Users, Databases };

void Press(TDBServerInfo &m, Family f, TSortKey key) {
    switch (f) {
    case Filtered: m.SetFilteredProcessSortKey(key); break;
    case Sessions: m.SetProcessSortKey(key); break;
    case Users: m.SetUserSortKey(key); break;
    case Databases: m.SetDatabaseSortKey(key); break;
    }
}

std::pair<TSortKey, bool> StateOf(Family f) {
    switch (f) {
    case Filtered:
        return {TDBServerInfo::FilteredProcessSortKey, TDBServerInfo::FilteredProcessSortAscending};
    case Sessions: return {TDBServerInfo::ProcessSortKey, TDBServerInfo::ProcessSortAscending};
    case Users: return {TDBServerInfo::UserSortKey, TDBServerInfo::UserSortAscending};
    case Databases: return {TDBServerInfo::DatabaseSortKey, TDBServerInfo::DatabaseSortAscending};
    }
    return {};
}

struct PressCase {
    const char *what;
    Family family;
    std::vector<TSortKey> presses;
    TSortKey key;
    bool ascending;
};

void PrintTo(const PressCase &c, std::ostream *os) { *os << c.what; }

class KeyChoice : public TableFixture, public ::testing::WithParamInterface<PressCase> {};

TEST_P(KeyChoice, FollowsThePressRule) {
    const PressCase &c = GetParam();
    for (TSortKey k : c.presses) Press(Model, c.family, k);
    const auto [key, ascending] = StateOf(c.family);
    EXPECT_EQ(key, c.key) << c.what;
    EXPECT_EQ(ascending, c.ascending) << c.what;
    for (Family other : {Filtered, Sessions, Users, Databases}) {
        if (other == c.family) continue;
        EXPECT_TRUE(StateOf(other).second) << "another family changed: " << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeyChoice,
    ::testing::Values(
        PressCase{
            "first press on a counter: descending", Sessions, {skCPUDelta}, skCPUDelta, false},
        PressCase{"first press on a text: ascending", Sessions, {skLoginName}, skLoginName, true},
        PressCase{"second press reverses", Sessions, {skCPU, skCPU}, skCPU, true},
        PressCase{"third press restores", Sessions, {skCPU, skCPU, skCPU}, skCPU, false},
        PressCase{"back to a key: its default anew",
                  Sessions,
                  {skHostName, skHostName, skCPU, skHostName},
                  skHostName,
                  true},
        PressCase{
            "sessions start by SPID: first press reverses", Sessions, {skSPID}, skSPID, false},
        PressCase{"filtered sessions start by SPID", Filtered, {skSPID}, skSPID, false},
        PressCase{
            "users start by login: first press Z to A", Users, {skLoginName}, skLoginName, false},
        PressCase{"databases start by name: first press reverses",
                  Databases,
                  {skDatabase},
                  skDatabase,
                  false},
        PressCase{"net library ascends", Users, {skNetLibrary}, skNetLibrary, true},
        PressCase{"last batch ascends", Databases, {skLastBatch}, skLastBatch, true},
        PressCase{"host process ascends", Sessions, {skHostProcess}, skHostProcess, true},
        PressCase{"threads ascend", Sessions, {skThreads}, skThreads, true},
        PressCase{"threads delta descends", Sessions, {skThreadsDelta}, skThreadsDelta, false},
        PressCase{"IO delta descends", Filtered, {skIODelta}, skIODelta, false},
        PressCase{"earliest login descends", Users, {skEarliestLogin}, skEarliestLogin, false},
        PressCase{"processes descend", Databases, {skProcesses}, skProcesses, false},
        PressCase{"locked descends", Sessions, {skLocked}, skLocked, false},
        PressCase{"open transactions descend", Sessions, {skOpenTran}, skOpenTran, false},
        PressCase{"wait time descends", Sessions, {skWaitTime}, skWaitTime, false}));

// ---- Session orders ---------------------------------------------------------------------------

struct OrderCase {
    const char *what;
    TSortKey key;
    bool ascending;
    bool baseline;
    std::vector<std::string> spids;  // column 1 from row 1 on
};

void PrintTo(const OrderCase &c, std::ostream *os) { *os << c.what; }

class SessionOrder : public TableFixture, public ::testing::WithParamInterface<OrderCase> {
protected:
    void SetUp() override {
        TableFixture::SetUp();
        // Added in an order that no key gives, so a sort that does nothing shows.
        stProcessInfo a = Session(12, "alpha", "web2", "10.0.0.4");
        a.CPU = 700;
        a.PrevCPU = 700;
        a.BaselineCPU = 0;
        a.MemUsage = 10;
        a.PrevMemUsage = 18;
        a.PhysicalIO = 50;
        a.BaselinePhysicalIO = 0;
        a.Threads = 3;
        a.PrevThreads = 1;
        a.LoginTime = 3.5;
        std::strcpy(a.NTUserName, "zed");
        std::strcpy(a.NTDomain, "AAA");
        stProcessInfo b = Session(3, "Zeta", "", "10.0.0.2");
        b.CPU = 5600;
        b.PrevCPU = 5000;
        b.BaselineCPU = 5000;
        b.MemUsage = 10;
        b.PrevMemUsage = 10;
        b.PhysicalIO = 900;
        b.BaselinePhysicalIO = 880;
        b.Threads = 1;
        b.PrevThreads = 1;
        b.LoginTime = 1.25;
        stProcessInfo c = Session(9, "alpha", "web1", "10.0.0.3");
        c.CPU = 100;
        c.PrevCPU = 40;
        c.MemUsage = 30;
        c.PrevMemUsage = 30;
        c.PhysicalIO = 70;
        c.Threads = 1;
        c.PrevThreads = 4;
        c.LoginTime = 1.25;
        std::strcpy(c.NTUserName, "amy");
        stProcessInfo d = Session(7, "alpha", "web2", "10.0.0.1");
        d.CPU = 100;
        d.PrevCPU = 100;
        d.MemUsage = 10;
        d.PrevMemUsage = 10;
        d.PhysicalIO = 70;
        d.Threads = 2;
        d.PrevThreads = 2;
        d.LoginTime = 2.0;
        std::strcpy(d.NTUserName, "bob");
        std::strcpy(d.NTDomain, "ZZZ");  // would put 12 first if the domain were compared
        for (const auto &p : {a, b, c, d}) Add(p);
    }
};

TEST_P(SessionOrder, AllSessionsGrid) {
    const OrderCase &c = GetParam();
    TDBServerInfo::ProcessSortKey = c.key;
    TDBServerInfo::ProcessSortAscending = c.ascending;
    TDBServerInfo::ProcessBaselineMode = c.baseline;
    Model.FillProcessGrid(&Grid);
    EXPECT_EQ(Column(1), c.spids) << c.what;
}

TEST_P(SessionOrder, FilteredFamilyGivesTheSameOrderUnderItsOwnState) {
    const OrderCase &c = GetParam();
    TDBServerInfo::FilteredProcessSortKey = c.key;
    TDBServerInfo::FilteredProcessSortAscending = c.ascending;
    TDBServerInfo::ProcessSortKey = skLoginTime;  // must not matter here
    TDBServerInfo::ProcessBaselineMode = c.baseline;
    // All four sessions are in "master".
    Model.FillDatabaseProcessGrid("master", &Grid);
    EXPECT_EQ(Column(1), c.spids) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SessionOrder,
    ::testing::Values(
        OrderCase{"SPID", skSPID, true, false, {"3", "7", "9", "12"}},
        OrderCase{"SPID descending", skSPID, false, false, {"12", "9", "7", "3"}},
        OrderCase{"byte order: upper-case first", skLoginName, true, false, {"3", "9", "7", "12"}},
        OrderCase{
            "login then host, reversed whole", skLoginName, false, false, {"12", "7", "9", "3"}},
        OrderCase{"empty host first, then login", skHostName, true, false, {"3", "9", "7", "12"}},
        OrderCase{"host then Windows user, domain ignored",
                  skNTLogin,
                  true,
                  false,
                  {"3", "9", "7", "12"}},
        OrderCase{
            "equal CPU descending: SPID high to low", skCPU, false, false, {"3", "12", "9", "7"}},
        OrderCase{"CPU from the baseline", skCPU, false, true, {"12", "3", "9", "7"}},
        OrderCase{"CPU ascending", skCPU, true, false, {"7", "9", "12", "3"}},
        OrderCase{"CPU delta", skCPUDelta, false, false, {"3", "9", "12", "7"}},
        OrderCase{"memory delta, one fell", skMemDelta, true, false, {"12", "3", "7", "9"}},
        OrderCase{"physical IO", skPhysicalIO, false, false, {"3", "9", "7", "12"}},
        OrderCase{
            "physical IO from the baseline", skPhysicalIO, false, true, {"9", "7", "12", "3"}},
        OrderCase{"threads delta (32-bit)", skThreadsDelta, false, false, {"12", "7", "3", "9"}},
        OrderCase{"threads", skThreads, true, false, {"3", "9", "7", "12"}},
        OrderCase{"login time, ties by SPID", skLoginTime, true, false, {"3", "9", "7", "12"}}));

TEST_F(TableFixture, KeysWithoutMeaningLeaveEveryPairEqual) {
    stProcessInfo p = Session(1, "a", "h");
    stProcessInfo q = Session(2, "b", "g");
    q.CPU = 99;
    stUserInfo u = User("a", "h", "1"), v = User("b", "g", "2");
    v.CPU = 7;
    stDatabaseInfo d = Database("a"), e = Database("b");
    e.CPU = 7;
    for (int key : {21, 22, 23, 24, 25, 28, 200}) {
        TDBServerInfo::ProcessSortKey = TDBServerInfo::FilteredProcessSortKey =
            static_cast<TSortKey>(key);
        EXPECT_EQ(TDBServerInfo::CompareProcesses(&p, &q), 0) << key;
        EXPECT_EQ(TDBServerInfo::CompareFilteredProcesses(&q, &p), 0) << key;
    }
    for (int key : {0, 1, 6, 7, 8, 9, 18, 19, 20, 25, 26, 27, 28}) {
        TDBServerInfo::UserSortKey = static_cast<TSortKey>(key);
        EXPECT_EQ(TDBServerInfo::CompareUsers(&u, &v), 0) << key;
    }
    for (int key : {0, 2, 3, 4, 5, 6, 7, 8, 9, 11, 18, 19, 20, 25, 26, 27}) {
        TDBServerInfo::DatabaseSortKey = static_cast<TSortKey>(key);
        EXPECT_EQ(TDBServerInfo::CompareDatabases(&d, &e), 0) << key;
    }
}

TEST_F(TableFixture, TextsCompareAsUnsignedBytes) {
    // A byte above 0x7F (UTF-8 lead byte) orders after every ASCII letter.
    stProcessInfo ascii = Session(1, "zz"), utf8 = Session(2, "\xc3\xa9t\xc3\xa9");
    TDBServerInfo::ProcessSortKey = skLoginName;
    TDBServerInfo::ProcessSortAscending = true;
    EXPECT_LT(TDBServerInfo::CompareProcesses(&ascii, &utf8), 0);
    EXPECT_GT(TDBServerInfo::CompareProcesses(&utf8, &ascii), 0);
}

// ---- User orders ------------------------------------------------------------------------------

struct UserCase {
    const char *what;
    TSortKey key;
    bool ascending;
    bool baseline;
    std::vector<std::string> addresses;  // column 16
};

void PrintTo(const UserCase &c, std::ostream *os) { *os << c.what; }

class UserOrder : public TableFixture, public ::testing::WithParamInterface<UserCase> {
protected:
    void SetUp() override {
        TableFixture::SetUp();
        stUserInfo a = User("bob", "h1", "10.0.0.9");
        a.CPU = 100;
        a.BaselineCPU = 90;
        a.Processes = 2;
        a.PrevProcesses = 1;
        a.LatestActivity = 2.0;
        stUserInfo b = User("bob", "h1", "10.0.0.2");
        b.CPU = 50;
        b.BaselineCPU = 0;
        b.Processes = 2;
        b.PrevProcesses = 2;
        b.LatestActivity = 2.0;
        stUserInfo c = User("Anna", "h2", "10.0.0.5");
        c.CPU = 50;
        c.Processes = 5;
        c.PrevProcesses = 9;
        c.LatestActivity = 1.0;
        stUserInfo d = User("carl", "h0", "10.0.0.1");
        d.CPU = 7;
        d.Processes = 1;
        d.PrevProcesses = 0;
        d.LatestActivity = 3.0;
        for (const auto &u : {a, b, c, d}) Add(u);
        Grid.SetColCount(17);
    }
};

TEST_P(UserOrder, UsersGrid) {
    const UserCase &c = GetParam();
    TDBServerInfo::UserSortKey = c.key;
    TDBServerInfo::UserSortAscending = c.ascending;
    TDBServerInfo::UserBaselineMode = c.baseline;
    Model.FillUserGrid(&Grid);
    EXPECT_EQ(Column(16), c.addresses) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, UserOrder,
    ::testing::Values(UserCase{"login, host, address",
                               skLoginName,
                               true,
                               false,
                               {"10.0.0.5", "10.0.0.2", "10.0.0.9", "10.0.0.1"}},
                      UserCase{"login reversed",
                               skLoginName,
                               false,
                               false,
                               {"10.0.0.1", "10.0.0.9", "10.0.0.2", "10.0.0.5"}},
                      UserCase{"address, then login, host",
                               skNetAddress,
                               true,
                               false,
                               {"10.0.0.1", "10.0.0.2", "10.0.0.5", "10.0.0.9"}},
                      UserCase{"CPU ties by login, host, address, reversed",
                               skCPU,
                               false,
                               false,
                               {"10.0.0.9", "10.0.0.2", "10.0.0.5", "10.0.0.1"}},
                      UserCase{"CPU from the baseline",
                               skCPU,
                               false,
                               true,
                               {"10.0.0.2", "10.0.0.5", "10.0.0.9", "10.0.0.1"}},
                      UserCase{"sessions delta",
                               skProcessesDelta,
                               false,
                               false,
                               {"10.0.0.1", "10.0.0.9", "10.0.0.2", "10.0.0.5"}},
                      UserCase{"latest activity",
                               skLastBatch,
                               true,
                               false,
                               {"10.0.0.5", "10.0.0.2", "10.0.0.9", "10.0.0.1"}}));

TEST_F(TableFixture, UserHostOrderHasNoFurtherTieBreak) {
    stUserInfo a = User("bob", "h1", "10.0.0.9"), b = User("bob", "h1", "10.0.0.2");
    stUserInfo c = User("amy", "h1", "10.0.0.1");
    TDBServerInfo::UserSortKey = skHostName;
    TDBServerInfo::UserSortAscending = true;
    EXPECT_EQ(TDBServerInfo::CompareUsers(&a, &b), 0);
    EXPECT_GT(TDBServerInfo::CompareUsers(&a, &c), 0);
    std::strcpy(a.NTUserName, "x");
    std::strcpy(b.NTUserName, "x");
    TDBServerInfo::UserSortKey = skNTLogin;
    EXPECT_EQ(TDBServerInfo::CompareUsers(&a, &b), 0);
}

// A refill after a poll sorts a table that the last fill left in order and the merge changed a
// little: the rows must come out as a stable sort of the whole table puts them, ties in the
// order they had, whether much or little of the table is still in order.
TEST_F(TableFixture, RefillOrdersAsAStableSortOfTheWholeTable) {
    TDBServerInfo::UserSortKey = skHostName;  // ties: equal hosts keep their table order
    TDBServerInfo::UserSortAscending = true;
    Grid.SetColCount(17);
    std::vector<stUserInfo> users;
    for (int i = 0; i < 60; ++i) {
        const std::string login = "u" + std::to_string(i), host = "h" + std::to_string(i % 7);
        users.push_back(User(login.c_str(), host.c_str(), "10.0.0.1"));
    }
    // A stable sort: equal records ordered by their place in the table.
    const auto loginsAfterStableSort = [&] {
        std::vector<int> order;
        for (int i = 0; i < Model.UserTable->Count; ++i) order.push_back(i);
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            const int r = TDBServerInfo::CompareUsers(&Model.UserTable->Item<stUserInfo>(a),
                                                      &Model.UserTable->Item<stUserInfo>(b));
            return r != 0 ? r < 0 : a < b;
        });
        std::vector<std::string> logins;
        for (int i : order) logins.push_back(Model.UserTable->Item<stUserInfo>(i).LoginName);
        return logins;
    };
    for (int i = 0; i < 40; ++i) Add(users[static_cast<std::size_t>(i)]);
    Model.FillUserGrid(&Grid);
    // Most of the table in order, new records after it (as a merge appends them).
    for (int i = 40; i < 50; ++i) Add(users[static_cast<std::size_t>(i)]);
    std::vector<std::string> expected = loginsAfterStableSort();
    Model.FillUserGrid(&Grid);
    EXPECT_EQ(Column(1), expected);
    // Little of it in order: a change near the start.
    std::strcpy(Model.UserTable->Item<stUserInfo>(1).HostName, "h9");
    for (int i = 50; i < 60; ++i) Add(users[static_cast<std::size_t>(i)]);
    expected = loginsAfterStableSort();
    Model.FillUserGrid(&Grid);
    EXPECT_EQ(Column(1), expected);
    Model.FillUserGrid(&Grid);  // already in order: unchanged
    EXPECT_EQ(Column(1), expected);
}

// ---- Database orders --------------------------------------------------------------------------

struct DatabaseCase {
    const char *what;
    TSortKey key;
    bool ascending;
    bool baseline;
    std::vector<std::string> names;  // column 1
};

void PrintTo(const DatabaseCase &c, std::ostream *os) { *os << c.what; }

class DatabaseOrder : public TableFixture, public ::testing::WithParamInterface<DatabaseCase> {
protected:
    void SetUp() override {
        TableFixture::SetUp();
        stDatabaseInfo a = Database("tempdb");
        a.CPU = 10;
        a.Processes = 3;
        a.PrevProcesses = 1;
        a.PhysicalIO = 500;
        a.BaselinePhysicalIO = 490;
        stDatabaseInfo b = Database("<SystemProcess>");
        b.CPU = 10;
        b.Processes = 8;
        b.PrevProcesses = 8;
        b.PhysicalIO = 100;
        stDatabaseInfo c = Database("Sales");
        c.CPU = 40;
        c.Processes = 1;
        c.PrevProcesses = 2;
        c.PhysicalIO = 30;
        stDatabaseInfo d = Database("master");
        d.CPU = 10;
        d.Processes = 3;
        d.PrevProcesses = 0;
        d.PhysicalIO = 20;
        for (const auto &x : {a, b, c, d}) Add(x);
        Grid.SetColCount(13);
    }
};

TEST_P(DatabaseOrder, DatabasesGrid) {
    const DatabaseCase &c = GetParam();
    TDBServerInfo::DatabaseSortKey = c.key;
    TDBServerInfo::DatabaseSortAscending = c.ascending;
    TDBServerInfo::DatabaseBaselineMode = c.baseline;
    Model.FillDatabaseGrid(&Grid);
    EXPECT_EQ(Column(1), c.names) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DatabaseOrder,
    ::testing::Values(DatabaseCase{"name, byte order",
                                   skDatabase,
                                   true,
                                   false,
                                   {"<SystemProcess>", "Sales", "master", "tempdb"}},
                      DatabaseCase{"CPU, ties by name",
                                   skCPU,
                                   false,
                                   false,
                                   {"Sales", "tempdb", "master", "<SystemProcess>"}},
                      DatabaseCase{"sessions",
                                   skProcesses,
                                   false,
                                   false,
                                   {"<SystemProcess>", "tempdb", "master", "Sales"}},
                      DatabaseCase{"sessions delta",
                                   skProcessesDelta,
                                   false,
                                   false,
                                   {"master", "tempdb", "<SystemProcess>", "Sales"}},
                      DatabaseCase{"physical IO",
                                   skPhysicalIO,
                                   false,
                                   false,
                                   {"tempdb", "<SystemProcess>", "Sales", "master"}},
                      DatabaseCase{"physical IO from the baseline",
                                   skPhysicalIO,
                                   false,
                                   true,
                                   {"<SystemProcess>", "Sales", "master", "tempdb"}}));

TEST(SortState, IsSharedByEveryServer) {
    const TSortKey key = TDBServerInfo::ProcessSortKey;
    const bool ascending = TDBServerInfo::ProcessSortAscending;
    TDBServerInfo one, two;
    for (TDBServerInfo *m : {&one, &two}) {
        m->ProcessTable->Allocate();
        stProcessInfo p = Session(5, "b"), q = Session(6, "a");
        m->ProcessTable->Append(p);
        m->ProcessTable->Append(q);
    }
    TDBServerInfo::ProcessSortKey = skSPID;
    TDBServerInfo::ProcessSortAscending = true;
    one.SetProcessSortKey(skLoginName);  // a press in the first server's view
    TStringTable grid;
    grid.SetColCount(25);
    two.FillProcessGrid(&grid);
    EXPECT_EQ(grid.Cells(1, 1), "6");
    EXPECT_EQ(grid.Cells(1, 2), "5");
    TDBServerInfo::ProcessSortKey = key;
    TDBServerInfo::ProcessSortAscending = ascending;
}

}  // namespace
