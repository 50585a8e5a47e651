// sqlsim on the wire, seen through a small TDS client of the tests: types, packets, versions,
// login failures, attention, faults and the session batches' contents.

#include "SimSqlTexts.h"
#include "SimTestWait.h"
#include "SqlSimServer.h"
#include "TdsTestClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class SqlSimProtocol : public ::testing::Test {
protected:
    void SetUp() override { StartServer(30); }
    void TearDown() override { Server->Stop(); }

    void StartServer(int users, bool noStmtStart = false) {
        SqlSimOptions o;
        o.Workload.Seed = 21;
        o.Workload.UserSessions = users;
        o.NoStmtStart = noStmtStart;
        o.Logins.push_back({"limited", "pw", true, false});
        o.Logins.push_back({"nosql", "pw", false, true});
        if (Server) Server->Stop();
        Server.reset(new SqlSimServer(o));
        std::string error;
        ASSERT_TRUE(Server->Start(&error)) << error;
    }

    int SpidOf(TdsTestClient &c) {
        const TdsTestReply r = c.Batch(SimSqlTexts::StartupQuery());
        if (!r.Ok || r.Results.empty() || r.Results[0].Rows.empty()) return 0;
        return std::stoi(r.Results[0].Rows[0][0]);
    }

    std::unique_ptr<SqlSimServer> Server;
};

TEST_F(SqlSimProtocol, ProcessQueryColumnsHaveTheServersTypes) {
    TdsTestClient c;
    ASSERT_TRUE(c.Open(Server->Port(), "sa", "Kivra-Test-1", "VORNIXMonitor-2"));
    const TdsTestReply r = c.Batch(SimSqlTexts::ProcessQuery());
    ASSERT_TRUE(r.Ok);
    ASSERT_EQ(r.Results.size(), 1u);
    const TdsTestResultSet &rs = r.Results[0];
    ASSERT_EQ(rs.Columns.size(), 32u);
    const struct {
        const char *name;
        uint8_t type;
        int size;
    } cases[] = {
        {"spid", 0x34, 2},           {"ecid", 0x34, 2},           {"databasename", 0xE7, 256},
        {"loginame", 0xE7, 256},     {"hostname", 0xE7, 256},     {"net_address", 0xE7, 24},
        {"net_library", 0xE7, 24},   {"cmd", 0xE7, 32},           {"status", 0xE7, 60},
        {"program_name", 0xE7, 256}, {"blocked", 0xA7, 30},       {"login_time", 0x6F, 8},
        {"last_batch", 0x6F, 8},     {"cpu_usage", 0x38, 4},      {"memusage", 0x38, 4},
        {"physical_io", 0x7F, 8},    {"open_tran", 0x34, 2},      {"waittime", 0x7F, 8},
        {"lastwaittype", 0xE7, 64},  {"waitresource", 0xE7, 512}, {"hostprocess", 0xE7, 20},
        {"cpubusy", 0x38, 4},        {"cpuidle", 0x38, 4},        {"packreceived", 0x38, 4},
        {"totalerrors", 0x38, 4},    {"servertime", 0x6F, 8},
    };
    for (const auto &k : cases) {
        const int i = rs.Column(k.name);
        ASSERT_GE(i, 0) << k.name;
        EXPECT_EQ(rs.Columns[static_cast<size_t>(i)].Type, k.type) << k.name;
        EXPECT_EQ(rs.Columns[static_cast<size_t>(i)].Size, k.size) << k.name;
    }

    // The client itself is a session, under the folded monitor name, with its LOGIN7 values.
    const int spid = SpidOf(c);
    bool own = false, systemRow = false;
    for (const auto &row : rs.Rows) {
        EXPECT_NE(row[static_cast<size_t>(rs.Column("servertime"))], "NULL");
        if (row[0] == std::to_string(spid)) {
            own = true;
            EXPECT_EQ(row[static_cast<size_t>(rs.Column("program_name"))], "VORNIXMonitor");
            EXPECT_EQ(row[static_cast<size_t>(rs.Column("hostname"))], "TESTHOST");
            EXPECT_EQ(row[static_cast<size_t>(rs.Column("loginame"))], "sa");
            EXPECT_EQ(row[static_cast<size_t>(rs.Column("hostprocess"))], "4242");
            EXPECT_EQ(row[static_cast<size_t>(rs.Column("status"))], "runnable");
        }
        if (row[static_cast<size_t>(rs.Column("databasename"))] == "<SystemProcess>") {
            systemRow = true;
            EXPECT_EQ(row[static_cast<size_t>(rs.Column("program_name"))], "");
            EXPECT_EQ(row[static_cast<size_t>(rs.Column("blocked"))], "0");
        }
    }
    EXPECT_TRUE(own);
    EXPECT_TRUE(systemRow);
}

