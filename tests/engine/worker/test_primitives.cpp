// The wake event and the poll timer on their own.
#include "AutoResetEvent.h"
#include "HandOverQueue.h"
#include "PollTimer.h"
#include "TestPump.h"

#include <gtest/gtest.h>

#include <QPointer>

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
        if (c.ticks) {
            EXPECT_TRUE(PumpUntil([&] { return ticks >= 2; })) << c.interval;
        } else {
            PumpFor(120);  // six intervals of the ticking case: no tick comes
            EXPECT_EQ(ticks, 0) << c.interval << " " << c.enabled;
        }
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
    // The stop is queued for the main thread; what is queued after it runs after it.
    bool stopped = false;
    THandOverQueue::Instance().Post([&stopped] { stopped = true; });
    ASSERT_TRUE(PumpUntil([&] { return stopped; }));
    const int after = ticks;
    PumpFor(80);  // eight intervals: no tick comes
    EXPECT_EQ(ticks, after);
    // Deleted as its worker deletes it: through the hand-over queue, on the main thread.
    QPointer<TPollTimer> released(timer);
    THandOverQueue::Instance().Post([timer] { delete timer; });
    EXPECT_TRUE(PumpUntil([&] { return released.isNull(); }));
}
