#pragma once
// One server model fed by a real worker against a simulated instance, as the main window sets it
// up, for the views' tests: the fake owner in place of the main window records the polls and runs
// DuringUpdate in each one (where a test refreshes its view). Stop() (also the destructor) stops
// the worker before the model goes, as the main window does.
//
// Main thread only; the event loop must run (PumpUntil) for polls to arrive.

#include "DBServerInfoSource.h"
#include "FakeKivraOwner.h"

#include <functional>
#include <memory>
#include <string>

class TKivraThread;

class PolledServer : public FakeKivraOwner {
public:
    PolledServer();
    ~PolledServer() override;
    PolledServer(const PolledServer &) = delete;
    PolledServer &operator=(const PolledServer &) = delete;

    // Connects to server (e.g. SqlSimInstances::ServerName(i)) and polls every refreshSeconds;
    // false when the connect failed (its message box has been shown).
    bool Connect(const std::string &server, int refreshSeconds = 1, const std::string &user = "sa",
                 const std::string &password = "Kivra-Test-1", int slot = 0);
    void Stop();

    // Waits until count more polls have arrived (after the ones seen so far), and the poll that a
    // tick taken during the last of them brings: afterwards no poll comes that nobody asked for.
    bool WaitForPolls(int count = 1, int timeoutMs = 20000);

    TDBServerInfo *Model() const { return ModelObject.get(); }
    TKivraThread *Thread() const { return Worker; }
    // The hand-overs so far (a poll, or a connection loss); DuringUpdate runs in each.
    int Polls() const { return static_cast<int>(Updates.size()); }

    void UpdateServerViews(int slot) override;

private:
    TKivraThread *Worker = nullptr;
    std::unique_ptr<TDBServerInfo> ModelObject;
    bool PollDue = false;  // the last hand-over left a tick for the worker to take
};