TEST_F(SqlSimProtocol, EveryReplyHeaderCarriesTheSessionId) {
    TdsTestClient c;
    TdsTestReply pre;
    ASSERT_TRUE(c.Connect(Server->Port()) && c.Prelogin(pre));
    const TdsTestReply login = c.Login("sa", "Kivra-Test-1");
    ASSERT_TRUE(login.LoginAck);
    const int spid = SpidOf(c);
    ASSERT_GT(spid, 50);
    for (uint16_t s : login.PacketSpids) EXPECT_EQ(s, spid);
    const TdsTestReply r = c.Batch(SimSqlTexts::ProcessQuery());
    for (uint16_t s : r.PacketSpids) EXPECT_EQ(s, spid);
}

TEST_F(SqlSimProtocol, RepliesAreSplitAtTheNegotiatedPacketSize) {
    Server->SetSessionCount(1000);
    const struct {
        uint32_t asked;
        size_t granted;
    } cases[] = {{512, 512}, {4096, 4096}, {100, 512}, {0, 4096}, {40000, 32767}, {8000, 8000}};
    for (const auto &k : cases) {
        TdsTestClient c;
        TdsTestReply pre;
        ASSERT_TRUE(c.Connect(Server->Port()) && c.Prelogin(pre));
        const TdsTestReply login = c.Login("sa", "Kivra-Test-1", "t", 0x74000004, k.asked);
        ASSERT_TRUE(login.LoginAck) << k.asked;
        bool confirmed = false;
        for (const auto &e : login.EnvChanges)
            confirmed = confirmed || (e.first == 4 && e.second == std::to_string(k.granted));
        EXPECT_TRUE(confirmed) << k.asked;
        const TdsTestReply r = c.Batch(SimSqlTexts::ProcessQuery());
        ASSERT_TRUE(r.Ok) << k.asked;
        ASSERT_GT(r.PacketSizes.size(), 1u) << k.asked;
        for (size_t i = 0; i + 1 < r.PacketSizes.size(); ++i)
            ASSERT_EQ(r.PacketSizes[i], k.granted) << k.asked << " packet " << i;
        EXPECT_LE(r.PacketSizes.back(), k.granted);
        EXPECT_EQ(r.Results[0].Rows.size() >= 1025u, true);
    }
}

TEST_F(SqlSimProtocol, EachTdsVersionGetsItsFieldWidths) {
    const uint32_t versions[] = {0x71000001, 0x72090002, 0x730B0003, 0x74000004};
    for (uint32_t v : versions) {
        TdsTestClient c;
        ASSERT_TRUE(c.Open(Server->Port(), "sa", "Kivra-Test-1", "t", v)) << std::hex << v;
        TdsTestReply r = c.Batch(SimSqlTexts::ProcessQuery());
        EXPECT_TRUE(r.Ok) << std::hex << v;  // parsed with the widths of v to the final DONE
        r = c.Batch("select nonsense");
        EXPECT_TRUE(r.Ok) << std::hex << v;
        EXPECT_TRUE(r.HasError(102)) << std::hex << v;
        EXPECT_TRUE(r.DoneStatus.back() & 0x02);
    }
}

TEST_F(SqlSimProtocol, LoginAcrossSeveralPackets) {
    TdsTestClient c;
    TdsTestReply pre;
    ASSERT_TRUE(c.Connect(Server->Port()) && c.Prelogin(pre));
    EXPECT_TRUE(c.Login("sa", "Kivra-Test-1", "split", 0x74000004, 4096, false, 37).LoginAck);
    EXPECT_GT(SpidOf(c), 0);
}

