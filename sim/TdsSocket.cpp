#include "TdsSocket.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr size_t kHeader = 8;
constexpr size_t kMaxMessage = 64 * 1024 * 1024;  // refuse absurd requests rather than allocate
}  // namespace

TdsSocket::TdsSocket(int fd) : SocketFd(fd) {}

TdsSocket::~TdsSocket() {
    if (SocketFd >= 0) ::close(SocketFd);
}

void TdsSocket::Shutdown() { ::shutdown(SocketFd, SHUT_RDWR); }

bool TdsSocket::ReadExact(char *buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::recv(SocketFd, buf + got, n - got, 0);
        if (r > 0) {
            got += static_cast<size_t>(r);
        } else if (r == 0) {
            return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool TdsSocket::ReadMessage(TdsMessage &out) {
    out.Payload.clear();
    out.Status = 0;
    for (;;) {
        unsigned char h[kHeader];
        if (!ReadExact(reinterpret_cast<char *>(h), kHeader)) return false;
        const size_t len = (static_cast<size_t>(h[2]) << 8) | h[3];
        if (len < kHeader) return false;
        out.Type = h[0];
        const size_t body = len - kHeader;
        const size_t at = out.Payload.size();
        if (at + body > kMaxMessage) return false;
        out.Payload.resize(at + body);
        if (body > 0 && !ReadExact(&out.Payload[at], body)) return false;
        out.Status |= static_cast<uint8_t>(h[1] & 0x02);
        if (h[1] & 0x01) {
            out.Status |= static_cast<uint8_t>(h[1]);
            return true;
        }
    }
}

bool TdsSocket::WaitReadable(int ms) {
    pollfd p{SocketFd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, ms);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

bool TdsSocket::WriteMessage(const std::string &payload, uint8_t type) {
    const size_t chunk = static_cast<size_t>(MaxPacketSize) - kHeader;
    size_t pos = 0;
    std::string packet;
    packet.reserve(static_cast<size_t>(MaxPacketSize));
    do {
        const size_t n = payload.size() - pos < chunk ? payload.size() - pos : chunk;
        const bool last = pos + n == payload.size();
        const size_t len = n + kHeader;
        packet.clear();
        packet.push_back(static_cast<char>(type));
        packet.push_back(static_cast<char>(last ? 0x01 : 0x00));
        packet.push_back(static_cast<char>((len >> 8) & 0xFF));
        packet.push_back(static_cast<char>(len & 0xFF));
        packet.push_back(static_cast<char>((Spid >> 8) & 0xFF));
        packet.push_back(static_cast<char>(Spid & 0xFF));
        packet.push_back(static_cast<char>(PacketId++));
        packet.push_back(0);
        packet.append(payload, pos, n);
        size_t sent = 0;
        while (sent < packet.size()) {
            ssize_t w = ::send(SocketFd, packet.data() + sent, packet.size() - sent, MSG_NOSIGNAL);
            if (w > 0)
                sent += static_cast<size_t>(w);
            else if (w < 0 && errno == EINTR)
                continue;
            else
                return false;
        }
        pos += n;
    } while (pos < payload.size());
    return true;
}
