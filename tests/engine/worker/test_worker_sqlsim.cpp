// The worker end to end: the real ODBC driver manager and FreeTDS against sqlsim on loopback,
// with a real server model and a test owner in place of the main window.
#include "ADOConnection.h"
#include "ADODataSet.h"
#include "AutoResetEvent.h"
#include "DBServerInfoSource.h"
#include "DateTimeText.h"
#include "EOleException.h"
#include "ErrorLog.h"
#include "FakeKivraOwner.h"
#include "KivraQueryTexts.h"
#include "KivraThreadSource.h"
#include "MessageBoxHook.h"
#include "MessageBoxRecorder.h"
#include "PollTimer.h"
#include "SimBatchWatch.h"
#include "SimRequestLog.h"
#include "SimSqlTexts.h"
#include "SqlSimInstances.h"
#include "SqlSimServer.h"
#include "TestPump.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <ostream>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

long long MsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
}

class WorkerSqlsim : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Previous = QDir::currentPath();
        QDir::setCurrent(Dir.path());
        Options.Workload.Seed = 11;
        Options.Workload.UserSessions = 30;
        Options.Workload.ChurnPercent = 0;
        Options.Workload.BlockingChains = 0;
        Sims = std::make_unique<SqlSimInstances>(1, Options);
        ASSERT_TRUE(Sims->Started()) << Sims->Error();
        Server = &Sims->Server(0);
        DataSource = Sims->ServerName(0);
    }

    void TearDown() override {
        for (TKivraThread *t : Running) t->Stop();
        Running.clear();
        EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 40000))
            << "a worker did not end";
        Model.reset();
        Server = nullptr;
        Sims.reset();
        QDir::setCurrent(Previous);
    }

    // A connected thread with its model attached, as the main window sets it up.
    TKivraThread *Start(int refreshSeconds, const std::string &user = "sa",
                        const std::string &password = "Kivra-Test-1") {
        auto *t = new TKivraThread(true);
        ConnectedAt = Clock::now();
        if (!t->Connect(&Owner, 3, DataSource, false, user, password)) {
            t->Stop();
            return nullptr;
        }
        Running.push_back(t);
        Model = std::make_unique<TDBServerInfo>();
        Model->Owner = &Owner;
        Model->ServerName = DataSource;
        Model->Thread = t;
        Model->ServerStartTime = t->ServerStartTime;
        Model->ServerTime = t->ServerTime;
        t->SetServerInfo(Model.get());
        t->SetRefreshInterval(refreshSeconds);
        return t;
    }

    // Records whether the first poll's hand-over left a tick for the worker (one that came
    // during that poll under the startup interval): then a second poll follows at once.
    void WatchForAFoldedTick(TKivraThread *t) {
        Owner.DuringUpdate = [this, t] {
            if (Owner.Updates.size() == 1) FoldedTick = t->WakeEvent->IsSet() ? 1 : 0;
        };
    }

    void StopAndForget(TKivraThread *t) {
        Running.erase(std::remove(Running.begin(), Running.end(), t), Running.end());
        t->Stop();
    }

    bool WaitForUpdates(std::size_t n, int timeoutMs = 10000) {
        return PumpUntil([&] { return Owner.Updates.size() >= n; }, timeoutMs);
    }

    // No session spid with this login time (the server may hand the id to a new session).
    bool SessionGone(int spid, TDateTime loginTime) const {
        const stProcessInfo *p = FindSession(spid);
        return !p || p->LoginTime != loginTime;
    }

    const stProcessInfo *FindSession(int spid) const {
        for (int i = 0; i < Model->ProcessTable->Count; ++i) {
            const auto &p = Model->ProcessTable->Item<stProcessInfo>(i);
            if (p.SPID == spid) return &p;
        }
        return nullptr;
    }

    // Waits until the server holds the monitor's batch text: its session shows it running.
    bool ServerHolds(const std::string &text) {
        return PumpUntil(
            [&] {
                bool held = false;
                Server->Workload().Read([&](const std::map<int, SimSession> &sessions,
                                            const SimCounters &) {
                    for (const auto &kv : sessions)
                        held = held ||
                               (kv.second.Client && kv.second.Program == kivra::kApplicationName &&
                                kv.second.Status == "runnable" && kv.second.InputBuffer == text);
                });
                return held;
            },
            20000);
    }

    // A simulated user session that satisfies pred, or 0.
    int FindSimSession(const std::function<bool(const SimSession &)> &pred) {
        int found = 0;
        Server->Workload().Read(
            [&](const std::map<int, SimSession> &sessions, const SimCounters &) {
                for (const auto &kv : sessions)
                    if (!found && !kv.second.Client && pred(kv.second)) found = kv.first;
            });
        return found;
    }

    // A simulated session whose input buffer holds a language event (0 when none), copied to s.
    int LanguageEventSession(SimSession &s) {
        const int spid = FindSimSession([](const SimSession &x) {
            return x.EventType == "Language Event" && !x.InputBuffer.empty();
        });
        return spid && Server->Workload().Find(spid, s) ? spid : 0;
    }

    static std::string ReadFile(const char *name) {
        std::ifstream f(name, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    QTemporaryDir Dir;
    QString Previous;
    MessageBoxRecorder Shown;  // answers OK
    SqlSimOptions Options;
    std::unique_ptr<SqlSimInstances> Sims;
    SqlSimServer *Server = nullptr;  // the one instance of Sims
    std::string DataSource;
    FakeKivraOwner Owner;
    std::unique_ptr<TDBServerInfo> Model;
    std::vector<TKivraThread *> Running;
    Clock::time_point ConnectedAt;
    std::size_t FoldedTick = 0;  // see WatchForAFoldedTick
};

}  // namespace