TEST_F(SqlSimProtocol, FailedLoginsExplainAndClose) {
    const struct {
        const char *user, *password;
        bool sspi;
        const char *database;
        int error;
        const char *text;
    } cases[] = {
        {"sa", "kivra-test-1", false, "", 18456, "Login failed for user 'sa'."},
        {"ghost", "Kivra-Test-1", false, "", 18456, "Login failed for user 'ghost'."},
        {"", "", true, "", 18452, "Integrated authentication"},
        {"sa", "Kivra-Test-1", false, "NoSuchDb", 4060, "Cannot open database \"NoSuchDb\""},
    };
    for (const auto &k : cases) {
        TdsTestClient c;
        TdsTestReply pre;
        ASSERT_TRUE(c.Connect(Server->Port()) && c.Prelogin(pre));
        const TdsTestReply r =
            c.Login(k.user, k.password, "t", 0x74000004, 4096, k.sspi, 0, k.database);
        EXPECT_FALSE(r.LoginAck) << k.error;
        ASSERT_TRUE(r.HasError(k.error)) << k.error;
        EXPECT_NE(r.Messages[0].Text.find(k.text), std::string::npos) << r.Messages[0].Text;
        EXPECT_EQ(r.Messages[0].Cls, 14);
        EXPECT_TRUE(r.DoneStatus.back() & 0x02);
        EXPECT_TRUE(c.ClosedByServer()) << k.error;
    }
    // A login name matches without regard to case; the password does not.
    TdsTestClient ok;
    EXPECT_TRUE(ok.Open(Server->Port(), "SA", "Kivra-Test-1"));
}

// LOGIN7 carries its names in UTF-16: characters beyond the first plane come as surrogate
// pairs; a surrogate without its partner (a damaged packet) becomes U+FFFD, never bytes that
// are not UTF-8.
TEST_F(SqlSimProtocol, LoginNamesInEveryScriptAreDecodedWhole) {
    const struct {
        const char *user, *password, *app, *seenUser, *seenApp;
    } cases[] = {
        {"ödd", "é€ñ", "Überwachung", "ödd", "Überwachung"},
        {"Αλέξανδρος", "κωδικός", "Монитор", "Αλέξανδρος", "Монитор"},
        {"管理者", "パスワード", "監視", "管理者", "監視"},
        {"dba🐘", "é€😀", "watch 👀", "dba🐘", "watch 👀"},
        // CESU-8 of a lone high surrogate: the test client sends the bare code unit.
        {"lone\xED\xA0\x80x", "pw", "app\xED\xB0\x80", "lone\xEF\xBF\xBDx", "app\xEF\xBF\xBD"},
    };
    for (const auto &k : cases) {
        Server->SetLogin({k.seenUser, k.password, true, true});
        TdsTestClient c;
        ASSERT_TRUE(c.Open(Server->Port(), k.user, k.password, k.app)) << k.seenUser;
        const int spid = SpidOf(c);
        SimSession s;
        ASSERT_TRUE(Server->Workload().Find(spid, s)) << k.seenUser;
        EXPECT_EQ(s.Login, k.seenUser);
        EXPECT_EQ(s.Program, k.seenApp);
    }
}

TEST_F(SqlSimProtocol, AttentionCancelsADelayedBatch) {
    TdsTestClient c;
    ASSERT_TRUE(c.Open(Server->Port()));
    Server->SetDelay(5000);
    ASSERT_TRUE(c.SendBatch(SimSqlTexts::ProcessQuery()));
    ASSERT_TRUE(WaitUntil([&] { return ClientInBatch(*Server, SimSqlTexts::ProcessQuery()); }));
    ASSERT_TRUE(c.SendAttention());
    TdsTestReply r = c.ReadReply();  // long before the 5 s
    ASSERT_TRUE(r.Ok);
    EXPECT_TRUE(r.Results.empty());
    EXPECT_TRUE(r.DoneStatus.back() & 0x20);
    Server->SetDelay(0);

    // An attention after the answer was sent is acknowledged too.
    r = c.Batch("SELECT 1");
    ASSERT_TRUE(r.Ok);
    ASSERT_TRUE(c.SendAttention());
    r = c.ReadReply();
    ASSERT_TRUE(r.Ok);
    EXPECT_TRUE(r.DoneStatus.back() & 0x20);
    EXPECT_TRUE(c.Batch("SELECT 1").Ok);  // and the connection goes on
}

