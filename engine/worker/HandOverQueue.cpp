#include "HandOverQueue.h"

#include <QCoreApplication>
#include <QEvent>

namespace {
const QEvent::Type kRunPending = static_cast<QEvent::Type>(QEvent::User + 101);
}

THandOverQueue &THandOverQueue::Instance() {
    // Never deleted: workers may still call into it while the program ends.
    static THandOverQueue *queue = new THandOverQueue;
    return *queue;
}

THandOverQueue::THandOverQueue() {
    if (QCoreApplication *app = QCoreApplication::instance()) moveToThread(app->thread());
}

void THandOverQueue::Call(const std::function<void()> &function) {
    auto request = std::make_shared<Request>();
    request->Function = function;
    std::unique_lock<std::mutex> g(Lock);
    Pending.push_back(request);
    // A bare event, posted under the lock that the main thread takes before it runs the
    // request: everything the worker wrote, the event included, comes before that.
    QCoreApplication::postEvent(this, new QEvent(kRunPending));
    Finished.wait(g, [&] { return request->Finished; });
    if (request->Error) std::rethrow_exception(request->Error);
}

void THandOverQueue::Post(const std::function<void()> &function) {
    auto request = std::make_shared<Request>();
    request->Function = function;
    std::lock_guard<std::mutex> g(Lock);
    Pending.push_back(request);
    QCoreApplication::postEvent(this, new QEvent(kRunPending));
}

void THandOverQueue::customEvent(QEvent *) { RunPending(); }

void THandOverQueue::RunPending() {
    for (;;) {
        std::shared_ptr<Request> request;
        {
            std::lock_guard<std::mutex> g(Lock);
            if (Pending.empty()) return;
            request = Pending.front();
            Pending.pop_front();
        }
        try {
            request->Function();
        } catch (...) {
            request->Error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> g(Lock);
            request->Finished = true;
        }
        Finished.notify_all();
    }
}