TEST_F(WorkerSqlsim, ConnectsAndPollsAfterTheStartupIntervalThenEveryInterval) {
    TKivraThread *t = Start(1);
    ASSERT_NE(t, nullptr);
    WatchForAFoldedTick(t);
    EXPECT_TRUE(Shown.Boxes.empty());
    EXPECT_TRUE(t->StatementTextAvailable);
    EXPECT_FALSE(t->ConnectionLost);
    EXPECT_GT(t->ServerStartTime, 0);
    EXPECT_GT(t->ServerTime, t->ServerStartTime);
    EXPECT_NEAR((t->ServerTime - t->ServerStartTime) * 86400.0, 7200.0, 60.0);
    ASSERT_NE(t->PollTimer, nullptr);
    EXPECT_EQ(t->PollTimer->Interval(), TKivraThread::kStartupInterval);

    const TDateTime connectTime = t->ServerTime;
    ASSERT_TRUE(WaitForUpdates(1));
    EXPECT_GE(t->ServerTime, connectTime) << "every poll brings the server clock";
    EXPECT_EQ(Model->ServerTime, t->ServerTime);
    EXPECT_GE(t->ResponseTime, 0);
    const long long first = MsBetween(ConnectedAt, Owner.Updates[0]);
    EXPECT_GE(first, 90);
    EXPECT_LT(first, 900);
    EXPECT_EQ(t->PollTimer->Interval(), 1000);
    EXPECT_EQ(Owner.UpdatedSlots[0], 3);

    // The monitor's own connection is among the rows, under the application name.
    bool own = false;
    for (int i = 0; i < Model->ProcessTable->Count; ++i)
        own = own || std::string(Model->ProcessTable->Item<stProcessInfo>(i).ProgramName) ==
                         kivra::kApplicationName;
    EXPECT_TRUE(own);
    EXPECT_GE(Model->ProcessTable->Count, 30 + Options.Workload.SystemSessions);
    EXPECT_FALSE(Model->Disconnected);

    ASSERT_TRUE(WaitForUpdates(3 + FoldedTick, 5000));
    for (std::size_t i = 1 + FoldedTick; i < 3 + FoldedTick; ++i) {
        const long long gap = MsBetween(Owner.Updates[i - 1], Owner.Updates[i]);
        EXPECT_GT(gap, 800) << i;
        EXPECT_LT(gap, 1500) << i;
    }
}

TEST_F(WorkerSqlsim, WrongPasswordShowsOneBoxAndArmsNoTimer) {
    auto *t = new TKivraThread(true);
    EXPECT_FALSE(t->Connect(&Owner, 0, DataSource, false, "sa", "wrong"));
    ASSERT_EQ(Shown.Boxes.size(), 1u);
    EXPECT_NE(Shown.Boxes[0].Text.find("Login failed"), std::string::npos) << Shown.Boxes[0].Text;
    EXPECT_EQ(Shown.Boxes[0].Caption, TADOConnection::DriverName());
    EXPECT_EQ(Shown.Boxes[0].Flags, static_cast<unsigned>(kivra::MB_OK));
    EXPECT_EQ(t->PollTimer, nullptr);
    t->Stop();  // frees it, though no timer exists
    EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 5000));
    EXPECT_TRUE(Owner.Updates.empty());
}

TEST_F(WorkerSqlsim, PasswordsWithConnectionStringSyntaxReachTheServerUnchanged) {
    const std::string passwords[] = {"semi;colon",
                                     "brace}close",
                                     "{brace}",
                                     "key=value",
                                     "double\"quote",
                                     "single'quote",
                                     "all;}={'\" together ",
                                     ";Password=Kivra-Test-1",
                                     "=starts-with-equals",
                                     "=="};
    for (const std::string &pw : passwords) {
        Server->SetLogin({"odd", pw, true, true});
        auto *t = new TKivraThread(true);
        EXPECT_TRUE(t->Connect(&Owner, 0, DataSource, false, "odd", pw)) << pw;
        t->Stop();
        // The same password with one character changed is refused.
        auto *u = new TKivraThread(true);
        EXPECT_FALSE(u->Connect(&Owner, 0, DataSource, false, "odd", pw + "x")) << pw;
        u->Stop();
    }
    EXPECT_EQ(Shown.Boxes.size(), std::size(passwords));
}

// Logins and passwords outside ASCII log in, and the server's list shows the login as typed.
TEST_F(WorkerSqlsim, LoginsAndPasswordsInEveryScriptLogIn) {
    const std::pair<std::string, std::string> credentials[] = {{"ödd", "é€😀"},
                                                               {"Αλέξανδρος", "κωδικός-Ω"},
                                                               {"管理者", "パスワード漢字"},
                                                               {"dba🐘", "пароль;}="}};
    for (const auto &[user, password] : credentials) {
        Server->SetLogin({user, password, true, true});
        Owner.Updates.clear();
        TKivraThread *t = Start(100, user, password);
        ASSERT_NE(t, nullptr) << user << ": "
                              << (Shown.Boxes.empty() ? "" : Shown.Boxes.back().Text);
        ASSERT_TRUE(WaitForUpdates(1)) << user;
        bool listed = false;
        for (int i = 0; i < Model->ProcessTable->Count; ++i) {
            const auto &p = Model->ProcessTable->Item<stProcessInfo>(i);
            listed = listed || (std::string(p.ProgramName) == kivra::kApplicationName &&
                                std::string(p.LoginName) == user);
        }
        EXPECT_TRUE(listed) << user;
        StopAndForget(t);
        Model.reset();
        ASSERT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 5000)) << user;
    }
    EXPECT_TRUE(Shown.Boxes.empty());
}

TEST_F(WorkerSqlsim, PasswordTheDriverCannotCarryIsRefusedNotAltered) {
    if (TADOConnection::DriverName() != "FreeTDS") GTEST_SKIP() << "FreeTDS's brace rule only";
    Server->SetLogin({"odd", "x};y", true, true});
    auto *t = new TKivraThread(true);
    EXPECT_FALSE(t->Connect(&Owner, 0, DataSource, false, "odd", "x};y"));
    t->Stop();
    ASSERT_EQ(Shown.Boxes.size(), 1u);
    EXPECT_NE(Shown.Boxes[0].Text.find("};"), std::string::npos) << Shown.Boxes[0].Text;
    EXPECT_EQ(Shown.Boxes[0].Caption, "FreeTDS");
}

