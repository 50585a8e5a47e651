// The simulated workload: repeatable per seed, kills, blocking chains, counters, restart.

#include "SimWorkload.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

SimWorkloadConfig Config(uint64_t seed, int users = 30) {
    SimWorkloadConfig c;
    c.Seed = seed;
    c.UserSessions = users;
    c.ChurnPercent = 5;
    return c;
}

// Everything of a poll that does not come from the wall clock.
std::string Fingerprint(const SimWorkload &w) {
    std::ostringstream o;
    w.Read([&](const std::map<int, SimSession> &sessions, const SimCounters &c) {
        o << c.CpuBusy << ' ' << c.Idle << ' ' << c.PackReceived << ' ' << c.PackSent << ' '
          << c.PacketErrors << ' ' << c.TotalRead << ' ' << c.TotalWrite << ' ' << c.TotalErrors
          << '\n';
        for (const auto &e : sessions) {
            const SimSession &s = e.second;
            o << s.Spid << '/' << s.ExtraContexts << '/' << s.Dbid << '/' << s.Login << '/'
              << s.Host << '/' << s.Program << '/' << s.Cmd << '/' << s.Status << '/' << s.Blocked
              << '/' << s.OpenTran << '/' << s.WaitTime << '/' << s.Cpu << '/' << s.PhysicalIo
              << '/' << s.LastWaitType << '/' << s.InputBuffer << '\n';
        }
    });
    return o.str();
}

TEST(SimWorkload, SameSeedGivesSamePolls) {
    SimWorkload a(Config(42)), b(Config(42)), other(Config(43));
    EXPECT_EQ(Fingerprint(a), Fingerprint(b));
    bool differed = Fingerprint(a) != Fingerprint(other);
    for (int poll = 0; poll < 20; ++poll) {
        a.Step();
        b.Step();
        other.Step();
        ASSERT_EQ(Fingerprint(a), Fingerprint(b)) << "poll " << poll;
        differed = differed || Fingerprint(a) != Fingerprint(other);
    }
    EXPECT_TRUE(differed);
}

TEST(SimWorkload, SystemSessionsStartWithTheServer) {
    SimWorkload w(Config(1));
    const int64_t start = w.StartTimeMs();
    EXPECT_EQ(w.EarliestLoginMs(), start);
    w.Read([&](const std::map<int, SimSession> &sessions, const SimCounters &) {
        for (const auto &e : sessions) {
            const SimSession &s = e.second;
            if (s.Spid <= 25) {
                EXPECT_TRUE(s.System) << s.Spid;
                EXPECT_EQ(s.LoginTimeMs, start) << s.Spid;
                EXPECT_TRUE(s.Dbid == 0 || s.Dbid == 1) << s.Spid;
            } else {
                EXPECT_GE(s.Spid, 51);
                EXPECT_GT(s.LoginTimeMs, start) << s.Spid;
                EXPECT_GE(s.LastBatchMs, s.LoginTimeMs) << s.Spid;
            }
        }
    });
}

TEST(SimWorkload, KillTellsSystemUnknownAndUserSessionsApart) {
    SimWorkload w(Config(5));
    const int client = w.AddClient({"sa", "HOSTX", "VORNIXMonitor", "4242"}, 77);
    ASSERT_GT(client, 0);
    const struct {
        int spid;
        SimKillResult result;
        bool wasClient;
        bool goneAfter;
    } cases[] = {
        {2, SimKillResult::System, false, false},    {30000, SimKillResult::Unknown, false, true},
        {51, SimKillResult::Killed, false, true},    {51, SimKillResult::Unknown, false, true},
        {client, SimKillResult::Killed, true, true},
    };
    for (const auto &c : cases) {
        bool wasClient = true;
        EXPECT_EQ(w.Kill(c.spid, &wasClient), c.result) << c.spid;
        EXPECT_EQ(wasClient, c.wasClient) << c.spid;
        SimSession s;
        EXPECT_EQ(!w.Find(c.spid, s), c.goneAfter) << c.spid;
    }
}

