#include "RawListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
    std::vector<int> held;  // Silent: connections kept open without a word until the end
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) continue;
        if (mode_ == Silent) {
            held.push_back(client);
            continue;
        }
        const char greeting[] = "220 raw.test ESMTP ready\r\n";
        (void)!write(client, greeting, sizeof greeting - 1);
        pollfd c{client, POLLIN, 0};
        char buffer[512];
        if (poll(&c, 1, 2000) > 0) (void)!read(client, buffer, sizeof buffer);
        close(client);
    }
    for (int fd : held) close(fd);
}
