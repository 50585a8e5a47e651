// main() of the worker tests: the worker needs the main thread's event loop for its hand-over and
// timer, and every self-freeing worker must be gone before the application object is.

#include "HandOverQueue.h"
#include "KivraThreadSource.h"
#include "TestPump.h"

#include <QCoreApplication>

#include <cstdio>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    if (!PumpUntil([] { return TKivraThread::LiveCount() == 0; }, 15000)) {
        std::fprintf(stderr, "worker threads still alive at exit\n");
        return 1;
    }
    // Released timers are deleted on the main thread, through the hand-over queue: what is
    // posted after them runs after them.
    bool drained = false;
    THandOverQueue::Instance().Post([&drained] { drained = true; });
    if (!PumpUntil([&] { return drained; }, 15000)) return 1;
    return rc;
}

// Under ThreadSanitizer: glibc guards its time-zone state with a lock the tool cannot see, so
// local-time conversions on two threads look like a race. Nothing of ours is suppressed.
extern "C" const char *__tsan_default_suppressions() { return "race:tzset_internal\n"; }