TEST(SimWorkload, ReusedSpidIsNotRemovedByTheOldConnection) {
    SimWorkloadConfig c = Config(3, 0);
    c.BlockingChains = 0;
    SimWorkload w(c);
    const int first = w.AddClient({"sa", "H1", "p", "1"}, 1);
    ASSERT_EQ(w.Kill(first), SimKillResult::Killed);
    const int second = w.AddClient({"sa", "H2", "p", "2"}, 2);
    ASSERT_EQ(first, second);
    w.RemoveClient(first, 1);  // the killed connection ends late
    SimSession s;
    ASSERT_TRUE(w.Find(second, s));
    EXPECT_EQ(s.Host, "H2");
}

TEST(SimWorkload, AKilledSessionIsRefilledByTheNextStepUnlessItEndedForGood) {
    SimWorkloadConfig c = Config(4, 10);
    c.ChurnPercent = 0;
    c.BlockingChains = 0;
    SimWorkload w(c);
    const size_t full = w.SessionCount();
    for (bool forGood : {false, true}) {
        ASSERT_EQ(w.Kill(51, nullptr, forGood), SimKillResult::Killed) << forGood;
        w.Step();
        EXPECT_EQ(w.SessionCount(), forGood ? full - 1 : full) << forGood;
    }
}

TEST(SimWorkload, BlockingChainWaitsGrowAndEnd) {
    SimWorkloadConfig c = Config(9, 20);
    c.BlockingChains = 0;
    c.ChurnPercent = 0;
    SimWorkload w(c);
    const int head = w.StartBlockingChain(3);
    ASSERT_GT(head, 0);
    auto blockedBy = [&](std::map<int, int64_t> &waits) {
        waits.clear();
        w.Read([&](const std::map<int, SimSession> &sessions, const SimCounters &) {
            for (const auto &e : sessions)
                if (e.second.Blocked != 0) {
                    waits[e.first] = e.second.WaitTime;
                    EXPECT_EQ(e.second.LastWaitType.rfind("LCK_M_", 0), 0u);
                    EXPECT_FALSE(e.second.WaitResource.empty());
                }
        });
    };
    SimSession h;
    ASSERT_TRUE(w.Find(head, h));
    EXPECT_EQ(h.OpenTran, 1);
    EXPECT_EQ(h.Blocked, 0);
    std::map<int, int64_t> before, after;
    blockedBy(before);
    EXPECT_EQ(before.size(), 3u);
    w.Step();
    blockedBy(after);
    ASSERT_EQ(after.size(), 3u);
    for (const auto &e : before) EXPECT_EQ(after[e.first], e.second + 1000) << e.first;

    // Killing the head frees those that waited on it.
    ASSERT_EQ(w.Kill(head), SimKillResult::Killed);
    blockedBy(after);
    EXPECT_LT(after.size(), 3u);
    for (const auto &e : after) EXPECT_NE(e.second, head);
    w.EndBlockingChains();
    blockedBy(after);
    EXPECT_TRUE(after.empty());
}

