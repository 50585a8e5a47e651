#include "TdsWriter.h"

namespace {
const uint8_t kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};  // SQL_Latin1_General_CP1_CI_AS

bool AtLeast72(uint32_t v) { return v >= 0x72000000u; }

// Days from 1970-01-01 to 1900-01-01.
constexpr int64_t kDays1900To1970 = 25567;
}  // namespace

std::string Utf8ToUcs2(const std::string &s) {
    std::string out;
    out.reserve(s.size() * 2);
    auto put = [&out](uint32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>((u >> 8) & 0xFF));
    };
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c >> 5) == 6 && i + 1 < s.size()) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c >> 4) == 14 && i + 2 < s.size()) {
            cp = c & 0x0F;
            n = 3;
        } else if ((c >> 3) == 30 && i + 3 < s.size()) {
            cp = c & 0x07;
            n = 4;
        } else {
            cp = '?';
            n = 1;
        }
        for (size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

std::string Ucs2ToUtf8(const char *data, size_t bytes) {
    std::string out;
    out.reserve(bytes / 2);
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        uint32_t u = p[i] | (p[i + 1] << 8);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes) {
            uint32_t lo = p[i + 2] | (p[i + 3] << 8);
            if (lo >= 0xDC00 && lo < 0xE000) {
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        if (u >= 0xD800 && u < 0xE000)  // a surrogate without its partner
            u = 0xFFFD;
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else if (u < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (u >> 18)));
            out.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

size_t Utf8Length(const std::string &s) {
    size_t n = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80) n += (c >> 3) == 30 ? 2 : 1;
    }
    return n;
}

TdsWriter::TdsWriter(uint32_t tdsVersion) : TdsVersion(tdsVersion) { Buffer.reserve(4096); }

void TdsWriter::U8(uint8_t v) { Buffer.push_back(static_cast<char>(v)); }
void TdsWriter::U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
}
void TdsWriter::U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
}
void TdsWriter::U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
}
void TdsWriter::Ucs2(const std::string &utf8) { Buffer += Utf8ToUcs2(utf8); }

void TdsWriter::BVarChar(const std::string &utf8) {
    std::string u = Utf8ToUcs2(utf8);
    if (u.size() > 510) u.resize(510);
    U8(static_cast<uint8_t>(u.size() / 2));
    Buffer += u;
}

void TdsWriter::USVarChar(const std::string &utf8) {
    std::string u = Utf8ToUcs2(utf8);
    if (u.size() > 0x1FFFE) u.resize(0x1FFFE);
    U16(static_cast<uint16_t>(u.size() / 2));
    Buffer += u;
}

void TdsWriter::EnvChange(uint8_t type, const std::string &newValue, const std::string &oldValue) {
    std::string n = Utf8ToUcs2(newValue), o = Utf8ToUcs2(oldValue);
    U8(0xE3);
    U16(static_cast<uint16_t>(3 + n.size() + o.size()));
    U8(type);
    U8(static_cast<uint8_t>(n.size() / 2));
    Buffer += n;
    U8(static_cast<uint8_t>(o.size() / 2));
    Buffer += o;
}

void TdsWriter::EnvChangeCollation() {
    U8(0xE3);
    U16(8);
    U8(7);
    U8(5);
    Buffer.append(reinterpret_cast<const char *>(kCollation), 5);
    U8(0);
}

void TdsWriter::Message(uint8_t token, int32_t number, uint8_t state, uint8_t cls,
                        const std::string &message, const std::string &server,
                        const std::string &procedure, int line) {
    std::string m = Utf8ToUcs2(message), s = Utf8ToUcs2(server), p = Utf8ToUcs2(procedure);
    if (m.size() > 0x1FFFE) m.resize(0x1FFFE);
    const size_t lineBytes = AtLeast72(TdsVersion) ? 4 : 2;
    const size_t len = 4 + 1 + 1 + 2 + m.size() + 1 + s.size() + 1 + p.size() + lineBytes;
    U8(token);
    U16(static_cast<uint16_t>(len));
    U32(static_cast<uint32_t>(number));
    U8(state);
    U8(cls);
    U16(static_cast<uint16_t>(m.size() / 2));
    Buffer += m;
    U8(static_cast<uint8_t>(s.size() / 2));
    Buffer += s;
    U8(static_cast<uint8_t>(p.size() / 2));
    Buffer += p;
    if (lineBytes == 4)
        U32(static_cast<uint32_t>(line));
    else
        U16(static_cast<uint16_t>(line));
}

void TdsWriter::Info(int32_t number, uint8_t state, uint8_t cls, const std::string &message,
                     const std::string &server, const std::string &procedure, int line) {
    Message(0xAB, number, state, cls, message, server, procedure, line);
}

void TdsWriter::Error(int32_t number, uint8_t state, uint8_t cls, const std::string &message,
                      const std::string &server, const std::string &procedure, int line) {
    Message(0xAA, number, state, cls, message, server, procedure, line);
}

