#pragma once
// Test support for the worker: running the main thread's event loop, and an owner that
// records what the engine asks of the main window.

#include "KivraOwner.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Runs the main thread's event loop for ms milliseconds.
void PumpFor(int ms);
// Runs the event loop until done() holds or timeoutMs pass; returns done().
bool PumpUntil(const std::function<bool()> &done, int timeoutMs = 10000);

class TTestOwner : public TKivraOwner {
public:
    using Clock = std::chrono::steady_clock;

    const stEmailAlerts &GetAlertSettings() const override { return Alerts; }
    const stLogging &GetLogSettings() const override { return Logs; }
    void UpdateServerViews(int slot) override;
    void RefreshServerList() override { ++ServerListRefreshes; }
    void SendAlertEmail(const std::string &server, bool lost, bool high, bool slow) override;

    stEmailAlerts Alerts;
    stLogging Logs;
    std::vector<Clock::time_point> Updates;  // one per UpdateServerViews
    std::vector<int> UpdatedSlots;
    int ServerListRefreshes = 0;
    int LostMails = 0;
    std::function<void()> DuringUpdate;  // runs inside UpdateServerViews (a view refresh)
};
