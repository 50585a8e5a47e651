#pragma once
// THandOverQueue: the synchronous call from a worker thread into the main thread. Call runs a
// function on the main thread while the calling worker waits, and raises again in the worker
// what the function threw. Requests of several workers run one after the other, in order.
//
// Threads: Call from any thread but the main thread, whose event loop must run. The queue is
// one object for the process, created on the main thread by the first Instance() call there
// (the first worker's constructor). Requests and their results pass under the queue's own
// mutex, so the hand-over orders the worker's writes before the function and the function's
// writes before the worker goes on.

#include <QObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class THandOverQueue : public QObject {
public:
    static THandOverQueue &Instance();

    void Call(const std::function<void()> &function);
    // Runs function on the main thread later, without waiting (nothing is raised back).
    void Post(const std::function<void()> &function);

protected:
    // Only the object's own posted event arrives here; the event is not looked at.
    void customEvent(QEvent *e) override;

private:
    struct Request {
        std::function<void()> Function;
        std::exception_ptr Error;
        bool Finished = false;
    };
    THandOverQueue();
    void RunPending();

    std::mutex Lock;
    std::condition_variable Finished;
    std::deque<std::shared_ptr<Request>> Pending;
};
