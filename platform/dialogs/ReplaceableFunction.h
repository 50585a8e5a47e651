#pragma once
// ReplaceableFunction<Signature>: a process-wide function slot that tests can fill in place of
// the real platform call (the shell, the folder picker). Set and Get may run on any thread;
// a call runs on the caller's thread with the function that was installed when it started.

#include <functional>
#include <mutex>

template <typename Signature> class ReplaceableFunction {
public:
    using Function = std::function<Signature>;

    // Installs function (an empty one restores the real call); returns the previous one.
    Function Set(Function function) {
        std::lock_guard<std::mutex> lock(Lock);
        Function old = std::move(Installed);
        Installed = std::move(function);
        return old;
    }

    Function Get() const {
        std::lock_guard<std::mutex> lock(Lock);
        return Installed;
    }

private:
    mutable std::mutex Lock;
    Function Installed;
};
