#include "PollTimer.h"

#include "HandOverQueue.h"

#include <QThread>

TPollTimer::TPollTimer(std::function<void()> onTimer) {
    Timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&Timer, &QTimer::timeout, this, [f = std::move(onTimer)] { f(); });
}

void TPollTimer::SetInterval(int ms) {
    IntervalMs = ms < 0 ? 0 : ms;
    Apply();
}

void TPollTimer::SetEnabled(bool enabled) {
    IsEnabled = enabled;
    if (QThread::currentThread() == thread())
        Apply();
    else
        // Through the hand-over queue, in order with the timer's own release.
        THandOverQueue::Instance().Post([this] { Apply(); });
}

void TPollTimer::Apply() {
    const int ms = IntervalMs;
    if (IsEnabled && ms > 0)
        Timer.start(ms);
    else
        Timer.stop();
}
