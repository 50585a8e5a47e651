#include "TdsTestClient.h"

#include "TdsLogin7.h"
#include "TdsWriter.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Reader {
    const std::string &s;
    size_t pos = 0;
    bool bad = false;
    explicit Reader(const std::string &str) : s(str) {}
    bool Need(size_t n) {
        if (pos + n > s.size()) bad = true;
        return !bad;
    }
    uint64_t Le(size_t n) {
        if (!Need(n)) return 0;
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i)
            v |= static_cast<uint64_t>(static_cast<unsigned char>(s[pos + i])) << (8 * i);
        pos += n;
        return v;
    }
    std::string Bytes(size_t n) {
        if (!Need(n)) return {};
        std::string r = s.substr(pos, n);
        pos += n;
        return r;
    }
    std::string Ucs2(size_t chars) {
        const std::string b = Bytes(chars * 2);
        return Ucs2ToUtf8(b.data(), b.size());
    }
};

std::string DateText(int32_t days, uint32_t ticks) {
    // Days since 1900-01-01 and 1/300 s: as "YYYY-MM-DD HH:MM:SS.mmm".
    const int64_t secs = (static_cast<int64_t>(days) - 25567) * 86400 + ticks / 300;
    const int ms = static_cast<int>((ticks % 300) * 1000 / 300);
    const time_t t = static_cast<time_t>(secs);
    tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return buf;
}

}  // namespace

int TdsTestResultSet::Column(const std::string &name) const {
    for (size_t i = 0; i < Columns.size(); ++i)
        if (Columns[i].Name == name) return static_cast<int>(i);
    return -1;
}

bool TdsTestReply::HasError(int number) const {
    for (const TdsTestMessage &m : Messages)
        if (m.Error && m.Number == number) return true;
    return false;
}

TdsTestClient::TdsTestClient() = default;
TdsTestClient::~TdsTestClient() { Close(); }

void TdsTestClient::Close() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
}

bool TdsTestClient::Connect(uint16_t port, int timeoutMs) {
    Close();
    Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    const int one = 1;  // packets go out at once, as real clients send them
    ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(Fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        Close();
        return false;
    }
    PacketSize = 4096;
    return true;
}

