// TDBServerInfo: the 120-poll statistics history, the per-poll CPU percentage and rates, and the
// uptime texts. Main thread only (inside the worker's hand-over and the views).

#include "DBServerInfoSource.h"

#include "TDateTime.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// A computed value as an int: cut toward zero, held to the int range (a value beyond it has no
// meaning as a rate and converting it unclamped would be undefined).
int ClampToInt(long double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<long double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<long double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

// Per-second rate of a 32-bit server counter over elapsedMs (> 0). The difference wraps, so a
// counter that passed 2^31 - 1 still gives its true increase; one that fell gives a negative rate.
// Integer arithmetic keeps the truncation exact (3 counts in 3000 ms is 1, never 0.999...).
int CounterRate(int current, int previous, std::uint32_t elapsedMs) {
    const auto diff = static_cast<std::int32_t>(static_cast<std::uint32_t>(current) -
                                                static_cast<std::uint32_t>(previous));
    const std::int64_t perSecond = static_cast<std::int64_t>(diff) * 1000 / elapsedMs;
    return ClampToInt(static_cast<long double>(perSecond));
}

// CPU busy percent from two non-negative counter deltas; 100 when neither moved.
int CpuPercent(std::uint64_t dBusy, std::uint64_t dIdle) {
    if (dBusy == 0 && dIdle == 0) return 100;
    int percent;
    if (dBusy <= UINT64_MAX / 200 && dIdle <= UINT64_MAX / 200) {
        percent = static_cast<int>(dBusy * 100 / (dBusy + dIdle));
    } else {
        const long double sum = static_cast<long double>(dBusy) + static_cast<long double>(dIdle);
        percent = ClampToInt(static_cast<long double>(dBusy) / sum * 100.0L);
    }
    return percent > 100 ? 100 : percent;
}

std::string TwoDigits(long long value) {
    std::string text = "00" + std::to_string(value);
    return text.substr(text.size() - 2);
}

struct UptimeParts {
    long long Days, Hours, Minutes, Seconds;
};

UptimeParts SplitUptime(TDateTime start, TDateTime now) {
    // Rounded to the millisecond first, so 93784 s stored as a fraction of a day is not 93783.
    const long long ms = std::llround(std::fabs(static_cast<long double>(now) - start) *
                                      static_cast<long double>(kivra::kMsPerDay));
    long long s = ms / 1000;
    UptimeParts p{};
    p.Days = s / 86400;
    s %= 86400;
    p.Hours = s / 3600;
    s %= 3600;
    p.Minutes = s / 60;
    p.Seconds = s % 60;
    return p;
}

}  // namespace

void TDBServerInfo::ShiftHistory() {
    std::memmove(&History[0], &History[1], sizeof(stStatSample) * (kHistorySize - 1));
}

void TDBServerInfo::UpdateStatistics(int responseTime, int packetsSent, int packetsReceived,
                                     int packetErrors, int totalRead, int totalWrite,
                                     int totalErrors, std::int64_t cpuBusy, std::int64_t cpuIdle,
                                     TDateTime serverTime) {
    stStatSample &current = History[kHistorySize - 1];
    ServerTime = serverTime;
    current.ServerTime = serverTime;
    current.ResponseTime = responseTime;
    current.Users = UserTable ? UserTable->Count : 0;
    current.Sessions = ProcessTable ? ProcessTable->Count : 0;

    if (PrevCpuBusy > 0) {
        const std::uint32_t tick = kivra::TickCountMs();
        const std::uint32_t elapsedMs = tick - PrevTick;  // modulo 2^32
        PrevTick = tick;

        // The 64-bit CPU counters never move back (a restarted server holds the old values).
        if (PrevCpuIdle > cpuIdle) cpuIdle = PrevCpuIdle;
        if (PrevCpuBusy > cpuBusy) cpuBusy = PrevCpuBusy;
        const std::uint64_t dBusy = static_cast<std::uint64_t>(cpuBusy) -
                                    static_cast<std::uint64_t>(PrevCpuBusy);
        const std::uint64_t dIdle = static_cast<std::uint64_t>(cpuIdle) -
                                    static_cast<std::uint64_t>(PrevCpuIdle);
        current.CPUBusy = CpuPercent(dBusy, dIdle);

        // Two hand-overs within one millisecond (a tick folded during a poll brings the next
        // poll at once) leave no time to divide by: the rates keep the previous poll's values.
        if (elapsedMs > 0) {
            current.PacketsSent = CounterRate(packetsSent, PrevPacketsSent, elapsedMs);
            current.PacketsReceived = CounterRate(packetsReceived, PrevPacketsReceived, elapsedMs);
            current.PacketErrors = CounterRate(packetErrors, PrevPacketErrors, elapsedMs);
            current.IORead = CounterRate(totalRead, PrevTotalRead, elapsedMs);
            current.IOWrite = CounterRate(totalWrite, PrevTotalWrite, elapsedMs);
            current.IOErrors = CounterRate(totalErrors, PrevTotalErrors, elapsedMs);
        }
    } else {
        PrevTick = kivra::TickCountMs();
    }

    PrevCpuBusy = cpuBusy;
    PrevCpuIdle = cpuIdle;
    PrevPacketsSent = packetsSent;
    PrevPacketsReceived = packetsReceived;
    PrevPacketErrors = packetErrors;
    PrevTotalRead = totalRead;
    PrevTotalWrite = totalWrite;
    PrevTotalErrors = totalErrors;

    current.Filled = true;
    WriteStatisticsLogStep();
}

namespace {

bool StatisticOf(const stStatSample &sample, TServerStatistic stat, int &value) {
    switch (stat) {
    case ssResponseTime: value = sample.ResponseTime; return true;
    case ssUsers: value = sample.Users; return true;
    case ssSessions: value = sample.Sessions; return true;
    case ssPacketsSent: value = sample.PacketsSent; return true;
    case ssPacketsReceived: value = sample.PacketsReceived; return true;
    case ssPacketErrors: value = sample.PacketErrors; return true;
    case ssIORead: value = sample.IORead; return true;
    case ssIOWrite: value = sample.IOWrite; return true;
    case ssIOErrors: value = sample.IOErrors; return true;
    case ssCPUBusy: value = sample.CPUBusy; return true;
    }
    return false;
}

}  // namespace

int TDBServerInfo::GetStatistic(TServerStatistic stat, int point) const {
    if (point < 0 || point >= kHistorySize) return -1;
    int value = -1;
    if (!StatisticOf(History[point], stat, value)) return -1;
    return value;
}

int TDBServerInfo::GetStatisticMax(TServerStatistic stat) const {
    int maximum = 0;
    for (const stStatSample &sample : History) {
        int value = 0;
        if (StatisticOf(sample, stat, value) && value > maximum) maximum = value;
    }
    return maximum;
}

std::string TDBServerInfo::GetUptimeText() const {
    const UptimeParts p = SplitUptime(ServerStartTime, ServerTime);
    return "Running for " + std::to_string(p.Days) + " days, " + std::to_string(p.Hours) +
           " hours, " + std::to_string(p.Minutes) + " minutes and " + std::to_string(p.Seconds) +
           " seconds";
}

std::string TDBServerInfo::GetShortUptimeText() const {
    const UptimeParts p = SplitUptime(ServerStartTime, ServerTime);
    return std::to_string(p.Days) + "d, " + TwoDigits(p.Hours) + "h, " + TwoDigits(p.Minutes) +
           "m, " + TwoDigits(p.Seconds) + "s";
}

TDateTime TDBServerInfo::GetServerStartTime() const { return ServerStartTime; }
