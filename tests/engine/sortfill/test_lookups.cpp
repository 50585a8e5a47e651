// Lookups after a fill, and the session details of one session.

#include "TableFixture.h"

#include <cstring>
#include <ostream>
#include <string>

namespace {

TEST_F(TableFixture, FindUserGivesTheTablePositionOfTheFilledRow) {
    const char *logins[] = {"ann", "bob", "cat", "dan", "eve", "fay"};
    const std::int64_t cpu[] = {5, 60, 20, 90, 1, 40};
    for (int i = 0; i < 6; ++i) {
        stUserInfo u = User(logins[i], "H", "10.0.0.1");
        u.CPU = cpu[i];
        Add(u);
    }
    Grid.SetColCount(17);
    Model.SetUserSortKey(skCPU);  // busiest first: dan, bob, fay, cat, ann, eve
    Model.FillUserGrid(&Grid);
    struct Case {
        int row;
        const char *login;
    };
    for (const Case &c : {Case{1, "dan"}, Case{3, "fay"}, Case{5, "ann"}, Case{6, "eve"}}) {
        ASSERT_EQ(Grid.Cells(1, c.row), c.login);
        EXPECT_EQ(Model.FindUser(Grid.Cells(1, c.row).c_str(), Grid.Cells(16, c.row).c_str()),
                  c.row - 1)
            << c.login;
    }
    EXPECT_EQ(Model.FindUser("dan", "10.0.0.2"), -1) << "the same login from another address";
    EXPECT_EQ(Model.FindUser("Dan", "10.0.0.1"), -1) << "case-sensitive";
    EXPECT_EQ(Model.FindUser("da", "10.0.0.1"), -1);
}

TEST_F(TableFixture, FindDatabaseAfterAFillAndOfAGoneDatabase) {
    for (const char *name : {"tempdb", "Sales", "master"}) Add(Database(name));
    Grid.SetColCount(13);
    Model.FillDatabaseGrid(&Grid);
    EXPECT_EQ(Model.FindDatabase("Sales"), 0);
    EXPECT_EQ(Model.FindDatabase("tempdb"), 2);
    EXPECT_EQ(Model.FindDatabase("sales"), -1);
    int first = 0;
    Model.DatabaseTable->Delete(first);  // "Sales" went away at the last poll
    EXPECT_EQ(Model.FindDatabase("Sales"), -1);
    Model.DatabaseTable->Deallocate();
    EXPECT_EQ(Model.FindDatabase("master"), -1) << "a table without a block";
    Model.UserTable->Deallocate();
    EXPECT_EQ(Model.FindUser("sa", "10.0.0.1"), -1);
}

struct Details {
    std::string login = "-", ntLogin = "-", database = "-", status = "-", command = "-",
                program = "-", host = "-";
    int cpu = -1, cpuDelta = -1, mem = -1, memDelta = -1, io = -1, ioDelta = -1, threads = -1,
        threadsDelta = -1;
    TDateTime loginTime = -1, lastBatch = -1;