TEST_F(SqlSimProtocol, PauseHoldsAnswersUntilResumed) {
    TdsTestClient c;
    ASSERT_TRUE(c.Open(Server->Port()));
    Server->SetPaused(true);
    ASSERT_TRUE(c.SendBatch("SELECT 1"));
    EXPECT_FALSE(c.Readable(300));
    Server->SetPaused(false);
    const TdsTestReply r = c.ReadReply();
    ASSERT_TRUE(r.Ok);
    ASSERT_EQ(r.Results.size(), 1u);
    EXPECT_EQ(r.Results[0].Rows[0][0], "1");
}

TEST_F(SqlSimProtocol, DropRefuseAndRestart) {
    TdsTestClient a, b;
    ASSERT_TRUE(a.Open(Server->Port()));
    ASSERT_TRUE(b.Open(Server->Port()));
    Server->DropConnections();
    EXPECT_TRUE(a.ClosedByServer());
    EXPECT_TRUE(b.ClosedByServer());

    Server->SetRefuseConnections(true);
    TdsTestClient refused;
    EXPECT_FALSE(refused.Connect(Server->Port()));
    Server->SetRefuseConnections(false);
    ASSERT_TRUE(a.Open(Server->Port()));

    TdsTestReply r = a.Batch(SimSqlTexts::StartupQuery());
    ASSERT_TRUE(r.Ok);
    const std::string startBefore = r.Results[0].Rows[0][1];
    // Start times are whole seconds: the restart comes in a later second than the start.
    const int64_t started = Server->Workload().StartTimeMs();
    ASSERT_TRUE(WaitUntil([&] { return SimWorkload::NowLocalMs() / 1000 > started / 1000; }));
    Server->Restart();
    EXPECT_TRUE(a.ClosedByServer());
    ASSERT_TRUE(a.Open(Server->Port()));
    r = a.Batch(SimSqlTexts::StartupQuery());
    ASSERT_TRUE(r.Ok);
    EXPECT_GT(r.Results[0].Rows[0][1], startBefore);
}

TEST_F(SqlSimProtocol, KillBatchAnswersAndClosesARealClient) {
    TdsTestClient monitor, victim;
    ASSERT_TRUE(monitor.Open(Server->Port()));
    ASSERT_TRUE(victim.Open(Server->Port()));
    const int own = SpidOf(monitor), other = SpidOf(victim);
    const struct {
        int spid;
        const char *code;
    } cases[] = {{own, "-1"}, {2, "-2"}, {other, "1"}, {other, "1"}, {9999, "1"}};
    for (const auto &k : cases) {
        const TdsTestReply r = monitor.Batch(SimSqlTexts::KillBatch(k.spid));
        ASSERT_TRUE(r.Ok) << k.spid;
        ASSERT_EQ(r.Results.size(), 1u);
        EXPECT_EQ(r.Results[0].Columns[0].Name, "returncode");
        EXPECT_EQ(r.Results[0].Rows[0][0], k.code) << k.spid;
    }
    EXPECT_TRUE(victim.ClosedByServer());
    SimSession s;
    EXPECT_TRUE(Server->Workload().Find(own, s));
    EXPECT_FALSE(Server->Workload().Find(other, s));
}

TEST_F(SqlSimProtocol, BareKillGivesTheServersErrors) {
    TdsTestClient c;
    ASSERT_TRUE(c.Open(Server->Port()));
    const int own = SpidOf(c);
    const struct {
        int spid;
        int error;  // 0: killed
    } cases[] = {{9999, 6106}, {own, 6104}, {1, 6107}, {52, 0}, {52, 6106}};
    for (const auto &k : cases) {
        const TdsTestReply r = c.Batch("kill " + std::to_string(k.spid));
        ASSERT_TRUE(r.Ok);
        if (k.error)
            EXPECT_TRUE(r.HasError(k.error)) << k.spid;
        else
            EXPECT_TRUE(r.Messages.empty()) << k.spid;
    }
    const TdsTestReply r = c.Batch("kill 9999");
    EXPECT_EQ(r.Messages[0].Text, "Process ID 9999 is not an active process ID.");
}

