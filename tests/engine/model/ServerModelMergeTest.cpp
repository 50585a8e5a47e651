// The server model's poll merge: sessions, users, databases and threads built from the process
// query's rows, the previous-poll and baseline fields, removal of what a poll did not show, and
// the connect and disconnect events that reach the sessions log.

#include "DBServerInfoSource.h"
#include "FakeKivraOwner.h"
#include "PollRow.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// A row of the process query with this file's defaults; tests change what they look at.
PollRow R(int spid, int ecid = 0) {
    return PollRow()
        .Spid(spid)
        .Ecid(ecid)
        .Host("WS01")
        .Address("0A0B0C0D0E0F")
        .Program("app")
        .LoginAt(46000.25)
        .BatchAt(46000.5)
        .Mem(0);
}

struct Event {
    std::string action;
    int spid;
    std::string login;
    bool operator==(const Event &o) const {
        return action == o.action && spid == o.spid && login == o.login;
    }
};

std::ostream &operator<<(std::ostream &os, const Event &e) {
    return os << e.action << " " << e.spid << " " << e.login;
}

class ServerModelMerge : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kivra-model-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Dir = pattern;
        Owner.Logs.Logging = true;
        Owner.Logs.SessionLogging = true;
        Owner.Logs.LoggingDirectory = Dir;
        Model.Owner = &Owner;
        Model.SetServerName("DBHOST\\SQL1");
    }
    void TearDown() override {
        std::filesystem::remove_all(Dir);
        TDBServerInfo::ProcessBaselineMode = false;
        TDBServerInfo::UserBaselineMode = false;
        TDBServerInfo::DatabaseBaselineMode = false;
    }

    static void Add(TDBServerInfo &m, const PollRow &r) { m.AddProcessRow(ToProcessRow(r)); }

    static void PollOf(TDBServerInfo &m, const std::vector<PollRow> &rows) { MergePoll(m, rows); }
    void Poll(const std::vector<PollRow> &rows) { PollOf(Model, rows); }

    // Sessions-log events since the last call, in file order.
    std::vector<Event> TakeEvents() {
        std::vector<Event> events;
        std::ifstream in(Dir + "/DBHOST_SQL1_sessions.log");
        std::string line;
        int lineNo = 0;
        while (std::getline(in, line)) {
            if (lineNo++ == 0 || lineNo <= EventsRead + 1) continue;  // header, then rows read
            std::vector<std::string> cols;
            std::stringstream ss(line);
            std::string col;
            while (std::getline(ss, col, '\t')) cols.push_back(col);
            if (cols.size() < 4) {
                ADD_FAILURE() << "short log row: " << line;
                continue;
            }
            events.push_back({cols[1], std::stoi(cols[2]), cols[3]});
        }
        EventsRead += static_cast<int>(events.size());
        return events;
    }

    stProcessInfo &Session(int spid) {
        const int i =
            Model.ProcessTable->FindInt(static_cast<int>(offsetof(stProcessInfo, SPID)), spid);
        EXPECT_GE(i, 0) << "no session " << spid;
        return Model.ProcessTable->Item<stProcessInfo>(i < 0 ? 0 : i);
    }
    int UserAt(const char *login, const char *address) {
        for (int i = 0; i < Model.UserTable->Count; ++i) {
            const stUserInfo &u = Model.UserTable->Item<stUserInfo>(i);
            if (std::strcmp(u.LoginName, login) == 0 && std::strcmp(u.NetAddress, address) == 0)
                return i;
        }
        return -1;
    }
    stUserInfo &User(const char *login, const char *address) {
        const int i = UserAt(login, address);
        EXPECT_GE(i, 0) << "no user " << login << "@" << address;
        return Model.UserTable->Item<stUserInfo>(i < 0 ? 0 : i);
    }
    stDatabaseInfo &Database(const char *name) {
        const int i = Model.DatabaseTable->FindText(0, name);
        EXPECT_GE(i, 0) << "no database " << name;
        return Model.DatabaseTable->Item<stDatabaseInfo>(i < 0 ? 0 : i);
    }
    std::vector<int> Spids() const {
        std::vector<int> v;
        for (int i = 0; i < Model.ProcessTable->Count; ++i)
            v.push_back(Model.ProcessTable->Item<stProcessInfo>(i).SPID);
        return v;
    }
    std::vector<std::pair<int, int>> ThreadKeys() const {
        std::vector<std::pair<int, int>> v;
        for (int i = 0; i < Model.ThreadTable->Count; ++i) {
            const stThreadInfo &t = Model.ThreadTable->Item<stThreadInfo>(i);
            v.emplace_back(t.SPID, t.ECID);
        }
        return v;
    }
    std::vector<std::string> DatabaseNames() const {
        std::vector<std::string> v;
        for (int i = 0; i < Model.DatabaseTable->Count; ++i)
            v.push_back(Model.DatabaseTable->Item<stDatabaseInfo>(i).DatabaseName);
        return v;
    }

    std::string Dir;
    FakeKivraOwner Owner;
    TDBServerInfo Model;
    int EventsRead = 0;
};

using Threads = std::vector<std::pair<int, int>>;

