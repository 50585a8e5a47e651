// TFormMain's settings: the readers that run once when the window is built and the setters the
// Properties dialog calls. Layout of the store: "\SOFTWARE\Vornix\Kivrawatch" with the values
// RefreshInterval, InitialPanel, Logging and EmailAlerts, and the subkeys "Alerts" and "Logging".
// A subkey is read only when the main key holds its switch (EmailAlerts, Logging); a value
// missing from a key that is read takes its default; a value of another type raises.

#include "TFormMain.h"

#include "TFrameClientArea.h"
#include "TRegistry.h"

const char *const TFormMain::kSettingsKey = "\\SOFTWARE\\Vornix\\Kivrawatch";
const char *const TFormMain::kAlertsKey = "\\SOFTWARE\\Vornix\\Kivrawatch\\Alerts";
const char *const TFormMain::kLoggingKey = "\\SOFTWARE\\Vornix\\Kivrawatch\\Logging";

namespace {

int IntegerOr(TRegistry &reg, const char *name, int fallback) {
    return reg.ValueExists(name) ? reg.ReadInteger(name) : fallback;
}

bool BoolOr(TRegistry &reg, const char *name, bool fallback) {
    return reg.ValueExists(name) ? reg.ReadBool(name) : fallback;
}

std::string StringOr(TRegistry &reg, const char *name) {
    return reg.ValueExists(name) ? reg.ReadString(name) : std::string();
}

}  // namespace

void TFormMain::LoadSettings() {
    RefreshInterval = 1;
    TRegistry reg(KEY_READ);
    if (reg.KeyExists(kSettingsKey) && reg.OpenKeyReadOnly(kSettingsKey)) {
        RefreshInterval = IntegerOr(reg, "RefreshInterval", RefreshInterval);
        InitialPanel = IntegerOr(reg, "InitialPanel", 2);
        FrameClientArea1->SetInitialPanel(InitialPanel);
        reg.CloseKey();
    }
    LoadAlertSettings();
}

void TFormMain::LoadAlertSettings() {
    TRegistry reg(KEY_READ);
    if (!reg.KeyExists(kSettingsKey) || !reg.OpenKeyReadOnly(kSettingsKey)) return;

    if (reg.ValueExists("Logging")) {
        LogSettings.Logging = reg.ReadBool("Logging");
        reg.CloseKey();
        if (reg.KeyExists(kLoggingKey) && reg.OpenKeyReadOnly(kLoggingKey)) {
            LogSettings.LoggingDirectory = StringOr(reg, "LoggingDirectory");
            LogSettings.ServerLogging = BoolOr(reg, "ServerLogging", false);
            LogSettings.RefreshCount = IntegerOr(reg, "RefreshCount", 1);
            LogSettings.SessionLogging = BoolOr(reg, "SessionLogging", false);
            reg.CloseKey();
        }
    }

    if (!reg.OpenKeyReadOnly(kSettingsKey)) return;
    if (reg.ValueExists("EmailAlerts")) {
        AlertSettings.EmailAlerts = reg.ReadBool("EmailAlerts");
        reg.CloseKey();
        if (reg.KeyExists(kAlertsKey) && reg.OpenKeyReadOnly(kAlertsKey)) {
            stEmailAlerts &a = AlertSettings;
            a.CPUUsage = BoolOr(reg, "CPUUsage", false);
            a.CPUUsageRefresh = IntegerOr(reg, "CPUUsageRefresh", 10);
            a.CPUUsageValue = IntegerOr(reg, "CPUUsageValue", 98);
            a.ServerResponse = BoolOr(reg, "ServerResponse", false);
            a.ServerResponseRefresh = IntegerOr(reg, "ServerResponseRefresh", 10);
            a.ServerResponseValue = IntegerOr(reg, "ServerResponseValue", 500);
            a.ServerDisconnect = BoolOr(reg, "ServerDisconnect", false);
            a.AlertEmails = StringOr(reg, "AlertEmails");
            a.FromEmail = StringOr(reg, "FromEmail");
            a.SMTPHost = StringOr(reg, "SMTPHost");
            a.SMTPUser = StringOr(reg, "SMTPUser");
            a.SMTPPassword = StringOr(reg, "SMTPPassword");
            a.SMTPAuthenticationType = IntegerOr(reg, "SMTPAuthenticationType", 0);
        }
    } else {
        AlertSettings.EmailAlerts = false;
    }
    reg.CloseKey();
}

void TFormMain::SetEmailAlerts(stEmailAlerts alerts) { AlertSettings = std::move(alerts); }

void TFormMain::SetLoggingDirectory(const std::string &folder) {
    LogSettings.LoggingDirectory = folder;
}
