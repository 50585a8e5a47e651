#include "SqlBrowserResponder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

constexpr unsigned char kBroadcastEx = 0x02;
constexpr unsigned char kUnicastEx = 0x03;
constexpr unsigned char kUnicastInstance = 0x04;
constexpr unsigned char kServerResponse = 0x05;
// The answer's length field could state 65535 bytes, but a UDP datagram over IPv4 carries at most
// 65507: a longer answer is never sent at all (EMSGSIZE), so the data stops 3 header bytes short.
constexpr std::size_t kMaxData = 65507 - 3;
constexpr std::size_t kMaxInstanceData = 1024;  // an answer to 0x04 is at most this long

bool EqualNoCase(const std::string &a, const std::string &b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string Record(const std::string &serverName, const SqlBrowserResponder::Instance &i) {
    return "ServerName;" + serverName + ";InstanceName;" + i.Name +
           ";IsClustered;No;Version;16.0.1000.6;tcp;" + std::to_string(i.Port) + ";;";
}

std::string Datagram(const std::string &data) {
    std::string d(3, '\0');
    d[0] = static_cast<char>(kServerResponse);
    d[1] = static_cast<char>(data.size() & 0xFF);
    d[2] = static_cast<char>((data.size() >> 8) & 0xFF);
    return d + data;
}

}  // namespace

SqlBrowserResponder::SqlBrowserResponder(std::string serverName)
    : ServerName(std::move(serverName)) {}

SqlBrowserResponder::~SqlBrowserResponder() { Stop(); }

void SqlBrowserResponder::SetInstances(std::vector<Instance> instances) {
    std::lock_guard<std::mutex> lock(Mutex);
    Instances = std::move(instances);
}

std::string SqlBrowserResponder::Response(const std::string &serverName,
                                          const std::vector<Instance> &instances) {
    std::string data;
    for (const Instance &i : instances) {
        const std::string r = Record(serverName, i);
        if (data.size() + r.size() <= kMaxData) data += r;
    }
    return Datagram(data);
}

bool SqlBrowserResponder::Start(const std::string &address, unsigned short port,
                                std::string &error) {
    if (Running()) {
        error = "the browser responder already runs";
        return false;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        error = "not an IPv4 address: " + address;
        return false;
    }
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    if (bind(s, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        error = "bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        close(s);
        return false;
    }
    socklen_t len = sizeof sa;
    getsockname(s, reinterpret_cast<sockaddr *>(&sa), &len);
    if (pipe2(WakePipe, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        close(s);
        return false;
    }
    Socket = s;
    BoundPort = ntohs(sa.sin_port);
    if (ServerName.empty()) ServerName = address;
    Thread = std::thread([this] { Serve(); });
    return true;
}

void SqlBrowserResponder::Stop() {
    if (!Thread.joinable()) return;
    const char stop = 1;
    [[maybe_unused]] const ssize_t w = write(WakePipe[1], &stop, 1);
    Thread.join();
    close(Socket);
    close(WakePipe[0]);
    close(WakePipe[1]);
    Socket = -1;
    WakePipe[0] = WakePipe[1] = -1;
    BoundPort = 0;
}

std::string SqlBrowserResponder::Answer(const char *request, std::size_t length) const {
    if (length == 0) return {};
    const auto kind = static_cast<unsigned char>(request[0]);
    std::lock_guard<std::mutex> lock(Mutex);
    if ((kind == kUnicastEx || kind == kBroadcastEx) && length == 1)
        return Response(ServerName, Instances);
    if (kind == kUnicastInstance && length >= 2) {
        // The name runs to its terminating zero or the end of the datagram (at most 32 bytes).
        const char *name = request + 1;
        const std::size_t n = strnlen(name, length - 1);
        if (n == 0 || n > 32) return {};
        const std::string wanted(name, n);
        for (const Instance &i : Instances)
            if (EqualNoCase(i.Name, wanted)) {
                const std::string r = Record(ServerName, i);
                return r.size() <= kMaxInstanceData ? Datagram(r) : std::string();
            }
    }
    return {};
}

void SqlBrowserResponder::Serve() {
    char buffer[2048];
    for (;;) {
        pollfd fds[2] = {{Socket, POLLIN, 0}, {WakePipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = recvfrom(Socket, buffer, sizeof buffer, 0,
                                   reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n <= 0) continue;
        const std::string answer = Answer(buffer, static_cast<std::size_t>(n));
        if (!answer.empty())
            sendto(Socket, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr *>(&from),
                   fromLength);
    }
}
