// The database layer end to end: the unixODBC driver manager and the installed driver against
// sqlsim on loopback.
#include "ADOConnection.h"
#include "ADODataSet.h"
#include "EOleException.h"
#include "OleDbConnectionString.h"
#include "SimSqlTexts.h"
#include "SqlSimInstances.h"
#include "SqlSimServer.h"
#include "TDateTime.h"

#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

using namespace kivra;

namespace {

class AdoSqlsim : public ::testing::Test {
protected:
    void SetUp() override {
        SqlSimOptions o;
        o.Workload.Seed = 5;
        o.Workload.UserSessions = 40;
        o.Workload.ChurnPercent = 0;
        Sims = std::make_unique<SqlSimInstances>(1, o);
        ASSERT_TRUE(Sims->Started()) << Sims->Error();
        Server = &Sims->Server(0);
    }

    std::string ConnectionString(const std::string &user, const std::string &password) const {
        return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + QuoteOleDbValue(user) +
               ";Password=" + QuoteOleDbValue(password) +
               ";Initial Catalog=master;Data Source=" + Sims->ServerName(0) +
               ";Application Name=VORNIXMonitor";
    }

    void Open(TADOConnection &c, const std::string &password = "Kivra-Test-1") {
        c.ConnectionString = ConnectionString("sa", password);
        c.Open();
    }

    void Run(TADODataSet &q, TADOConnection &c, const std::string &text) {
        q.Connection = &c;
        q.CommandText = text;
        q.Open();
    }

    // Rows the process query gives for the workload as it is now.
    std::size_t ExpectedRows() {
        std::size_t rows = 0;
        Server->Workload().Read([&](const std::map<int, SimSession> &s, const SimCounters &) {
            for (const auto &kv : s) rows += 1 + static_cast<std::size_t>(kv.second.ExtraContexts);
        });
        return rows;
    }

    std::unique_ptr<SqlSimInstances> Sims;
    SqlSimServer *Server = nullptr;  // the one instance of Sims
};

double SecondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

TEST_F(AdoSqlsim, OpensAndClosesWithAGoodPassword) {
    TADOConnection c;
    Open(c);
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(Server->ClientCount(), 1);
    c.SetConnected(true);  // already open: nothing happens
    EXPECT_EQ(Server->ClientCount(), 1);
    c.Close();
    EXPECT_FALSE(c.Connected());
}

TEST_F(AdoSqlsim, ConnectionUsesTheLargestPacketTheServerGrants) {
    TADOConnection c;
    Open(c);
    SQLUINTEGER packet = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLGetConnectAttr(static_cast<SQLHDBC>(c.Handle()),
                                                SQL_ATTR_PACKET_SIZE, &packet, 0, nullptr)));
    EXPECT_EQ(packet, 32767u);
    TADODataSet q;
    Run(q, c, SimSqlTexts::ProcessQuery());  // a result of many packets arrives whole
    EXPECT_EQ(q.RecordCount(), ExpectedRows());
}

TEST_F(AdoSqlsim, WrongPasswordRaisesWithTheDriversMessageAndSource) {
    TADOConnection c;
    try {
        Open(c, "not-the-password");
        FAIL() << "opened with a wrong password";
    } catch (const EOleException &e) {
        EXPECT_NE(e.Message.find("Login failed for user 'sa'."), std::string::npos) << e.Message;
        EXPECT_EQ(e.Source, TADOConnection::DriverName());
        EXPECT_STREQ(e.what(), e.Message.c_str());
    }
    EXPECT_FALSE(c.Connected());
}

TEST_F(AdoSqlsim, ServerThatDoesNotAnswerTheLoginTimesOut) {
    Server->SetPaused(true);
    TADOConnection c;
    c.LoginTimeout = 1;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_THROW(Open(c), EOleException);
    EXPECT_LT(SecondsSince(t0), 10.0);
    Server->SetPaused(false);
}

TEST_F(AdoSqlsim, QueryOnAServerThatStopsAnsweringTimesOut) {
    TADOConnection c;
    Open(c);
    c.CommandTimeout = 1;
    Server->SetPaused(true);
    TADODataSet q;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_THROW(Run(q, c, "SELECT 1"), EOleException);
    EXPECT_LT(SecondsSince(t0), 10.0);
    EXPECT_FALSE(q.Active());
    Server->SetPaused(false);
}

