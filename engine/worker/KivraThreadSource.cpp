#include "KivraThreadSource.h"

#include "ADOConnection.h"
#include "ADODataSet.h"
#include "AutoResetEvent.h"
#include "DBServerInfoSource.h"
#include "EOleException.h"
#include "ErrorLog.h"
#include "HandOverQueue.h"
#include "KivraOwner.h"
#include "KivraQueryTexts.h"
#include "MessageBoxHook.h"
#include "PollTimer.h"
#include "ProcessResultReader.h"

#include <chrono>
#include <limits>
#include <thread>

namespace {

std::atomic<int> g_liveThreads{0};

using SteadyClock = std::chrono::steady_clock;

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               SteadyClock::now().time_since_epoch())
        .count();
}

const char *const kNoFeatureReason = "This feature requires SQL Server 2000 SP 3 or greater";
const char *const kNoPermissionReason = "You do not have permission to run the fn_get_sql function";
// The kill's error when the worker's call holds the connection and the server does not answer it.
const char *const kKillNotSentText =
    "The server is not answering: the kill was not sent. Try again once it answers.";

// The timer interval of a refresh interval in seconds: an interval whose milliseconds do not fit
// the timer waits as long as the timer can, rather than wrapping.
int IntervalMs(int seconds) {
    constexpr int kMax = std::numeric_limits<int>::max();
    if (seconds <= 0) return 0;
    return seconds > kMax / 1000 ? kMax : seconds * 1000;
}

// One query object for the length of one call.
struct ScopedQuery {
    TADODataSet Query;
    ScopedQuery(TADOConnection *connection, TCommandType type, const std::string &text) {
        Query.Connection = connection;
        Query.CommandType = type;
        Query.CommandText = text;
    }
};

}  // namespace

void ShowConnectionError(TKivraOwner *, const std::string &text, const std::string &caption) {
    kivra::ApplicationMessageBox(text, caption, kivra::MB_OK);
}

int TKivraThread::LiveCount() { return g_liveThreads.load(); }

TKivraThread::TKivraThread(bool)
    : Connection(new TADOConnection), ProcessQuery(new TADODataSet),
      WakeEvent(std::make_shared<TAutoResetEvent>()) {
    ++g_liveThreads;
    THandOverQueue::Instance();  // created on the main thread
    // Started last, so the worker finds every field set; it waits for its first wake-up.
    std::thread(&TKivraThread::Run, this).detach();
}

TKivraThread::~TKivraThread() {
    ProcessQuery->Close();
    delete ProcessQuery;
    Connection->Close();
    delete Connection;
    // The timer lives on the main thread and is deleted there; a tick still queued only sets
    // the shared wake event.
    if (TPollTimer *timer = PollTimer) THandOverQueue::Instance().Post([timer] { delete timer; });
    --g_liveThreads;
}

void TKivraThread::Run(TKivraThread *self) {
    self->Execute();
    delete self;
}

void TKivraThread::Execute() {
    while (!Terminated()) {
        WakeEvent->Wait();
        if (!Terminated()) PollServer();
    }
}

void TKivraThread::PollTimerTimer() { WakeEvent->Set(); }

// ---- Connection -------------------------------------------------------------------------------

bool TKivraThread::Connect(TKivraOwner *owner, int slot, const std::string &server,
                           bool windowsAuth, const std::string &userId,
                           const std::string &password) {
    Owner = owner;
    Slot = slot;
    std::lock_guard<std::mutex> lock(ConnectionLock);
    Connection->ConnectionString =
        kivra::BuildConnectionString(server, windowsAuth, userId, password);
    Connection->Provider = "SQLOLEDB.1";
    Connection->LoginPrompt = false;
    try {
        Connection->SetConnected(true);
    } catch (const EOleException &e) {
        ShowConnectionError(owner, e.Message, e.Source);
        return false;
    }
    ConnectionLost = false;

    {
        ScopedQuery probe(Connection, cmdText, kivra::kStatementProbeText);
        probe.Query.Open();
        StatementTextAvailable = probe.Query.FieldByName("counter")->AsInteger() == 1;
        probe.Query.Close();
    }
    if (StatementTextAvailable) {
        ScopedQuery probe(Connection, cmdText, kivra::kPermissionProbeText);
        probe.Query.Open();
        StatementTextAvailable = probe.Query.FieldByName("permission")->AsInteger() > 0;
        probe.Query.Close();
        if (!StatementTextAvailable) StatementTextReason = kNoPermissionReason;
    } else {
        StatementTextReason = kNoFeatureReason;
    }
    RunStartupQuery();

    ProcessQuery->Connection = Connection;
    ProcessQuery->CommandType = cmdText;
    ProcessQuery->CommandText = kivra::ProcessQueryText();

    PollTimer = new TPollTimer([event = WakeEvent] { event->Set(); });
    PollTimer->SetInterval(kStartupInterval);
    PollTimer->SetEnabled(true);
    return true;
}

