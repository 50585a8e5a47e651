#pragma once
// Waiting in the sqlsim tests (no event loop here) for what the server reports, with a generous
// bound so that a loaded machine still passes; never for a fixed time.

#include "SqlSimServer.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>

// Until done() holds or timeoutMs pass, looking every millisecond; returns done().
inline bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// True while a client session of the server is inside a batch (the server holds it, for a
// delay or a pause): one whose text holds this text (any batch for an empty one).
inline bool ClientInBatch(SqlSimServer &server, const std::string &text = std::string()) {
    bool in = false;
    server.Workload().Read([&](const std::map<int, SimSession> &sessions, const SimCounters &) {
        for (const auto &kv : sessions)
            in = in || (kv.second.Client && kv.second.Status == "runnable" &&
                        kv.second.InputBuffer.find(text) != std::string::npos);
    });
    return in;
}
