#pragma once
// A stand-in for the main window: holds the alert and log settings that the model reads live,
// and records every alert mail the model asks for instead of sending it. Main thread only.

#include "KivraOwner.h"

#include <string>
#include <vector>

class FakeKivraOwner : public TKivraOwner {
public:
    struct Mail {
        std::string server;
        bool lostConnection, highDemand, slowResponse;
    };

    stEmailAlerts Alerts;
    stLogging Logs;
    std::vector<Mail> Mails;

    const stEmailAlerts &GetAlertSettings() const override { return Alerts; }
    const stLogging &GetLogSettings() const override { return Logs; }
    void UpdateServerViews(int) override {}
    void RefreshServerList() override {}
    void SendAlertEmail(const std::string &server, bool lostConnection, bool highDemand,
                        bool slowResponse) override {
        Mails.push_back({server, lostConnection, highDemand, slowResponse});
    }
};