TEST(SimWorkload, CountersAdvancePerPoll) {
    SimWorkload w(Config(4));
    const struct {
        int load;
        int64_t busyPerPoll;  // of 32 ticks per simulated second
    } cases[] = {{0, 0}, {50, 16}, {100, 32}, {25, 8}};
    for (const auto &c : cases) {
        w.SetCpuLoad(c.load);
        SimCounters before, after;
        w.Read([&](const std::map<int, SimSession> &, const SimCounters &k) { before = k; });
        w.Step();
        w.Read([&](const std::map<int, SimSession> &, const SimCounters &k) { after = k; });
        EXPECT_EQ(after.CpuBusy - before.CpuBusy, c.busyPerPoll) << c.load;
        EXPECT_EQ(after.Idle - before.Idle, 32 - c.busyPerPoll) << c.load;
        EXPECT_GT(after.PackReceived, before.PackReceived);
        EXPECT_GT(after.PackSent, before.PackSent);
        EXPECT_GT(after.TotalRead, before.TotalRead);
        EXPECT_GE(after.TotalWrite, before.TotalWrite);
        EXPECT_GE(after.PacketErrors, before.PacketErrors);
    }
    // The moving load stays a percentage.
    w.SetCpuLoad(-1);
    for (int i = 0; i < 200; ++i) {
        w.Step();
        EXPECT_GE(w.CpuLoad(), 0);
        EXPECT_LE(w.CpuLoad(), 100);
    }
}

// Every value of a session, to compare two.
std::string Describe(const SimSession &s) {
    std::ostringstream o;
    o << s.Spid << '/' << s.ExtraContexts << '/' << s.Dbid << '/' << s.Login << '/' << s.Host << '/'
      << s.Program << '/' << s.NtDomain << '/' << s.NtUser << '/' << s.NetAddress << '/'
      << s.NetLibrary << '/' << s.HostProcess << '/' << s.Cmd << '/' << s.Status << '/'
      << s.LastWaitType << '/' << s.WaitResource << '/' << s.Blocked << '/' << s.OpenTran << '/'
      << s.WaitTime << '/' << s.Cpu << '/' << s.MemUsage << '/' << s.PhysicalIo << '/'
      << s.LoginTimeMs << '/' << s.LastBatchMs << '/' << s.EventType << '/' << s.InputBuffer << '/'
      << s.HasHandle << '/' << s.SqlText << '/' << s.StmtStart << '/' << s.StmtEnd << '/'
      << s.ObjectName << '/' << s.Encrypted;
    return o.str();
}

TEST(SimWorkload, APlacedSessionStaysExactlyAsGiven) {
    SimWorkloadConfig config = Config(11, 30);
    config.ChurnPercent = 100;  // every simulated session is replaced at every step
    SimWorkload w(config);
    const int client = w.AddClient({"sa", "H", "VORNIXMonitor", "1"}, 9);
    SimSession given;
    given.Spid = 60;  // a simulated session's spid: it makes way
    given.Dbid = 6;
    given.Login = "placed";
    given.Host = "PLACEDHOST";
    given.Cmd = "SELECT";
    given.Status = "runnable";
    given.Blocked = 61;
    given.Cpu = 1234;
    given.MemUsage = 56;
    given.PhysicalIo = 789;
    given.WaitTime = 10;
    given.LoginTimeMs = w.StartTimeMs() + 5000;
    given.LastBatchMs = w.StartTimeMs() + 6000;
    given.HasHandle = true;
    given.SqlText = given.InputBuffer = "SELECT 42";
    ASSERT_TRUE(w.PlaceSession(given));
    EXPECT_EQ(w.SessionCount(), 25u + 30u + 2u);  // not one of the simulated user sessions

    for (int step = 0; step < 30; ++step) {
        w.Step();
        if (step == 10) {
            ASSERT_GT(w.StartBlockingChain(3), 0);
        }
        if (step == 20) w.Kill(61);  // the session it names as its blocker ends
        SimSession now;
        ASSERT_TRUE(w.Find(60, now)) << "step " << step;
        ASSERT_EQ(Describe(now), Describe(given)) << "step " << step;
    }
    EXPECT_EQ(w.SessionCount(), 25u + 30u + 2u);

    // Not in place of a system session or a client, nor outside the user spids.
    for (int spid : {5, client, 50, 32768}) {
        SimSession other = given;
        other.Spid = spid;
        EXPECT_FALSE(w.PlaceSession(other)) << spid;
    }
    SimSession clientNow;
    ASSERT_TRUE(w.Find(client, clientNow));
    EXPECT_TRUE(clientNow.Client);

    // Placed again it takes the new values; killed it is gone and not refilled.
    given.Cpu = 4321;
    ASSERT_TRUE(w.PlaceSession(given));
    SimSession now;
    ASSERT_TRUE(w.Find(60, now));
    EXPECT_EQ(now.Cpu, 4321);
    EXPECT_EQ(w.Kill(60), SimKillResult::Killed);
    w.Step();
    EXPECT_EQ(w.SessionCount(), 25u + 30u + 1u);
}