TEST_F(WorkerSqlsim, IntervalZeroPollsOnceThenOnlyOnAKillOrANewInterval) {
    TKivraThread *t = Start(0);
    ASSERT_NE(t, nullptr);
    WatchForAFoldedTick(t);
    ASSERT_TRUE(WaitForUpdates(1));
    ASSERT_TRUE(WaitForUpdates(1 + FoldedTick));
    EXPECT_EQ(t->PollTimer->Interval(), 0);
    PumpFor(600);
    EXPECT_EQ(Owner.Updates.size(), 1 + FoldedTick);

    const int victim = FindSimSession([](const SimSession &s) { return !s.System; });
    ASSERT_NE(victim, 0);
    ASSERT_NE(FindSession(victim), nullptr);
    const TDateTime loginTime = FindSession(victim)->LoginTime;
    EXPECT_EQ(t->KillProcess(victim), 1);
    ASSERT_TRUE(WaitForUpdates(2 + FoldedTick, 3000));
    EXPECT_TRUE(SessionGone(victim, loginTime)) << "the poll after the kill no longer lists it";
    EXPECT_EQ(t->PollTimer->Interval(), 0) << "a kill does not change the timer";
    PumpFor(300);
    EXPECT_EQ(Owner.Updates.size(), 2 + FoldedTick);

    t->SetRefreshInterval(1);
    EXPECT_EQ(t->PollTimer->Interval(), 1000);
    ASSERT_TRUE(WaitForUpdates(3 + FoldedTick, 2500));
}

TEST_F(WorkerSqlsim, IntervalSetBeforeTheFirstResultWaitsForIt) {
    TKivraThread *t = Start(1);
    ASSERT_NE(t, nullptr);
    t->SetRefreshInterval(7);
    EXPECT_EQ(t->PollTimer->Interval(), TKivraThread::kStartupInterval);
    EXPECT_EQ(t->RefreshInterval, 7);
    ASSERT_TRUE(WaitForUpdates(1));
    EXPECT_EQ(t->PollTimer->Interval(), 7000);
}

// An interval whose milliseconds do not fit the timer (a hand-edited setting) waits as long as
// the timer can; it never wraps into a stopped or negative timer.
TEST_F(WorkerSqlsim, IntervalsBeyondTheTimersRangeWaitTheLongestItCan) {
    constexpr int kMax = std::numeric_limits<int>::max();
    struct Case {
        const char *what;
        int seconds;
        bool beforeFirstResult;  // switched by the first result, else set while polling
        int expectedMs;
    } cases[] = {
        {"largest exact interval, while polling", kMax / 1000, false, kMax / 1000 * 1000},
        {"one second more, while polling", kMax / 1000 + 1, false, kMax},
        {"largest int, while polling", kMax, false, kMax},
        {"largest int, at the first result", kMax, true, kMax},
    };
    for (const auto &c : cases) {
        Owner.Updates.clear();
        TKivraThread *t = Start(c.beforeFirstResult ? c.seconds : 100);
        ASSERT_NE(t, nullptr) << c.what;
        ASSERT_TRUE(WaitForUpdates(1)) << c.what;
        if (!c.beforeFirstResult) t->SetRefreshInterval(c.seconds);
        EXPECT_EQ(t->PollTimer->Interval(), c.expectedMs) << c.what;
        EXPECT_TRUE(t->PollTimer->Enabled()) << c.what;
        EXPECT_EQ(t->RefreshInterval, c.seconds) << c.what;
        StopAndForget(t);
        Model.reset();
        ASSERT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 5000)) << c.what;
    }
}

TEST_F(WorkerSqlsim, TicksDuringASlowPollFoldIntoOneFurtherPoll) {
    TKivraThread *t = Start(100);  // no tick of its own during the test
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(WaitForUpdates(1));
    Server->SetDelay(300);  // probe and process query each wait 300 ms
    t->PollTimerTimer();
    ASSERT_TRUE(ServerHolds(kivra::kResponseProbeText));  // the worker is inside the probe
    for (int i = 0; i < 10; ++i) t->PollTimerTimer();
    ASSERT_TRUE(WaitForUpdates(3, 5000));
    Server->SetDelay(0);
    PumpFor(400);
    EXPECT_EQ(Owner.Updates.size(), 3u) << "ten ticks gave one further poll";
    EXPECT_GE(t->ResponseTime, 300);
}

TEST_F(WorkerSqlsim, DroppedConnectionIsLostAndReconnectSeesTheRestart) {
    TKivraThread *t = Start(100);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(WaitForUpdates(1));
    const TDateTime startBefore = t->ServerStartTime;
    const int responseBefore = t->ResponseTime;
    const int listBefore = Owner.ServerListRefreshes;

    Server->DropConnections();
    t->PollTimerTimer();
    ASSERT_TRUE(PumpUntil([&] { return Model->Disconnected; }, 5000));
    EXPECT_TRUE(t->ConnectionLost);
    EXPECT_FALSE(t->PollTimer->Enabled());
    EXPECT_FALSE(t->Connection->Connected());
    EXPECT_EQ(t->ResponseTime, responseBefore);
    EXPECT_EQ(Owner.Updates.size(), 2u) << "the tile shows the loss";
    EXPECT_EQ(Owner.ServerListRefreshes, listBefore + 1);
    EXPECT_FALSE(QFile::exists(TErrorLog::FileName)) << "a loss is not logged";

    // Lost: the interval does not re-enable the timer, the session requests answer empty.
    t->SetRefreshInterval(1);
    EXPECT_FALSE(t->PollTimer->Enabled());
    std::string eventType = "untouched", objectName = "untouched", encrypted = "untouched";
    int start = 5, end = 6;
    EXPECT_EQ(t->GetInputBuffer(1, eventType), "");
    EXPECT_EQ(t->GetStatementText(1, objectName, encrypted, start, end), "");
    EXPECT_EQ(eventType, "untouched");
    EXPECT_EQ(objectName, "untouched");
    EXPECT_EQ(start, 5);
    // A wake-up while lost only reports the loss again.
    t->PollTimerTimer();
    ASSERT_TRUE(WaitForUpdates(3, 3000));

    Server->Restart();
    ASSERT_TRUE(t->Reconnect());
    EXPECT_FALSE(t->ConnectionLost);
    EXPECT_FALSE(Model->Disconnected);
    EXPECT_TRUE(t->PollTimer->Enabled());
    EXPECT_EQ(t->PollTimer->Interval(), TKivraThread::kStartupInterval);
    EXPECT_GT(t->ServerStartTime, startBefore + 1.0 / 86400);
    EXPECT_EQ(Model->ServerStartTime, t->ServerStartTime);
    EXPECT_EQ(Owner.ServerListRefreshes, listBefore + 3);
    const auto reconnectedAt = Clock::now();
    const std::size_t before = Owner.Updates.size();
    ASSERT_TRUE(WaitForUpdates(before + 1, 3000));
    EXPECT_LT(MsBetween(reconnectedAt, Owner.Updates.back()), 900);
    EXPECT_EQ(t->PollTimer->Interval(), 1000);
    EXPECT_TRUE(Shown.Boxes.empty());
}

