#pragma once
// TConnectionAbort: what ends the command running on one TADOConnection from another thread.
//
// Abort shuts the connection's socket down, so the command in flight fails at once whatever the
// server does, and every later command on the connection fails at once too, until the
// connection is opened again; the connection is then of no further use but to be closed.
// (The driver's own cancel is no way out: a cancel waits for the server's acknowledgement,
// which a server that stopped answering never sends, and FreeTDS's cancel from another thread
// races with the calls of the thread that runs the command.) When the socket could not be
// found (see ConnectionSocket.h), a command already running ends only when the driver gives
// it up (the command time-out).
//
// Threads: Abort from any thread; the rest from the thread that uses the connection. The
// object is shared (std::shared_ptr) so that it may be aborted after its connection has gone:
// it then does nothing.

#include <memory>
#include <mutex>

class TConnectionAbort {
public:
    TConnectionAbort() = default;
    ~TConnectionAbort();
    TConnectionAbort(const TConnectionAbort &) = delete;
    TConnectionAbort &operator=(const TConnectionAbort &) = delete;

    void Abort();
    bool Aborted() const;

    // The connection opened (socket: a descriptor of its socket, owned from now on, or -1 when
    // it could not be found) or closed (-1). Either clears an abort.
    void SetSocket(int socket);

    // Marks a command as running until the object is destroyed; raises EOleException
    // ("Operation cancelled") instead when the connection has been aborted.
    class Running {
    public:
        explicit Running(std::shared_ptr<TConnectionAbort> abort);
        ~Running();
        Running(const Running &) = delete;
        Running &operator=(const Running &) = delete;

    private:
        const std::shared_ptr<TConnectionAbort> Owner;
    };

private:
    mutable std::mutex Lock;
    bool IsAborted = false;
    bool CommandRunning = false;
    int Socket = -1;
};
