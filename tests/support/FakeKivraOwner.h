#pragma once
// The one stand-in for the main window that tests and benchmarks give the engine: it holds the
// alert and log settings the model reads live, and records what the engine asks of the main
// window (each view refresh with its slot and time, server-list refreshes, alert mails) instead
// of doing it. Main thread only, as the engine calls its owner.

#include "KivraOwner.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class FakeKivraOwner : public TKivraOwner {
public:
    using Clock = std::chrono::steady_clock;

    struct Mail {
        std::string Server;
        bool LostConnection, HighDemand, SlowResponse;
    };

    // The alerts a watching user has on: CPU above 90% and responses above 500 ms, each for five
    // polls, and the disconnect alert (the mail switch itself stays as it is).
    void TurnAlertsOn();

    // Refreshes asked for by the slot's worker.
    int UpdatesOf(int slot) const;

    const stEmailAlerts &GetAlertSettings() const override { return Alerts; }
    const stLogging &GetLogSettings() const override { return Logs; }
    void UpdateServerViews(int slot) override;
    void RefreshServerList() override { ++ServerListRefreshes; }
    void SendAlertEmail(const std::string &server, bool lostConnection, bool highDemand,
                        bool slowResponse) override;

    stEmailAlerts Alerts;
    stLogging Logs;
    std::vector<Clock::time_point> Updates;  // one per UpdateServerViews, in order
    std::vector<int> UpdatedSlots;           // the slot of each
    int ServerListRefreshes = 0;
    std::vector<Mail> Mails;
    std::function<void()> DuringUpdate;  // runs inside UpdateServerViews (a view refresh)
};
