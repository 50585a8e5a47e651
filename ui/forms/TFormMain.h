#pragma once
// TFormMain: the main window and the owner of the 16 connection slots. Each slot in use holds a
// server's worker thread, its data model and its graph tile; the occupied slots are always
// 0..n-1, and a slot's index is the server's number in the thread, the tile and the active list.
//
// Threads: main thread only. Workers reach the window through their blocking hand-over, which
// calls UpdateServerViews and RefreshServerList (TKivraOwner).
//
// Ownership: the window owns the slots and the server models; a worker frees itself once
// stopped; the tiles belong to the client area's tile panel (a slot only refers to its tile).

#include "KivraOwner.h"
#include "TDateTime.h"

#include <QMainWindow>

#include <memory>
#include <string>

class TDBServerInfo;
class TFrameServerGraphsSmall;
class TKivraThread;

// One connection slot.
struct stDBConnections {
    std::string ServerName;                   // as passed to the connect
    bool InUse = false;
    TDBServerInfo *ServerInfo = nullptr;      // owned by the slot
    TKivraThread *Thread = nullptr;           // frees itself when stopped
    TFrameServerGraphsSmall *Graph = nullptr; // the tile panel's; the slot only refers to it
};

class TFormMain : public QMainWindow, public TKivraOwner {
    Q_OBJECT
public:
    static constexpr int kSlotCount = 16;

    explicit TFormMain(QWidget *parent = nullptr);
    ~TFormMain() override;

    // ---- Connection slots ---------------------------------------------------------------------
    bool ConnectToServer(const std::string &server, bool windowsAuth, const std::string &userId,
                         const std::string &password);
    void DisconnectServer(int slot);
    void SelectServer(int slot);  // -1: none
    void UpdateServerViews(int slot) override;
    void RefreshServerList() override;
    void SetRefreshInterval(int seconds);
    bool IsServerConnected(int slot) const;

    // ---- Commands -----------------------------------------------------------------------------
    void OpenLogonDialog();
    void ShowProperties();
    void LoadKnownServers();
    void ConnectKnownServer(const std::string &server);
    void ConnectKnownServerWithPrompt(const std::string &server);
    void RemoveKnownServer(const std::string &server);

    // ---- Settings -----------------------------------------------------------------------------
    void LoadSettings();
    void LoadAlertSettings();
    void SetEmailAlerts(stEmailAlerts alerts);
    void SetLoggingDirectory(const std::string &folder);

    // ---- Alert mail ---------------------------------------------------------------------------
    void SendAlertEmail(const std::string &server, bool lostConnection, bool highDemand,
                        bool slowResponse) override;

    // The engine reads the settings live through these.
    const stEmailAlerts &GetAlertSettings() const override { return AlertSettings; }
    const stLogging &GetLogSettings() const override { return LogSettings; }

    stDBConnections Connections[kSlotCount];
    int SelectedServer = -1;
    int RefreshInterval = 0;  // seconds; 0 no polling
    int InitialPanel = 0;     // tab shown at start, 0..5
    stEmailAlerts AlertSettings;
    stLogging LogSettings;
};
