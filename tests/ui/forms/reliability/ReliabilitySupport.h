#pragma once
// What the reliability tests share: the real main window with a count of each server's polls,
// four servers connected with a session view shown, a user session's row in "All Processes", and
// readers of what the window shows of a server's connection state (the active list, the tile,
// the large graphs).

#include "ProgramTestSupport.h"

#include <functional>
#include <map>

class QLabel;
class QPushButton;

// The main window, counting per model the polls that reached it (a refresh of its slot while it
// is connected) and the refreshes of a connected slot whose model has taken no poll yet (which
// no hand-over of its own can ask for).
class CountingFormMain : public TFormMain {
public:
    void UpdateServerViews(int slot) override;
    int PollsOf(const TDBServerInfo *model) const;

    std::map<const TDBServerInfo *, int> Polls;
    int RefreshesBeforeFirstPoll = 0;
    std::function<void(int slot)> AfterUpdate;  // after each hand-over's views were refreshed
};

// The first row of the all-sessions grid holding a user session of the workload (not a system
// one, not the program's) for which also(spid) holds; -1 when none does.
int UserSessionRow(TFrameAllProcesses *view, const std::function<bool(int spid)> &also = nullptr);

// What the window shows of one slot's connection state.
struct ShownState {
    bool ListRed = false;       // the active list's row has red in it (background or text)
    bool TileRed = false;       // the tile's name bar has red in it
    bool TileWarning = false;   // the tile shows "Server Disconnected"
    bool BigWarning = false;    // the large graphs show "Server Disconnected" (selected slot)
    bool BigReconnect = false;  // and the Reconnect button

    bool AllLost() const { return ListRed && TileRed && TileWarning && BigWarning && BigReconnect; }
    bool NoneLost() const {
        return !ListRed && !TileRed && !TileWarning && !BigWarning && !BigReconnect;
    }
};

class ReliabilityTest : public ProgramTest {
protected:
    static constexpr int kAllProcessesTab = 4;
    static constexpr int kServerGraphsTab = 1;

    CountingFormMain &Main();  // the window, built on first use
    // Four instances connected in slots 0..3 (instance i in slot i), each polled once, the window
    // shown with "All Processes", slot `selected` selected.
    void ConnectFour(int selected);
    // Waits until the model now in slot takes count more polls.
    bool WaitPolls(int slot, int count, int timeoutMs = 30000);
    // Waits until every slot in use but `except` has taken count more polls; with `still`, each
    // time one of them polls, still() must hold.
    bool OthersPoll(int except, int count, const std::function<bool()> &still = nullptr);

    ShownState Shown(int slot);
    QLabel *BigLabel(const char *name);
    QPushButton *ReconnectButton();
    // Clicks Reconnect on the "Server Graphs" tab as a user would, then shows "All Processes".
    void ClickReconnect();
};