TEST_F(AdoSqlsim, ClosedConnectionAndServerErrorsRaise) {
    TADOConnection c;
    TADODataSet q;
    EXPECT_THROW(Run(q, c, "SELECT 1"), EOleException) << "never opened";
    Open(c);
    try {
        Run(q, c, "SELEKT 1");
        FAIL();
    } catch (const EOleException &e) {
        EXPECT_NE(e.Message.find("Incorrect syntax"), std::string::npos) << e.Message;
        EXPECT_EQ(e.Source, TADOConnection::DriverName());
    }
    EXPECT_FALSE(q.Active());
    Run(q, c, "SELECT 1");  // the connection goes on after a server error
    EXPECT_EQ(q.RecordCount(), 1u);
    Server->DropConnections();
    q.Close();
    EXPECT_THROW(Run(q, c, "SELECT 1"), EOleException) << "dropped by the server";
}

// Whether the driver has given the connection up, after each way a command can fail: only a
// connection that can carry nothing more is dead (a cancel the server left unanswered, the
// server gone); a server error or a time-out whose cancel was answered leave it usable.
TEST_F(AdoSqlsim, DeadOnlyOnceTheDriverHasGivenTheConnectionUp) {
    enum Fault { ServerError, SlowAnswer, NoAnswer, Dropped };
    const struct {
        const char *what;
        Fault fault;
        bool dead;
    } cases[] = {
        {"a server error", ServerError, false},
        {"a time-out whose cancel the server answers", SlowAnswer, false},
        {"a time-out whose cancel goes unanswered", NoAnswer, true},
        {"a connection the server dropped", Dropped, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TADOConnection conn;
        EXPECT_FALSE(conn.Dead()) << "closed";
        Open(conn);
        conn.CommandTimeout = 1;
        EXPECT_FALSE(conn.Dead());
        TADODataSet q;
        switch (c.fault) {
        case ServerError: break;
        case SlowAnswer: Server->SetDelay(4000); break;
        case NoAnswer: Server->SetPaused(true); break;
        case Dropped: Server->DropConnections(); break;
        }
        EXPECT_THROW(Run(q, conn, c.fault == ServerError ? "SELEKT 1" : "SELECT 1"), EOleException);
        Server->SetPaused(false);
        Server->SetDelay(0);
        EXPECT_EQ(conn.Dead(), c.dead);
        EXPECT_TRUE(conn.Connected()) << "the layer closes nothing by itself";
        if (c.dead) {
            EXPECT_THROW(Run(q, conn, "SELECT 1"), EOleException);
        } else {
            Run(q, conn, "SELECT 1");
            EXPECT_EQ(q.RecordCount(), 1u);
        }
        conn.Close();
        EXPECT_FALSE(conn.Dead());
    }
}

TEST_F(AdoSqlsim, RowsFieldsAndTheirEnd) {
    TADOConnection c;
    Open(c);
    TADODataSet q;
    Run(q, c, SimSqlTexts::StartupQuery());
    ASSERT_TRUE(q.Active());
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldCount(), 3);
    TADOField *spid = q.FieldByName("SPID");  // names compare without case
    EXPECT_EQ(spid, q.FieldByName("spid"));
    EXPECT_GT(spid->AsInteger(), 0);
    EXPECT_EQ(spid->AsString(), std::to_string(spid->AsInteger()));
    TADOField *now = q.FieldByName("servertimenow");
    EXPECT_EQ(now->Kind(), TFieldKind::DateTime);
    EXPECT_NEAR(now->AsDateTime(), kivra::Now(), 60.0 / 86400);
    EXPECT_THROW(q.FieldByName("nosuchcolumn"), std::runtime_error);
    EXPECT_EQ(q.FindField("nosuchcolumn"), nullptr);
    q.Next();
    EXPECT_TRUE(q.Eof());
    EXPECT_TRUE(spid->IsNull()) << "past the end every field reads as null";
    EXPECT_EQ(spid->AsInteger(), 0);
    EXPECT_EQ(spid->AsString(), "");
    q.Close();
    EXPECT_TRUE(q.Eof());
    EXPECT_THROW(q.FieldByName("spid"), std::runtime_error);
}

