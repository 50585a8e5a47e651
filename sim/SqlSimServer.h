#pragma once
// SqlSimServer: one simulated SQL Server instance listening for TDS clients, for tests,
// benchmarks and the demo.
//
// Usage (in-process):
//     SqlSimOptions o;                 // 127.0.0.1, port 0 = any free port, login sa/Kivra-Test-1
//     o.Workload.Seed = 7;
//     SqlSimServer server(o);
//     std::string error;
//     if (!server.Start(&error)) ...;  // error: e.g. "port 1433 is in use"
//     connect to 127.0.0.1:server.Port() with any TDS client
//     server.SetDelay(500);            // fault switches, any time, from any thread
//     server.Stop();                   // also done by the destructor
//
// Threads: Start() creates an accept thread and one thread per client connection; Stop() ends
// and joins all of them. Every public method may be called from any thread; none blocks on a
// client. The server owns its workload; Workload() stays valid until destruction.
//
// The workload advances one step (one simulated second of activity) each time a process query
// is answered, so polls, not the clock, move the counters: one seed gives the same polls.
// SetDelay() slows answers to batches, not logins; SetPaused() holds every answer, logins and
// attention acknowledgements included, until resumed.
//
// Each client that logs in becomes a session of the workload (its @@SPID, stated in every reply
// header), with the login, host and program its LOGIN7 gave; it leaves when the connection ends.

#include "SimLogin.h"
#include "SimWorkload.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SimConnection;

struct SqlSimOptions {
    std::string BindAddress = "127.0.0.1";
    uint16_t Port = 0;  // 0: a free port chosen by the system
    SimWorkloadConfig Workload;
    std::vector<SimLogin> Logins = {{"sa", "Kivra-Test-1", true, true}};
    bool NoStmtStart = false;  // sysprocesses lacks stmt_start
    std::string ServerName = "SQLSIM";
};

class SqlSimServer {
public:
    explicit SqlSimServer(const SqlSimOptions &options = SqlSimOptions());
    ~SqlSimServer();
    SqlSimServer(const SqlSimServer &) = delete;
    SqlSimServer &operator=(const SqlSimServer &) = delete;

    // Binds and starts listening. False with a reason (bad address, port in use).
    bool Start(std::string *error = nullptr);
    void Stop();
    uint16_t Port() const { return BoundPort; }
    bool Running() const { return IsRunning; }

    // --- faults and workload control ---
    void SetDelay(int ms);  // every answer waits ms first (attention still served)
    int Delay() const { return DelayMs; }
    void SetPaused(bool paused);  // no answers at all until resumed
    bool Paused() const { return IsPaused; }
    void DropConnections();                  // closes every client connection now
    void SetRefuseConnections(bool refuse);  // closes the listener (connect: refused) or reopens it
    bool RefusingConnections() const { return Refusing; }
    void Restart();                // drops clients; new start time, all sessions new
    void SetCpuLoad(int percent);  // fixed load 0..100; negative: moving load with bursts
    void SetSessionCount(int userSessions);
    void SetChurn(double percent);
    int StartBlockingChain(int blocked);  // head spid, 0 when not enough idle sessions
    void EndBlockingChains();
    bool KillSession(int spid);  // false for unknown or system sessions
    bool EndSession(int spid);   // kills a user session and lowers the session count at once
    void SetLogin(const SimLogin &login);  // adds or replaces (names compare without case)
    bool RemoveLogin(const std::string &name);
    void SetNoStmtStart(bool lacks);
    bool NoStmtStart() const { return LacksStmtStart; }
    // Every batch whose text holds text (both compared whitespace-normalised, without regard to
    // case) is answered with a server error (50000, severity 16) instead; empty: none.
    void SetFailingText(const std::string &text);
    std::string FailingText() const;  // normalised

    // --- observation ---
    int ClientCount() const;
    // Called on the client's connection thread with the client's session id and the batch text,
    // for every batch a client sends, before it is held or answered (tests and benchmarks count
    // the requests a client makes). Empty: none. May be set at any time from any thread.
    using BatchObserver = std::function<void(int spid, const std::string &text)>;
    void SetBatchObserver(BatchObserver observer);
    SimWorkload &Workload() { return *OwnedWorkload; }
    const std::string &ServerName() const { return Options.ServerName; }

    // Used by the connection threads.
    bool FindLogin(const std::string &name, SimLogin &out) const;
    void CloseClient(int spid);
    void ObserveBatch(int spid, const std::string &text);

private:
    bool Kill(int spid, bool lowerTarget);
    bool Listen(std::string *error);
    void AcceptLoop();
    void Reap(bool all);
    void ApplyListenState();  // accept thread: open or close the listener as Refusing says

    SqlSimOptions Options;
    std::unique_ptr<SimWorkload> OwnedWorkload;
    std::atomic<int> ListenFd{-1};
    int WakePipe[2] = {-1, -1};
    uint16_t BoundPort = 0;
    std::atomic<bool> IsRunning{false};
    std::atomic<bool> Stopping{false};
    std::atomic<int> DelayMs{0};
    std::atomic<bool> IsPaused{false};
    std::atomic<bool> Refusing{false};
    std::atomic<bool> LacksStmtStart{false};
    std::thread AcceptThread;

    mutable std::mutex Mutex;  // guards logins and connections
    std::vector<SimLogin> Logins;
    struct Client {
        std::shared_ptr<SimConnection> Connection;
        std::thread Thread;
    };
    std::list<Client> Clients;
    std::mutex ObserverMutex;  // guards Observer
    BatchObserver Observer;
    mutable std::mutex FailMutex;  // guards FailText
    std::string FailText;
    std::mutex ListenMutex;  // guards ListenFd changes and Refusing hand-over
    std::condition_variable ListenChanged;
};