bool TdsTestClient::SendPacket(uint8_t type, const std::string &payload, size_t chunk) {
    if (chunk == 0) chunk = PacketSize - 8;
    size_t pos = 0;
    uint8_t id = 1;
    do {
        const size_t n = payload.size() - pos < chunk ? payload.size() - pos : chunk;
        const bool last = pos + n == payload.size();
        std::string p;
        p.push_back(static_cast<char>(type));
        p.push_back(last ? 1 : 0);
        p.push_back(static_cast<char>((n + 8) >> 8));
        p.push_back(static_cast<char>((n + 8) & 0xFF));
        p.append("\0\0", 2);
        p.push_back(static_cast<char>(id++));
        p.push_back(0);
        p.append(payload, pos, n);
        if (::send(Fd, p.data(), p.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(p.size()))
            return false;
        pos += n;
    } while (pos < payload.size());
    return true;
}

bool TdsTestClient::Prelogin(TdsTestReply &reply) {
    // VERSION and ENCRYPTION (off), terminator, data.
    std::string p = {
        0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00, 0x01, static_cast<char>(0xFF)};
    p += std::string("\x09\x00\x00\x00\x00\x00", 6);
    p.push_back(0x00);
    if (!SendPacket(0x12, p)) return false;
    reply = ReadReply();
    return reply.Ok;
}

TdsTestReply TdsTestClient::Login(const std::string &user, const std::string &password,
                                  const std::string &app, uint32_t version, uint32_t packetSize,
                                  bool sspi, size_t splitAt, const std::string &database) {
    TdsVersion = version;
    const std::string fields[] = {Utf8ToUcs2("TESTHOST"),
                                  Utf8ToUcs2(user),
                                  TdsLogin7::EncodePassword(Utf8ToUcs2(password)),
                                  Utf8ToUcs2(app),
                                  Utf8ToUcs2("127.0.0.1"),
                                  std::string(),
                                  Utf8ToUcs2("test-lib"),
                                  std::string(),
                                  Utf8ToUcs2(database)};
    const std::string sspiBlob = sspi ? std::string("NTLMSSP\0\x01\0\0\0", 12) : std::string();
    const size_t header = 94;
    TdsWriter w(0x74000004);
    std::string data;
    std::string pairs;
    auto pair = [&](size_t off, size_t len) {
        pairs.push_back(static_cast<char>(off & 0xFF));
        pairs.push_back(static_cast<char>(off >> 8));
        pairs.push_back(static_cast<char>(len & 0xFF));
        pairs.push_back(static_cast<char>(len >> 8));
    };
    // Put the strings in reverse order, to prove the server reads them by offset.
    size_t offsets[9];
    size_t at = header;
    for (int i = 8; i >= 0; --i) {
        offsets[i] = at;
        data += fields[i];
        at += fields[i].size();
    }
    for (int i = 0; i < 9; ++i) pair(offsets[i], fields[i].size() / 2);
    pairs.append(6, '\0');  // ClientID
    pair(at, sspiBlob.size());
    data += sspiBlob;
    at += sspiBlob.size();
    pair(at, 0);  // AtchDBFile
    pair(at, 0);  // ChangePassword
    pairs.append(4, '\0');
    w.U32(static_cast<uint32_t>(header + data.size()));
    w.U32(version);
    w.U32(packetSize);
    w.U32(7);
    w.U32(4242);  // client pid
    w.U32(0);
    w.U8(0xE0);
    w.U8(sspi ? 0x83 : 0x03);
    w.U8(0);
    w.U8(0);
    w.U32(0);
    w.U32(0x409);
    std::string payload = w.Bytes() + pairs + data;
    TdsTestReply r;
    if (!SendPacket(0x10, payload, splitAt)) return r;
    r = ReadReply();
    if (r.LoginAck) {
        for (const auto &e : r.EnvChanges)
            if (e.first == 4) PacketSize = static_cast<size_t>(std::stoul(e.second));
    }
    return r;
}

bool TdsTestClient::Open(uint16_t port, const std::string &user, const std::string &password,
                         const std::string &app, uint32_t version, uint32_t packetSize) {
    TdsTestReply pre;
    if (!Connect(port) || !Prelogin(pre)) return false;
    return Login(user, password, app, version, packetSize).LoginAck;
}

bool TdsTestClient::SendBatch(const std::string &sql) {
    std::string payload;
    if (TdsVersion >= 0x72000000u) {
        // ALL_HEADERS with the transaction descriptor header.
        TdsWriter w(TdsVersion);
        w.U32(22);
        w.U32(18);
        w.U16(2);
        w.U64(0);
        w.U32(1);
        payload = w.Bytes();
    }
    payload += Utf8ToUcs2(sql);
    return SendPacket(0x01, payload);
}

bool TdsTestClient::SendAttention() { return SendPacket(0x06, std::string()); }

TdsTestReply TdsTestClient::ReadReply() {
    TdsTestReply r;
    std::string stream;
    for (;;) {
        unsigned char h[8];
        size_t got = 0;
        while (got < 8) {
            const ssize_t n = ::recv(Fd, h + got, 8 - got, 0);
            if (n <= 0) return r;
            got += static_cast<size_t>(n);
        }
        const size_t len = (static_cast<size_t>(h[2]) << 8) | h[3];
        r.PacketSizes.push_back(len);
        r.PacketSpids.push_back(static_cast<uint16_t>((h[4] << 8) | h[5]));
        std::string body(len - 8, '\0');
        got = 0;
        while (got < body.size()) {
            const ssize_t n = ::recv(Fd, &body[got], body.size() - got, 0);
            if (n <= 0) return r;
            got += static_cast<size_t>(n);
        }
        stream += body;
        if (h[1] & 1) break;
    }
    if (!stream.empty() && static_cast<unsigned char>(stream[0]) == 0x00 &&
        r.PacketSizes.size() == 1 && stream.size() < 100) {
        r.Ok = true;  // a PRELOGIN reply (option table), not a token stream
        return r;
    }
    r.Ok = Parse(stream, r);
    return r;
}

TdsTestReply TdsTestClient::Batch(const std::string &sql) {
    if (!SendBatch(sql)) return {};
    return ReadReply();
}

bool TdsTestClient::Readable(int timeoutMs) {
    pollfd p{Fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

bool TdsTestClient::ClosedByServer(int timeoutMs) {
    pollfd p{Fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char c;
    return ::recv(Fd, &c, 1, MSG_PEEK) <= 0;
}

bool TdsTestClient::Parse(const std::string &stream, TdsTestReply &r) {
    Reader in(stream);
    const bool wide = TdsVersion >= 0x72000000u;
    TdsTestResultSet *current = nullptr;
    while (in.pos < stream.size() && !in.bad) {
        const auto token = static_cast<uint8_t>(in.Le(1));
        switch (token) {
        case 0x81: {
            r.Results.emplace_back();
            current = &r.Results.back();
            const auto count = in.Le(2);
            for (uint64_t i = 0; i < count && !in.bad; ++i) {
                TdsTestColumn c;
                in.Le(wide ? 4 : 2);
                c.Nullable = (in.Le(2) & 1) != 0;
                c.Type = static_cast<uint8_t>(in.Le(1));
                switch (c.Type) {
                case 0x34: c.Size = 2; break;
                case 0x38: c.Size = 4; break;
                case 0x7F: c.Size = 8; break;
                case 0x3D: c.Size = 8; break;
                case 0x26:
                case 0x6F: c.Size = static_cast<int>(in.Le(1)); break;
                case 0xA7:
                case 0xE7:
                case 0xEF:
                    c.Size = static_cast<int>(in.Le(2));
                    in.Bytes(5);
                    break;
                default: return false;
                }
                c.Name = in.Ucs2(in.Le(1));
                current->Columns.push_back(c);
            }
            break;
        }
        case 0xD1: {
            if (!current) return false;
            std::vector<std::string> row;
            for (const TdsTestColumn &c : current->Columns) {
                std::string v;
                switch (c.Type) {
                case 0x34: v = std::to_string(static_cast<int16_t>(in.Le(2))); break;
                case 0x38: v = std::to_string(static_cast<int32_t>(in.Le(4))); break;
                case 0x7F: v = std::to_string(static_cast<int64_t>(in.Le(8))); break;
                case 0x26: {
                    const auto n = in.Le(1);
                    if (n == 0)
                        v = "NULL";
                    else if (n == 1)
                        v = std::to_string(in.Le(1));
                    else if (n == 2)
                        v = std::to_string(static_cast<int16_t>(in.Le(2)));
                    else if (n == 4)
                        v = std::to_string(static_cast<int32_t>(in.Le(4)));
                    else
                        v = std::to_string(static_cast<int64_t>(in.Le(8)));
                    break;
                }
                case 0x6F:
                case 0x3D: {
                    const auto n = c.Type == 0x3D ? 8 : in.Le(1);
                    if (n == 0) {
                        v = "NULL";
                    } else {
                        const auto days = static_cast<int32_t>(in.Le(4));
                        v = DateText(days, static_cast<uint32_t>(in.Le(4)));
                    }
                    break;
                }
                case 0xA7:
                case 0xE7:
                case 0xEF: {
                    const auto n = in.Le(2);
                    if (n == 0xFFFF)
                        v = "NULL";
                    else if (c.Type == 0xA7)
                        v = in.Bytes(n);
                    else
                        v = in.Ucs2(n / 2);
                    break;
                }
                default: return false;
                }
                row.push_back(v);
            }
            current->Rows.push_back(row);
            break;
        }
        case 0xFD:
        case 0xFE:
        case 0xFF:
            r.DoneStatus.push_back(static_cast<uint16_t>(in.Le(2)));
            in.Le(2);
            in.Le(wide ? 8 : 4);
            break;
        case 0xAA:
        case 0xAB: {
            const auto len = in.Le(2);
            const size_t end = in.pos + len;
            TdsTestMessage m;
            m.Error = token == 0xAA;
            m.Number = static_cast<int32_t>(in.Le(4));
            in.Le(1);
            m.Cls = static_cast<int>(in.Le(1));
            m.Text = in.Ucs2(in.Le(2));
            in.pos = end;
            r.Messages.push_back(m);
            break;
        }
        case 0xE3: {
            const auto len = in.Le(2);
            const size_t end = in.pos + len;
            const int type = static_cast<int>(in.Le(1));
            std::string value;
            if (type != 7) value = in.Ucs2(in.Le(1));
            r.EnvChanges.emplace_back(type, value);
            in.pos = end;
            break;
        }
        case 0xAD: {
            const auto len = in.Le(2);
            in.pos += len;
            r.LoginAck = true;
            break;
        }
        case 0x79: in.Le(4); break;
        default: return false;
        }
    }
    return !in.bad && !r.DoneStatus.empty() && (r.DoneStatus.back() & 0x01) == 0;
}
