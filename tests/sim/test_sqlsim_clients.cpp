// sqlsim against clients written elsewhere: FreeTDS's tsql and unixODBC's isql with the FreeTDS
// driver, both over loopback.

#include "SimSqlTexts.h"
#include "SimTestWait.h"
#include "SimToolRunner.h"
#include "SqlSimServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class SqlSimClients : public ::testing::Test {
protected:
    void SetUp() override {
        SqlSimOptions o;
        o.Workload.Seed = 11;
        o.Workload.UserSessions = 20;
        o.Logins.push_back({"nogetsql", "pw;with;semicolons", false, true});
        Server.reset(new SqlSimServer(o));
        std::string error;
        ASSERT_TRUE(Server->Start(&error)) << error;
    }
    void TearDown() override { Server->Stop(); }

    int RowsNow() {
        int rows = 0;
        Server->Workload().Read([&](const std::map<int, SimSession> &s, const SimCounters &) {
            for (const auto &e : s) rows += 1 + e.second.ExtraContexts;
        });
        return rows;
    }

    std::unique_ptr<SqlSimServer> Server;
};

struct TextCase {
    const char *label;
    std::string sql;
    std::vector<std::string> expected;
};

TEST_F(SqlSimClients, TsqlAnswersProbeAndStartupTexts) {
    const std::vector<TextCase> cases = {
        {"probe", SimSqlTexts::Probe(), {"(1 row affected)"}},
        {"statement-text probe", SimSqlTexts::StatementTextProbe(), {"counter\n1\n"}},
        {"permission probe", SimSqlTexts::PermissionProbe(), {"permission\n32\n"}},
        {"start-up query",
         SimSqlTexts::StartupQuery(),
         {"spid\tserverstarttime\tservertimenow", "(1 row affected)"}},
    };
    for (const TextCase &c : cases) {
        const SimToolResult r =
            SimToolRunner::Tsql(Server->Port(), "sa", "Kivra-Test-1", c.sql + "\ngo\nexit\n");
        for (const std::string &e : c.expected)
            EXPECT_NE(r.Output.find(e), std::string::npos) << c.label << ":\n" << r.Output;
        EXPECT_EQ(r.Output.find("Msg "), std::string::npos) << c.label << ":\n" << r.Output;
    }
}

TEST_F(SqlSimClients, StartupQueryReportsTheClientsOwnSpid) {
    const SimToolResult r = SimToolRunner::Tsql(Server->Port(), "sa", "Kivra-Test-1",
                                                SimSqlTexts::StartupQuery() + "\ngo\nexit\n");
    // 25 system sessions, 20 simulated user sessions from 51: the client is the next id.
    EXPECT_NE(r.Output.find("\n71\t"), std::string::npos) << r.Output;
}

TEST_F(SqlSimClients, FeatureSwitchesChangeTheProbes) {
    Server->SetNoStmtStart(true);
    SimToolResult r = SimToolRunner::Tsql(Server->Port(), "sa", "Kivra-Test-1",
                                          SimSqlTexts::StatementTextProbe() + "\ngo\nexit\n");
    EXPECT_NE(r.Output.find("counter\n0\n"), std::string::npos) << r.Output;
    r = SimToolRunner::Tsql(Server->Port(), "nogetsql", "pw;with;semicolons",
                            SimSqlTexts::PermissionProbe() + "\ngo\nexit\n");
    EXPECT_NE(r.Output.find("permission\n0\n"), std::string::npos) << r.Output;
}

TEST_F(SqlSimClients, IsqlReadsTheWholeProcessQuery) {
    const SimToolResult r =
        SimToolRunner::Isql(Server->Port(), "sa", "Kivra-Test-1",
                            SimToolRunner::OneLine(SimSqlTexts::ProcessQuery()) + "\n");
    const char *columns[] = {"spid",         "ecid",         "databasename", "loginame",
                             "hostname",     "nt_domain",    "nt_username",  "net_address",
                             "net_library",  "cmd",          "status",       "program_name",
                             "blocked",      "login_time",   "last_batch",   "cpu_usage",
                             "memusage",     "physical_io",  "open_tran",    "waittime",
                             "lastwaittype", "waitresource", "hostprocess",  "cpubusy",
                             "cpuidle",      "packreceived", "packsent",     "packerrors",
                             "totalread",    "totalwrite",   "totalerrors",  "servertime"};
    const size_t header = r.Output.find("| spid");
    ASSERT_NE(header, std::string::npos) << r.Output;
    const std::string headerLine = r.Output.substr(header, r.Output.find('\n', header) - header);
    size_t at = 0;
    for (const char *c : columns) {
        const size_t found = headerLine.find(std::string(" ") + c, at);
        EXPECT_NE(found, std::string::npos) << c << " missing or out of order: " << headerLine;
        if (found != std::string::npos) at = found + 1;
    }
    // The client left when isql ended (once the server has noticed): the rows of the poll are
    // those of now plus that session.
    ASSERT_TRUE(WaitUntil([&] { return Server->ClientCount() == 0; }));
    EXPECT_NE(r.Output.find(std::to_string(RowsNow() + 1) + " rows fetched"), std::string::npos)
        << r.Output;
    EXPECT_NE(r.Output.find("<SystemProcess>"), std::string::npos);
    EXPECT_EQ(r.Output.find("[ISQL]ERROR"), std::string::npos) << r.Output;
}