TEST_F(WorkerSqlsim, ReconnectToAServerThatRefusesShowsTheError) {
    TKivraThread *t = Start(100);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(WaitForUpdates(1));
    Server->DropConnections();
    Server->SetRefuseConnections(true);
    t->PollTimerTimer();
    ASSERT_TRUE(PumpUntil([&] { return t->ConnectionLost.load(); }, 5000));
    EXPECT_FALSE(t->Reconnect());
    ASSERT_EQ(Shown.Boxes.size(), 1u);
    EXPECT_EQ(Shown.Boxes[0].Caption, TADOConnection::DriverName());
    Server->SetRefuseConnections(false);
    EXPECT_TRUE(t->Reconnect());
}

// A Reconnect whose login succeeds and whose start-up query fails: the error's box and false,
// and what came before the query stays done (connected, not lost, the timer armed at the
// start-up interval, the model no longer disconnected, the server list refreshed), so that the
// next poll tells whether the server is usable: here it is.
TEST_F(WorkerSqlsim, AReconnectWhoseStartupQueryFailsKeepsItsStepsAndArmsTheTimer) {
    TKivraThread *t = Start(100);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(WaitForUpdates(1));
    const TDateTime startBefore = t->ServerStartTime;
    Server->DropConnections();
    t->PollTimerTimer();
    ASSERT_TRUE(PumpUntil([&] { return Model->Disconnected; }, 5000));
    const int listBefore = Owner.ServerListRefreshes;
    const std::size_t updatesBefore = Owner.Updates.size();

    Server->Restart();
    Server->SetFailingText(kivra::kStartupQueryText);
    EXPECT_FALSE(t->Reconnect());
    ASSERT_EQ(Shown.Boxes.size(), 1u);
    EXPECT_NE(Shown.Boxes[0].Text.find("sqlsim fails batches"), std::string::npos)
        << Shown.Boxes[0].Text;
    EXPECT_EQ(Shown.Boxes[0].Caption, TADOConnection::DriverName());
    EXPECT_EQ(Shown.Boxes[0].Flags, static_cast<unsigned>(kivra::MB_OK));
    EXPECT_TRUE(t->Connection->Connected());
    EXPECT_FALSE(t->ConnectionLost);
    EXPECT_TRUE(t->PollTimer->Enabled());
    EXPECT_EQ(t->PollTimer->Interval(), TKivraThread::kStartupInterval);
    EXPECT_FALSE(Model->Disconnected);
    EXPECT_EQ(Owner.ServerListRefreshes, listBefore + 1);
    EXPECT_EQ(t->ServerStartTime, startBefore) << "the start-up query gave nothing";

    ASSERT_TRUE(WaitForUpdates(updatesBefore + 1, 3000)) << "the armed timer's poll";
    EXPECT_FALSE(Model->Disconnected);
    EXPECT_EQ(t->PollTimer->Interval(), 100 * 1000) << "the first result switched the timer";
    EXPECT_EQ(Shown.Boxes.size(), 1u);
}

TEST_F(WorkerSqlsim, StopEndsTheWorkerWhileWaitingAndDuringAPoll) {
    enum Where { Waiting, Probe, ProcessQuery };
    struct Case {
        const char *when;
        Where where;
    } cases[] = {
        {"waiting", Waiting},
        {"inside the probe", Probe},
        {"inside the process query", ProcessQuery},
    };
    for (const auto &c : cases) {
        Owner.Updates.clear();
        TKivraThread *t = Start(1);
        ASSERT_NE(t, nullptr) << c.when;
        if (c.where != Waiting) {
            Server->SetDelay(400);  // every answer of the first poll waits 400 ms
            ASSERT_TRUE(ServerHolds(kivra::kResponseProbeText)) << c.when;
            if (c.where == ProcessQuery) {
                ASSERT_TRUE(ServerHolds(kivra::ProcessQueryText())) << c.when;
            }
        }
        StopAndForget(t);
        Model.reset();  // deleted right after Stop, as the main window does
        EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 5000)) << c.when;
        EXPECT_TRUE(Owner.Updates.empty()) << c.when;
        Server->SetDelay(0);
    }
    EXPECT_FALSE(QFile::exists(TErrorLog::FileName));
}

