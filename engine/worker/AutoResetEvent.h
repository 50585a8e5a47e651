#pragma once
// TAutoResetEvent: a wake-up flag that one waiter consumes. Set from any thread; Wait blocks
// until the flag is set and clears it again, so any number of Sets before a Wait wake it once.

#include <condition_variable>
#include <mutex>

class TAutoResetEvent {
public:
    void Set();
    void Wait();
    bool IsSet();  // for tests: the flag without consuming it

private:
    std::mutex Lock;
    std::condition_variable Signal;
    bool Signalled = false;
};