TEST(SimWorkload, HeldCountersGrowByExactlyTheirStepUntilARestart) {
    SimWorkload w(Config(12));
    w.SetCpuLoad(-1);  // the moving load no longer moves them
    const SimCounters start{1000, 2000, 3000, 4000, 5, 6000, 7000, 8};
    const SimCounters step{30, 90, 200, 100, 3, 400, 500, 6};
    w.HoldCounters(start, step);
    for (int poll = 0; poll <= 20; ++poll) {
        SimCounters c;
        w.Read([&](const std::map<int, SimSession> &, const SimCounters &k) { c = k; });
        EXPECT_EQ(c.CpuBusy, start.CpuBusy + poll * step.CpuBusy) << poll;
        EXPECT_EQ(c.Idle, start.Idle + poll * step.Idle) << poll;
        EXPECT_EQ(c.PackReceived, start.PackReceived + poll * step.PackReceived) << poll;
        EXPECT_EQ(c.PackSent, start.PackSent + poll * step.PackSent) << poll;
        EXPECT_EQ(c.PacketErrors, start.PacketErrors + poll * step.PacketErrors) << poll;
        EXPECT_EQ(c.TotalRead, start.TotalRead + poll * step.TotalRead) << poll;
        EXPECT_EQ(c.TotalWrite, start.TotalWrite + poll * step.TotalWrite) << poll;
        EXPECT_EQ(c.TotalErrors, start.TotalErrors + poll * step.TotalErrors) << poll;
        w.Step();
    }
    // A restarted server counts afresh, by its load again.
    w.Restart();
    w.SetCpuLoad(50);
    SimCounters before, after;
    w.Read([&](const std::map<int, SimSession> &, const SimCounters &k) { before = k; });
    w.Step();
    w.Read([&](const std::map<int, SimSession> &, const SimCounters &k) { after = k; });
    EXPECT_EQ(after.CpuBusy - before.CpuBusy, 16);
    EXPECT_EQ(after.Idle - before.Idle, 16);
}

TEST(SimWorkload, RestartGivesNewStartAndNewSessions) {
    SimWorkload w(Config(8));
    const int64_t oldStart = w.StartTimeMs();
    w.AddClient({"sa", "H", "p", "1"}, 5);
    w.Restart();
    EXPECT_GT(w.StartTimeMs(), oldStart);
    EXPECT_EQ(w.EarliestLoginMs(), w.StartTimeMs());
    const int64_t start = w.StartTimeMs();
    w.Read([&](const std::map<int, SimSession> &sessions, const SimCounters &) {
        for (const auto &e : sessions) {
            EXPECT_FALSE(e.second.Client) << e.first;
            EXPECT_GE(e.second.LoginTimeMs, start) << e.first;
        }
    });
}

TEST(SimWorkload, SessionCountFollowsTheSetting) {
    SimWorkloadConfig c = Config(2, 10);
    c.BlockingChains = 0;
    SimWorkload w(c);
    const struct { int users; } cases[] = {{10000}, {500}, {0}, {40}};
    for (const auto &k : cases) {
        w.SetUserSessions(k.users);
        EXPECT_EQ(w.SessionCount(), static_cast<size_t>(25 + k.users));
        w.Step();  // churn replaces, it does not shrink or grow
        EXPECT_EQ(w.SessionCount(), static_cast<size_t>(25 + k.users));
    }
}

}  // namespace