// A stopped worker ends within moments whatever its server does: Stop aborts the call the
// worker is in, even one that a server which has stopped answering holds.
TEST_F(WorkerSqlsim, StopEndsTheWorkerPromptlyWhenTheServerHoldsItsCall) {
    enum Where { Waiting, Probe, ProcessQuery };
    struct Case {
        const char *what;
        bool paused;  // no answers, no acknowledgement of a cancel
        Where where;  // what the worker is doing when Stop comes
    } cases[] = {
        {"paused, waiting for its next poll", true, Waiting},
        {"paused, in the probe", true, Probe},
        {"paused, in the process query", true, ProcessQuery},
        {"answering after 40 s, in the probe", false, Probe},
        {"answering after 40 s, in the process query", false, ProcessQuery},
    };
    for (const auto &c : cases) {
        Owner.Updates.clear();
        TKivraThread *t = Start(100);  // no tick of its own during the test
        ASSERT_NE(t, nullptr) << c.what;
        ASSERT_TRUE(WaitForUpdates(1)) << c.what;
        if (c.where == ProcessQuery) {
            Server->SetDelay(1000);  // the probe waits 1 s; what follows waits longer
            t->PollTimerTimer();
            ASSERT_TRUE(ServerHolds(kivra::kResponseProbeText)) << c.what;
            Server->SetDelay(40000);
            ASSERT_TRUE(ServerHolds(kivra::ProcessQueryText())) << c.what;
            Server->SetPaused(c.paused);
        } else {
            Server->SetPaused(c.paused);
            Server->SetDelay(c.paused ? 0 : 40000);
            if (c.where == Probe) {
                t->PollTimerTimer();
                ASSERT_TRUE(ServerHolds(kivra::kResponseProbeText)) << c.what;
            }
        }
        const auto stoppedAt = Clock::now();
        StopAndForget(t);
        Model.reset();  // deleted right after Stop, as the main window does
        EXPECT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 5000))
            << c.what << ": the worker did not end";
        std::printf("[ stop     ] %s: the worker ended %lld ms after Stop\n", c.what,
                    MsBetween(stoppedAt, Clock::now()));
        EXPECT_EQ(Owner.Updates.size(), 1u) << c.what;
        Server->SetPaused(false);
        Server->SetDelay(0);
    }
    EXPECT_FALSE(QFile::exists(TErrorLog::FileName)) << "an aborted call is not logged";
}

TEST_F(WorkerSqlsim, FailingProcessQueryIsLoggedAndPollingGoesOn) {
    TKivraThread *t = Start(1);
    ASSERT_NE(t, nullptr);
    // Before the worker's first wake-up: the query the server cannot run.
    t->ProcessQuery->CommandText = "SELECT nothing FROM dbo.nosuchtable";
    ASSERT_TRUE(PumpUntil(
        [] {
            const std::string log = ReadFile(TErrorLog::FileName);
            return std::count(log.begin(), log.end(), '\n') >= 12;  // three entries
        },
        5000));
    EXPECT_TRUE(Owner.Updates.empty());
    EXPECT_FALSE(t->ConnectionLost);
    EXPECT_EQ(t->PollTimer->Interval(), TKivraThread::kStartupInterval) << "no result yet";
    EXPECT_TRUE(t->PollTimer->Enabled());
    std::istringstream log(ReadFile(TErrorLog::FileName));
    std::string date, message, source, end;
    ASSERT_TRUE(std::getline(log, date) && std::getline(log, message) &&
                std::getline(log, source) && std::getline(log, end));
    EXPECT_EQ(date, kivra::DateToStr(kivra::Now()) + "\r");
    EXPECT_NE(message.find("[SQL Server]"), std::string::npos) << message;
    EXPECT_EQ(source, TADOConnection::DriverName() + "\r");
    EXPECT_EQ(end, "----\r");
}

TEST_F(WorkerSqlsim, FailedHandOverKeepsTheStartupIntervalAndTheNextPollRecovers) {
    struct Case {
        const char *what;
        std::function<void()> fail;
        const char *logged;
    } cases[] = {
        // Caught in the hand-over itself.
        {"an error of the hand-over", [] { throw std::runtime_error("view refresh failed"); },
         "view refresh failed"},
        // Escapes the handler: raised again in the worker, which logs it.
        {"something else thrown", [] { throw 42; }, "Unknown error during a poll"},
    };
    for (const auto &c : cases) {
        std::remove(TErrorLog::FileName);
        Owner.Updates.clear();
        int calls = 0;
        Owner.DuringUpdate = [&] {
            if (++calls == 1) c.fail();
        };
        TKivraThread *t = Start(1);
        ASSERT_NE(t, nullptr);
        ASSERT_TRUE(WaitForUpdates(1)) << c.what;
        EXPECT_EQ(t->PollTimer->Interval(), TKivraThread::kStartupInterval) << c.what;
        ASSERT_TRUE(WaitForUpdates(2, 2000)) << c.what;
        EXPECT_LT(MsBetween(Owner.Updates[0], Owner.Updates[1]), 800)
            << c.what << ": the next poll came at 100 ms";
        EXPECT_EQ(t->PollTimer->Interval(), 1000) << c.what;
        EXPECT_EQ(ReadFile(TErrorLog::FileName),
                  kivra::DateToStr(kivra::Now()) + "\r\n" + c.logged + "\r\n----\r\n")
            << c.what;
        StopAndForget(t);
        Model.reset();
        ASSERT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 5000));
        Owner.DuringUpdate = nullptr;
    }
}

TEST_F(WorkerSqlsim, InputBufferDirectlyThroughTheModelAndInsideAHandOver) {
    TKivraThread *t = Start(100);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(WaitForUpdates(1));
    SimSession s;
    const int spid = LanguageEventSession(s);
    ASSERT_NE(spid, 0);

    std::string eventType;
    EXPECT_EQ(t->GetInputBuffer(spid, eventType), s.InputBuffer);
    EXPECT_EQ(eventType, "Language Event");
    eventType.clear();
    EXPECT_EQ(Model->GetInputBuffer(spid, eventType), s.InputBuffer);
    EXPECT_EQ(eventType, "Language Event");

    eventType.clear();
    EXPECT_EQ(t->GetInputBuffer(30000, eventType), "<No SQL Found>");
    EXPECT_EQ(eventType, "NONE");

    // A view refresh inside the hand-over asks on the same connection.
    std::string during, duringType;
    Owner.DuringUpdate = [&] { during = Model->GetInputBuffer(spid, duringType); };
    t->PollTimerTimer();
    ASSERT_TRUE(WaitForUpdates(2));
    EXPECT_EQ(during, s.InputBuffer);
}

