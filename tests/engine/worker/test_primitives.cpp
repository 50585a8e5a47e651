// The wake event and the poll timer on their own.
#include "AutoResetEvent.h"
#include "PollTimer.h"
#include "WorkerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(AutoResetEvent, ManySetsWakeOneWait) {
    TAutoResetEvent e;
    for (int i = 0; i < 10; ++i) e.Set();
    EXPECT_TRUE(e.IsSet());
    e.Wait();
    EXPECT_FALSE(e.IsSet());
}

TEST(AutoResetEvent, WakesAWaiterOnAnotherThread) {
    TAutoResetEvent e;
    std::atomic<int> woken{0};
    std::thread waiter([&] {
        e.Wait();
        ++woken;
    });
    e.Set();
    waiter.join();
    EXPECT_EQ(woken, 1);
    EXPECT_FALSE(e.IsSet());
}

TEST(PollTimer, TicksOnlyWhenEnabledWithAPositiveInterval) {
    struct Case {
        int interval;
        bool enabled;
        bool ticks;
    } cases[] = {{20, true, true}, {0, true, false}, {20, false, false}};
    for (const auto &c : cases) {
        int ticks = 0;
        auto *timer = new TPollTimer([&] { ++ticks; });
        timer->SetInterval(c.interval);
        timer->SetEnabled(c.enabled);
        PumpFor(120);
        if (c.ticks)
            EXPECT_GE(ticks, 2) << c.interval;
        else
            EXPECT_EQ(ticks, 0) << c.interval << " " << c.enabled;
        delete timer;
    }
}

TEST(PollTimer, DisabledFromAnotherThreadStopsOnTheMainThread) {
    int ticks = 0;
    auto *timer = new TPollTimer([&] { ++ticks; });
    timer->SetInterval(10);
    timer->SetEnabled(true);
    std::thread([timer] { timer->SetEnabled(false); }).join();
    EXPECT_FALSE(timer->Enabled());
    PumpFor(20);  // the queued stop runs here
    const int after = ticks;
    PumpFor(80);
    EXPECT_EQ(ticks, after);
    timer->Release();
    PumpFor(5);
}
