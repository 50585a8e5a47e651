#include "RawListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <vector>

namespace {

int ListenOnLoopback(int &port, int backlog = 8) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(addr.sin_port);
    return fd;
}

// Connects to port without blocking; true when the connection stood within waitMs.
bool ConnectWithin(int port, int waitMs, int &fd) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<unsigned short>(port));
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) return true;
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    return errno == EINPROGRESS && poll(&p, 1, waitMs) == 1 &&
           getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

}  // namespace

RawListener::RawListener(Mode mode) : Behaviour(mode) {
    if (mode == Backlogged) {
        // Backlog 0 still queues a connection or two; fill the queue until one is not taken.
        Listener = ListenOnLoopback(BoundPort, 0);
        for (int i = 0; Listener >= 0 && i < 16; ++i) {
            int fd = -1;
            const bool made = ConnectWithin(BoundPort, 200, fd);
            if (!made) {
                if (fd >= 0) close(fd);
                return;
            }
            Fillers.push_back(fd);
        }
        BoundPort = 0;  // the queue never filled: no such port to offer
        return;
    }
    Listener = ListenOnLoopback(BoundPort);
    if (Listener >= 0) Thread = std::thread([this] { Serve(); });
}

RawListener::~RawListener() {
    Stop = true;
    if (Thread.joinable()) Thread.join();
    for (int fd : Fillers) close(fd);
    if (Listener >= 0) close(Listener);
}

int RawListener::ClosedPort() {
    int port = 0;
    const int fd = ListenOnLoopback(port);
    if (fd >= 0) close(fd);
    return port;
}

void RawListener::Serve() {
    const std::string greeting = "220 raw.test ESMTP ready\r\n";
    std::vector<int> clients;  // connections kept open until the end
    std::string pending;       // StallAfterLogOn: the unanswered part of the client's input
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<int, Clock::time_point>> ungreeted;  // SlowGreeting
    while (!Stop) {
        std::vector<pollfd> fds{{Listener, POLLIN, 0}};
        for (int c : clients) fds.push_back({c, POLLIN, 0});
        for (auto it = ungreeted.begin(); it != ungreeted.end();) {
            if (Clock::now() - it->second < std::chrono::milliseconds(kSlowGreetingMs)) {
                ++it;
                continue;
            }
            (void)!write(it->first, greeting.data(), greeting.size());
            it = ungreeted.erase(it);
        }
        if (poll(fds.data(), fds.size(), 20) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            const int client = accept(Listener, nullptr, nullptr);
            if (client >= 0) {
                if (Behaviour == SlowGreeting)
                    ungreeted.emplace_back(client, Clock::now());
                else if (Behaviour != Silent)
                    (void)!write(client, greeting.data(), greeting.size());
                clients.push_back(client);
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[512];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0 || Behaviour == GreetThenClose) {
                close(fds[i].fd);
                clients.erase(std::find(clients.begin(), clients.end(), fds[i].fd));
                continue;
            }
            if (Behaviour != StallAfterLogOn && Behaviour != SlowGreeting) continue;
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pending.find("\r\n")) != std::string::npos) {
                const std::string command = pending.substr(0, end);
                pending.erase(0, end + 2);
                if (command.rfind("EHLO", 0) == 0 || command.rfind("NOOP", 0) == 0) {
                    const std::string ok = "250 raw.test\r\n";
                    (void)!write(fds[i].fd, ok.data(), ok.size());
                } else if (Behaviour == SlowGreeting && command.rfind("QUIT", 0) == 0) {
                    const std::string bye = "221 raw.test closing\r\n";
                    (void)!write(fds[i].fd, bye.data(), bye.size());
                }
            }
        }
    }
    for (int fd : clients) close(fd);
}