TEST_F(SqlSimProtocol, InputBufferShowsTheLastBatch) {
    TdsTestClient c, other;
    ASSERT_TRUE(c.Open(Server->Port()));
    ASSERT_TRUE(other.Open(Server->Port()));
    const int otherSpid = SpidOf(other);
    const std::string otherBatch = SimSqlTexts::StartupQuery();
    const struct {
        int spid;
        const char *eventType;
        std::string info;
    } cases[] = {{otherSpid, "Language Event", otherBatch},
                 {4, "No Event", ""},
                 {30000, "NONE", "<No SQL Found>"}};
    for (const auto &k : cases) {
        const TdsTestReply r = c.Batch(SimSqlTexts::InputBuffer(k.spid));
        ASSERT_TRUE(r.Ok);
        ASSERT_EQ(r.Results.size(), 1u) << k.spid;
        const TdsTestResultSet &rs = r.Results[0];
        ASSERT_GE(rs.Column("EventType"), 0);
        ASSERT_GE(rs.Column("EventInfo"), 0);
        EXPECT_EQ(rs.Rows[0][static_cast<size_t>(rs.Column("EventType"))], k.eventType);
        EXPECT_EQ(rs.Rows[0][static_cast<size_t>(rs.Column("EventInfo"))], k.info);
        bool dbcc = false;
        for (const auto &m : r.Messages) dbcc = dbcc || (!m.Error && m.Number == 2528);
        EXPECT_TRUE(dbcc) << k.spid;
    }
}

// The statement cut out of the session's text as the batch's own arithmetic does it.
TEST_F(SqlSimProtocol, StatementBatchCutsTheCurrentStatement) {
    TdsTestClient c, limited;
    ASSERT_TRUE(c.Open(Server->Port()));
    ASSERT_TRUE(limited.Open(Server->Port(), "limited", "pw"));
    std::vector<SimSession> sessions;
    Server->Workload().Read([&](const std::map<int, SimSession> &m, const SimCounters &) {
        for (const auto &e : m)
            if (!e.second.Client) sessions.push_back(e.second);
    });
    int withHandle = 0, cut = 0;
    for (const SimSession &s : sessions) {
        for (bool quoted : {false, true}) {
            const TdsTestReply r = c.Batch(SimSqlTexts::StatementBatch(s.Spid, quoted));
            ASSERT_TRUE(r.Ok) << s.Spid;
            ASSERT_EQ(r.Results.size(), 1u) << s.Spid;
            const TdsTestResultSet &rs = r.Results[0];
            const auto &row = rs.Rows[0];
            const std::string sqltext = row[static_cast<size_t>(rs.Column("sqltext"))];
            const std::string object = row[static_cast<size_t>(rs.Column("objectname"))];
            const std::string encrypted = row[static_cast<size_t>(rs.Column("encrypted"))];
            if (!s.HasHandle) {
                EXPECT_EQ(row, (std::vector<std::string>{"0", "0", "<NONE>", "N", "<NONE>"}));
                continue;
            }
            ++withHandle;
            EXPECT_EQ(object, s.ObjectName.empty() ? "<BATCH>" : s.ObjectName);
            if (s.Encrypted) {
                EXPECT_EQ(encrypted, "Y");
                EXPECT_EQ(sqltext, "<NONE>");
                continue;
            }
            EXPECT_EQ(encrypted, "N");
            const size_t from = static_cast<size_t>(s.StmtStart / 2);
            const std::string statement =
                s.StmtEnd < 0 ? s.SqlText.substr(from)
                              : s.SqlText.substr(from, static_cast<size_t>(s.StmtEnd / 2) - from);
            EXPECT_FALSE(sqltext.empty());
            EXPECT_EQ(statement.compare(0, sqltext.size(), sqltext), 0)
                << s.Spid << ": '" << sqltext << "' is not the start of '" << statement << "'";
            cut += s.StmtStart > 0 ? 1 : 0;
        }
        if (s.HasHandle && s.Dbid > 2) {
            const TdsTestReply r = limited.Batch(SimSqlTexts::StatementBatch(s.Spid));
            ASSERT_TRUE(r.Ok);
            const TdsTestResultSet &rs = r.Results[0];
            EXPECT_EQ(rs.Rows[0][static_cast<size_t>(rs.Column("objectname"))],
                      "<Insufficient Rights>");
        }
    }
    EXPECT_GT(withHandle, 0);
    EXPECT_GT(cut, 0) << "no session ran a statement in the middle of its batch";
}

