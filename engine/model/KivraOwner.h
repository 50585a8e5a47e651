#pragma once
// What the engine needs of its owner, the main window: the alert and log settings (read live at
// every use, so a change takes effect at the next poll), the view refresh after a poll, the server
// list refresh, and the alert mail. The main window implements it; tests implement it too.
// All of it is called on the main thread only.

#include <string>

// Alert and alert-mail settings.
struct stEmailAlerts {
    bool EmailAlerts = false;       // the enable-email switch of the Properties dialog
    bool CPUUsage = false;          // CPU alert on
    bool ServerResponse = false;    // response-time alert on
    bool ServerDisconnect = false;  // disconnect alert on
    int CPUUsageValue = 0;          // CPU threshold, percent
    int CPUUsageRefresh = 0;        // polls for the CPU alert
    int ServerResponseValue = 0;    // response threshold, milliseconds
    int ServerResponseRefresh = 0;  // polls for the response alert
    std::string AlertEmails;        // recipients
    std::string FromEmail;          // sender
    std::string SMTPHost;
    int SMTPAuthenticationType = 0;  // 0 none, above 0 LOGIN
    std::string SMTPUser;
    std::string SMTPPassword;
};

// Log settings.
struct stLogging {
    bool Logging = false;         // gates both logs
    bool SessionLogging = false;  // sessions log on
    bool ServerLogging = false;   // statistics log on
    int RefreshCount = 0;         // a statistics row at every (n + 1)-th poll
    std::string LoggingDirectory;
};

class TKivraOwner {
public:
    virtual ~TKivraOwner() = default;

    virtual const stEmailAlerts &GetAlertSettings() const = 0;
    virtual const stLogging &GetLogSettings() const = 0;

    // The slot's tile is redrawn and, for the selected server, every view is refreshed.
    virtual void UpdateServerViews(int slot) = 0;
    virtual void RefreshServerList() = 0;
    // One alert mail naming the server and the checks that fired.
    virtual void SendAlertEmail(const std::string &server, bool lostConnection, bool highDemand,
                                bool slowResponse) = 0;
};
