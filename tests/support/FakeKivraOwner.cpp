#include "FakeKivraOwner.h"

#include <algorithm>

void FakeKivraOwner::TurnAlertsOn() {
    Alerts.CPUUsage = true;
    Alerts.CPUUsageValue = 90;
    Alerts.CPUUsageRefresh = 5;
    Alerts.ServerResponse = true;
    Alerts.ServerResponseValue = 500;
    Alerts.ServerResponseRefresh = 5;
    Alerts.ServerDisconnect = true;
}

int FakeKivraOwner::UpdatesOf(int slot) const {
    return static_cast<int>(std::count(UpdatedSlots.begin(), UpdatedSlots.end(), slot));
}

void FakeKivraOwner::UpdateServerViews(int slot) {
    Updates.push_back(Clock::now());
    UpdatedSlots.push_back(slot);
    if (DuringUpdate) DuringUpdate();
}

void FakeKivraOwner::SendAlertEmail(const std::string &server, bool lostConnection, bool highDemand,
                                    bool slowResponse) {
    Mails.push_back({server, lostConnection, highDemand, slowResponse});
}
