#pragma once
// TFrameClientArea: the right-hand part of the main window: a tab bar at the bottom and above it
// a stack of views, one visible at a time (tab 0 "Small Graphs" the tile panel, 1 "Server
// Graphs", 2 "Databases", 3 "User Processes", 4 "All Processes", 5 "Locks"; the event-log view
// has no tab and stays hidden). Every server view shows the one server bound with SetServer;
// RefreshViews refreshes all of them, hidden ones too, so a tab shows the latest poll at once.
//
// No server selected: SetServer(nullptr) unbinds every view and pane and empties their title
// bars; the refresh that follows empties the views. The graph tiles keep their own servers.
//
// Main thread only. The views and the tab bar belong to the frame; the bound model is borrowed
// and must stay alive until another one (or nullptr) is bound.

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QTabBar;
class TDBServerInfo;
class TFrameAllProcesses;
class TFrameBlockedProcesses;
class TFrameDBProcesses;
class TFrameEventLog;
class TFrameServerBigGraphs;
class TFrameServerGraphsSmall;
class TFrameSmallGraphPanel;
class TFrameUserProcesses;

namespace Ui {
class TFrameClientArea;
}

class TFrameClientArea : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTabCount = 6;
    static constexpr int kEventLogIndex = 6;  // the event-log view's index: no tab shows it

    explicit TFrameClientArea(QWidget *parent = nullptr);
    ~TFrameClientArea() override;

    // A tile for the server in the tile panel; nullptr when all 16 places are used.
    TFrameServerGraphsSmall *AddServerGraph(const std::string &server);
    void RemoveServerGraph(int slot);
    void SetServer(TDBServerInfo *server);  // nullptr: no server
    void RefreshViews();
    // The session of the current row of the visible users, databases or all-sessions view;
    // -1 for the other views or when no session is selected.
    int GetCurrentSPID();
    void SetInitialPanel(int index);  // 0..5; any other value is ignored
    // Shows the view of newTab and hides every other.
    void TabSet1Change(QObject *sender, int newTab, bool &allowChange);

    // The tab bar's change event; the main window binds it to its own handler, which passes the
    // arguments on to TabSet1Change. Unbound, the change goes to TabSet1Change directly.
    std::function<void(QObject *sender, int newTab, bool &allowChange)> OnTabSet1Change;

    // The form's components, set after setupUi.
    QWidget *PanelTabBar = nullptr;
    QTabBar *TabSet1 = nullptr;
    QWidget *PanelInfo = nullptr;
    TFrameSmallGraphPanel *ServerSmallGraphs = nullptr;
    TFrameServerBigGraphs *ServerBigGraphs = nullptr;
    TFrameDBProcesses *DBProcesses = nullptr;
    TFrameUserProcesses *UserProcesses = nullptr;
    TFrameAllProcesses *AllProcesses = nullptr;
    TFrameBlockedProcesses *BlockedProcesses = nullptr;
    TFrameEventLog *EventLogs = nullptr;

private:
    void TabSet1Changed(int newTab);

    std::unique_ptr<Ui::TFrameClientArea> ui;
    int ShownTab = 0;  // the tab whose view is shown
};
