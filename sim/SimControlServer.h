#pragma once
// SimControlServer: serves the SimControl line protocol on a TCP port (127.0.0.1 by default).
// Start() creates an accept thread and one thread per control connection; Stop() (and the
// destructor) ends and joins them. The instances must outlive the control server.

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SqlSimServer;

class SimControlServer {
public:
    explicit SimControlServer(std::vector<SqlSimServer *> instances,
                              std::string bindAddress = "127.0.0.1");
    ~SimControlServer();
    SimControlServer(const SimControlServer &) = delete;
    SimControlServer &operator=(const SimControlServer &) = delete;

    bool Start(uint16_t port, std::string *error = nullptr);  // 0: a free port
    void Stop();
    uint16_t Port() const { return BoundPort; }

private:
    void AcceptLoop();
    void Serve(int fd);

    std::vector<SqlSimServer *> Instances;
    std::string BindAddress;
    int ListenFd = -1;
    int WakePipe[2] = {-1, -1};
    uint16_t BoundPort = 0;
    std::atomic<bool> Stopping{false};
    std::thread AcceptThread;
    std::mutex Mutex;
    std::list<std::thread> Threads;
    std::list<int> Fds;
};