TEST_F(ServerModelMerge, NewModelIsEmptyAndZeroed) {
    TDBServerInfo m;
    for (AllocatedBuffer *t : {m.ProcessTable, m.UserTable, m.DatabaseTable, m.ThreadTable}) {
        EXPECT_TRUE(t->Valid);
        EXPECT_EQ(t->Count, 0);
        EXPECT_EQ(t->Capacity, 150);
    }
    EXPECT_EQ(m.ProcessTable->ElementSize, sizeof(stProcessInfo));
    EXPECT_EQ(m.UserTable->ElementSize, sizeof(stUserInfo));
    EXPECT_EQ(m.DatabaseTable->ElementSize, sizeof(stDatabaseInfo));
    EXPECT_EQ(m.ThreadTable->ElementSize, sizeof(stThreadInfo));
    EXPECT_TRUE(m.ServerName.empty());
    for (const stStatSample &s : m.History) {
        EXPECT_FALSE(s.Filled);
        EXPECT_EQ(s.ServerTime, 0);
        EXPECT_EQ(s.CPUBusy + s.ResponseTime + s.IORead + s.IOWrite + s.IOErrors + s.Sessions +
                      s.Users,
                  0);
    }
    EXPECT_EQ(m.StatsLogCounter, 0);
    EXPECT_FALSE(m.LostAlertSent || m.HighDemandAlertSent || m.SlowResponseAlertSent);
    EXPECT_EQ(m.HighDemandCount + m.SlowResponseCount, 0);
    EXPECT_EQ(m.PrevCpuBusy + m.PrevCpuIdle, 0);
}

TEST_F(ServerModelMerge, ClassWideStateStartsAtItsDefaults) {
    EXPECT_FALSE(TDBServerInfo::ProcessBaselineMode);
    EXPECT_FALSE(TDBServerInfo::UserBaselineMode);
    EXPECT_FALSE(TDBServerInfo::DatabaseBaselineMode);
    EXPECT_EQ(TDBServerInfo::FilteredProcessSortKey, skSPID);
    EXPECT_EQ(TDBServerInfo::ProcessSortKey, skSPID);
    EXPECT_EQ(TDBServerInfo::UserSortKey, skLoginName);
    EXPECT_EQ(TDBServerInfo::DatabaseSortKey, skDatabase);
    EXPECT_TRUE(TDBServerInfo::FilteredProcessSortAscending);
    EXPECT_TRUE(TDBServerInfo::ProcessSortAscending);
    EXPECT_TRUE(TDBServerInfo::UserSortAscending);
    EXPECT_TRUE(TDBServerInfo::DatabaseSortAscending);
}

TEST_F(ServerModelMerge, FirstPollBuildsEverythingFromScratch) {
    Poll(
        {R(51).Login("sa").Database("master").Cpu(10).Mem(5).Io(7).Transactions(1).WaitingMs(20),
         R(52).Login("app").Address("AA").Database("Sales").Cpu(3).Mem(2).Io(1),
         R(53).Login("app").Address("AA").Database("master").Cpu(4).Mem(6).Io(8).LoginAt(46000.1)});

    EXPECT_EQ(TakeEvents(),
              (std::vector<Event>{{"CONN", 51, "sa"}, {"CONN", 52, "app"}, {"CONN", 53, "app"}}));
    EXPECT_EQ(Spids(), (std::vector<int>{51, 52, 53}));
    const stProcessInfo &s = Session(51);
    EXPECT_STREQ(s.LoginName, "sa");
    EXPECT_STREQ(s.DatabaseName, "master");
    EXPECT_STREQ(s.HostName, "WS01");
    EXPECT_STREQ(s.HostProcess, "1234");
    EXPECT_STREQ(s.NetLibrary, "TCP/IP");
    EXPECT_EQ(s.CPU, 10);
    EXPECT_EQ(s.MemUsage, 5);
    EXPECT_EQ(s.PhysicalIO, 7);
    EXPECT_EQ(s.OpenTran, 1);
    EXPECT_EQ(s.WaitTime, 20);
    EXPECT_EQ(s.Threads, 1);
    EXPECT_TRUE(s.Seen);
    EXPECT_EQ(s.PrevCPU + s.PrevMemUsage + s.PrevPhysicalIO + s.PrevThreads, 0);
    EXPECT_EQ(s.BaselineCPU + s.BaselinePhysicalIO, 0);

    ASSERT_EQ(Model.UserTable->Count, 2);
    const stUserInfo &app = User("app", "AA");
    EXPECT_EQ(app.Processes, 2);
    EXPECT_EQ(app.CPU, 7);
    EXPECT_EQ(app.MemUsage, 8);
    EXPECT_EQ(app.PhysicalIO, 9);
    EXPECT_EQ(app.EarliestLogin, 46000.1);
    EXPECT_EQ(app.LatestLogin, 46000.25);
    EXPECT_EQ(app.PrevProcesses, 0);
    EXPECT_EQ(app.PrevCPU + app.PrevMemUsage + app.PrevPhysicalIO, 0);

    EXPECT_EQ(DatabaseNames(), (std::vector<std::string>{"master", "Sales"}));
    const stDatabaseInfo &master = Database("master");
    EXPECT_EQ(master.Processes, 2);
    EXPECT_EQ(master.CPU, 14);
    EXPECT_EQ(master.PrevProcesses, 0);
    EXPECT_EQ(ThreadKeys(), (Threads{{51, 0}, {52, 0}, {53, 0}}));
}

