#include "AutoResetEvent.h"

void TAutoResetEvent::Set() {
    {
        std::lock_guard<std::mutex> g(Lock);
        Signalled = true;
    }
    Signal.notify_one();
}

void TAutoResetEvent::Wait() {
    std::unique_lock<std::mutex> g(Lock);
    Signal.wait(g, [this] { return Signalled; });
    Signalled = false;
}

bool TAutoResetEvent::IsSet() {
    std::lock_guard<std::mutex> g(Lock);
    return Signalled;
}
