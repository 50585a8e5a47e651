#pragma once
// The workload of the merge and fill benchmarks: the rows of successive polls of one server, and
// one poll's hand-over into a model as the worker runs it on the main thread.
//
// The sessions form a window that slides by 2% per poll: the oldest 2% leave and as many new ones
// arrive, part of them on a SPID that another session left in the same poll (a new login time on
// a known SPID), part on a SPID free for a poll. One session in ten runs 2 to 4 execution
// contexts; one in a hundred is blocked by another. Rows arrive in session order, as the process
// query gives them. Every session's CPU moves every poll; memory stays; the last batch of every
// session is the poll's time.
//
// Benchmarks only: single thread, no checks.

#include "DBServerInfoSource.h"
#include "FakeKivraOwner.h"
#include "PollRow.h"
#include "TDateTime.h"

#include <cstdint>
#include <string>
#include <vector>

// Counting instructions of the timed part only: under valgrind --tool=callgrind
// --collect-atstart=no, the benchmarks count what lies between two CollectToggle() calls (the
// timed polls or fills); elsewhere, or without valgrind's header, the toggle does nothing.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define KIVRA_BENCH_COLLECT_TOGGLE() CALLGRIND_TOGGLE_COLLECT
#else
#define KIVRA_BENCH_COLLECT_TOGGLE() ((void)0)
#endif

namespace bench {

inline void CollectToggle() { KIVRA_BENCH_COLLECT_TOGGLE(); }

inline std::uint32_t Mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return static_cast<std::uint32_t>(x);
}

class SessionChurn {
public:
    explicit SessionChurn(int sessions)
        : Sessions(sessions), Churn(sessions / 50 > 0 ? sessions / 50 : 1),
          SpidRange(sessions + Churn / 2) {
        const int users = sessions / 10 + 5;
        for (int i = 0; i < users; ++i) Logins.push_back("DOMAIN\\user" + std::to_string(i));
        for (int i = 0; i < users / 2 + 3; ++i) Hosts.push_back("WORKSTATION-" + std::to_string(i));
        for (int i = 0; i < users / 2 + 3; ++i)
            Addresses.push_back("0050B6" + std::to_string(100000 + i));
        for (int i = 0; i < 40; ++i) Databases.push_back("Database_" + std::to_string(i));
        Databases.push_back("<SystemProcess>");
        for (int i = 0; i < 12; ++i) Programs.push_back("Application module " + std::to_string(i));
    }

    // The rows of poll k: the sessions with ids k * Churn .. k * Churn + Sessions - 1. The rows
    // of the previous poll are written over, so their texts keep their storage.
    void Build(long long k, std::vector<PollRow> &rows) const {
        std::size_t used = 0;
        const long long first = k * Churn;
        for (long long id = first; id < first + Sessions; ++id) {
            const std::uint32_t h = Mix(static_cast<std::uint64_t>(id));
            const int contexts = h % 10 == 0 ? 2 + static_cast<int>((h >> 8) % 3) : 1;
            const int spid = 50 + static_cast<int>(id % SpidRange);
            const int blocked = (h >> 4) % 100 == 0 ? 50 + static_cast<int>((h >> 12) % SpidRange)
                                                    : 0;
            const std::size_t user = (h >> 16) % Logins.size();
            for (int e = 0; e < contexts; ++e) {
                if (used == rows.size()) rows.emplace_back();
                PollRow &r = rows[used++];
                r.SPID = spid;
                r.ECID = e;
                r.Blocked = blocked;
                r.DatabaseName = Databases[(h >> 6) % Databases.size()];
                r.LoginName = r.NTUserName = Logins[user];
                r.NTDomain = "DOMAIN";
                r.HostName = Hosts[user % Hosts.size()];
                r.NetAddress = Addresses[user % Addresses.size()];
                r.ProgramName = Programs[(h >> 20) % Programs.size()];
                r.Command = e == 0 ? "SELECT" : "PARALLEL";
                r.Status = (h & 3) == 0 ? "runnable" : "sleeping";
                r.LastWaitType = blocked ? "LCK_M_S" : "MISCELLANEOUS";
                r.WaitResource = blocked ? "KEY: 7:72057594038321152 (a1b2c3d4e5f6)" : "";
                r.OpenTran = blocked ? 1 : 0;
                r.WaitTime = 0;
                r.NetLibrary = "TCP/IP";
                r.HostProcess = "4711";
                r.LoginTime = 46000.0 + static_cast<double>(id) / 1e6;
                r.LastBatch = 46001.0 + static_cast<double>(k) / 86400.0;
                r.CPU = static_cast<std::int64_t>(k) * (1 + h % 7) + e;
                r.MemUsage = 2 + h % 50;
                r.PhysicalIO = static_cast<std::int64_t>(k) * (h % 13);
            }
        }
        rows.resize(used);
    }

    // Poll k's hand-over into model, as the worker's ApplyPollResults calls it: SetDisconnected,
    // BeginPollCycle, AddProcessRow per row, EndPollCycle, UpdateStatistics, EvaluateAlerts. The
    // caller's tick source should give one second per poll, so that each poll yields rates.
    static void Apply(TDBServerInfo &model, const std::vector<PollRow> &rows, long long k) {
        model.SetDisconnected(false);
        MergePoll(model, rows);
        const int p = static_cast<int>(k);
        model.UpdateStatistics(3 + p % 5, 1000 * p, 900 * p, 0, 40 * p, 30 * p, 0, 100LL * p,
                               900LL * p, 46001.0 + static_cast<double>(k) / 86400.0);
        model.EvaluateAlerts();
    }

    const int Sessions, Churn, SpidRange;

private:
    std::vector<std::string> Logins, Hosts, Addresses, Databases, Programs;
};

// A server model fed by the workload one poll at a time, as a worker feeds it, with a clock of
// its own that advances one second per poll (so each poll yields rates); the clock is the
// process's tick source while the object lives.
class ChurnedServer {
public:
    explicit ChurnedServer(int sessions) : Load(sessions) {
        // The main window's part: alerts on (so EvaluateAlerts does its work), logs off.
        Owner.TurnAlertsOn();
        Owner.Alerts.EmailAlerts = true;
        Model.Owner = &Owner;
        Model.SetServerName("BENCH\\SQL");
        kivra::SetTickSource([this] { return Tick; });
    }
    ~ChurnedServer() { kivra::SetTickSource({}); }
    ChurnedServer(const ChurnedServer &) = delete;
    ChurnedServer &operator=(const ChurnedServer &) = delete;

    void BuildNextPoll() { Load.Build(Poll, Rows); }  // the rows of the next poll
    void ApplyNextPoll() {                            // their hand-over into Model
        Tick += 1000;
        SessionChurn::Apply(Model, Rows, Poll);
        ++Poll;
    }
    std::size_t RowCount() const { return Rows.size(); }

    TDBServerInfo Model;

private:
    SessionChurn Load;
    FakeKivraOwner Owner;
    std::vector<PollRow> Rows;
    long long Poll = 0;
    std::uint32_t Tick = 0;
};

}  // namespace bench
