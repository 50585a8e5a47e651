#include "SimControlServer.h"

#include "SimControl.h"
#include "SimTcpListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

SimControlServer::SimControlServer(std::vector<SqlSimServer *> instances, std::string bindAddress)
    : Instances(std::move(instances)), BindAddress(std::move(bindAddress)) {}

SimControlServer::~SimControlServer() { Stop(); }

bool SimControlServer::Start(uint16_t port, std::string *error) {
    auto fail = [error](const std::string &why) {
        if (error) *error = why;
        return false;
    };
    std::string why;
    ListenFd = SimTcpListener::Open(BindAddress, port, BoundPort, why);
    if (ListenFd < 0) return fail("control " + why);
    if (::pipe2(WakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(ListenFd);
        ListenFd = -1;
        return fail("cannot create a pipe");
    }
    AcceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void SimControlServer::Stop() {
    if (ListenFd < 0) return;
    Stopping = true;
    const char c = 'x';
    (void)!::write(WakePipe[1], &c, 1);
    if (AcceptThread.joinable()) AcceptThread.join();
    {
        std::lock_guard<std::mutex> lock(Mutex);
        for (int fd : Fds) ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread &t : Threads) t.join();
    Threads.clear();
    ::close(ListenFd);
    ::close(WakePipe[0]);
    ::close(WakePipe[1]);
    ListenFd = -1;
}

void SimControlServer::AcceptLoop() {
    while (!Stopping) {
        pollfd p[2] = {{WakePipe[0], POLLIN, 0}, {ListenFd, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR) break;
        if (Stopping) break;
        if (!(p[1].revents & POLLIN)) continue;
        const int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> lock(Mutex);
        Fds.push_back(fd);
        Threads.emplace_back([this, fd] { Serve(fd); });
    }
}

void SimControlServer::Serve(int fd) {
    SimControl control(Instances);
    std::string pending;
    char buf[1024];
    for (;;) {
        const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        pending.append(buf, static_cast<size_t>(r));
        if (pending.size() > 65536) break;  // no line is that long
        size_t nl;
        bool quit = false;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line == "quit") {
                quit = true;
                break;
            }
            const std::string reply = control.Execute(line) + "\n";
            if (::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) {
                quit = true;
                break;
            }
        }
        if (quit) break;
    }
    std::lock_guard<std::mutex> lock(Mutex);
    Fds.remove(fd);
    ::close(fd);
}
