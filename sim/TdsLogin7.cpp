#include "TdsLogin7.h"

#include "TdsWriter.h"

namespace {
uint32_t Le32(const std::string &p, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(p[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(p[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(p[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(p[at + 3])) << 24;
}
uint16_t Le16(const std::string &p, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(p[at]) |
                                 static_cast<unsigned char>(p[at + 1]) << 8);
}

// Reads the offset/length pair at pairAt as a UCS-2 string; false when out of bounds.
bool Field(const std::string &p, size_t pairAt, std::string &out, bool password = false) {
    const size_t off = Le16(p, pairAt), chars = Le16(p, pairAt + 2);
    if (chars == 0) {
        out.clear();
        return true;
    }
    if (off + chars * 2 > p.size()) return false;
    std::string raw = p.substr(off, chars * 2);
    if (password) {
        for (char &c : raw) {
            unsigned char b = static_cast<unsigned char>(c) ^ 0xA5;
            c = static_cast<char>(((b & 0x0F) << 4) | (b >> 4));
        }
    }
    out = Ucs2ToUtf8(raw.data(), raw.size());
    return true;
}
}  // namespace

bool TdsLogin7::Parse(const std::string &p, TdsLogin7 &out) {
    if (p.size() < 86 || Le32(p, 0) > p.size() + 0u || Le32(p, 0) < 86) return false;
    out.TdsVersion = Le32(p, 4);
    out.PacketSize = Le32(p, 8);
    out.ClientPid = Le32(p, 16);
    constexpr size_t base = 36;
    const bool ok = Field(p, base + 0, out.HostName) && Field(p, base + 4, out.UserName) &&
                    Field(p, base + 8, out.Password, true) && Field(p, base + 12, out.AppName) &&
                    Field(p, base + 16, out.ServerName) && Field(p, base + 24, out.LibraryName) &&
                    Field(p, base + 28, out.Language) && Field(p, base + 32, out.Database);
    if (!ok) return false;
    // ClientID (6 bytes) at 72, then SSPI offset/length at 78.
    uint32_t sspiLen = Le16(p, 80);
    if (sspiLen == 0xFFFF && p.size() >= 94) sspiLen = Le32(p, 90);
    out.IntegratedSecurity = sspiLen > 0;
    return true;
}

std::string TdsLogin7::EncodePassword(const std::string &ucs2) {
    std::string out = ucs2;
    for (char &c : out) {
        unsigned char b = static_cast<unsigned char>(c);
        b = static_cast<unsigned char>(((b & 0x0F) << 4) | (b >> 4));
        c = static_cast<char>(b ^ 0xA5);
    }
    return out;
}
