#include "TFormMain.h"

// Placeholder bodies until the main window is built; the declared operations are the contract
// the frames and dialogs call.

TFormMain::TFormMain(QWidget *parent) : QMainWindow(parent) {}
TFormMain::~TFormMain() = default;

bool TFormMain::ConnectToServer(const std::string &, bool, const std::string &,
                                const std::string &) {
    return false;
}
void TFormMain::DisconnectServer(int) {}
void TFormMain::SelectServer(int slot) { SelectedServer = slot; }
void TFormMain::UpdateServerViews(int) {}
void TFormMain::RefreshServerList() {}
void TFormMain::SetRefreshInterval(int seconds) { RefreshInterval = seconds; }
bool TFormMain::IsServerConnected(int) const { return false; }
void TFormMain::OpenLogonDialog() {}
void TFormMain::ShowProperties() {}
void TFormMain::LoadKnownServers() {}
void TFormMain::ConnectKnownServer(const std::string &) {}
void TFormMain::ConnectKnownServerWithPrompt(const std::string &) {}
void TFormMain::RemoveKnownServer(const std::string &) {}
void TFormMain::LoadSettings() {}
void TFormMain::LoadAlertSettings() {}
void TFormMain::SetEmailAlerts(stEmailAlerts alerts) { AlertSettings = std::move(alerts); }
void TFormMain::SetLoggingDirectory(const std::string &folder) {
    LogSettings.LoggingDirectory = folder;
}
void TFormMain::SendAlertEmail(const std::string &, bool, bool, bool) {}