TEST_F(AdoSqlsim, ProcessQueryRowsAndTheirConversions) {
    TADOConnection c;
    Open(c);
    TADODataSet q;
    Run(q, c, SimSqlTexts::ProcessQuery());
    EXPECT_EQ(q.RecordCount(), ExpectedRows());
    EXPECT_EQ(q.FieldCount(), 32);
    struct Kind {
        const char *column;
        TFieldKind kind;
    } kinds[] = {{"spid", TFieldKind::Integer},       {"ecid", TFieldKind::Integer},
                 {"blocked", TFieldKind::Text},       {"login_time", TFieldKind::DateTime},
                 {"cpu_usage", TFieldKind::Integer},  {"loginame", TFieldKind::Text},
                 {"servertime", TFieldKind::DateTime}};
    for (const auto &k : kinds) EXPECT_EQ(q.FieldByName(k.column)->Kind(), k.kind) << k.column;

    int checked = 0;
    for (; !q.Eof(); q.Next()) {
        const int spid = q.FieldByName("spid")->AsInteger();
        SimSession s;
        if (!Server->Workload().Find(spid, s)) continue;
        // The blocked column arrives as text and converts to an integer.
        EXPECT_EQ(q.FieldByName("blocked")->AsInteger(), s.Blocked) << spid;
        EXPECT_EQ(q.FieldByName("loginame")->AsString(), s.Login) << spid;
        EXPECT_EQ(q.FieldByName("hostname")->AsString(), s.Host) << spid;
        EXPECT_EQ(std::string(q.FieldByName("net_address")->AsCString()), s.NetAddress) << spid;
        const TDateTime login = q.FieldByName("login_time")->AsDateTime();
        EXPECT_NEAR(login,
                    kivra::FromSystemClock(std::chrono::system_clock::time_point(
                        std::chrono::milliseconds(s.LoginTimeMs))),
                    1.0)  // local against UTC: within a day
            << spid;
        if (s.Dbid == 0) {
            EXPECT_EQ(q.FieldByName("databasename")->AsString(), "<SystemProcess>");
        }
        ++checked;
    }
    EXPECT_GT(checked, 40);
}

TEST_F(AdoSqlsim, ResultsLargerThanOneFetchBlockArriveWhole) {
    for (int sessions : {1500, 6000}) {
        Server->SetSessionCount(sessions);
        // The connection of the round before leaves the workload when the server notices it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Server->ClientCount() > 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(Server->ClientCount(), 0) << sessions;
        TADOConnection c;
        Open(c);
        TADODataSet q;
        Run(q, c, SimSqlTexts::ProcessQuery());
        EXPECT_EQ(q.RecordCount(), ExpectedRows()) << sessions;
        EXPECT_GT(q.RecordCount(), static_cast<std::size_t>(sessions));
        std::size_t seen = 0;
        TADOField *spid = q.FieldByName("spid");
        for (; !q.Eof(); q.Next()) seen += spid->AsInteger() > 0;
        EXPECT_EQ(seen, q.RecordCount());
    }
}

TEST_F(AdoSqlsim, AQueryOpenedAgainReadsEachResultWhole) {
    // One data set, as the worker's process query is, run again over results of other shapes:
    // nothing of a result is seen in the next one, whatever it keeps for reuse.
    TADOConnection c;
    Open(c);
    TADODataSet q;
    Run(q, c, SimSqlTexts::ProcessQuery());
    const std::size_t rows = q.RecordCount();
    ASSERT_GT(rows, 40u);
    q.Close();

    Run(q, c, SimSqlTexts::StartupQuery());  // fewer columns, of other kinds, in other places
    EXPECT_EQ(q.FieldCount(), 3);
    EXPECT_EQ(q.RecordCount(), 1u);
    EXPECT_EQ(q.FindField("loginame"), nullptr);
    EXPECT_EQ(q.FieldByName("servertimenow")->Kind(), TFieldKind::DateTime);
    TADOField *spid = q.FieldByName("spid");
    EXPECT_GT(spid->AsInteger(), 0);
    q.Next();
    EXPECT_TRUE(spid->IsNull());
    q.Close();

    Server->SetSessionCount(200);  // more rows than the first result held
    for (int round = 0; round < 2; ++round) {
        Run(q, c, SimSqlTexts::ProcessQuery());
        EXPECT_EQ(q.FieldCount(), 32);
        EXPECT_EQ(q.RecordCount(), ExpectedRows()) << round;
        if (round == 0) {
            EXPECT_GT(q.RecordCount(), rows);
        }
        std::size_t found = 0, matched = 0;
        for (; !q.Eof(); q.Next()) {
            SimSession s;
            if (!Server->Workload().Find(q.FieldByName("spid")->AsInteger(), s)) continue;
            ++found;
            matched += q.FieldByName("loginame")->AsString() == s.Login &&
                       q.FieldByName("hostname")->AsString() == s.Host &&
                       q.FieldByName("blocked")->AsInteger() == s.Blocked;
        }
        EXPECT_GT(found, 50u) << round;
        EXPECT_EQ(matched, found) << round;
        q.Close();
        Server->SetSessionCount(60);  // and then fewer
    }
}

