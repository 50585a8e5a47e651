#pragma once
// TFormMain: the main window and the owner of the 16 connection slots. Each slot in use holds a
// server's worker thread, its data model and its graph tile; the occupied slots are always
// 0..n-1, and a slot's index is the server's number in the thread, the tile and the active list.
// The window also holds the settings the engine reads live (RefreshInterval, AlertSettings,
// LogSettings), read once from the settings store when it is built, and runs the menu and
// toolbar commands.
//
// Threads: main thread only. Workers reach the window through their blocking hand-over, which
// calls UpdateServerViews and RefreshServerList (TKivraOwner). The server list panel, the graph
// tiles and the logon dialog reach it only through TConnectionCommands.
//
// Ownership: the window owns the slots and the server models; a worker frees itself once
// stopped; the tiles belong to the client area's tile panel (a slot only refers to its tile).
// Closing the window disconnects every slot (each worker is stopped before its model goes), so
// no hand-over ever reaches a window that is being destroyed; the destructor does the same for
// a window that was never closed. TKivraThread::LiveCount() then tells when the workers are gone.
//
// No server selected (SelectedServer -1: before the first connect, after the last disconnect):
// the client area's views are bound to no model and emptied, and the kill commands do nothing.
//
// Construction reads the settings; a value of the wrong type in the store raises
// ERegistryException out of the constructor (start-up ends with the error shown).

#include "ConnectionCommands.h"
#include "KivraOwner.h"
#include "TAlertMail.h"
#include "TDateTime.h"

#include <QMainWindow>

#include <memory>
#include <string>

class QAction;
class QCloseEvent;
class TDBServerInfo;
class TFrameClientArea;
class TFrameServerGraphsSmall;
class TFrameServerList;
class TFrameToolbarButtons;
class TKivraThread;

namespace Ui {
class TFormMain;
}

// One connection slot.
struct stDBConnections {
    std::string ServerName;  // as passed to the connect
    bool InUse = false;
    TDBServerInfo *ServerInfo = nullptr;       // owned by the slot
    TKivraThread *Thread = nullptr;            // frees itself when stopped
    TFrameServerGraphsSmall *Graph = nullptr;  // the tile panel's; the slot only refers to it
};

class TFormMain : public QMainWindow, public TKivraOwner, public TConnectionCommands {
    Q_OBJECT
public:
    static constexpr int kSlotCount = 16;
    static constexpr int kButtonWidth = 85;  // the toolbar's buttons in this window

    static const char *const kSettingsKey;  // "\SOFTWARE\Vornix\Kivrawatch"
    static const char *const kAlertsKey;    // its subkey "Alerts"
    static const char *const kLoggingKey;   // its subkey "Logging"

    explicit TFormMain(QWidget *parent = nullptr);
    ~TFormMain() override;

    // ---- Connection slots ---------------------------------------------------------------------
    bool ConnectToServer(const std::string &server, bool windowsAuth, const std::string &userId,
                         const std::string &password) override;
    void DisconnectServer(int slot) override;
    void SelectServer(int slot) override;  // -1: none
    void UpdateServerViews(int slot) override;
    void RefreshServerList() override;
    void SetRefreshInterval(int seconds);
    bool IsServerConnected(int slot) const override;
    // Stops every slot's worker and frees every slot (closing the window does it).
    void DisconnectAllServers();
    int ConnectedCount() const;  // slots in use

    // ---- Commands -----------------------------------------------------------------------------
    void OpenLogonDialog();
    void ShowProperties();
    void LoadKnownServers();
    void ConnectKnownServer(const std::string &server) override;
    void ConnectKnownServerWithPrompt(const std::string &server) override;
    void RemoveKnownServer(const std::string &server) override;

    // ---- Menu, toolbar and window handlers ----------------------------------------------------
    void ConnecttoServer1Click();
    void Properties1Click();
    void MenuExitClick();
    void Displayoriginalstats1Click();
    void ResetStats1Click();
    void KillProcesses1Click();
    void Killallprocesses1Click();  // kills nothing
    void KivrawatchHeko1Click();
    void HomePage1Click();
    void AboutKivrawatch1Click();
    void FrameToolbarButtons1ToolButtonConnectClick();
    void FrameToolbarButtons1ToolButtonKillProcClick();
    void FrameToolbarButtons1ToolButton3Click();
    void FrameClientArea1TabSet1Change(QObject *sender, int newTab, bool &allowChange);
    void FormDestroy();

    // ---- Settings -----------------------------------------------------------------------------
    void LoadSettings();
    void LoadAlertSettings();
    void SetEmailAlerts(stEmailAlerts alerts);
    void SetLoggingDirectory(const std::string &folder);

    // ---- Alert mail ---------------------------------------------------------------------------
    // One mail through AlertMail with AlertSettings (only while EmailAlerts is on); its failures
    // are shown, never raised into the poll.
    void SendAlertEmail(const std::string &server, bool lostConnection, bool highDemand,
                        bool slowResponse) override;
    TAlertMail AlertMail;  // the mail client IdSMTPAlert and the message IdAlertMessage

    // The engine reads the settings live through these.
    const stEmailAlerts &GetAlertSettings() const override { return AlertSettings; }
    const stLogging &GetLogSettings() const override { return LogSettings; }

    stDBConnections Connections[kSlotCount];
    int SelectedServer = -1;
    int RefreshInterval = 0;  // seconds; 0 no polling
    int InitialPanel = 0;     // tab shown at start, 0..5
    stEmailAlerts AlertSettings;
    stLogging LogSettings;

    // The form's frames and the menu items with a state, set after setupUi.
    TFrameToolbarButtons *FrameToolbarButtons1 = nullptr;
    TFrameServerList *FrameServerList1 = nullptr;
    TFrameClientArea *FrameClientArea1 = nullptr;
    QAction *Displayoriginalstats1 = nullptr;
    QAction *ResetStats1 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BindCommands();
    bool HasFreeSlot() const;
    // Opens the logon dialog, preset to server when it is not empty.
    void RunLogonDialog(const std::string &server);
    // The kill question for the current session; true when a kill was sent.
    bool KillCurrentSession();
    // Exactly the selected slot's tile is highlighted.
    void HighlightSelectedTile();

    std::unique_ptr<Ui::TFormMain> ui;
    unsigned SlotChanges = 0;  // counts connects and disconnects: a slot index's server changed
};
