#pragma once
// TdsLogin7: the fields of a LOGIN7 request that sqlsim uses, read at their offsets.

#include <cstdint>
#include <string>

struct TdsLogin7 {
    uint32_t TdsVersion = 0;  // as the client wrote it (little-endian field, e.g. 0x74000004)
    uint32_t PacketSize = 0;
    uint32_t ClientPid = 0;
    std::string HostName, UserName, Password, AppName, ServerName, LibraryName, Language, Database;
    bool IntegratedSecurity = false;  // a non-empty SSPI field

    // False when the payload is too short or a field points outside it.
    static bool Parse(const std::string &payload, TdsLogin7 &out);
    // The password encoding of LOGIN7 (nibble swap, then XOR 0xA5), for clients written here.
    static std::string EncodePassword(const std::string &ucs2);
};