TEST_F(AdoSqlsim, TextDigitsConvertAndOtherTextsRefuse) {
    TADOConnection c;
    Open(c);
    TADODataSet q;
    Run(q, c, SimSqlTexts::ProcessQuery());
    TADOField *login = q.FieldByName("loginame");
    ASSERT_FALSE(login->IsNull());
    EXPECT_THROW(login->AsInteger(), std::runtime_error) << login->AsString();
    EXPECT_THROW(login->AsDateTime(), std::runtime_error);
    EXPECT_THROW(q.FieldByName("login_time")->AsInteger(), std::runtime_error);
}

TEST_F(AdoSqlsim, BatchWithMessagesGivesItsFirstResultSet) {
    TADOConnection c;
    Open(c);
    int spid = 0;
    Server->Workload().Read([&](const std::map<int, SimSession> &s, const SimCounters &) {
        for (const auto &kv : s)
            if (!spid && kv.second.EventType == "Language Event") spid = kv.first;
    });
    ASSERT_NE(spid, 0);
    TADODataSet q;
    q.CommandType = cmdUnknown;
    Run(q, c, SimSqlTexts::InputBuffer(spid));
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldByName("EventType")->AsString(), "Language Event");
    EXPECT_FALSE(q.FieldByName("EventInfo")->AsString().empty());
    q.Close();
    Run(q, c, "SELECT 1");  // nothing of the batch is left on the connection
    EXPECT_EQ(q.RecordCount(), 1u);
}

TEST_F(AdoSqlsim, AwkwardPasswordsReachTheServerUnchanged) {
    for (const char *pw : {"a;b", "c}d", "{e}", "f=g", "h\"i", "j'k", " l ", "m;}n={o"}) {
        Server->SetLogin({"odd", pw, true, true});
        TADOConnection c;
        c.ConnectionString = ConnectionString("odd", pw);
        EXPECT_NO_THROW(c.Open()) << pw;
        EXPECT_TRUE(c.Connected()) << pw;
    }
}