TEST_F(SqlSimClients, IsqlRunsTheThreeSessionBatches) {
    const int user = 51;  // the first simulated user session
    const std::vector<TextCase> cases = {
        {"input buffer", SimSqlTexts::InputBuffer(user), {"EventType", "EventInfo"}},
        {"input buffer, unknown session",
         SimSqlTexts::InputBuffer(999),
         {"NONE", "<No SQL Found>"}},
        {"statement", SimSqlTexts::StatementBatch(user), {"stmt_start", "sqltext"}},
        {"statement, quoted database",
         SimSqlTexts::StatementBatch(user, true),
         {"stmt_start", "sqltext"}},
        {"statement, unknown session", SimSqlTexts::StatementBatch(999), {"<NONE>"}},
        {"kill, system session", SimSqlTexts::KillBatch(3), {"returncode", "| -2"}},
        {"kill, unknown session", SimSqlTexts::KillBatch(999), {"| 1 "}},
        {"kill, user session", SimSqlTexts::KillBatch(user), {"| 1 "}},
    };
    for (const TextCase &c : cases) {
        const SimToolResult r = SimToolRunner::Isql(Server->Port(), "sa", "Kivra-Test-1",
                                                    SimToolRunner::OneLine(c.sql) + "\n");
        for (const std::string &e : c.expected)
            EXPECT_NE(r.Output.find(e), std::string::npos) << c.label << ":\n" << r.Output;
        EXPECT_EQ(r.Output.find("[ISQL]ERROR"), std::string::npos) << c.label << ":\n" << r.Output;
    }
    SimSession gone;
    EXPECT_FALSE(Server->Workload().Find(user, gone));
}

TEST_F(SqlSimClients, WrongCredentialsFailWith18456) {
    const struct {
        const char *user, *password;
    } cases[] = {{"sa", "wrong"}, {"nobody", "Kivra-Test-1"}, {"sa", ""}};
    for (const auto &c : cases) {
        SimToolResult r =
            SimToolRunner::Tsql(Server->Port(), c.user, c.password, "SELECT 1\ngo\nexit\n");
        EXPECT_NE(r.Output.find("Msg 18456"), std::string::npos) << r.Output;
        EXPECT_NE(r.Output.find(std::string("Login failed for user '") + c.user + "'."),
                  std::string::npos)
            << r.Output;
        r = SimToolRunner::Isql(Server->Port(), c.user, c.password, "SELECT 1\n");
        EXPECT_NE(r.Output.find("Could not SQLConnect"), std::string::npos) << r.Output;
        EXPECT_NE(r.Output.find(std::string("Login failed for user '") + c.user + "'."),
                  std::string::npos)
            << r.Output;
    }
    EXPECT_EQ(Server->ClientCount(), 0);
}

TEST_F(SqlSimClients, UnknownBatchGetsSyntaxError) {
    const SimToolResult r = SimToolRunner::Isql(Server->Port(), "sa", "Kivra-Test-1",
                                                "SELECT name FROM sys.databases\n");
    EXPECT_NE(r.Output.find("Incorrect syntax near"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("[ISQL]ERROR"), std::string::npos) << r.Output;
}

TEST_F(SqlSimClients, DroppedConnectionIsSeenByTheClient) {
    const struct {
        const char *tool;
        std::vector<std::string> signs;  // any one of them
    } cases[] = {
        {"isql", {"08S01", "Unexpected EOF"}},
        {"tsql", {"Unexpected EOF from the server"}},
    };
    Server->SetDelay(3000);
    for (const auto &k : cases) {
        std::atomic<bool> inside{false};
        std::thread dropper([this, &inside] {
            // Drop once the server holds the client's first batch (logins are not delayed).
            inside = WaitUntil([this] { return ClientInBatch(*Server, "SELECT 1"); });
            Server->DropConnections();
        });
        const SimToolResult r =
            std::string(k.tool) == "isql"
                ? SimToolRunner::Isql(Server->Port(), "sa", "Kivra-Test-1", "SELECT 1\n")
                : SimToolRunner::Tsql(Server->Port(), "sa", "Kivra-Test-1", "SELECT 1\ngo\nexit\n");
        dropper.join();
        EXPECT_TRUE(inside) << k.tool << ": the batch never reached the server";
        bool seen = false;
        for (const std::string &s : k.signs) seen = seen || r.Output.find(s) != std::string::npos;
        EXPECT_TRUE(seen) << k.tool << ":\n" << r.Output;
        EXPECT_EQ(r.Output.find("(1 row affected)"), std::string::npos) << k.tool;
        EXPECT_TRUE(WaitUntil([this] { return Server->ClientCount() == 0; })) << k.tool;
    }
}

}  // namespace