    bool Read(const TDBServerInfo &m, int spid) {
        return m.GetProcessDetails(spid, login, ntLogin, database, status, command, program, host,
                                   cpu, cpuDelta, mem, memDelta, io, ioDelta, threads, threadsDelta,
                                   loginTime, lastBatch);
    }
};

TEST_F(TableFixture, DetailsOfAGoneSessionLeaveEveryOutputAlone) {
    Add(Session(51));
    Details d;
    EXPECT_FALSE(d.Read(Model, 52));
    const Details untouched;
    EXPECT_EQ(d.login, untouched.login);
    EXPECT_EQ(d.ntLogin, untouched.ntLogin);
    EXPECT_EQ(d.host, untouched.host);
    EXPECT_EQ(d.cpu, -1);
    EXPECT_EQ(d.threadsDelta, -1);
    EXPECT_EQ(d.loginTime, -1);
    EXPECT_EQ(d.lastBatch, -1);
    Model.ProcessTable->Deallocate();
    EXPECT_FALSE(d.Read(Model, 51));
}

TEST_F(TableFixture, DetailsOfASession) {
    stProcessInfo p = Session(57, "app", "WS-1", "10.0.0.7");
    std::strcpy(p.DatabaseName, "Sales");
    std::strcpy(p.Status, "sleeping");
    std::strcpy(p.Command, "AWAITING COMMAND");
    std::strcpy(p.ProgramName, "VORNIXMonitor");
    p.CPU = 5600;
    p.PrevCPU = 5590;
    p.BaselineCPU = 5000;
    p.MemUsage = 12;
    p.PrevMemUsage = 20;
    p.PhysicalIO = 900;
    p.PrevPhysicalIO = 850;
    p.BaselinePhysicalIO = 800;
    p.Threads = 2;
    p.PrevThreads = 4;
    p.LoginTime = 46000.25;
    p.LastBatch = 46001.5;
    Add(p);
    Details d;
    ASSERT_TRUE(d.Read(Model, 57));
    EXPECT_EQ(d.login, "app");
    EXPECT_EQ(d.database, "Sales");
    EXPECT_EQ(d.status, "sleeping");
    EXPECT_EQ(d.command, "AWAITING COMMAND");
    EXPECT_EQ(d.program, "VORNIXMonitor");
    EXPECT_EQ(d.host, "WS-1");
    EXPECT_EQ(d.cpu, 5600);
    EXPECT_EQ(d.cpuDelta, 10);
    EXPECT_EQ(d.mem, 12);
    EXPECT_EQ(d.memDelta, -8);
    EXPECT_EQ(d.io, 900);
    EXPECT_EQ(d.ioDelta, 50);
    EXPECT_EQ(d.threads, 2);
    EXPECT_EQ(d.threadsDelta, -2);
    EXPECT_EQ(d.loginTime, 46000.25);
    EXPECT_EQ(d.lastBatch, 46001.5);

    TDBServerInfo::ProcessBaselineMode = true;
    ASSERT_TRUE(d.Read(Model, 57));
    EXPECT_EQ(d.cpu, 600) << "CPU counts from the baseline";
    EXPECT_EQ(d.io, 900) << "physical IO is always the full figure";
    EXPECT_EQ(d.cpuDelta, 10);
}

TEST_F(TableFixture, DetailsGiveTheLow32BitsOfTheCounters) {
    stProcessInfo p = Session(58);
    p.CPU = (1LL << 32) + 5;
    p.PrevCPU = 5;
    p.MemUsage = (1LL << 32) - 1;  // low 32 bits all set: -1
    p.PhysicalIO = 3000000000LL;
    Add(p);
    Details d;
    ASSERT_TRUE(d.Read(Model, 58));
    EXPECT_EQ(d.cpu, 5);
    EXPECT_EQ(d.cpuDelta, 0);
    EXPECT_EQ(d.mem, -1);
    EXPECT_EQ(d.io, static_cast<int>(3000000000LL - (1LL << 32)));
}

struct NtCase {
    const char *domain, *user, *login;
};

void PrintTo(const NtCase &c, std::ostream *os) { *os << '"' << c.domain << "\\" << c.user << '"'; }

class DetailsWindowsLogin : public TableFixture, public ::testing::WithParamInterface<NtCase> {};

TEST_P(DetailsWindowsLogin, FollowsItsOwnRule) {
    const NtCase &c = GetParam();
    stProcessInfo p = Session(59);
    std::strcpy(p.NTDomain, c.domain);
    std::strcpy(p.NTUserName, c.user);
    Add(p);
    Details d;
    ASSERT_TRUE(d.Read(Model, 59));
    EXPECT_EQ(d.ntLogin, c.login);
}

INSTANTIATE_TEST_SUITE_P(Table, DetailsWindowsLogin,
                         ::testing::Values(NtCase{"CORP", "jdoe", "CORP\\jdoe"},
                                           NtCase{"", "jdoe", "jdoe"}, NtCase{"CORP", "", "CORP\\"},
                                           NtCase{"", "", ""}));

}  // namespace