// Logins, passwords, application and database names outside ASCII arrive as they were typed,
// and the server's messages that quote them come back the same.
TEST_F(AdoSqlsim, NamesAndPasswordsInEveryScriptReachTheServerUnchanged) {
    struct Case {
        const char *script, *user, *password, *app;
    } cases[] = {
        {"Latin accents", "ödd", "é€ñ ça", "Überwachung"},
        {"Greek", "Αλέξανδρος", "κωδικός-Ω", "Παρακολούθηση"},
        {"Cyrillic", "администратор", "пароль;}=", "Монитор"},
        {"CJK", "管理者", "パスワード漢字", "監視ツール"},
        {"emoji", "dba🐘", "é€😀", "watch 👀 ☃"},
    };
    std::vector<std::unique_ptr<TADOConnection>> open;
    for (const auto &c : cases) {
        Server->SetLogin({c.user, c.password, true, true});
        auto conn = std::make_unique<TADOConnection>();
        conn->ConnectionString = "Provider=SQLOLEDB.1;User ID=" + QuoteOleDbValue(c.user) +
                                 ";Password=" + QuoteOleDbValue(c.password) +
                                 ";Initial Catalog=master;Data Source=127.0.0.1," +
                                 std::to_string(Server->Port()) +
                                 ";Application Name=" + QuoteOleDbValue(c.app);
        EXPECT_NO_THROW(conn->Open()) << c.script;
        std::string seenProgram = "(no session of that login)";
        Server->Workload().Read([&](const std::map<int, SimSession> &s, const SimCounters &) {
            for (const auto &kv : s)
                if (kv.second.Client && kv.second.Login == c.user) seenProgram = kv.second.Program;
        });
        EXPECT_EQ(seenProgram, c.app) << c.script;
        open.push_back(std::move(conn));

        // A wrong password: the server's message names the login as it was given.
        TADOConnection wrong;
        wrong.ConnectionString = "Provider=SQLOLEDB.1;User ID=" + QuoteOleDbValue(c.user) +
                                 ";Password=" + QuoteOleDbValue(std::string(c.password) + "x") +
                                 ";Data Source=127.0.0.1," + std::to_string(Server->Port());
        try {
            wrong.Open();
            ADD_FAILURE() << c.script << ": opened with a wrong password";
        } catch (const EOleException &e) {
            EXPECT_NE(e.Message.find(std::string("Login failed for user '") + c.user + "'."),
                      std::string::npos)
                << c.script << ": " << e.Message;
        }
    }

    // A database name reaches the server unchanged too: the refusal quotes it.
    const std::string database = "Überwachung_Ωμέγα_監視_📈";
    TADOConnection c;
    c.ConnectionString =
        "Provider=SQLOLEDB.1;User ID=sa;Password=Kivra-Test-1;Data Source=127.0.0.1," +
        std::to_string(Server->Port()) + ";Initial Catalog=" + QuoteOleDbValue(database);
    try {
        c.Open();
        ADD_FAILURE() << "opened an unknown database";
    } catch (const EOleException &e) {
        EXPECT_NE(e.Message.find("Cannot open database \"" + database + "\""), std::string::npos)
            << e.Message;
    }

    // So does a command's text on such a connection: the server's complaint quotes its start.
    Open(c);
    TADODataSet q;
    try {
        Run(q, c, "selekt_é€😀Ω_漢 1");
        ADD_FAILURE() << "the server ran a misspelt command";
    } catch (const EOleException &e) {
        EXPECT_NE(e.Message.find("Incorrect syntax near 'selekt_é€😀Ω_漢'."), std::string::npos)
            << e.Message;
    }
}

// Abort, from another thread, ends a command that the server holds, whether the server still
// acknowledges a cancel (a slow answer) or has stopped answering altogether; later commands
// fail at once until the connection is opened again.
TEST_F(AdoSqlsim, AbortEndsACommandTheServerHoldsAndRefusesTheNext) {
    struct Case {
        const char *what;
        bool paused;
        int delayMs;
    } cases[] = {
        {"a server that stopped answering", true, 0},
        {"an answer 40 s away", false, 40000},
        {"no command running", false, 0},
    };
    for (const auto &k : cases) {
        TADOConnection c;
        Open(c);
        Server->SetPaused(k.paused);
        Server->SetDelay(k.delayMs);
        const bool held = k.paused || k.delayMs > 0;
        std::future<std::string> command;
        if (held) {
            command = std::async(std::launch::async, [&] {
                TADODataSet q;
                try {
                    Run(q, c, "SELECT 1");
                    return std::string("(answered)");
                } catch (const EOleException &e) {
                    return e.Message;
                }
            });
            // The server shows the batch running before the abort comes.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            bool running = false;
            while (!running && std::chrono::steady_clock::now() < deadline) {
                Server->Workload().Read([&](const std::map<int, SimSession> &s,
                                            const SimCounters &) {
                    for (const auto &kv : s)
                        running = running || (kv.second.Client && kv.second.Status == "runnable" &&
                                              kv.second.InputBuffer == "SELECT 1");
                });
                if (!running) std::this_thread::yield();
            }
            ASSERT_TRUE(running) << k.what;
        }
        c.Abort();
        if (held) {
            ASSERT_EQ(command.wait_for(std::chrono::seconds(5)), std::future_status::ready)
                << k.what << ": the command still runs";
            EXPECT_NE(command.get(), "(answered)") << k.what;
        }
        TADODataSet q;
        try {
            Run(q, c, "SELECT 1");
            ADD_FAILURE() << k.what << ": a command ran after the abort";
        } catch (const EOleException &e) {
            EXPECT_EQ(e.Message, "Operation cancelled") << k.what;
            EXPECT_EQ(e.Source, TADOConnection::DriverName());
        }
        Server->SetPaused(false);
        Server->SetDelay(0);
        c.Close();
        c.Open();
        Run(q, c, "SELECT 1");
        EXPECT_EQ(q.RecordCount(), 1u) << k.what << ": opened again, the connection works";
    }
}
