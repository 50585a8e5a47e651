#pragma once
// TdsTestClient: a minimal TDS client for tests that need to see what sqlsim sends on the wire
// (token types, column types, packet sizes, header SPIDs) or to send what the command-line
// clients cannot (attention, a chosen TDS version, packet size, SSPI, split LOGIN7).
// Blocking socket with a receive time-out, so a test never hangs. One thread only.

#include <cstdint>
#include <string>
#include <vector>

struct TdsTestColumn {
    std::string Name;
    uint8_t Type = 0;  // TDS type code (0x34 INT2, 0x26 INTN, 0xE7 NVARCHAR, ...)
    int Size = 0;      // max length in bytes for variable types
    bool Nullable = false;
};

struct TdsTestResultSet {
    std::vector<TdsTestColumn> Columns;
    std::vector<std::vector<std::string>> Rows;  // values as text; "NULL" for a null
    int Column(const std::string &name) const;   // index, -1 when absent
};

struct TdsTestMessage {
    bool Error = false;
    int32_t Number = 0;
    int Cls = 0;
    std::string Text;
};

struct TdsTestReply {
    bool Ok = false;  // a whole reply arrived and parsed
    std::vector<TdsTestResultSet> Results;
    std::vector<TdsTestMessage> Messages;
    std::vector<uint16_t> DoneStatus;  // every DONE/DONEPROC/DONEINPROC status, in order
    std::vector<size_t> PacketSizes;   // bytes of each packet, header included
    std::vector<uint16_t> PacketSpids;
    std::vector<std::pair<int, std::string>> EnvChanges;  // type, new value
    bool LoginAck = false;
    bool HasError(int number) const;
};

class TdsTestClient {
public:
    TdsTestClient();
    ~TdsTestClient();
    bool Connect(uint16_t port, int timeoutMs = 5000);
    bool Prelogin(TdsTestReply &reply);
    // splitAt > 0 sends the LOGIN7 in packets of that many payload bytes.
    TdsTestReply Login(const std::string &user, const std::string &password,
                       const std::string &app = "sqlsim-test", uint32_t version = 0x74000004,
                       uint32_t packetSize = 4096, bool sspi = false, size_t splitAt = 0,
                       const std::string &database = "");
    // Connect, PRELOGIN and LOGIN7 in one; false unless the login was acknowledged.
    bool Open(uint16_t port, const std::string &user = "sa",
              const std::string &password = "Kivra-Test-1", const std::string &app = "sqlsim-test",
              uint32_t version = 0x74000004, uint32_t packetSize = 4096);
    bool SendBatch(const std::string &sql);
    bool SendAttention();
    TdsTestReply ReadReply();
    TdsTestReply Batch(const std::string &sql);
    // True when the server closed the connection (read returns EOF) within timeoutMs.
    bool ClosedByServer(int timeoutMs = 3000);
    // True when data (or EOF) arrives within timeoutMs.
    bool Readable(int timeoutMs);
    void Close();
    uint32_t Version() const { return TdsVersion; }

private:
    bool SendPacket(uint8_t type, const std::string &payload, size_t chunk = 0);
    bool Parse(const std::string &stream, TdsTestReply &reply);

    int Fd = -1;
    uint32_t TdsVersion = 0x74000004;
    size_t PacketSize = 4096;
};
