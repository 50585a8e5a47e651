#include "ConnectionSocket.h"

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kivra::odbc {

namespace {

struct SocketEntry {
    int Fd;
    ino_t Inode;
};

// Every descriptor of the process that is a socket, with its inode. Read from the links'
// names ("socket:[INODE]"), so that the descriptors of other threads are not touched.
std::vector<SocketEntry> ListSockets() {
    std::vector<SocketEntry> out;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir) return out;
    const int own = dirfd(dir);
    while (dirent *e = readdir(dir)) {
        char *end = nullptr;
        const long fd = std::strtol(e->d_name, &end, 10);
        if (end == e->d_name || *end != '\0' || fd == own) continue;
        char target[64];
        const ssize_t n = readlinkat(own, e->d_name, target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        unsigned long long inode = 0;
        if (std::sscanf(target, "socket:[%llu]", &inode) != 1) continue;
        out.push_back({static_cast<int>(fd), static_cast<ino_t>(inode)});
    }
    closedir(dir);
    return out;
}

int IntOption(int fd, int option) {
    int value = 0;
    socklen_t len = sizeof value;
    return getsockopt(fd, SOL_SOCKET, option, &value, &len) == 0 ? value : -1;
}

// The port of an IPv4 or IPv6 address, 0 for any other family.
int PortOf(const sockaddr_storage &a) {
    if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in &>(a).sin_port);
    if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6 &>(a).sin6_port);
    return 0;
}

}  // namespace

SocketSnapshot TakeSocketSnapshot() {
    SocketSnapshot out;
    for (const SocketEntry &s : ListSockets()) out.insert(s.Inode);
    return out;
}

int DuplicateNewClientSocket(const SocketSnapshot &before) {
    const std::vector<SocketEntry> now = ListSockets();
    std::set<int> listening;
    std::vector<std::pair<SocketEntry, int>> candidates;  // with their local port
    for (const SocketEntry &s : now) {
        if (IntOption(s.Fd, SO_TYPE) != SOCK_STREAM) continue;
        sockaddr_storage local{};
        socklen_t len = sizeof local;
        if (getsockname(s.Fd, reinterpret_cast<sockaddr *>(&local), &len) != 0) continue;
        const int port = PortOf(local);
        if (port == 0) continue;
        if (IntOption(s.Fd, SO_ACCEPTCONN) == 1) {
            listening.insert(port);
            continue;
        }
        if (before.count(s.Inode)) continue;
        sockaddr_storage peer{};
        len = sizeof peer;
        if (getpeername(s.Fd, reinterpret_cast<sockaddr *>(&peer), &len) != 0) continue;
        candidates.push_back({s, port});
    }
    const SocketEntry *found = nullptr;
    for (const auto &[s, port] : candidates) {
        if (listening.count(port)) continue;
        if (found) return -1;
        found = &s;
    }
    if (!found) return -1;
    const int dup = fcntl(found->Fd, F_DUPFD_CLOEXEC, 0);
    if (dup < 0) return -1;
    // The descriptor may have been closed and its number reused since it was listed.
    struct stat st;
    if (fstat(dup, &st) != 0 || st.st_ino != found->Inode) {
        close(dup);
        return -1;
    }
    return dup;
}

}  // namespace kivra::odbc