TEST_F(ServerModelMerge, ThreeExecutionContextsMakeOneSession) {
    Poll({R(60, 0)
              .Cpu(10)
              .Mem(100)
              .Io(50)
              .Transactions(2)
              .WaitingMs(5)
              .Database("Sales")
              .Doing("SELECT")
              .State("runnable"),
          R(60, 1)
              .Cpu(20)
              .Mem(900)
              .Io(900)
              .Transactions(9)
              .WaitingMs(99)
              .Database("other")
              .Doing("X")
              .State("suspended")
              .WaitType("CXPACKET"),
          R(60, 2)
              .Cpu(30)
              .Mem(900)
              .Io(900)
              .Transactions(9)
              .WaitingMs(99)
              .Database("other")
              .Doing("X")
              .State("suspended")});

    ASSERT_EQ(Model.ProcessTable->Count, 1);
    const stProcessInfo &s = Session(60);
    EXPECT_EQ(s.Threads, 3);
    EXPECT_EQ(s.CPU, 60);
    EXPECT_EQ(s.MemUsage, 100);
    EXPECT_EQ(s.PhysicalIO, 50);
    EXPECT_EQ(s.OpenTran, 2);
    EXPECT_EQ(s.WaitTime, 5);
    EXPECT_STREQ(s.DatabaseName, "Sales");
    EXPECT_STREQ(s.Command, "SELECT");
    EXPECT_STREQ(s.Status, "runnable");

    const stUserInfo &u = User("sa", "0A0B0C0D0E0F");
    EXPECT_EQ(u.Processes, 1);
    EXPECT_EQ(u.CPU, 60);
    EXPECT_EQ(u.MemUsage, 100);
    EXPECT_EQ(u.PhysicalIO, 50);
    const stDatabaseInfo &sales = Database("Sales");
    EXPECT_EQ(sales.Processes, 1);
    EXPECT_EQ(sales.CPU, 10);                   // the other rows name another database
    EXPECT_EQ(Database("other").Processes, 1);  // created by the ECID 1 row
    EXPECT_EQ(Database("other").CPU, 50);

    EXPECT_EQ(ThreadKeys(), (Threads{{60, 0}, {60, 1}, {60, 2}}));
    EXPECT_STREQ(Model.ThreadTable->Item<stThreadInfo>(1).LastWaitType, "CXPACKET");
    EXPECT_STREQ(Model.ThreadTable->Item<stThreadInfo>(1).DatabaseName, "other");

    // Next poll with two contexts: the previous-poll fields hold the complete poll before.
    Model.BeginPollCycle();
    {
        const stProcessInfo &mid = Session(60);
        EXPECT_EQ(mid.PrevThreads, 3);
        EXPECT_EQ(mid.PrevCPU, 60);
        EXPECT_EQ(mid.Threads, 0);
        EXPECT_EQ(mid.CPU, 0);
        EXPECT_STREQ(mid.DatabaseName, "Sales");  // texts keep their values
        EXPECT_EQ(Model.ThreadTable->Count, 0);
    }
    Add(Model, R(60, 0).Cpu(15).Mem(110).Io(55).Database("Sales"));
    Add(Model, R(60, 1).Cpu(25).Database("Sales"));
    Model.EndPollCycle();
    const stProcessInfo &next = Session(60);
    EXPECT_EQ(next.Threads, 2);
    EXPECT_EQ(next.PrevThreads, 3);
    EXPECT_EQ(next.CPU, 40);
    EXPECT_EQ(next.MemUsage, 110);
    EXPECT_EQ(next.PrevMemUsage, 100);
    EXPECT_EQ(User("sa", "0A0B0C0D0E0F").PrevProcesses, 1);
    EXPECT_EQ(DatabaseNames(), (std::vector<std::string>{"Sales"}));  // "other" not seen: removed
    EXPECT_EQ(TakeEvents(), (std::vector<Event>{{"CONN", 60, "sa"}}));
}

TEST_F(ServerModelMerge, ContextOneBeforeContextZeroCountsTwoProcessesForANewUser) {
    Poll({R(70, 1).Login("etl").Cpu(5).Mem(30).Io(40).BatchAt(46000.7),
          R(70, 0).Login("etl").Cpu(6).Mem(300).Io(400).BatchAt(46000.6)});
    const stUserInfo &u = User("etl", "0A0B0C0D0E0F");
    EXPECT_EQ(u.Processes, 2);
    EXPECT_EQ(u.MemUsage, 330);
    EXPECT_EQ(u.PhysicalIO, 440);
    EXPECT_EQ(u.CPU, 11);
    EXPECT_EQ(u.LatestActivity, 46000.7);
    EXPECT_EQ(Database("master").Processes, 2);
    const stProcessInfo &s = Session(70);
    EXPECT_EQ(s.Threads, 2);
    EXPECT_EQ(s.MemUsage, 30);  // the session's first row
    EXPECT_EQ(s.CPU, 11);
    EXPECT_EQ(s.LastBatch, 46000.7);
}

TEST_F(ServerModelMerge, ContextRowsOfAnExistingUserAddOnlyCpuAndBlocking) {
    Poll({R(80).Login("u1").LoginAt(46000.2), R(81).Login("u1").LoginAt(46000.2)});
    Poll({R(80, 0).Login("u1").LoginAt(46000.2).BatchAt(46001.0).Cpu(1).Mem(10).Io(100),
          R(80, 1).Login("u1").LoginAt(46000.2).BatchAt(46009.0).Cpu(2).Mem(20).Io(200).BlockedBy(
              90),
          R(81, 0).Login("u1").LoginAt(46000.2).BatchAt(46002.0).Cpu(4).Mem(40).Io(400)});
    const stUserInfo &u = User("u1", "0A0B0C0D0E0F");
    EXPECT_EQ(u.Processes, 2);
    EXPECT_EQ(u.PrevProcesses, 2);
    EXPECT_EQ(u.CPU, 7);
    EXPECT_EQ(u.MemUsage, 50);
    EXPECT_EQ(u.PhysicalIO, 500);
    EXPECT_EQ(u.LatestActivity, 46002.0);  // the ECID 1 row's later batch is not counted
    EXPECT_EQ(u.BlockedBy, 90);
    EXPECT_EQ(Session(80).LastBatch, 46009.0);  // the session takes the latest of all its rows
}

