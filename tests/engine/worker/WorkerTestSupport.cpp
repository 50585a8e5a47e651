#include "WorkerTestSupport.h"

#include "HandOverQueue.h"
#include "KivraThreadSource.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

void PumpFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool PumpUntil(const std::function<bool()> &done, int timeoutMs) {
    if (done()) return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    check.start(2);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

void TTestOwner::UpdateServerViews(int slot) {
    Updates.push_back(Clock::now());
    UpdatedSlots.push_back(slot);
    if (DuringUpdate) DuringUpdate();
}

void TTestOwner::SendAlertEmail(const std::string &, bool lost, bool, bool) {
    if (lost) ++LostMails;
}

// The worker needs the main thread's event loop for its hand-over and timer.
int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    // Self-freeing workers must be gone before the application object is.
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