// A request of the main thread waits for the worker's call, but not for one that a server which
// has stopped answering holds: it answers as for a lost connection, touching nothing, once the
// call has lasted kRequestWaitMs (not after the command time-out), and afterwards asks again.
TEST_F(WorkerSqlsim, SessionRequestsGiveUpOnACallThatAServerHolds) {
    TKivraThread *t = Start(100);  // no tick of its own during the test
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(WaitForUpdates(1));
    SimSession s;
    const int spid = LanguageEventSession(s);
    ASSERT_NE(spid, 0);

    Server->SetPaused(true);
    t->PollTimerTimer();
    ASSERT_TRUE(ServerHolds(kivra::kResponseProbeText));
    const auto asked = Clock::now();
    std::string eventType = "untouched", objectName = "untouched", encrypted = "untouched";
    int start = 5, end = 6;
    EXPECT_EQ(t->GetInputBuffer(spid, eventType), "");
    EXPECT_EQ(t->GetStatementText(spid, objectName, encrypted, start, end), "");
    const long long waitedMs = MsBetween(asked, Clock::now());
    std::printf("[ request  ] the two requests gave up after %lld ms\n", waitedMs);
    EXPECT_LT(waitedMs, 10000) << "far below the 30 s command time-out";
    EXPECT_EQ(eventType, "untouched");
    EXPECT_EQ(objectName, "untouched");
    EXPECT_EQ(start, 5);
    EXPECT_FALSE(t->ConnectionLost);

    Server->SetPaused(false);
    ASSERT_TRUE(WaitForUpdates(2));
    EXPECT_EQ(t->GetInputBuffer(spid, eventType), s.InputBuffer);
    EXPECT_EQ(eventType, "Language Event");
    EXPECT_TRUE(Shown.Boxes.empty());
}

// A request that timed out but whose cancel the server answered leaves the connection usable:
// the requests that follow go to the server again at once, with no poll between.
TEST_F(WorkerSqlsim, ATimedOutRequestWhoseCancelIsAnsweredHoldsNothingBack) {
    TKivraThread *t = Start(100);
    ASSERT_NE(t, nullptr);
    WatchForAFoldedTick(t);
    ASSERT_TRUE(WaitForUpdates(1));
    ASSERT_TRUE(WaitForUpdates(1 + FoldedTick)) << "no poll of its own after this one";
    SimSession s;
    const int spid = LanguageEventSession(s);
    ASSERT_NE(spid, 0);
    SimRequestLog log(*Server);

    Server->SetDelay((TKivraThread::kRequestTimeoutS + 3) * 1000);
    std::string eventType;
    const auto asked = Clock::now();
    EXPECT_EQ(t->GetInputBuffer(spid, eventType), "<No SQL Found>");
    EXPECT_EQ(eventType, "NONE");
    const long long waitedMs = MsBetween(asked, Clock::now());
    std::printf("[ request  ] the slow request failed after %lld ms\n", waitedMs);
    EXPECT_GE(waitedMs, TKivraThread::kRequestTimeoutS * 1000 - 250);
    EXPECT_FALSE(t->ConnectionLost);
    EXPECT_TRUE(t->Connection->Connected());
    Server->SetDelay(0);

    std::string objectName, encrypted;
    int start = -1, end = -1;
    t->GetStatementText(spid, objectName, encrypted, start, end);
    EXPECT_NE(objectName, "?") << "answered, not failed";
    EXPECT_EQ(encrypted, s.HasHandle && s.Encrypted ? "Y" : "N");
    EXPECT_EQ(t->GetInputBuffer(spid, eventType), s.InputBuffer);
    EXPECT_EQ(eventType, "Language Event");
    const std::vector<SimRequestLog::Request> sent = log.Take();
    ASSERT_EQ(sent.size(), 3u) << "every request went to the server";
    EXPECT_EQ(sent[1].Query, SimRequestLog::Statement);
    EXPECT_FALSE(Model->Disconnected);
    EXPECT_EQ(Owner.Updates.size(), 1 + FoldedTick) << "no poll came between";
    EXPECT_TRUE(Shown.Boxes.empty());
}

struct RequestLossCase {
    const char *Name;
    int Interval;     // the refresh interval, seconds
    bool InHandOver;  // asked by a view refresh inside a hand-over, else as by a click
    bool Statement;   // the statement request, else the input buffer's
};

const RequestLossCase kRequestLossCases[] = {
    {"IntervalZeroClickInputBuffer", 0, false, false},
    {"IntervalOneClickStatement", 1, false, true},
    {"IntervalZeroHandOverStatement", 0, true, true},
    {"IntervalOneHandOverInputBuffer", 1, true, false},
};

void PrintTo(const RequestLossCase &c, std::ostream *os) { *os << c.Name; }

class WorkerRequestLoss : public WorkerSqlsim,
                          public ::testing::WithParamInterface<RequestLossCase> {};

