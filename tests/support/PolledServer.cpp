#include "PolledServer.h"

#include "AutoResetEvent.h"
#include "KivraThreadSource.h"
#include "TestPump.h"

PolledServer::PolledServer() = default;

PolledServer::~PolledServer() { Stop(); }

bool PolledServer::Connect(const std::string &server, int refreshSeconds, const std::string &user,
                           const std::string &password, int slot) {
    Stop();
    auto *thread = new TKivraThread(true);
    if (!thread->Connect(this, slot, server, false, user, password)) {
        thread->Stop();
        return false;
    }
    Worker = thread;
    ModelObject = std::make_unique<TDBServerInfo>();
    ModelObject->Owner = this;
    ModelObject->SetServerName(server);
    ModelObject->Thread = thread;
    ModelObject->ServerStartTime = thread->ServerStartTime;
    ModelObject->ServerTime = thread->ServerTime;
    thread->SetServerInfo(ModelObject.get());
    thread->SetRefreshInterval(refreshSeconds);
    return true;
}

void PolledServer::Stop() {
    if (Worker) Worker->Stop();
    Worker = nullptr;
    ModelObject.reset();
}

bool PolledServer::WaitForPolls(int count, int timeoutMs) {
    const int target = Polls() + count;
    return PumpUntil([&] { return Polls() >= target && !PollDue; }, timeoutMs);
}

void PolledServer::UpdateServerViews(int slot) {
    // The worker waits in this hand-over: a tick it has not taken yet (one that came during the
    // poll, as the startup interval's ticks do) starts another poll as soon as it returns.
    PollDue = Worker && Worker->WakeEvent->IsSet();
    FakeKivraOwner::UpdateServerViews(slot);
}
