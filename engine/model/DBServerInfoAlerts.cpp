// TDBServerInfo: the three alert checks (connection lost, high demand, slow response) run after
// every poll and at a connection loss. A check that fires latches; every evaluation in which any
// check fired asks the owner for one mail naming all of them. Switches, thresholds and counts are
// read through Owner at every evaluation. Main thread only.

#include "DBServerInfoSource.h"

#include "TDateTime.h"

namespace {

// The counting and latching shared by the high-demand and slow-response checks. value reads the
// checked statistic of one history sample.
template <typename ValueOf>
bool CheckThreshold(bool enabled, int threshold, int countToFire, const stStatSample *history,
                    int historySize, ValueOf value, bool &alertSent, TDateTime &alertTime,
                    int &count) {
    bool counted = false;
    bool fired = false;
    if (enabled) {
        const TDateTime now = kivra::Now();
        if (alertSent && now - alertTime > TDBServerInfo::kAlertRearmDays) alertSent = false;
        if (!alertSent) {
            // Newest first; the first sample at or above the threshold counts once for this
            // evaluation. Samples no poll has reached end the scan.
            for (int i = historySize - 1; i >= 0; --i) {
                const stStatSample &sample = history[i];
                if (!sample.Filled) break;
                if (value(sample) < threshold) continue;
                ++count;
                counted = true;
                if (count >= countToFire) {
                    fired = true;
                    alertTime = now;
                    alertSent = true;
                }
                break;
            }
        }
    }
    if (!counted) count = 0;
    return fired;
}

}  // namespace

void TDBServerInfo::EvaluateAlerts() {
    if (!Owner) return;
    const bool lost = CheckConnectionLost();
    bool high = false;
    bool slow = false;
    if (!Disconnected) {
        high = CheckHighDemand();
        slow = CheckSlowResponse();
    }
    if (lost || high || slow) Owner->SendAlertEmail(ServerName, lost, high, slow);
}

bool TDBServerInfo::CheckConnectionLost() {
    if (!Owner) return false;
    if (Owner->GetAlertSettings().ServerDisconnect && Disconnected && !LostAlertSent) {
        LostAlertSent = true;
        return true;
    }
    return false;
}

bool TDBServerInfo::CheckHighDemand() {
    if (!Owner) return false;
    const stEmailAlerts &settings = Owner->GetAlertSettings();
    return CheckThreshold(
        settings.CPUUsage, settings.CPUUsageValue, settings.CPUUsageRefresh, History, kHistorySize,
        [](const stStatSample &s) { return s.CPUBusy; }, HighDemandAlertSent, HighDemandAlertTime,
        HighDemandCount);
}

bool TDBServerInfo::CheckSlowResponse() {
    if (!Owner) return false;
    const stEmailAlerts &settings = Owner->GetAlertSettings();
    return CheckThreshold(
        settings.ServerResponse, settings.ServerResponseValue, settings.ServerResponseRefresh,
        History, kHistorySize, [](const stStatSample &s) { return s.ResponseTime; },
        SlowResponseAlertSent, SlowResponseAlertTime, SlowResponseCount);
}
