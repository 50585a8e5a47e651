// One poll's hand-over on the main thread, as the worker runs it, for servers of 300, 3,000 and
// 30,000 sessions: SetDisconnected(false), BeginPollCycle, AddProcessRow per row, EndPollCycle,
// UpdateStatistics, EvaluateAlerts. Alerts are on, logging is off.
//
// The sessions form a window that slides by 2% per poll: the oldest 2% leave and as many new ones
// arrive, part of them on a SPID that another session left in the same poll (a new login time on
// a known SPID), part on a SPID free for a poll. One session in ten runs 2 to 4 execution
// contexts; one in a hundred is blocked by another. Rows arrive in session order, as the process
// query gives them. Building a poll's rows is left out of the timing.

#include "DBServerInfoSource.h"
#include "TDateTime.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

class BenchOwner : public TKivraOwner {
public:
    BenchOwner() {
        Alerts.EmailAlerts = true;
        Alerts.CPUUsage = true;
        Alerts.CPUUsageValue = 90;
        Alerts.CPUUsageRefresh = 5;
        Alerts.ServerResponse = true;
        Alerts.ServerResponseValue = 500;
        Alerts.ServerResponseRefresh = 5;
        Alerts.ServerDisconnect = true;
        Logs.Logging = false;
    }
    const stEmailAlerts &GetAlertSettings() const override { return Alerts; }
    const stLogging &GetLogSettings() const override { return Logs; }
    void UpdateServerViews(int) override {}
    void RefreshServerList() override {}
    void SendAlertEmail(const std::string &, bool, bool, bool) override { ++Mails; }

    stEmailAlerts Alerts;
    stLogging Logs;
    int Mails = 0;
};

std::uint32_t Mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return static_cast<std::uint32_t>(x);
}

struct Row {
    int spid, ecid, blocked;
    const char *db, *login, *host, *address, *program, *command, *status, *waitType;
    TDateTime loginTime, lastBatch;
    std::int64_t cpu, mem, io;
};

// Text pools the rows point into, as the worker's field buffers would be.
struct Pools {
    std::vector<std::string> Logins, Hosts, Addresses, Databases, Programs;
    explicit Pools(int sessions) {
        const int users = sessions / 10 + 5;
        for (int i = 0; i < users; ++i) Logins.push_back("DOMAIN\\user" + std::to_string(i));
        for (int i = 0; i < users / 2 + 3; ++i) Hosts.push_back("WORKSTATION-" + std::to_string(i));
        for (int i = 0; i < users / 2 + 3; ++i)
            Addresses.push_back("0050B6" + std::to_string(100000 + i));
        for (int i = 0; i < 40; ++i) Databases.push_back("Database_" + std::to_string(i));
        Databases.push_back("<SystemProcess>");
        for (int i = 0; i < 12; ++i) Programs.push_back("Application module " + std::to_string(i));
    }
};

class Workload {
public:
    explicit Workload(int sessions)
        : Sessions(sessions), Churn(sessions / 50 > 0 ? sessions / 50 : 1),
          SpidRange(sessions + Churn / 2), P(sessions) {}

    // The rows of poll k: the sessions with ids k * Churn .. k * Churn + Sessions - 1.
    void Build(long long k, std::vector<Row> &rows) const {
        rows.clear();
        const long long first = k * Churn;
        for (long long id = first; id < first + Sessions; ++id) {
            const std::uint32_t h = Mix(static_cast<std::uint64_t>(id));
            const int contexts = h % 10 == 0 ? 2 + static_cast<int>((h >> 8) % 3) : 1;
            const int spid = 50 + static_cast<int>(id % SpidRange);
            const int blocked = (h >> 4) % 100 == 0 ? 50 + static_cast<int>((h >> 12) % SpidRange) : 0;
            const std::size_t user = (h >> 16) % P.Logins.size();
            for (int e = 0; e < contexts; ++e) {
                Row r;
                r.spid = spid;
                r.ecid = e;
                r.blocked = blocked;
                r.db = P.Databases[(h >> 6) % P.Databases.size()].c_str();
                r.login = P.Logins[user].c_str();
                r.host = P.Hosts[user % P.Hosts.size()].c_str();
                r.address = P.Addresses[user % P.Addresses.size()].c_str();
                r.program = P.Programs[(h >> 20) % P.Programs.size()].c_str();
                r.command = e == 0 ? "SELECT" : "PARALLEL";
                r.status = (h & 3) == 0 ? "runnable" : "sleeping";
                r.waitType = blocked ? "LCK_M_S" : "MISCELLANEOUS";
                r.loginTime = 46000.0 + static_cast<double>(id) / 1e6;
                r.lastBatch = 46001.0 + static_cast<double>(k) / 86400.0;
                r.cpu = static_cast<std::int64_t>(k) * (1 + h % 7) + e;
                r.mem = 2 + h % 50;
                r.io = static_cast<std::int64_t>(k) * (h % 13);
                rows.push_back(r);
            }
        }
    }

    const int Sessions, Churn, SpidRange;

private:
    Pools P;
};

void MergePoll(benchmark::State &state) {
    const int sessions = static_cast<int>(state.range(0));
    const Workload load(sessions);
    BenchOwner owner;
    TDBServerInfo model;
    model.Owner = &owner;
    model.SetServerName("BENCH\\SQL");

    // A clock of our own: one second per poll, so each poll yields rates.
    std::uint32_t tick = 0;
    kivra::SetTickSource([&tick] { return tick; });

    std::vector<Row> rows;
    long long poll = 0;
    const auto runPoll = [&](const std::vector<Row> &batch) {
        model.SetDisconnected(false);
        model.BeginPollCycle();
        for (const Row &r : batch)
            model.AddProcessRow(r.spid, r.ecid, r.db, r.login, r.host, "DOMAIN", r.login, r.address,
                                r.command, r.status, r.program, r.blocked, r.loginTime,
                                r.lastBatch, r.cpu, r.mem, r.io, r.blocked ? 1 : 0, r.waitType,
                                r.blocked ? "KEY: 7:72057594038321152 (a1b2c3d4e5f6)" : "", 0,
                                "TCP/IP", "4711");
        model.EndPollCycle();
        tick += 1000;
        const int p = static_cast<int>(poll);
        model.UpdateStatistics(3 + p % 5, 1000 * p, 900 * p, 0, 40 * p, 30 * p, 0,
                               100LL * p, 900LL * p, 46001.0 + static_cast<double>(poll) / 86400.0);
        model.EvaluateAlerts();
    };

    // Warm up to the steady state: the tables have reached their size.
    for (int i = 0; i < 3; ++i) {
        load.Build(poll, rows);
        runPoll(rows);
        ++poll;
    }

    std::int64_t totalRows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        load.Build(poll, rows);
        state.ResumeTiming();
        runPoll(rows);
        totalRows += static_cast<std::int64_t>(rows.size());
        ++poll;
    }
    kivra::SetTickSource({});

    state.counters["sessions"] = static_cast<double>(model.ProcessTable->Count);
    state.counters["rows/poll"] =
        benchmark::Counter(static_cast<double>(totalRows), benchmark::Counter::kAvgIterations);
    state.counters["time/poll"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["time/row"] = benchmark::Counter(
        static_cast<double>(totalRows), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(MergePoll)->Arg(300)->Arg(1000)->Arg(3000)->Arg(10000)->Arg(30000)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