TEST_F(ServerModelMerge, LoginTimesOfAUserSpanThisPollOnly) {
    Poll({R(90).Login("w").LoginAt(46000.5), R(91).Login("w").LoginAt(46000.1),
          R(92).Login("w").LoginAt(46000.9)});
    EXPECT_EQ(User("w", "0A0B0C0D0E0F").EarliestLogin, 46000.1);
    EXPECT_EQ(User("w", "0A0B0C0D0E0F").LatestLogin, 46000.9);
    EXPECT_EQ(Database("master").EarliestLogin, 46000.1);
    EXPECT_EQ(Database("master").LatestLogin, 46000.9);
    Poll({R(90).Login("w").LoginAt(46000.5)});  // the others left
    EXPECT_EQ(User("w", "0A0B0C0D0E0F").EarliestLogin, 46000.5);
    EXPECT_EQ(User("w", "0A0B0C0D0E0F").LatestLogin, 46000.5);
    EXPECT_EQ(User("w", "0A0B0C0D0E0F").Processes, 1);
    EXPECT_EQ(User("w", "0A0B0C0D0E0F").PrevProcesses, 3);
}

TEST_F(ServerModelMerge, SpidWithANewLoginTimeIsANewSession) {
    Poll({R(56).Cpu(1), R(57)
                            .Login("old")
                            .Host("H1")
                            .Program("p1")
                            .Cpu(100)
                            .Mem(10)
                            .Io(20)
                            .LoginAt(46000.1)
                            .Database("A")});
    Model.SetBaseline(true);
    Poll({R(56).Cpu(2), R(57)
                            .Login("old")
                            .Host("H1")
                            .Program("p1")
                            .Cpu(150)
                            .Mem(12)
                            .Io(25)
                            .LoginAt(46000.1)
                            .Database("A")});
    TakeEvents();

    Poll({R(56).Cpu(3),
          R(57, 0)
              .Login("new")
              .Host("H2")
              .Program("p2")
              .Cpu(30)
              .Mem(4)
              .Io(6)
              .LoginAt(46000.9)
              .Database("B")
              .Doing("INSERT"),
          R(57, 1).Login("new").Host("H2").Program("p2").Cpu(5).LoginAt(46000.9).Database("B")});
    EXPECT_EQ(TakeEvents(), (std::vector<Event>{{"DISC", 57, "old"}, {"CONN", 57, "new"}}));
    const stProcessInfo &s = Session(57);
    EXPECT_STREQ(s.LoginName, "new");
    EXPECT_STREQ(s.HostName, "H2");
    EXPECT_STREQ(s.ProgramName, "p2");
    EXPECT_STREQ(s.DatabaseName, "B");
    EXPECT_STREQ(s.Command, "INSERT");
    EXPECT_EQ(s.LoginTime, 46000.9);
    EXPECT_EQ(s.CPU, 35);
    EXPECT_EQ(s.CPU - s.PrevCPU, 35);  // the delta reads as the full value
    EXPECT_EQ(s.PrevMemUsage + s.PrevPhysicalIO + s.PrevThreads, 0);
    EXPECT_EQ(s.BaselineCPU + s.BaselinePhysicalIO, 0);
    EXPECT_EQ(s.Threads, 2);
    EXPECT_EQ(Session(56).BaselineCPU, 1);  // the other session keeps its baseline
    EXPECT_EQ(Session(56).PrevCPU, 2);
    EXPECT_EQ(UserAt("old", "0A0B0C0D0E0F"), -1);
    EXPECT_EQ(User("new", "0A0B0C0D0E0F").Processes, 1);
}

TEST_F(ServerModelMerge, NewLoginTimeWithinAPollDropsTheSpidsEarlierThreadRecords) {
    Poll({R(57).LoginAt(46000.1)});
    Model.BeginPollCycle();
    Add(Model, R(50));
    Add(Model, R(57, 0).LoginAt(46000.1));
    Add(Model, R(57, 1).LoginAt(46000.1));
    Add(Model, R(58));
    Add(Model, R(57, 0).LoginAt(46000.2).Login("other"));
    Model.EndPollCycle();
    EXPECT_EQ(ThreadKeys(), (Threads{{50, 0}, {58, 0}, {57, 0}}));
    EXPECT_EQ(Session(57).Threads, 3);  // counted rows keep counting; only the thread list is cut
    EXPECT_EQ(TakeEvents(), (std::vector<Event>{{"CONN", 57, "sa"},
                                                {"CONN", 50, "sa"},
                                                {"CONN", 58, "sa"},
                                                {"DISC", 57, "sa"},
                                                {"CONN", 57, "other"}}));
}

TEST_F(ServerModelMerge, SessionAbsentForOnePollLeavesAndComesBackNew) {
    Poll({R(51), R(52).Cpu(9), R(53)});
    TakeEvents();
    Poll({R(51), R(53)});
    EXPECT_EQ(TakeEvents(), (std::vector<Event>{{"DISC", 52, "sa"}}));
    EXPECT_EQ(Spids(), (std::vector<int>{51, 53}));
    Poll({R(51), R(52).Cpu(9), R(53)});
    EXPECT_EQ(TakeEvents(), (std::vector<Event>{{"CONN", 52, "sa"}}));
    EXPECT_EQ(Spids(), (std::vector<int>{51, 53, 52}));  // appended at the end
    EXPECT_EQ(Session(52).PrevCPU, 0);
    EXPECT_EQ(Session(52).CPU, 9);
}

TEST_F(ServerModelMerge, RemovalKeepsTableOrderAndLogsInTableOrder) {
    Poll({R(10), R(11), R(12), R(13), R(14), R(15)});
    TakeEvents();
    Poll({R(11), R(14)});
    EXPECT_EQ(Spids(), (std::vector<int>{11, 14}));
    EXPECT_EQ(TakeEvents(),
              (std::vector<Event>{
                  {"DISC", 10, "sa"}, {"DISC", 12, "sa"}, {"DISC", 13, "sa"}, {"DISC", 15, "sa"}}));
    Poll({});
    EXPECT_EQ(Model.ProcessTable->Count, 0);
    EXPECT_EQ(Model.UserTable->Count, 0);
    EXPECT_EQ(Model.DatabaseTable->Count, 0);
    EXPECT_EQ(TakeEvents(), (std::vector<Event>{{"DISC", 11, "sa"}, {"DISC", 14, "sa"}}));
}

