#pragma once
// SimWorkload: the seeded, repeatable session population and server-wide counters of one
// simulated instance. Every public operation locks the workload's mutex, so the connection
// threads and the control interface may call them concurrently. Step() advances the workload by
// one poll (one simulated second): the same seed and the same sequence of operations give the
// same sessions and counters at every poll. Wall-clock values (getdate, last batch times) come
// from the real clock.

#include "SimRandom.h"
#include "SimSession.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct SimCounters {
    int64_t CpuBusy = 0, Idle = 0;  // ticks of 31,250 us
    int64_t PackReceived = 0, PackSent = 0, PacketErrors = 0;
    int64_t TotalRead = 0, TotalWrite = 0, TotalErrors = 0;
};

struct SimWorkloadConfig {
    uint64_t Seed = 1;
    int UserSessions = 40;         // simulated user sessions (sqlsim's own clients come on top)
    double ChurnPercent = 2.0;     // user sessions replaced per step, in percent
    int SystemSessions = 25;       // ids 1 .. SystemSessions
    int64_t UptimeSeconds = 7200;  // how long ago the server "started" at construction
    int BlockingChains = 1;        // chains present from the start (when there are enough sessions)
};

struct SimClientInfo {
    std::string Login, Host, Program, HostProcess;
};

enum class SimKillResult { Killed, Unknown, System };

class SimWorkload {
public:
    explicit SimWorkload(const SimWorkloadConfig &config);

    // One poll's worth of activity and counter growth.
    void Step();
    // New start time (now), new seed generation, all simulated sessions new. Client sessions
    // are dropped too (the caller closes their connections).
    void Restart();

    // Calls fn under the lock with the sessions in spid order and the counters.
    void Read(const std::function<void(const std::map<int, SimSession> &, const SimCounters &)> &fn)
        const;
    bool Find(int spid, SimSession &out) const;
    size_t SessionCount() const;
    int64_t StartTimeMs() const;
    int64_t EarliestLoginMs() const;

    // Returns the new spid, 0 when none is free. clientId names the connection.
    int AddClient(const SimClientInfo &info, uint64_t clientId);
    void RemoveClient(int spid, uint64_t clientId);
    void ClientBatchStarted(int spid, const std::string &text);
    void ClientBatchEnded(int spid);

    // With lowerTarget a user session ends for good: the target count drops under the same lock,
    // so no step in between refills it.
    SimKillResult Kill(int spid, bool *wasClient = nullptr, bool lowerTarget = false);

    // A session of the caller's own with exactly the values given, for a test that must know
    // every column of a row: it stays so until it is placed again, killed, or the server
    // restarts (no step changes, blocks or removes it), and it is not one of the simulated user
    // sessions (a simulated session of its spid makes way and is refilled elsewhere). False for
    // a spid outside 51 .. 32767, or a client's or a system session's.
    bool PlaceSession(const SimSession &session);
    // The server-wide counters are start from now on and grow by exactly perStep at every step
    // (the simulated load no longer moves them), until the server restarts.
    void HoldCounters(const SimCounters &start, const SimCounters &perStep);

    void SetCpuLoad(int percent);  // 0..100 fixed; negative: moving baseline with bursts
    int CpuLoad() const;           // the load of the last step
    void SetUserSessions(int count);
    void SetChurn(double percent);
    // Starts a chain: a head with an open transaction and `blocked` sessions waiting on locks.
    // Returns the head's spid, 0 when there are not enough idle user sessions.
    int StartBlockingChain(int blocked);
    void EndBlockingChains();

    static int64_t NowLocalMs();
    static std::string DatabaseName(int dbid);       // empty for an unknown id
    static int DatabaseId(const std::string &name);  // 0 when unknown

private:
    void Populate();
    void AddSystemSessions();
    SimSession MakeUserSession(int spid, int64_t nowMs, bool fresh);
    void AssignBatch(SimSession &s, int64_t nowMs);
    void SetIdle(SimSession &s);
    int FreeSpid(int from = 51) const;  // lowest free user id >= from, 0 when none
    void ApplyTargetCount(int64_t nowMs);
    void ReleaseChain(int head);
    int StartChainLocked(int blocked, int64_t nowMs);

    mutable std::mutex Mutex;
    SimWorkloadConfig Config;
    SimRandom Rng;
    int Generation = 0;
    std::map<int, SimSession> Sessions;
    SimCounters Counters;
    bool CountersHeld = false;  // HoldCounters: each step adds HeldStep
    SimCounters HeldStep;
    int64_t StartMs = 0;
    int FixedLoad = -1;
    int LastLoad = 0;
    int BurstLeft = 0;
    int BurstExtra = 0;
    double BusyFrac = 0, IdleFrac = 0;
    int UserCount = 0;  // simulated (non-client) user sessions
};