// A request that the server leaves unanswered, and its cancel too: the driver gives the
// connection up. The loss is reported as a failed probe reports it (the model disconnected, the
// views and the server list refreshed, the lost-connection alert), at once, also when no poll is
// to come (interval 0), once the refresh the request came from has finished. The requests that
// follow answer as for a lost connection and send nothing, until a Reconnect.
TEST_P(WorkerRequestLoss, ARequestThatEndsTheConnectionReportsTheLossAsAFailedPollDoes) {
    const RequestLossCase &c = GetParam();
    Owner.Alerts.ServerDisconnect = true;
    TKivraThread *t = Start(c.Interval);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(WaitForUpdates(1));
    SimSession s;
    const int spid = LanguageEventSession(s);
    ASSERT_NE(spid, 0);
    SimBatchWatch watch(*Server);
    watch.PauseAt(c.Statement ? kivra::StatementBatch(spid) : kivra::InputBufferBatch(spid));

    std::string text = "untouched", eventType, objectName, encrypted;
    int start = -1, end = -1;
    const auto ask = [&] {
        text = c.Statement ? t->GetStatementText(spid, objectName, encrypted, start, end)
                           : t->GetInputBuffer(spid, eventType);
    };
    bool asked = false, lostInside = false;
    int lostRefreshes = 0;
    const int listBefore = Owner.ServerListRefreshes;
    Owner.DuringUpdate = [&] {
        if (Model->Disconnected) ++lostRefreshes;
        if (!c.InHandOver || asked) return;
        asked = true;
        ask();
        lostInside = Model->Disconnected;
    };
    const auto askedAt = Clock::now();
    if (c.InHandOver) {
        if (c.Interval == 0) t->PollTimerTimer();
        ASSERT_TRUE(PumpUntil([&] { return asked; }, 40000));
    } else {
        ask();
    }
    std::printf("[ request  ] the unanswered request failed after %lld ms\n",
                MsBetween(askedAt, Clock::now()));
    EXPECT_EQ(text, c.Statement ? "" : "<No SQL Found>") << "a failed request's answer";
    EXPECT_TRUE(t->ConnectionLost);
    EXPECT_FALSE(t->PollTimer->Enabled());
    EXPECT_FALSE(t->Connection->Connected());
    EXPECT_FALSE(lostInside) << "published after the refresh the request came from";
    watch.PauseAt(std::string());
    Server->SetPaused(false);

    ASSERT_TRUE(PumpUntil([&] { return lostRefreshes > 0; }, 5000)) << "the views show the loss";
    EXPECT_TRUE(Model->Disconnected);
    EXPECT_GT(Owner.ServerListRefreshes, listBefore);
    ASSERT_EQ(Owner.Mails.size(), 1u);
    EXPECT_TRUE(Owner.Mails[0].LostConnection);
    EXPECT_FALSE(QFile::exists(TErrorLog::FileName)) << "a loss is not logged";

    watch.Take();
    eventType = "untouched";
    EXPECT_EQ(t->GetInputBuffer(spid, eventType), "");
    EXPECT_EQ(eventType, "untouched");
    EXPECT_TRUE(watch.Take().empty()) << "nothing sent while lost";

    ASSERT_TRUE(t->Reconnect());
    const std::size_t before = Owner.Updates.size();
    ASSERT_TRUE(WaitForUpdates(before + 1));
    EXPECT_FALSE(Model->Disconnected);
    EXPECT_EQ(t->GetInputBuffer(spid, eventType), s.InputBuffer);
    EXPECT_EQ(eventType, "Language Event");
    for (const RecordedMessageBox &box : Shown.Boxes)
        ADD_FAILURE() << "a box: " << box.Caption << ": " << box.Text;
}

INSTANTIATE_TEST_SUITE_P(Sqlsim, WorkerRequestLoss, ::testing::ValuesIn(kRequestLossCases),
                         [](const ::testing::TestParamInfo<RequestLossCase> &info) {
                             return std::string(info.param.Name);
                         });

// A kill that the server does not answer fails within the session requests' bounds, not after
// the command time-out (and as long again for the cancel), the way a refused kill fails: with
// the database layer's error. Behind the worker's unanswered call it is not sent at all; held
// itself, the driver gives the connection up and the loss is reported. The session stays listed.
TEST_F(WorkerSqlsim, AKillTheServerDoesNotAnswerFailsWithinTheRequestBounds) {
    enum Held { WorkersCall, TheKill };
    const struct {
        const char *what;
        Held held;
        long long boundMs;
    } cases[] = {
        {"behind the worker's unanswered probe", WorkersCall, 5000},
        {"the kill itself unanswered", TheKill, 30000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Owner.Updates.clear();
        TKivraThread *t = Start(100);  // no tick of its own during the test
        ASSERT_NE(t, nullptr);
        WatchForAFoldedTick(t);
        ASSERT_TRUE(WaitForUpdates(1));
        ASSERT_TRUE(WaitForUpdates(1 + FoldedTick));
        Owner.DuringUpdate = nullptr;
        const int victim =
            FindSimSession([](const SimSession &x) { return !x.System && !x.InChain; });
        ASSERT_NE(victim, 0);
        ASSERT_NE(FindSession(victim), nullptr);
        const TDateTime login = FindSession(victim)->LoginTime;
        const std::string kill = kivra::KillBatch(victim);
        std::vector<std::string> sent;
        {
            SimBatchWatch watch(*Server);
            if (c.held == TheKill) {
                watch.PauseAt(kill);
            } else {
                Server->SetPaused(true);
                t->PollTimerTimer();
                ASSERT_TRUE(ServerHolds(kivra::kResponseProbeText));
            }
            const auto asked = Clock::now();
            EXPECT_THROW(t->KillProcess(victim), EOleException);
            const long long ms = MsBetween(asked, Clock::now());
            std::printf("[ kill     ] %s: failed after %lld ms\n", c.what, ms);
            EXPECT_LT(ms, c.boundMs);
            sent = watch.Take();
        }
        Server->SetPaused(false);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), kill), c.held == TheKill ? 1 : 0);
        EXPECT_EQ(t->ConnectionLost.load(), c.held == TheKill);
        if (c.held == TheKill) {
            ASSERT_TRUE(PumpUntil([&] { return Model->Disconnected; }, 5000));
        } else {
            ASSERT_TRUE(WaitForUpdates(2 + FoldedTick)) << "the held poll, answered now";
        }
        EXPECT_FALSE(SessionGone(victim, login)) << "the session list stays as it was";
        SimSession still;
        EXPECT_TRUE(Server->Workload().Find(victim, still)) << "not killed";
        StopAndForget(t);
        Model.reset();
        ASSERT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 5000));
    }
    EXPECT_TRUE(Shown.Boxes.empty());
}

