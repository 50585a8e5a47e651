#include "RawListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

int ListenOnLoopback(int &port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(addr.sin_port);
    return fd;
}

}  // namespace

RawListener::RawListener(Mode mode) : mode_(mode) {
    listener_ = ListenOnLoopback(port_);
    if (listener_ >= 0) thread_ = std::thread([this] { Serve(); });
}

RawListener::~RawListener() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
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
    while (!stop_) {
        std::vector<pollfd> fds{{listener_, POLLIN, 0}};
        for (int c : clients) fds.push_back({c, POLLIN, 0});
        if (poll(fds.data(), fds.size(), 20) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            const int client = accept(listener_, nullptr, nullptr);
            if (client >= 0) {
                if (mode_ != Silent) (void)!write(client, greeting.data(), greeting.size());
                clients.push_back(client);
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[512];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0 || mode_ == GreetThenClose) {
                close(fds[i].fd);
                clients.erase(std::find(clients.begin(), clients.end(), fds[i].fd));
                continue;
            }
            if (mode_ != StallAfterLogOn) continue;
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pending.find("\r\n")) != std::string::npos) {
                const std::string command = pending.substr(0, end);
                pending.erase(0, end + 2);
                if (command.rfind("EHLO", 0) == 0 || command.rfind("NOOP", 0) == 0) {
                    const std::string ok = "250 raw.test\r\n";
                    (void)!write(fds[i].fd, ok.data(), ok.size());
                }
            }
        }
    }
    for (int fd : clients) close(fd);
}
