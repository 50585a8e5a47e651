// The control line protocol (over its loopback port) and the sqlsim program itself.

#include "SimControlServer.h"
#include "SimSqlTexts.h"
#include "SimToolRunner.h"
#include "SqlSimServer.h"
#include "TdsTestClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A line-based client of the control port.
class ControlLine {
public:
    explicit ControlLine(uint16_t port) {
        Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval tv{5, 0};
        ::setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        IsConnected = ::connect(Fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    }
    ~ControlLine() { ::close(Fd); }
    bool Connected() const { return IsConnected; }
    std::string Ask(const std::string &line) {
        const std::string out = line + "\n";
        if (::send(Fd, out.data(), out.size(), MSG_NOSIGNAL) < 0) return "<send failed>";
        std::string reply;
        char c;
        while (::recv(Fd, &c, 1, 0) == 1 && c != '\n') reply += c;
        return reply;
    }

private:
    int Fd = -1;
    bool IsConnected = false;
};

class SqlSimControl : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 2; ++i) {
            SqlSimOptions o;
            o.Workload.Seed = 100 + static_cast<uint64_t>(i);
            o.Workload.UserSessions = 12;
            Servers.emplace_back(new SqlSimServer(o));
            ASSERT_TRUE(Servers.back()->Start());
        }
        Control.reset(new SimControlServer({Servers[0].get(), Servers[1].get()}));
        std::string error;
        ASSERT_TRUE(Control->Start(0, &error)) << error;
    }
    void TearDown() override {
        Control->Stop();
        for (auto &s : Servers) s->Stop();
    }
    std::vector<std::unique_ptr<SqlSimServer>> Servers;
    std::unique_ptr<SimControlServer> Control;
};

TEST_F(SqlSimControl, CommandsChangeTheSelectedInstance) {
    ControlLine line(Control->Port());
    ASSERT_TRUE(line.Connected());
    SqlSimServer &first = *Servers[0], &second = *Servers[1];
    const struct {
        const char *command;
        const char *replyStart;
    } cases[] = {
        {"instances", "OK 2"},
        {"delay 250", "OK"},
        {"pause", "OK"},
        {"cpu 70", "OK"},
        {"sessions 100", "OK"},
        {"churn 0", "OK"},
        {"feature nostmtstart on", "OK"},
        {"login ops secret getsql=0", "OK"},
        {"block start 2", "OK "},
        {"kill 3", "ERR"},
        {"kill 40000", "ERR"},
        {"delay -5", "ERR"},
        {"cpu 101", "ERR"},
        {"cpu lots", "ERR"},
        {"sessions", "ERR"},
        {"login onlyname", "ERR"},
        {"login a b color=red", "ERR"},
        {"block sideways", "ERR"},
        {"instance 2", "ERR"},
        {"frobnicate", "ERR"},
        {"", "ERR"},
    };
    for (const auto &k : cases) {
        const std::string reply = line.Ask(k.command);
        EXPECT_EQ(reply.rfind(k.replyStart, 0), 0u) << k.command << " -> " << reply;
    }
    EXPECT_EQ(first.Delay(), 250);
    EXPECT_TRUE(first.Paused());
    EXPECT_TRUE(first.NoStmtStart());
    EXPECT_EQ(first.Workload().SessionCount(), 125u);
    first.Workload().Step();
    EXPECT_EQ(first.Workload().CpuLoad(), 70);
    SimLogin ops;
    ASSERT_TRUE(first.FindLogin("ops", ops));
    EXPECT_FALSE(ops.MayGetSql);
    // The other instance was not touched.
    EXPECT_EQ(second.Delay(), 0);
    EXPECT_FALSE(second.Paused());
    EXPECT_EQ(second.Workload().SessionCount(), 37u);

    EXPECT_EQ(line.Ask("instance 1"), "OK port " + std::to_string(second.Port()));
    EXPECT_EQ(line.Ask("delay 10"), "OK");
    EXPECT_EQ(second.Delay(), 10);
    EXPECT_EQ(first.Delay(), 250);
    const std::string status = line.Ask("status");
    EXPECT_NE(status.find("port " + std::to_string(second.Port())), std::string::npos) << status;
    EXPECT_NE(status.find("delay 10"), std::string::npos) << status;
}

TEST_F(SqlSimControl, KillDropAndRestartReachClients) {
    ControlLine line(Control->Port());
    TdsTestClient a, b;
    ASSERT_TRUE(a.Open(Servers[0]->Port()));
    ASSERT_TRUE(b.Open(Servers[0]->Port()));
    TdsTestReply r = a.Batch("select @@spid");
    ASSERT_TRUE(r.Ok);
    const std::string spid = r.Results[0].Rows[0][0];
    EXPECT_EQ(line.Ask("kill " + spid), "OK");
    EXPECT_TRUE(a.ClosedByServer());
    EXPECT_FALSE(b.ClosedByServer(100));
    EXPECT_EQ(line.Ask("drop"), "OK");
    EXPECT_TRUE(b.ClosedByServer());
    EXPECT_EQ(line.Ask("refuse"), "OK");
    EXPECT_FALSE(a.Connect(Servers[0]->Port()));
    EXPECT_EQ(line.Ask("accept"), "OK");
    EXPECT_TRUE(a.Open(Servers[0]->Port()));
    EXPECT_EQ(line.Ask("restart"), "OK");
    EXPECT_TRUE(a.ClosedByServer());
    EXPECT_EQ(line.Ask("block end"), "OK");
}