TEST_F(WorkerSqlsim, StatementTextOfSessionsWithAndWithoutAHandle) {
    TKivraThread *t = Start(100);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(WaitForUpdates(1));
    const int withHandle =
        FindSimSession([](const SimSession &x) { return x.HasHandle && !x.Encrypted; });
    const int without =
        FindSimSession([](const SimSession &x) { return !x.HasHandle && !x.System; });
    ASSERT_NE(withHandle, 0);
    ASSERT_NE(without, 0);

    std::string objectName, encrypted;
    int start = -9, end = -9;
    const std::string text = Model->GetStatementText(withHandle, objectName, encrypted, start, end);
    SimSession s;
    ASSERT_TRUE(Server->Workload().Find(withHandle, s));
    EXPECT_FALSE(text.empty());
    EXPECT_NE(s.SqlText.find(text), std::string::npos) << text;
    EXPECT_EQ(objectName, s.ObjectName.empty() ? "<BATCH>" : s.ObjectName);
    EXPECT_EQ(encrypted, "N");
    EXPECT_EQ(start, s.StmtStart / 2 + (s.StmtStart % 2) + 1);

    EXPECT_EQ(t->GetStatementText(without, objectName, encrypted, start, end), "<NONE>");
    EXPECT_EQ(objectName, "<NONE>");
    EXPECT_EQ(encrypted, "N");
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 0);
}

TEST_F(WorkerSqlsim, StatementTextUnavailableGivesTheReasonAndSendsNothing) {
    struct Case {
        const char *what;
        bool noStmtStart;
        bool mayGetSql;
        const char *reason;
    } cases[] = {
        {"server without stmt_start", true, true,
         "This feature requires SQL Server 2000 SP 3 or greater"},
        {"login without the permission", false, false,
         "You do not have permission to run the fn_get_sql function"},
    };
    for (const auto &c : cases) {
        Server->SetNoStmtStart(c.noStmtStart);
        Server->SetLogin({"viewer", "View-1", c.mayGetSql, true});
        Owner.Updates.clear();
        TKivraThread *t = Start(100, "viewer", "View-1");
        ASSERT_NE(t, nullptr) << c.what;
        WatchForAFoldedTick(t);
        ASSERT_TRUE(WaitForUpdates(1)) << c.what;
        ASSERT_TRUE(WaitForUpdates(1 + FoldedTick)) << "no poll of its own after this one";
        EXPECT_FALSE(t->StatementTextAvailable) << c.what;
        SimBatchWatch sent(*Server);
        std::string objectName, encrypted;
        int start = -1, end = -1;
        EXPECT_EQ(t->GetStatementText(60, objectName, encrypted, start, end), c.reason) << c.what;
        EXPECT_EQ(objectName, "?");
        EXPECT_EQ(encrypted, "?");
        EXPECT_EQ(start, 0);
        EXPECT_EQ(end, 0);
        EXPECT_TRUE(sent.Take().empty()) << c.what;
        // The watch sees what the connection sends: the input-buffer request is one batch.
        std::string eventType;
        t->GetInputBuffer(60, eventType);
        EXPECT_EQ(sent.Take(), std::vector<std::string>{kivra::InputBufferBatch(60)}) << c.what;
        Owner.DuringUpdate = nullptr;
        StopAndForget(t);
        Model.reset();
        ASSERT_TRUE(PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 5000)) << c.what;
    }
}

TEST_F(WorkerSqlsim, KillReturnsItsCodeAndThePollThatFollowsShowsTheResult) {
    TKivraThread *t = Start(100);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(WaitForUpdates(1));
    int own = 0;
    for (int i = 0; i < Model->ProcessTable->Count; ++i) {
        const auto &p = Model->ProcessTable->Item<stProcessInfo>(i);
        if (std::string(p.ProgramName) == kivra::kApplicationName) own = p.SPID;
    }
    ASSERT_NE(own, 0);
    const int system = FindSimSession([](const SimSession &x) { return x.System; });
    const int user = FindSimSession([](const SimSession &x) { return !x.System && !x.InChain; });
    ASSERT_NE(system, 0);
    ASSERT_NE(user, 0);

    struct Case {
        const char *what;
        int spid;
        int code;
        bool goneAfter;
    } cases[] = {
        {"own session", own, -1, false},
        {"system session", system, -2, false},
        {"user session", user, 1, true},
        {"a session that no longer exists", user, 1, true},
    };
    ASSERT_NE(FindSession(user), nullptr);
    const TDateTime userLogin = FindSession(user)->LoginTime;
    for (const auto &c : cases) {
        const std::size_t before = Owner.Updates.size();
        const TDateTime loginTime = c.spid == user ? userLogin : FindSession(c.spid)->LoginTime;
        EXPECT_EQ(Model->KillProcess(c.spid), c.code) << c.what;
        ASSERT_TRUE(WaitForUpdates(before + 1, 3000)) << c.what << ": the kill woke a poll";
        EXPECT_EQ(SessionGone(c.spid, loginTime), c.goneAfter) << c.what;
    }
    EXPECT_FALSE(t->ConnectionLost);
}

TEST_F(WorkerSqlsim, OurTextsAreTheTextsTheServerKnows) {
    EXPECT_EQ(kivra::ProcessQueryText(), SimSqlTexts::ProcessQuery());
    EXPECT_EQ(kivra::StatementBatch(77), SimSqlTexts::StatementBatch(77, true));
    EXPECT_EQ(kivra::KillBatch(77), SimSqlTexts::KillBatch(77));
    EXPECT_EQ(kivra::InputBufferBatch(77), SimSqlTexts::InputBuffer(77));
    EXPECT_EQ(kivra::kStatementProbeText, SimSqlTexts::StatementTextProbe());
    EXPECT_EQ(kivra::kPermissionProbeText, SimSqlTexts::PermissionProbe());
    EXPECT_EQ(kivra::kStartupQueryText, SimSqlTexts::StartupQuery());
}