void TKivraThread::RunStartupQuery() {
    ScopedQuery startup(Connection, cmdText, kivra::kStartupQueryText);
    startup.Query.Open();
    ServerStartTime = startup.Query.FieldByName("serverstarttime")->AsDateTime();
    ServerTime = startup.Query.FieldByName("servertimenow")->AsDateTime();
    startup.Query.Close();
}

bool TKivraThread::Reconnect() {
    try {
        {
            std::lock_guard<std::mutex> lock(ConnectionLock);
            // The connection string still holds what Connect gave it, credentials included.
            Connection->SetConnected(false);
            Connection->SetConnected(true);
        }
        ConnectionLost = false;
        if (PollTimer) {
            PollTimer->SetInterval(kStartupInterval);
            PollTimer->SetEnabled(true);
        }
        if (ServerInfo) ServerInfo->SetDisconnected(false);
        if (Owner) Owner->RefreshServerList();
        {
            std::lock_guard<std::mutex> lock(ConnectionLock);
            RunStartupQuery();
        }
        if (ServerInfo) ServerInfo->ServerStartTime = ServerStartTime;
        return true;
    } catch (const EOleException &e) {
        ShowConnectionError(Owner, e.Message, e.Source);
        return false;
    }
}

void TKivraThread::SetServerInfo(TDBServerInfo *info) {
    ServerInfo = info;
    if (info) info->ServerStartTime = ServerStartTime;
}

void TKivraThread::SetRefreshInterval(int seconds) {
    if (seconds < 0) seconds = 0;
    if (PollTimer && PollTimer->Interval() != kStartupInterval)
        PollTimer->SetInterval(IntervalMs(seconds));
    RefreshInterval = seconds;
}

void TKivraThread::Stop() {
    ConnectionLost = true;
    if (PollTimer) PollTimer->SetInterval(0);
    // Once the flag is set the worker may end and free the object at any moment: nothing of
    // the object is touched after it but these copies of the event and of the connection's
    // abort.
    const std::shared_ptr<TAutoResetEvent> event = WakeEvent;
    const std::shared_ptr<TConnectionAbort> abort = Connection->AbortHandle();
    TerminatedFlag = true;
    // The command in flight ends now, whatever the server does, and the worker with it.
    abort->Abort();
    event->Set();
}

// ---- The poll (worker) ------------------------------------------------------------------------

void TKivraThread::PollServer() {
    try {
        bool lost = false;
        {
            std::lock_guard<std::mutex> lock(ConnectionLock);
            CallStartedMs = SteadyMs();
            // Cleared before the lock is released, also when a call throws.
            struct CallEnd {
                std::atomic<std::int64_t> &Started;
                ~CallEnd() { Started = 0; }
            } callEnd{CallStartedMs};
            ScopedQuery probe(Connection, cmdText, kivra::kResponseProbeText);
            if (Connection->Connected() && !ConnectionLost) {
                const std::uint32_t t0 = kivra::TickCountMs();
                try {
                    probe.Query.Open();
                } catch (const EOleException &) {
                    ConnectionLost = true;
                    if (PollTimer) PollTimer->SetEnabled(false);
                    Connection->Close();
                    lost = true;
                }
                if (!lost) {
                    ResponseTime = static_cast<int>(kivra::TickCountMs() - t0);
                    probe.Query.Close();
                    // A result that an earlier hand-over left unread is never taken for this one.
                    ProcessQuery->Close();
                    ProcessQuery->Open();
                }
            } else {
                lost = true;
            }
        }
        // Stopped: the handler would do nothing, so the worker need not wait for it.
        if (Terminated()) return;
        // The lock is released: the handler runs on the main thread and may use the connection.
        Synchronize(lost ? &TKivraThread::ReportConnectionLost : &TKivraThread::ApplyPollResults);
    } catch (const std::exception &e) {
        // A command that Stop ended is no failure of the poll.
        if (!Terminated()) TErrorLog::Write(e);
    } catch (...) {
        if (!Terminated()) TErrorLog::WriteError("Unknown error during a poll");
    }
}

void TKivraThread::Synchronize(void (TKivraThread::*handler)()) {
    THandOverQueue::Instance().Call([this, handler] { (this->*handler)(); });
}

// ---- Hand-over handlers (main thread) ---------------------------------------------------------

void TKivraThread::ReportConnectionLost() {
    if (Terminated()) return;
    if (ServerInfo) ServerInfo->SetDisconnected(true);
    ConnectionLost = true;
    if (Owner) {
        Owner->UpdateServerViews(Slot);
        Owner->RefreshServerList();
    }
    if (ServerInfo) ServerInfo->EvaluateAlerts();
}