void TdsWriter::LoginAck(uint32_t tdsVersion, const std::string &progName, uint32_t progVersion) {
    std::string p = Utf8ToUcs2(progName);
    U8(0xAD);
    U16(static_cast<uint16_t>(1 + 4 + 1 + p.size() + 4));
    U8(1);  // T-SQL
    // The version is big-endian in this token.
    U8(static_cast<uint8_t>(tdsVersion >> 24));
    U8(static_cast<uint8_t>(tdsVersion >> 16));
    U8(static_cast<uint8_t>(tdsVersion >> 8));
    U8(static_cast<uint8_t>(tdsVersion));
    U8(static_cast<uint8_t>(p.size() / 2));
    Buffer += p;
    U8(static_cast<uint8_t>(progVersion >> 24));
    U8(static_cast<uint8_t>(progVersion >> 16));
    U8(static_cast<uint8_t>(progVersion >> 8));
    U8(static_cast<uint8_t>(progVersion));
}

void TdsWriter::Done(uint16_t status, uint16_t curCmd, uint64_t rowCount, uint8_t token) {
    U8(token);
    U16(status);
    U16(curCmd);
    if (AtLeast72(TdsVersion))
        U64(rowCount);
    else
        U32(static_cast<uint32_t>(rowCount));
}

void TdsWriter::ReturnStatus(int32_t value) {
    U8(0x79);
    U32(static_cast<uint32_t>(value));
}

void TdsWriter::ColMetadata(const std::vector<SimColumn> &columns) {
    U8(0x81);
    U16(static_cast<uint16_t>(columns.size()));
    for (const SimColumn &c : columns) {
        if (AtLeast72(TdsVersion))
            U32(0);
        else
            U16(0);
        U16(c.Nullable ? 0x0009
                       : 0x0008);  // nullable bit; updateable "unknown" bit as servers send
        switch (c.Type) {
        case SimType::Int2: U8(0x34); break;
        case SimType::Int4: U8(0x38); break;
        case SimType::Int8: U8(0x7F); break;
        case SimType::IntN:
            U8(0x26);
            U8(static_cast<uint8_t>(c.Size));
            break;
        case SimType::DateTimeN:
            U8(0x6F);
            U8(8);
            break;
        case SimType::NVarChar:
            U8(0xE7);
            U16(static_cast<uint16_t>(c.Size * 2));
            Buffer.append(reinterpret_cast<const char *>(kCollation), 5);
            break;
        case SimType::VarChar:
            U8(0xA7);
            U16(static_cast<uint16_t>(c.Size));
            Buffer.append(reinterpret_cast<const char *>(kCollation), 5);
            break;
        }
        BVarChar(c.Name);
    }
}

void TdsWriter::Row() { U8(0xD1); }
void TdsWriter::Int2(int16_t v) { U16(static_cast<uint16_t>(v)); }
void TdsWriter::Int4(int32_t v) { U32(static_cast<uint32_t>(v)); }
void TdsWriter::Int8(int64_t v) { U64(static_cast<uint64_t>(v)); }

void TdsWriter::IntN(int size, int64_t v) {
    U8(static_cast<uint8_t>(size));
    switch (size) {
    case 1: U8(static_cast<uint8_t>(v)); break;
    case 2: U16(static_cast<uint16_t>(v)); break;
    case 4: U32(static_cast<uint32_t>(v)); break;
    default: U64(static_cast<uint64_t>(v)); break;
    }
}

void TdsWriter::NullIntN() { U8(0); }

void TdsWriter::DateTimeN(int64_t msLocal) {
    int64_t days = msLocal / 86400000;
    int64_t msOfDay = msLocal % 86400000;
    if (msOfDay < 0) {
        msOfDay += 86400000;
        --days;
    }
    // 1/300 s ticks, rounded as the server rounds milliseconds.
    const int64_t ticks = (msOfDay * 300 + 500) / 1000;
    U8(8);
    U32(static_cast<uint32_t>(static_cast<int32_t>(days + kDays1900To1970)));
    U32(static_cast<uint32_t>(ticks));
}

void TdsWriter::NullDateTimeN() { U8(0); }

void TdsWriter::NVarChar(const std::string &utf8, int maxChars) {
    std::string u = Utf8ToUcs2(utf8);
    if (u.size() > static_cast<size_t>(maxChars) * 2) u.resize(static_cast<size_t>(maxChars) * 2);
    U16(static_cast<uint16_t>(u.size()));
    Buffer += u;
}

void TdsWriter::VarChar(const std::string &latin, int maxBytes) {
    const size_t n = latin.size() > static_cast<size_t>(maxBytes) ? static_cast<size_t>(maxBytes)
                                                                  : latin.size();
    U16(static_cast<uint16_t>(n));
    Buffer.append(latin, 0, n);
}

void TdsWriter::NullVarLen() { U16(0xFFFF); }
