#pragma once
// SimConnection: one client connection of a SqlSimServer: PRELOGIN, LOGIN7, then batches until
// the client leaves or the server closes the connection. Run() executes on the connection's own
// thread; Close() may be called from any thread and makes Run() return soon.

#include "TdsSocket.h"

#include <atomic>
#include <cstdint>
#include <string>

class SqlSimServer;
class TdsWriter;

class SimConnection {
public:
    SimConnection(SqlSimServer &server, int fd);
    void Run();
    void Close();
    bool Finished() const { return HasFinished; }
    int Spid() const { return SessionSpid; }

private:
    bool Prelogin(const TdsMessage &m);
    bool Login(const TdsMessage &m);
    bool Batch(const TdsMessage &m);
    // Waits out the configured delay and any pause while watching for an attention.
    // Returns false when the connection ended; attention set when the client cancelled.
    bool Hold(bool &attention);
    void LoginFailed(int number, const std::string &message, uint32_t version);

    SqlSimServer &Server;
    TdsSocket Socket;
    std::atomic<bool> HasFinished{false};
    std::atomic<bool> Closed{false};
    std::atomic<int> SessionSpid{0};
    uint64_t Id = 0;
    uint32_t Version = 0x74000004;
    std::string LoginName;
};
