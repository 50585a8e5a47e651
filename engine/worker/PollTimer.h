#pragma once
// TPollTimer: a worker's poll timer, ticking on the thread that created it (the main thread).
// It ticks every Interval milliseconds while Enabled; an interval of 0 means no ticks (a QTimer
// would fire continuously). Setting the interval of a running timer starts its period afresh.
//
// Threads: created, set and ticking on the main thread. Interval and Enabled may be read from
// any thread; SetEnabled may be called from any thread and is carried out on the main thread
// (through THandOverQueue; the timer must then be deleted through it as well, after it).
// Deleted on the main thread.

#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>

class TPollTimer : public QObject {
public:
    explicit TPollTimer(std::function<void()> onTimer);

    int Interval() const { return IntervalMs.load(); }
    bool Enabled() const { return IsEnabled.load(); }
    void SetInterval(int ms);  // main thread
    void SetEnabled(bool enabled);

private:
    void Apply();  // main thread: the QTimer follows Interval and Enabled
    QTimer Timer;
    std::atomic<int> IntervalMs{0};
    std::atomic<bool> IsEnabled{false};
};