TEST_F(SqlSimProtocol, StatementBatchFailsWithoutTheFeatureOrPermission) {
    int running = 0;
    Server->Workload().Read([&](const std::map<int, SimSession> &m, const SimCounters &) {
        for (const auto &e : m)
            if (e.second.HasHandle && !e.second.Client && e.second.Dbid > 0 && running == 0)
                running = e.first;
    });
    ASSERT_GT(running, 0);
    TdsTestClient nosql;
    ASSERT_TRUE(nosql.Open(Server->Port(), "nosql", "pw"));
    EXPECT_TRUE(nosql.Batch(SimSqlTexts::StatementBatch(running)).HasError(229));
    Server->SetNoStmtStart(true);
    TdsTestClient sa;
    ASSERT_TRUE(sa.Open(Server->Port()));
    EXPECT_TRUE(sa.Batch(SimSqlTexts::StatementBatch(running)).HasError(207));
}

TEST_F(SqlSimProtocol, ErrorLogListAndOtherBatches) {
    TdsTestClient c;
    ASSERT_TRUE(c.Open(Server->Port()));
    TdsTestReply r = c.Batch(SimSqlTexts::EnumErrorLogs());
    ASSERT_TRUE(r.Ok);
    ASSERT_EQ(r.Results.size(), 1u);
    const TdsTestResultSet &rs = r.Results[0];
    ASSERT_EQ(rs.Columns.size(), 3u);
    EXPECT_EQ(rs.Columns[0].Name, "Archive #");
    EXPECT_EQ(rs.Columns[1].Name, "Date");
    EXPECT_EQ(rs.Columns[2].Name, "Log File Size (Byte)");
    ASSERT_GE(rs.Rows.size(), 2u);
    for (size_t i = 0; i < rs.Rows.size(); ++i) EXPECT_EQ(rs.Rows[i][0], std::to_string(i));

    const struct {
        const char *sql;
        int error;  // 0: accepted
    } cases[] = {
        {"SET TEXTSIZE 2147483647", 0},
        {"set ansi_nulls on\r\nset quoted_identifier on", 0},
        {"SET NOCOUNT ON; SELECT name FROM sys.objects", 102},
        {"set nocount on select 1", 102},
        {"SELECT 2", 102},
        {"", 102},
        {"DBCC INPUTBUFFER (12) WITH NO_INFOMSGS; DROP TABLE x", 102},
        {"SELECT 1; DROP TABLE x", 102},
        {"use master", 0},
        {"USE [Sales];", 0},
        {"use NoSuchDb", 911},
    };
    for (const auto &k : cases) {
        r = c.Batch(k.sql);
        ASSERT_TRUE(r.Ok) << k.sql;
        bool anyError = false;
        for (const auto &m : r.Messages) anyError = anyError || m.Error;
        if (k.error)
            EXPECT_TRUE(r.HasError(k.error)) << k.sql;
        else
            EXPECT_FALSE(anyError) << k.sql;
        EXPECT_EQ((r.DoneStatus.back() & 0x02) != 0, k.error != 0) << k.sql;
    }
}

TEST_F(SqlSimProtocol, TextsMatchWhateverTheWhiteSpace) {
    TdsTestClient c;
    ASSERT_TRUE(c.Open(Server->Port()));
    const std::string texts[] = {
        SimSqlTexts::ProcessQuery(),
        SimSqlTexts::KillBatch(9999),
        SimSqlTexts::StatementBatch(51),
    };
    for (const std::string &t : texts) {
        std::string oneLine, spread;
        for (char ch : t) {
            oneLine += (ch == '\r' || ch == '\n' || ch == '\t') ? ' ' : ch;
            spread += ch == ' ' ? std::string(" \t ") : std::string(1, ch);
        }
        for (const std::string &variant : {oneLine, spread, "  \r\n" + t + "\r\n"}) {
            const TdsTestReply r = c.Batch(variant);
            ASSERT_TRUE(r.Ok);
            EXPECT_TRUE(r.Messages.empty() || !r.Messages[0].Error) << variant.substr(0, 40);
            EXPECT_EQ(r.Results.size(), 1u) << variant.substr(0, 40);
        }
    }
}

}  // namespace
