#pragma once
// Asks SQL Server Browser services (UDP, port 1434 by default) which instances they offer:
// one CLNT_UCAST_EX request (the single byte 0x03) to each target, then the SVR_RESP answers
// (0x05, a little-endian 16-bit size, then "ServerName;H;InstanceName;I;...;tcp;PORT;...;;"
// records) collected for a short while. Unicast only: the client never broadcasts.
//
// Any thread; Browse blocks the calling thread for at most the wait time (less when every
// target has answered). Keeps no state between calls.

#include <QByteArray>

#include <string>
#include <vector>

namespace kivra {

struct SqlBrowserTarget {
    std::string Host;  // address or host name
    unsigned short Port = 1434;
};

struct SqlBrowserInstance {
    std::string ServerName;    // the machine name the service reports
    std::string InstanceName;  // "MSSQLSERVER" for the default instance
    int TcpPort = 0;           // 0 when the instance listens on no TCP port

    // "HOST" for the default instance, "HOST\INSTANCE" for a named one.
    std::string DisplayName() const;
};

class SqlBrowserClient {
public:
    SqlBrowserClient(std::vector<SqlBrowserTarget> targets, int waitMs);

    // Asks every target and fills found with the instances that answered, each listed once
    // (by display name, letter case ignored), in the order the answers came. Returns false with
    // error set only when no request could be made at all (no UDP socket); a target that does
    // not resolve or does not answer just adds nothing.
    bool Browse(std::vector<SqlBrowserInstance> &found, std::string &error) const;

    // The instances of one SVR_RESP datagram. Records whose names could not be listed safely
    // (empty, control characters, or any of , ; { } = \) are dropped; an ill-formed datagram
    // gives none.
    static std::vector<SqlBrowserInstance> ParseResponse(const QByteArray &datagram);

private:
    std::vector<SqlBrowserTarget> Targets;
    int WaitMs;
};

}  // namespace kivra