struct BlockedCase {
    const char *name;
    std::vector<int> blocked;  // one row each, ECIDs 0, 1, 2, ...
    int expected;
};

class ServerModelBlocked : public ServerModelMerge,
                           public ::testing::WithParamInterface<BlockedCase> {};

TEST_P(ServerModelBlocked, BlockedByIsTheFirstNonZeroValue) {
    const BlockedCase &c = GetParam();
    const auto rows = [&] {
        std::vector<PollRow> rows;
        for (std::size_t i = 0; i < c.blocked.size(); ++i)
            rows.push_back(R(64, static_cast<int>(i)).BlockedBy(c.blocked[i]));
        return rows;
    };
    for (const char *poll : {"first poll (new records)", "later poll (existing records)"}) {
        SCOPED_TRACE(poll);
        Poll(rows());
        EXPECT_EQ(Session(64).BlockedBy, c.expected);
        EXPECT_EQ(User("sa", "0A0B0C0D0E0F").BlockedBy, c.expected);
        EXPECT_EQ(Database("master").BlockedBy, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ServerModelBlocked,
                         ::testing::Values(BlockedCase{"ZeroThen61Then75", {0, 61, 75}, 61},
                                           BlockedCase{"FirstRow75", {75, 61}, 75},
                                           BlockedCase{"NeverBlocked", {0, 0, 0}, 0},
                                           BlockedCase{"LastRowOnly", {0, 0, 88}, 88}),
                         [](const ::testing::TestParamInfo<BlockedCase> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(ServerModelMerge, BlockingFromAnEarlierPollDoesNotStick) {
    Poll({R(64).BlockedBy(61)});
    Poll({R(64)});
    EXPECT_EQ(Session(64).BlockedBy, 0);
    EXPECT_EQ(User("sa", "0A0B0C0D0E0F").BlockedBy, 0);
    EXPECT_EQ(Database("master").BlockedBy, 0);
}

TEST_F(ServerModelMerge, BaselineOnGrowthOff) {
    Poll({R(51).Cpu(100).Io(30).Login("a"), R(52).Cpu(7).Io(1).Login("b").Database("Sales")});
    Model.SetBaseline(true);
    EXPECT_TRUE(TDBServerInfo::ProcessBaselineMode);
    EXPECT_TRUE(TDBServerInfo::UserBaselineMode);
    EXPECT_TRUE(TDBServerInfo::DatabaseBaselineMode);
    EXPECT_EQ(Session(51).BaselineCPU, 100);
    EXPECT_EQ(Session(51).BaselinePhysicalIO, 30);
    EXPECT_EQ(User("a", "0A0B0C0D0E0F").BaselineCPU, 100);
    EXPECT_EQ(Database("master").BaselineCPU, 100);
    EXPECT_EQ(Database("Sales").BaselinePhysicalIO, 1);

    Poll({R(51).Cpu(140).Io(35).Login("a"), R(52).Cpu(7).Io(1).Login("b").Database("Sales"),
          R(53).Cpu(5).Login("c")});
    EXPECT_EQ(Session(51).CPU - Session(51).BaselineCPU, 40);
    EXPECT_EQ(Session(51).PhysicalIO - Session(51).BaselinePhysicalIO, 5);
    EXPECT_EQ(User("a", "0A0B0C0D0E0F").CPU - User("a", "0A0B0C0D0E0F").BaselineCPU, 40);
    EXPECT_EQ(Database("master").CPU - Database("master").BaselineCPU, 45);  // 140 + 5 - 100
    EXPECT_EQ(Session(53).BaselineCPU, 0);  // arrived after the baseline

    Model.SetBaseline(false);
    EXPECT_FALSE(TDBServerInfo::ProcessBaselineMode);
    EXPECT_FALSE(TDBServerInfo::UserBaselineMode);
    EXPECT_FALSE(TDBServerInfo::DatabaseBaselineMode);
    EXPECT_EQ(Session(51).CPU, 140);
    EXPECT_EQ(Session(51).BaselineCPU, 100);  // kept for a later switch back on
    EXPECT_EQ(User("a", "0A0B0C0D0E0F").BaselineCPU, 100);
}

TEST_F(ServerModelMerge, BaselineSwitchesAreSharedByAllModels) {
    TDBServerInfo other;
    PollOf(other, {R(5).Cpu(9)});
    Poll({R(5).Cpu(3)});
    other.SetBaseline(true);
    EXPECT_TRUE(TDBServerInfo::ProcessBaselineMode);
    EXPECT_EQ(Session(5).BaselineCPU, 0);  // only the called model takes its baseline
    EXPECT_EQ(other.ProcessTable->Item<stProcessInfo>(0).BaselineCPU, 9);
}

TEST_F(ServerModelMerge, UsersAreKeyedByLoginAndAddressTogether) {
    Poll({R(1).Login("sa").Address("A1").Host("first"), R(2).Login("sa").Address("B2"),
          R(3).Login("bob").Address("A1"), R(4).Login("sa").Address("A1").Host("second"),
          R(5).Login("SA").Address("A1"), R(6).Login("sa").Address("a1")});
    ASSERT_EQ(Model.UserTable->Count, 5);
    const char *expected[][2] = {
        {"sa", "A1"}, {"sa", "B2"}, {"bob", "A1"}, {"SA", "A1"}, {"sa", "a1"}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(Model.UserTable->Item<stUserInfo>(i).LoginName, expected[i][0]);
        EXPECT_STREQ(Model.UserTable->Item<stUserInfo>(i).NetAddress, expected[i][1]);
    }
    EXPECT_EQ(User("sa", "A1").Processes, 2);
    EXPECT_STREQ(User("sa", "A1").HostName, "first");  // texts come from the creating row only
    EXPECT_EQ(User("sa", "B2").Processes, 1);
}

TEST_F(ServerModelMerge, SystemSessionsFormTheirOwnDatabase) {
    Poll({R(1).Login("sa").Database("<SystemProcess>").Address("").Host("").Program("").Cpu(2),
          R(2).Login("sa").Database("<SystemProcess>").Address("").Host("").Program("").Cpu(3),
          R(60).Login("app").Database("Sales").Cpu(1)});
    EXPECT_EQ(DatabaseNames(), (std::vector<std::string>{"<SystemProcess>", "Sales"}));
    EXPECT_EQ(Database("<SystemProcess>").Processes, 2);
    EXPECT_EQ(Database("<SystemProcess>").CPU, 5);
    EXPECT_EQ(User("sa", "").Processes, 2);  // an empty address is a key like any other
}

// ---- Texts longer than their field --------------------------------------------------------------

bool ValidUtf8(const char *text) {
    for (const auto *p = reinterpret_cast<const unsigned char *>(text); *p;) {
        const int len = *p < 0x80         ? 1
                        : (*p >> 5) == 6  ? 2
                        : (*p >> 4) == 14 ? 3
                        : (*p >> 3) == 30 ? 4
                                          : 0;
        if (len == 0) return false;
        for (int k = 1; k < len; ++k)
            if ((p[k] & 0xC0) != 0x80) return false;
        p += len;
    }
    return true;
}

std::string Repeat(const std::string &s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST_F(ServerModelMerge, LongUnicodeTextsAreCutToValidText) {
    const std::string host = Repeat("\xC3\xA9", 100);              // 200 bytes of "é"
    const std::string program = "x" + Repeat("\xE2\x82\xAC", 60);  // 181 bytes, "€" at odd offsets
    const std::string login = Repeat("\xF0\x9F\x98\x80", 40);      // 160 bytes of 4-byte characters
    const std::string address = "fe80::1234:5678:9abc:def0";
    const std::string db = Repeat("d\xC3\xA9", 60);  // 180 bytes
    const std::string waitResource = Repeat("\xE2\x82\xAC", 100);
    std::vector<PollRow> rows;
    for (int spid : {51, 52}) {
        PollRow r =
            R(spid).Host(host).Program(program).Login(login).Address(address).Database(db).Doing(
                Repeat("\xC3\xA9", 15));
        r.WaitResource = waitResource;
        r.HostProcess = "12345678901234567890";
        rows.push_back(r);
    }
    Poll(rows);

    const stProcessInfo &s = Session(51);
    const std::pair<const char *, std::size_t> fields[] = {
        {s.HostName, sizeof s.HostName},         {s.ProgramName, sizeof s.ProgramName},
        {s.LoginName, sizeof s.LoginName},       {s.NetAddress, sizeof s.NetAddress},
        {s.DatabaseName, sizeof s.DatabaseName}, {s.Command, sizeof s.Command},
        {s.HostProcess, sizeof s.HostProcess}};
    for (const auto &[text, room] : fields) {
        EXPECT_LT(strnlen(text, room), room);
        EXPECT_GE(strnlen(text, room) + 4, room - 1) << text;  // cut no more than one character
        EXPECT_TRUE(ValidUtf8(text)) << text;
    }
    EXPECT_EQ(std::string(s.HostName), Repeat("\xC3\xA9", 65));
    EXPECT_EQ(std::string(s.LoginName), Repeat("\xF0\x9F\x98\x80", 32));
    EXPECT_STREQ(s.NetAddress, "fe80::1234:5678");
    EXPECT_STREQ(s.HostProcess, "12345678901");

    // The two rows name one user and one database: the cut keys match.
    ASSERT_EQ(Model.UserTable->Count, 1);
    EXPECT_EQ(Model.UserTable->Item<stUserInfo>(0).Processes, 2);
    ASSERT_EQ(Model.DatabaseTable->Count, 1);
    const stDatabaseInfo &d = Model.DatabaseTable->Item<stDatabaseInfo>(0);
    EXPECT_EQ(d.Processes, 2);
    EXPECT_EQ(std::strlen(d.DatabaseName), 135u);  // its own, larger room
    EXPECT_TRUE(ValidUtf8(d.DatabaseName));
    const stThreadInfo &t = Model.ThreadTable->Item<stThreadInfo>(0);
    EXPECT_EQ(std::strlen(t.WaitResource), 255u);
    EXPECT_TRUE(ValidUtf8(t.WaitResource));

    Poll(rows);  // and they still match in the next poll
    EXPECT_EQ(Model.UserTable->Count, 1);
    EXPECT_EQ(Model.DatabaseTable->Count, 1);
    EXPECT_EQ(TakeEvents().size(), 2u);  // two connects, nothing more
}

TEST_F(ServerModelMerge, ThreadTableStartsEmptyWithRoom150EveryPoll) {
    std::vector<PollRow> rows;
    for (int i = 0; i < 200; ++i) rows.push_back(R(100 + i / 4, i % 4));
    Poll(rows);
    EXPECT_EQ(Model.ThreadTable->Count, 200);
    EXPECT_EQ(Model.ThreadTable->Capacity, 200);
    EXPECT_EQ(Model.ProcessTable->Count, 50);
    Model.BeginPollCycle();
    EXPECT_EQ(Model.ThreadTable->Count, 0);
    EXPECT_EQ(Model.ThreadTable->Capacity, 150);
    EXPECT_TRUE(Model.ThreadTable->Valid);
}

// ---- Connection state ---------------------------------------------------------------------------

struct DisconnectCase {
    const char *name;
    bool wasDisconnected;
    bool call;
    bool latchesCleared;
};

class ServerModelDisconnect : public ::testing::TestWithParam<DisconnectCase> {};

TEST_P(ServerModelDisconnect, LatchesClearOnlyWhenTheServerComesBack) {
    const DisconnectCase &c = GetParam();
    TDBServerInfo m;
    m.Disconnected = c.wasDisconnected;
    m.LostAlertSent = m.HighDemandAlertSent = m.SlowResponseAlertSent = true;
    m.HighDemandCount = 4;
    m.SlowResponseCount = 5;
    m.HighDemandAlertTime = 46000.5;
    m.SlowResponseAlertTime = 46000.6;
    m.SetDisconnected(c.call);
    EXPECT_EQ(m.Disconnected, c.call);
    EXPECT_EQ(m.LostAlertSent, !c.latchesCleared);
    EXPECT_EQ(m.HighDemandAlertSent, !c.latchesCleared);
    EXPECT_EQ(m.SlowResponseAlertSent, !c.latchesCleared);
    EXPECT_EQ(m.HighDemandCount, 4);
    EXPECT_EQ(m.SlowResponseCount, 5);
    EXPECT_EQ(m.HighDemandAlertTime, 46000.5);
    EXPECT_EQ(m.SlowResponseAlertTime, 46000.6);
}

INSTANTIATE_TEST_SUITE_P(Cases, ServerModelDisconnect,
                         ::testing::Values(DisconnectCase{"ConnectedStaysConnected", false, false,
                                                          false},
                                           DisconnectCase{"ComesBack", true, false, true},
                                           DisconnectCase{"IsLost", false, true, false},
                                           DisconnectCase{"StaysLost", true, true, false}),
                         [](const ::testing::TestParamInfo<DisconnectCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(ServerModel, ReconnectWithoutAWorkerFailsAndStaysDisconnected) {
    TDBServerInfo m;
    m.Disconnected = true;
    m.LostAlertSent = true;
    EXPECT_FALSE(m.Reconnect());
    EXPECT_TRUE(m.Disconnected);
    EXPECT_TRUE(m.LostAlertSent);
}

TEST(ServerModel, SetServerNameKeepsTheNameAsGiven) {
    TDBServerInfo m;
    m.SetServerName("HOST\\INSTANCE,1433");
    EXPECT_EQ(m.ServerName, "HOST\\INSTANCE,1433");
}

// ---- Key indexes across reorders and churn ------------------------------------------------------

int CompareSpidDescending(const void *a, const void *b) {
    return static_cast<const stProcessInfo *>(b)->SPID -
           static_cast<const stProcessInfo *>(a)->SPID;
}
int CompareLoginDescending(const void *a, const void *b) {
    return std::strcmp(static_cast<const stUserInfo *>(b)->LoginName,
                       static_cast<const stUserInfo *>(a)->LoginName);
}
int CompareDatabaseDescending(const void *a, const void *b) {
    return std::strcmp(static_cast<const stDatabaseInfo *>(b)->DatabaseName,
                       static_cast<const stDatabaseInfo *>(a)->DatabaseName);
}

class ServerModelSorted : public ServerModelMerge, public ::testing::WithParamInterface<bool> {};

// A fill sorts the tables in place between polls; the next poll must still find every record,
// whether the sort announced itself or not, and keep the sorted order with new records after it.
TEST_P(ServerModelSorted, MergeAfterAnInPlaceSortFindsEveryRecord) {
    const auto poll = [](std::int64_t cpu, bool extra) {
        std::vector<PollRow> rows;
        for (int spid = 10; spid < 16; ++spid)
            rows.push_back(R(spid)
                               .Login("L" + std::to_string(spid % 3))
                               .Database("D" + std::to_string(spid % 2))
                               .Cpu(cpu));
        if (extra) rows.push_back(R(5).Login("L9").Database("D9"));
        return rows;
    };
    Poll(poll(1, false));
    TakeEvents();
    std::qsort(Model.ProcessTable->Data, static_cast<std::size_t>(Model.ProcessTable->Count),
               sizeof(stProcessInfo), CompareSpidDescending);
    std::qsort(Model.UserTable->Data, static_cast<std::size_t>(Model.UserTable->Count),
               sizeof(stUserInfo), CompareLoginDescending);
    std::qsort(Model.DatabaseTable->Data, static_cast<std::size_t>(Model.DatabaseTable->Count),
               sizeof(stDatabaseInfo), CompareDatabaseDescending);
    if (GetParam()) Model.InvalidateIndexes();

    Poll(poll(2, true));
    EXPECT_EQ(TakeEvents(), (std::vector<Event>{{"CONN", 5, "L9"}}));
    EXPECT_EQ(Spids(), (std::vector<int>{15, 14, 13, 12, 11, 10, 5}));
    for (int spid = 10; spid < 16; ++spid) {
        EXPECT_EQ(Session(spid).CPU, 2);
        EXPECT_EQ(Session(spid).PrevCPU, 1);
    }
    ASSERT_EQ(Model.UserTable->Count, 4);
    EXPECT_STREQ(Model.UserTable->Item<stUserInfo>(0).LoginName, "L2");
    EXPECT_STREQ(Model.UserTable->Item<stUserInfo>(3).LoginName, "L9");
    EXPECT_EQ(User("L0", "0A0B0C0D0E0F").Processes, 2);
    EXPECT_EQ(User("L0", "0A0B0C0D0E0F").PrevProcesses, 2);
    EXPECT_EQ(DatabaseNames(), (std::vector<std::string>{"D1", "D0", "D9"}));
    EXPECT_EQ(Database("D0").Processes, 3);
    EXPECT_EQ(Database("D0").PrevProcesses, 3);
}

INSTANTIATE_TEST_SUITE_P(Announced, ServerModelSorted, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "WithInvalidate"
                                                           : "WithoutInvalidate");
                         });

// Many polls with sessions leaving, arriving, SPIDs reused with new login times, several
// contexts per session and shuffled tables in between: every poll's tables must hold exactly what
// the rows say, each key once.
TEST_F(ServerModelMerge, ChurnAndShufflesKeepTablesExact) {
    Owner.Logs.Logging = false;  // only the tables are checked here
    std::mt19937 rng(12345);
    struct Live {
        TDateTime login;
        int contexts;
        std::string user, address, db;
    };
    std::map<int, Live> live;
    const auto newSession = [&](int spid) {
        live[spid] = {46000.0 + static_cast<double>(rng() % 100000) / 100000.0,
                      1 + static_cast<int>(rng() % 4 == 0 ? rng() % 4 : 0),
                      "u" + std::to_string(rng() % 40), "addr" + std::to_string(rng() % 5),
                      "db" + std::to_string(rng() % 12)};
    };
    for (int spid = 1; spid <= 400; ++spid) newSession(spid);

    for (int poll = 0; poll < 40; ++poll) {
        SCOPED_TRACE("poll " + std::to_string(poll));
        std::vector<PollRow> rows;
        for (const auto &[spid, s] : live)
            for (int e = 0; e < s.contexts; ++e)
                rows.push_back(
                    R(spid, e).Login(s.user).Address(s.address).Database(s.db).LoginAt(s.login).Cpu(
                        rng() % 1000));
        std::shuffle(rows.begin(), rows.end(), rng);

        // What the rows say, in arrival order: a user or database counts its main-context rows,
        // and a new one also its creating row whatever its context.
        std::set<std::string> knownUsers, knownDbs;
        for (int i = 0; i < Model.UserTable->Count; ++i) {
            const stUserInfo &u = Model.UserTable->Item<stUserInfo>(i);
            knownUsers.insert(std::string(u.LoginName) + "@" + u.NetAddress);
        }
        for (int i = 0; i < Model.DatabaseTable->Count; ++i)
            knownDbs.insert(Model.DatabaseTable->Item<stDatabaseInfo>(i).DatabaseName);
        std::map<int, std::int64_t> cpuBySpid;
        std::map<std::string, std::int64_t> cpuByUser, cpuByDb, processesByUser, processesByDb;
        for (const PollRow &r : rows) {
            cpuBySpid[r.SPID] += r.CPU;
            const std::string user = r.LoginName + "@" + r.NetAddress;
            const bool newUser = knownUsers.insert(user).second;
            const bool newDb = knownDbs.insert(r.DatabaseName).second;
            if (newUser || r.ECID == 0) ++processesByUser[user];
            if (newDb || r.ECID == 0) ++processesByDb[r.DatabaseName];
            cpuByUser[user] += r.CPU;
            cpuByDb[r.DatabaseName] += r.CPU;
        }
        Poll(rows);

        ASSERT_EQ(Model.ProcessTable->Count, static_cast<int>(live.size()));
        std::set<int> spids;
        for (int i = 0; i < Model.ProcessTable->Count; ++i) {
            const stProcessInfo &p = Model.ProcessTable->Item<stProcessInfo>(i);
            ASSERT_TRUE(spids.insert(p.SPID).second) << "SPID twice: " << p.SPID;
            ASSERT_TRUE(live.count(p.SPID));
            EXPECT_EQ(p.CPU, cpuBySpid[p.SPID]);
            EXPECT_EQ(p.Threads, live[p.SPID].contexts);
            EXPECT_EQ(p.LoginTime, live[p.SPID].login);
            EXPECT_STREQ(p.LoginName, live[p.SPID].user.c_str());
        }
        ASSERT_EQ(Model.UserTable->Count, static_cast<int>(cpuByUser.size()));
        std::set<std::string> users;
        for (int i = 0; i < Model.UserTable->Count; ++i) {
            const stUserInfo &u = Model.UserTable->Item<stUserInfo>(i);
            const std::string key = std::string(u.LoginName) + "@" + u.NetAddress;
            ASSERT_TRUE(users.insert(key).second) << "user twice: " << key;
            EXPECT_EQ(u.CPU, cpuByUser[key]) << key;
            EXPECT_EQ(u.Processes, processesByUser[key]) << key;
        }
        ASSERT_EQ(Model.DatabaseTable->Count, static_cast<int>(cpuByDb.size()));
        for (int i = 0; i < Model.DatabaseTable->Count; ++i) {
            const stDatabaseInfo &d = Model.DatabaseTable->Item<stDatabaseInfo>(i);
            EXPECT_EQ(d.CPU, cpuByDb[d.DatabaseName]) << d.DatabaseName;
            EXPECT_EQ(d.Processes, processesByDb[d.DatabaseName]) << d.DatabaseName;
        }
        EXPECT_EQ(Model.ThreadTable->Count, static_cast<int>(rows.size()));

        // Between polls: a fill may reorder any table; sometimes it announces it.
        if (rng() % 2) {
            auto *data = reinterpret_cast<stProcessInfo *>(Model.ProcessTable->Data);
            std::shuffle(data, data + Model.ProcessTable->Count, rng);
            auto *users_ = reinterpret_cast<stUserInfo *>(Model.UserTable->Data);
            std::shuffle(users_, users_ + Model.UserTable->Count, rng);
            if (rng() % 2) Model.InvalidateIndexes();
        }
        // Churn: some sessions leave, some SPIDs are taken by a new login, some new SPIDs arrive.
        for (int k = 0; k < 12; ++k) {
            auto it = live.begin();
            std::advance(it, static_cast<long>(rng() % live.size()));
            if (k % 3 == 0)
                live.erase(it);
            else
                newSession(it->first);  // same SPID, new login time
        }
        for (int k = 0; k < 4; ++k) newSession(401 + poll * 4 + k);
    }
}

}  // namespace
