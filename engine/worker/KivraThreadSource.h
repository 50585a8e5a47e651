#pragma once
// TKivraThread: the worker thread of one connected server. It owns the server's database
// connection, its process query, its wake event and its poll timer (which ticks on the main
// thread). Per poll the worker times "SELECT 1", opens the process query and hands over to the
// main thread, where ApplyPollResults merges the rows into the server's TDBServerInfo.
//
// Threads: the constructor, Connect, Reconnect, SetServerInfo, SetRefreshInterval, Stop, the
// session requests (GetInputBuffer, GetStatementText, KillProcess), PollTimerTimer and both
// hand-over handlers run on the main thread; Execute and PollServer on the worker. The hand-over
// is a blocking call into the main thread: the worker waits while the handler runs, and what the
// handler throws is raised again in the worker. The main thread's event loop must run.
//
// The connection is used by one thread at a time: the worker holds ConnectionLock for its probe
// and process query and releases it before the hand-over; the session requests take it too, so
// a request made outside a hand-over waits until the worker is out of its database calls. The
// three requests wait so only until the worker's call has lasted kRequestWaitMs: a call that a
// server which has stopped answering holds (until the command time-out) would freeze the window,
// so they then give up, touching nothing (the input-buffer and statement requests answer as for
// a lost connection, the kill fails), for as long as that call lasts and no longer. Once they
// have the connection they wait for the server at most kRequestTimeoutS (not the command
// time-out); FreeTDS then waits as long again for its cancel to be answered.
//
// A request whose call fails on a connection that the driver has given up (the cancel of a call
// the server left unanswered went unanswered too, or the server or the network ended the
// connection) ends the connection as a failed probe does: ConnectionLost, the timer disabled,
// the connection closed, and the worker woken, whose next poll hands over ReportConnectionLost.
// The loss is so published after what runs now has finished, whether the request came from a
// view refresh inside a hand-over or from a click outside one.
//
// Ownership: the object owns Connection, ProcessQuery, WakeEvent and PollTimer; Owner and
// ServerInfo are borrowed. The object frees itself when its worker ends, which Stop brings
// about; never delete it. After Stop the caller may delete the TDBServerInfo at once: a
// hand-over that follows Stop touches nothing.
//
// Stop returns at once and may be called at any time on the main thread. It aborts the
// database call the worker is in (see TADOConnection::Abort), so the worker ends within
// moments even when its server has stopped answering; a call ended so is not logged.

#include "ServerRequests.h"
#include "TDateTime.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

class TADOConnection;
class TADODataSet;
class TAutoResetEvent;
class TDBServerInfo;
class TKivraOwner;
class TPollTimer;

class TKivraThread : public TServerRequests {
public:
    static constexpr int kStartupInterval = 100;  // ms until the first result
    static constexpr int kRequestWaitMs = 500;    // see above
    static constexpr int kRequestTimeoutS = 5;    // see above

    // Builds the object and starts the worker, which waits for its first wake-up (the worker
    // starts whatever CreateSuspended says, once every field is set).
    explicit TKivraThread(bool CreateSuspended);
    TKivraThread(const TKivraThread &) = delete;
    TKivraThread &operator=(const TKivraThread &) = delete;

    // Opens the connection and arms the poll timer; false (the error shown) when the
    // connection did not open. Errors of the start-up queries propagate.
    bool Connect(TKivraOwner *owner, int slot, const std::string &server, bool windowsAuth,
                 const std::string &userId, const std::string &password);
    // Reopens the connection after a loss; false (the error shown) after a database error.
    bool Reconnect() override;
    void SetServerInfo(TDBServerInfo *info);
    void SetRefreshInterval(int seconds);
    // Ends polling and the worker; the object then frees itself.
    void Stop();

    // Session requests on the server's connection.
    std::string GetInputBuffer(int spid, std::string &eventType) override;
    std::string GetStatementText(int spid, std::string &objectName, std::string &encrypted,
                                 int &stmtStart, int &stmtEnd) override;
    // -1 own session, -2 system session, 1 killed or gone. Raises EOleException when the kill
    // failed: refused by the server, unanswered, or not sent (the connection closed, or held by
    // the worker's unanswered call); the worker is then not woken for a poll.
    int KillProcess(int spid) override;

    void PollTimerTimer();  // the timer's tick: sets WakeEvent

    bool Terminated() const { return TerminatedFlag.load(); }
    // Thread objects not yet destroyed (tests and shutdown wait for 0).
    static int LiveCount();

    TPollTimer *PollTimer = nullptr;  // created by Connect; released on the main thread
    TADOConnection *Connection;
    TADODataSet *ProcessQuery;
    // Shared with the timer's tick, which may still run while the object is being destroyed.
    std::shared_ptr<TAutoResetEvent> WakeEvent;
    int RefreshInterval = 1;  // seconds; 0 no automatic polling
    std::atomic<bool> ConnectionLost{false};
    bool StatementTextAvailable = false;
    std::string StatementTextReason;
    int ResponseTime = 0;  // ms, the last successful probe
    TDateTime ServerStartTime = 0;
    TDateTime ServerTime = 0;
    TKivraOwner *Owner = nullptr;
    TDBServerInfo *ServerInfo = nullptr;
    int Slot = 0;

private:
    ~TKivraThread() override;  // on the worker, as it ends
    static void Run(TKivraThread *self);
    void Execute();
    void PollServer();
    void ReportConnectionLost();
    void ApplyPollResults();
    void Synchronize(void (TKivraThread::*handler)());
    void RunStartupQuery();

    // Takes ConnectionLock for a session request, or gives up once the worker's call has lasted
    // kRequestWaitMs; true when taken.
    bool LockForRequest(std::unique_lock<std::mutex> &lock);
    // Opens a session request's query with kRequestTimeoutS, ConnectionLock held. A failure on a
    // connection the driver has given up ends it (EndLostConnection). What Open throws
    // propagates.
    void OpenRequest(TADODataSet &query);
    // A session request found the connection given up: lost, as after a failed probe, and the
    // worker woken to report it. Main thread, ConnectionLock held.
    void EndLostConnection();

    std::mutex ConnectionLock;
    // When the worker's probe and process query began (steady clock, ms); 0 while in neither.
    std::atomic<std::int64_t> CallStartedMs{0};
    std::atomic<bool> TerminatedFlag{false};
};

// Shows a connection error: text as the message, caption as the title, an OK button only.
// The owner is not used.
void ShowConnectionError(TKivraOwner *owner, const std::string &text, const std::string &caption);
