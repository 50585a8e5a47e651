#pragma once
// A bare TCP listener on 127.0.0.1 for the failure cases a real SMTP server will not produce on
// demand. Modes:
//   Silent              accepts and never sends a byte (no greeting);
//   GreetThenClose      greets, reads the client's first command and closes;
//   StallAfterGreeting  greets, then never answers;
//   StallAfterLogOn     greets, answers EHLO and NOOP, then never answers again (the first mail
//                       command waits for ever).
//   SlowGreeting        greets only kSlowGreetingMs after accepting, then answers EHLO and NOOP
//                       with 250 and QUIT with 221 (a distant or busy server that is well);
//   Backlogged          never accepts, and its accept queue is filled at once, so a further
//                       connection is never made (a host that does not take the connection).
// Connections are held open until the destructor, which stops the listener's thread.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class RawListener {
public:
    enum Mode {
        Silent,
        GreetThenClose,
        StallAfterGreeting,
        StallAfterLogOn,
        SlowGreeting,
        Backlogged
    };
    static constexpr int kSlowGreetingMs = 400;

    explicit RawListener(Mode mode);
    ~RawListener();
    RawListener(const RawListener &) = delete;
    RawListener &operator=(const RawListener &) = delete;

    int Port() const { return BoundPort; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(BoundPort); }

    // A loopback port on which nothing listens (taken from the system, then released).
    static int ClosedPort();

private:
    void Serve();

    Mode Behaviour;
    int Listener = -1;
    int BoundPort = 0;
    std::atomic<bool> Stop{false};
    std::thread Thread;
    std::vector<int> Fillers;  // Backlogged: the connections that fill the accept queue
};
