// The statistics history, the CPU percentage and the six per-second rates, and the uptime texts.

#include "ModelFixture.h"

#include <climits>

namespace {

using Statistics = ModelFixture;

TEST_F(Statistics, FirstPollFillsTheCurrentSampleWithoutCpuOrRates) {
    // response, sent, received, packet errors, read, write, IO errors, busy, idle
    Poll({42, 1000, 2000, 0, 300, 0, 0, 5000, 9000}, 1000,
         {{51, "alice", kivra::EncodeDateTime(2026, 12, 9, 7, 0, 0)},
          {52, "alice", kivra::EncodeDateTime(2026, 12, 9, 7, 5, 0)},
          {53, "bob", kivra::EncodeDateTime(2026, 12, 9, 7, 6, 0)}});

    const stStatSample &s = Current();
    EXPECT_TRUE(s.Filled);
    EXPECT_EQ(s.ServerTime, NowValue);
    EXPECT_EQ(Model->ServerTime, NowValue);
    EXPECT_EQ(s.ResponseTime, 42);
    EXPECT_EQ(s.Sessions, 3);
    EXPECT_EQ(s.Users, 2);
    for (TServerStatistic stat : {ssPacketsSent, ssPacketsReceived, ssPacketErrors, ssIORead,
                                  ssIOWrite, ssIOErrors, ssCPUBusy})
        EXPECT_EQ(Model->GetStatistic(stat, 119), 0) << "statistic " << stat;
    EXPECT_FALSE(Model->History[118].Filled);
}

// A second poll after a first one with the "before" counters.
struct SecondPollCase {
    const char *name;
    std::uint32_t elapsedMs;
    std::int64_t busyBefore, idleBefore, busyAfter, idleAfter;
    int counterBefore, counterAfter;  // applied to all six 32-bit counters
    int expectedCpu;
    int expectedRate;
};

class SecondPoll : public ModelFixture, public ::testing::WithParamInterface<SecondPollCase> {};

TEST_P(SecondPoll, GivesCpuPercentAndRates) {
    const SecondPollCase &p = GetParam();
    auto counters = [](std::int64_t busy, std::int64_t idle, int value) {
        PollCounters c;
        c.Busy = busy;
        c.Idle = idle;
        c.Sent = c.Received = c.PacketErrors = c.Read = c.Write = c.IOErrors = value;
        return c;
    };
    Poll(counters(p.busyBefore, p.idleBefore, p.counterBefore));
    Poll(counters(p.busyAfter, p.idleAfter, p.counterAfter), p.elapsedMs);

    EXPECT_EQ(Model->GetStatistic(ssCPUBusy, 119), p.expectedCpu);
    for (TServerStatistic stat :
         {ssPacketsSent, ssPacketsReceived, ssPacketErrors, ssIORead, ssIOWrite, ssIOErrors})
        EXPECT_EQ(Model->GetStatistic(stat, 119), p.expectedRate) << "statistic " << stat;
    EXPECT_TRUE(Shown.Boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SecondPoll,
    ::testing::Values(
        SecondPollCase{"Quarter", 2000, 100, 400, 130, 490, 0, 1000, 25, 500},
        SecondPollCase{"ThirdTruncated", 1000, 100, 400, 101, 402, 0, 0, 33, 0},
        SecondPollCase{"TwentyNineIsNotTwentyEight", 1000, 100, 400, 129, 471, 0, 0, 29, 0},
        SecondPollCase{"CountersUnchanged", 1000, 100, 400, 100, 400, 7, 7, 100, 0},
        SecondPollCase{"AllBusy", 1000, 100, 400, 150, 400, 0, 0, 100, 0},
        SecondPollCase{"BusyFellIsHeld", 1000, 100, 400, 60, 500, 0, 0, 0, 0},
        SecondPollCase{"IdleFellIsHeld", 1000, 100, 400, 110, 300, 0, 0, 100, 0},
        SecondPollCase{"RateTruncatedTowardZero", 3000, 1, 1, 1, 1, 0, 5, 100, 1},
        SecondPollCase{"NegativeRateTruncatedTowardZero", 2000, 1, 1, 1, 1, 10, 5, 100, -2},
        SecondPollCase{"ExactThirds", 3000, 1, 1, 1, 1, 0, 3, 100, 1},
        SecondPollCase{"WrappedCounter", 2000, 1, 1, 1, 1, INT_MAX - 499, INT_MIN + 500, 100, 500},
        SecondPollCase{"FallenCounter", 2000, 1, 1, 1, 1, 5000, 3000, 100, -1000},
        SecondPollCase{"RateAboveIntRangeClamped", 1, 1, 1, 1, 1, 0, INT_MAX, 100, INT_MAX},
        SecondPollCase{"RateBelowIntRangeClamped", 1, 1, 1, 1, 1, 0, INT_MIN, 100, INT_MIN},
        SecondPollCase{"HugeCpuCounters", 1000, INT64_MAX / 2, 1, INT64_MAX - 1, 1 + INT64_MAX / 2,
                       0, 0, 50, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Statistics, TickThatWrappedPast32BitsGivesTheTrueInterval) {
    Tick = 0xFFFFFC18u;  // 1000 ms before the tick wraps
    PollCounters c;
    c.Busy = c.Idle = 1;
    Poll(c, 0);
    c.Sent = 3000;
    Poll(c, 2000);  // the tick now reads 1000
    EXPECT_EQ(Tick, 1000u);
    EXPECT_EQ(Current().PacketsSent, 1500);
}

TEST_F(Statistics, EachCounterFeedsItsOwnStatistic) {
    // response, sent, received, packet errors, read, write, IO errors, busy, idle
    Poll({0, 0, 0, 0, 0, 0, 0, 1, 1});
    Poll({17, 1000, 2000, 3000, 4000, 5000, 6000, 1, 1});
    EXPECT_EQ(Model->GetStatistic(ssResponseTime, 119), 17);
    EXPECT_EQ(Model->GetStatistic(ssPacketsSent, 119), 1000);
    EXPECT_EQ(Model->GetStatistic(ssPacketsReceived, 119), 2000);
    EXPECT_EQ(Model->GetStatistic(ssPacketErrors, 119), 3000);
    EXPECT_EQ(Model->GetStatistic(ssIORead, 119), 4000);
    EXPECT_EQ(Model->GetStatistic(ssIOWrite, 119), 5000);
    EXPECT_EQ(Model->GetStatistic(ssIOErrors, 119), 6000);
}

TEST_F(Statistics, LoweredCpuCounterIsStoredRaised) {
    PollCounters c;
    c.Busy = 1000;
    c.Idle = 1000;
    Poll(c);
    c.Busy = 10;  // the server restarted
    c.Idle = 1050;
    Poll(c);
    EXPECT_EQ(Model->PrevCpuBusy, 1000);
    EXPECT_EQ(Model->PrevCpuIdle, 1050);
    EXPECT_EQ(Current().CPUBusy, 0);
    c.Busy = 1020;  // +20 busy, +80 idle over the held value
    c.Idle = 1130;
    Poll(c);
    EXPECT_EQ(Current().CPUBusy, 20);
}

// Two hand-overs at the same tick (a folded tick brings the next poll at once): no time has passed
// to divide the rates by. Nothing is shown, the CPU figure is computed as usual, every rate keeps
// the previous poll's value, and the counters are still taken for the next poll.
TEST_F(Statistics, TwoHandOversAtTheSameTickKeepThePreviousRates) {
    // response, sent, received, packet errors, read, write, IO errors, busy, idle
    PollCounters c{5, 100, 200, 300, 400, 500, 600, 100, 100};
    Poll(c);
    c = {6, 1100, 2200, 3300, 4400, 5500, 6600, 150, 150};
    Poll(c, 1000);
    const stStatSample before = Current();
    ASSERT_EQ(before.PacketsSent, 1000);
    ASSERT_EQ(before.IOErrors, 6000);
    ASSERT_EQ(before.CPUBusy, 50);

    for (int sameTick = 0; sameTick < 2; ++sameTick) {  // a second time: still no fault
        SCOPED_TRACE(sameTick);
        c.Response += 1;
        c.Sent += 70, c.Received += 80, c.PacketErrors += 90;
        c.Read += 10, c.Write += 20, c.IOErrors += 30;
        c.Busy += 10, c.Idle += 30;
        Poll(c, 0);
        EXPECT_TRUE(Shown.Boxes.empty());
        EXPECT_EQ(Current().CPUBusy, 25);
        EXPECT_EQ(Current().ResponseTime, c.Response);
        EXPECT_EQ(Current().PacketsSent, before.PacketsSent);
        EXPECT_EQ(Current().PacketsReceived, before.PacketsReceived);
        EXPECT_EQ(Current().PacketErrors, before.PacketErrors);
        EXPECT_EQ(Current().IORead, before.IORead);
        EXPECT_EQ(Current().IOWrite, before.IOWrite);
        EXPECT_EQ(Current().IOErrors, before.IOErrors);
        EXPECT_TRUE(Current().Filled);
        EXPECT_TRUE(Model->History[118].Filled);
    }

    c.Sent += 2000;  // the next poll measures from the counters of the last same-tick poll
    c.Read += 1000;
    c.Busy += 30, c.Idle += 10;
    Poll(c, 2000);
    EXPECT_EQ(Current().PacketsSent, 1000);
    EXPECT_EQ(Current().IORead, 500);
    EXPECT_EQ(Current().PacketsReceived, 0);
    EXPECT_EQ(Current().CPUBusy, 75);
    EXPECT_TRUE(Shown.Boxes.empty());
}

TEST_F(Statistics, HistoryShiftsOncePerPollAndFillsAfter120) {
    PollCounters c;
    c.Busy = c.Idle = 1;
    for (int poll = 1; poll <= 121; ++poll) {
        c.Response = poll;
        Poll(c);
        if (poll == 5) {
            EXPECT_FALSE(Model->History[114].Filled);
            EXPECT_TRUE(Model->History[115].Filled);
            EXPECT_EQ(Model->GetStatistic(ssResponseTime, 115), 1);
        }
        if (poll == 120) {
            EXPECT_EQ(Model->GetStatistic(ssResponseTime, 0), 1);
        }
    }
    for (int i = 0; i < TDBServerInfo::kHistorySize; ++i) {
        EXPECT_TRUE(Model->History[i].Filled) << "sample " << i;
        EXPECT_EQ(Model->GetStatistic(ssResponseTime, i), i + 2) << "sample " << i;
    }
    EXPECT_EQ(Model->GetStatisticMax(ssResponseTime), 121);
}

TEST_F(Statistics, ValueNotWrittenByAPollRepeatsThePrevious) {
    PollCounters c;
    c.Busy = 0;  // a server that reports no CPU ticks stays at "no poll taken yet"
    c.Sent = 100;
    Poll(c);
    Model->History[119].PacketsSent = 77;
    c.Sent = 5000;
    Poll(c);
    EXPECT_EQ(Current().PacketsSent, 77);
    EXPECT_EQ(Model->History[118].PacketsSent, 77);
}

TEST_F(Statistics, UnknownStatistics) {
    PollCounters c;
    c.Response = 25;
    Poll(c);
    for (int stat : {10, -1, 255}) {
        EXPECT_EQ(Model->GetStatistic(static_cast<TServerStatistic>(stat), 119), -1) << stat;
        EXPECT_EQ(Model->GetStatisticMax(static_cast<TServerStatistic>(stat)), 0) << stat;
    }
    EXPECT_EQ(Model->GetStatisticMax(ssResponseTime), 25);
}

TEST_F(Statistics, PointsOutsideTheHistoryReadAsUnknown) {
    PollCounters c;
    c.Response = 25;
    Poll(c);
    for (int point : {-1, TDBServerInfo::kHistorySize, 100000})
        EXPECT_EQ(Model->GetStatistic(ssResponseTime, point), -1) << point;
}

TEST_F(Statistics, MaximumIsZeroWhenNoSampleIsAboveZero) {
    PollCounters c;
    c.Busy = c.Idle = 1;
    c.Sent = 1000;
    Poll(c);
    c.Sent = 0;  // falls: a negative rate
    Poll(c);
    ASSERT_LT(Current().PacketsSent, 0);
    EXPECT_EQ(Model->GetStatisticMax(ssPacketsSent), 0);
}

struct UptimeCase {
    long long seconds;
    bool startAfterServerTime;
    const char *longText;
    const char *shortText;
};

class Uptime : public ModelFixture, public ::testing::WithParamInterface<UptimeCase> {};

TEST_P(Uptime, Texts) {
    const UptimeCase &p = GetParam();
    const TDateTime start = kivra::EncodeDateTime(2026, 11, 3, 6, 30, 0);
    const TDateTime other = start + static_cast<double>(p.seconds) / kivra::kSecondsPerDay;
    Model->ServerStartTime = p.startAfterServerTime ? other : start;
    Model->ServerTime = p.startAfterServerTime ? start : other;
    EXPECT_EQ(Model->GetUptimeText(), p.longText);
    EXPECT_EQ(Model->GetShortUptimeText(), p.shortText);
    EXPECT_EQ(Model->GetServerStartTime(), Model->ServerStartTime);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Uptime,
    ::testing::Values(
        UptimeCase{93784, false, "Running for 1 days, 2 hours, 3 minutes and 4 seconds",
                   "1d, 02h, 03m, 04s"},
        UptimeCase{0, false, "Running for 0 days, 0 hours, 0 minutes and 0 seconds",
                   "0d, 00h, 00m, 00s"},
        UptimeCase{7509, false, "Running for 0 days, 2 hours, 5 minutes and 9 seconds",
                   "0d, 02h, 05m, 09s"},
        UptimeCase{12 * 86400 + 3 * 3600 + 7 * 60 + 45, false,
                   "Running for 12 days, 3 hours, 7 minutes and 45 seconds", "12d, 03h, 07m, 45s"},
        UptimeCase{86399, false, "Running for 0 days, 23 hours, 59 minutes and 59 seconds",
                   "0d, 23h, 59m, 59s"},
        UptimeCase{93784, true, "Running for 1 days, 2 hours, 3 minutes and 4 seconds",
                   "1d, 02h, 03m, 04s"},
        UptimeCase{400LL * 86400 + 59, false,
                   "Running for 400 days, 0 hours, 0 minutes and 59 seconds",
                   "400d, 00h, 00m, 59s"}));

}  // namespace