void TKivraThread::ApplyPollResults() {
    if (Terminated() || ConnectionLost) return;
    try {
        if (!ServerInfo) {  // not attached yet: nothing to merge into
            ProcessQuery->Close();
            return;
        }
        ServerInfo->SetDisconnected(false);
        ServerInfo->BeginPollCycle();
        const stPollCounters c = ReadPollCounters(*ProcessQuery);
        if (c.HasRow) ServerTime = c.ServerTime;
        FeedProcessRows(*ProcessQuery, *ServerInfo);
        ServerInfo->EndPollCycle();
        ServerInfo->UpdateStatistics(ResponseTime, c.PacketsSent, c.PacketsReceived, c.PacketErrors,
                                     c.TotalRead, c.TotalWrite, c.TotalErrors, c.CpuBusy, c.CpuIdle,
                                     ServerTime);
        ServerInfo->EvaluateAlerts();
        ProcessQuery->Close();
        // An alert whose mail failed shows a message box, whose event loop may have stopped this
        // thread (its server disconnected): then its slot is somebody else's or free.
        if (Terminated()) return;
        if (Owner) Owner->UpdateServerViews(Slot);
        if (PollTimer && PollTimer->Interval() == kStartupInterval)
            PollTimer->SetInterval(IntervalMs(RefreshInterval));
    } catch (const std::exception &e) {
        TErrorLog::Write(e);
        ProcessQuery->Close();
    }
}

// ---- Session requests (main thread) -----------------------------------------------------------

bool TKivraThread::LockForRequest(std::unique_lock<std::mutex> &lock) {
    // Tries in steps of a millisecond, not with a timed lock: the sanitizers do not follow a
    // timed lock of this standard library.
    const std::int64_t asked = SteadyMs();
    while (!lock.try_lock()) {
        const std::int64_t started = CallStartedMs.load();
        if (SteadyMs() - (started ? started : asked) >= kRequestWaitMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void TKivraThread::OpenRequest(TADODataSet &query) {
    query.CommandTimeout = kRequestTimeoutS;
    try {
        query.Open();
    } catch (const EOleException &) {
        if (Connection->Dead()) EndLostConnection();
        throw;
    }
}

void TKivraThread::EndLostConnection() {
    ConnectionLost = true;
    if (PollTimer) PollTimer->SetEnabled(false);
    Connection->Close();
    // The worker, waiting in its event, for this lock or for the hand-over that this request
    // is part of, polls next and finds the connection lost: ReportConnectionLost follows on the
    // main thread once it is back in its event loop.
    WakeEvent->Set();
}

std::string TKivraThread::GetInputBuffer(int spid, std::string &eventType) {
    if (ConnectionLost) return std::string();
    std::unique_lock<std::mutex> lock(ConnectionLock, std::defer_lock);
    if (!LockForRequest(lock)) return std::string();
    if (!Connection->Connected()) {
        eventType = "NONE";
        return "<No SQL Found>";
    }
    ScopedQuery q(Connection, cmdUnknown, kivra::InputBufferBatch(spid));
    try {
        OpenRequest(q.Query);
    } catch (const EOleException &) {
        eventType = "NONE";
        return "<No SQL Found>";
    }
    TADOField *type = q.Query.FieldByName("EventType");
    TADOField *info = q.Query.FieldByName("EventInfo");
    eventType = type->IsNull() ? std::string("NONE") : type->AsString();
    std::string result = info->IsNull() ? std::string("<No SQL Found>") : info->AsString();
    q.Query.Close();
    return result;
}

std::string TKivraThread::GetStatementText(int spid, std::string &objectName,
                                           std::string &encrypted, int &stmtStart, int &stmtEnd) {
    if (ConnectionLost) return std::string();
    std::unique_lock<std::mutex> lock(ConnectionLock, std::defer_lock);
    if (!LockForRequest(lock) || !Connection->Connected()) return std::string();
    auto fallback = [&] {
        objectName = "?";
        encrypted = "?";
        stmtStart = 0;
        stmtEnd = 0;
    };
    if (!StatementTextAvailable) {
        fallback();
        return StatementTextReason;
    }
    ScopedQuery q(Connection, cmdUnknown, kivra::StatementBatch(spid));
    try {
        OpenRequest(q.Query);
    } catch (const EOleException &) {
        fallback();
        return std::string();
    }
    std::string result = q.Query.FieldByName("sqltext")->AsString();
    objectName = q.Query.FieldByName("objectname")->AsString();
    encrypted = q.Query.FieldByName("encrypted")->AsString();
    stmtStart = q.Query.FieldByName("stmt_start")->AsInteger();
    stmtEnd = q.Query.FieldByName("stmt_end")->AsInteger();
    q.Query.Close();
    return result;
}

int TKivraThread::KillProcess(int spid) {
    int code = 0;
    {
        std::unique_lock<std::mutex> lock(ConnectionLock, std::defer_lock);
        if (!LockForRequest(lock))
            throw EOleException(kKillNotSentText, TADOConnection::DriverName());
        ScopedQuery q(Connection, cmdUnknown, kivra::KillBatch(spid));
        OpenRequest(q.Query);
        code = q.Query.FieldByName("returncode")->AsInteger();
        q.Query.Close();
    }
    WakeEvent->Set();
    return code;
}