// "fail TEXT" answers the batches that hold TEXT (normalised, any case) with a server error and
// no result, on the selected instance only, until "nofail"; other batches are answered as ever.
TEST_F(SqlSimControl, FailAnswersTheBatchesHoldingItsTextWithAnErrorUntilNofail) {
    ControlLine line(Control->Port());
    TdsTestClient first, second;
    ASSERT_TRUE(first.Open(Servers[0]->Port()));
    ASSERT_TRUE(second.Open(Servers[1]->Port()));
    const std::string startup = SimSqlTexts::StartupQuery();
    EXPECT_EQ(line.Ask("fail"), "ERR unknown command or wrong arguments: fail");
    EXPECT_EQ(line.Ask("fail   min(LOGIN_TIME)   AS serverstarttime "), "OK");

    const struct {
        const char *what;
        TdsTestClient &client;
        std::string batch;
        bool fails;
    } cases[] = {
        {"the start-up query", first, startup, true},
        {"the probe", first, SimSqlTexts::Probe(), false},
        {"the start-up query on the other instance", second, startup, false},
    };
    for (const auto &c : cases) {
        const TdsTestReply r = c.client.Batch(c.batch);
        ASSERT_TRUE(r.Ok) << c.what;
        EXPECT_EQ(r.HasError(50000), c.fails) << c.what;
        EXPECT_EQ(r.Results.empty(), c.fails) << c.what;
    }
    EXPECT_EQ(Servers[0]->FailingText(), "min(login_time) as serverstarttime");

    EXPECT_EQ(line.Ask("nofail"), "OK");
    const TdsTestReply again = first.Batch(startup);
    ASSERT_TRUE(again.Ok);
    EXPECT_FALSE(again.HasError(50000));
    ASSERT_EQ(again.Results.size(), 1u);
    EXPECT_EQ(again.Results[0].Rows.size(), 1u);
}

// --- the program ---

std::string Program() { return std::string(KIVRA_BINARY_DIR) + "/sim/sqlsim"; }

TEST(SqlSimProgram, HelpAndBadOptions) {
    SimToolResult r = SimToolRunner::Run(Program() + " --help", "");
    EXPECT_EQ(r.ExitCode, 0);
    for (const char *option : {"--port", "--instances", "--seed", "--sessions", "--login",
                               "--no-stmt-start", "--control-port", "SIGTERM"})
        EXPECT_NE(r.Output.find(option), std::string::npos) << option;
    const struct {
        const char *args;
        const char *message;
    } cases[] = {
        {"--port 70000", "--port wants 0..65535"},     {"--port", "--port wants"},
        {"--instances 0", "--instances wants"},        {"--login nopassword", "--login wants"},
        {"--login a:b:shiny=1", "--login wants"},      {"--sessions -3", "--sessions wants"},
        {"--colour red", "unknown option '--colour'"}, {"--port 65535 --instances 2", "pass 65535"},
    };
    for (const auto &k : cases) {
        r = SimToolRunner::Run(Program() + " " + k.args, "");
        EXPECT_EQ(r.ExitCode, 2) << k.args;
        EXPECT_NE(r.Output.find(k.message), std::string::npos) << k.args << ": " << r.Output;
    }
}

TEST(SqlSimProgram, PortInUseIsReported) {
    SqlSimServer holder;
    ASSERT_TRUE(holder.Start());
    const SimToolResult r =
        SimToolRunner::Run(Program() + " --port " + std::to_string(holder.Port()), "");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("port " + std::to_string(holder.Port()) + " is in use"),
              std::string::npos)
        << r.Output;
}

TEST(SqlSimProgram, ServesSeveralInstancesAndStopsOnSignals) {
    for (int sig : {SIGTERM, SIGINT}) {
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::execl(Program().c_str(), "sqlsim", "--port", "0", "--instances", "3",
                    "--control-port", "0", "--sessions", "5", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        FILE *f = ::fdopen(out[0], "r");
        std::vector<uint16_t> ports;
        char buf[256];
        while (ports.size() < 4 && std::fgets(buf, sizeof buf, f)) {
            const std::string l = buf;
            const size_t colon = l.rfind(':');
            if (colon != std::string::npos)
                ports.push_back(static_cast<uint16_t>(std::stoi(l.substr(colon + 1))));
        }
        ASSERT_EQ(ports.size(), 4u);  // three instances and the control port
        for (int i = 0; i < 3; ++i) {
            TdsTestClient c;
            EXPECT_TRUE(c.Open(ports[static_cast<size_t>(i)])) << i;
            EXPECT_TRUE(c.Batch("SELECT 1").Ok) << i;
        }
        ControlLine line(ports[3]);
        EXPECT_EQ(line.Ask("instances"), "OK 3");
        TdsTestClient held;  // a client still connected when the signal comes
        ASSERT_TRUE(held.Open(ports[0]));
        ::kill(pid, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status)) << sig;
        EXPECT_EQ(WEXITSTATUS(status), 0) << sig;
        EXPECT_TRUE(held.ClosedByServer());
        std::fclose(f);
    }
}

}  // namespace
