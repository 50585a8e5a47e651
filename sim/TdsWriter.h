#pragma once
// TdsWriter: builds a tabular-result token stream (the payload of server-to-client messages).
// Not thread-safe; one writer per reply. Integers little-endian unless a method says otherwise.
// The TDS version decides the width of a few fields (DONE row count, UserType, error line).

#include <cstdint>
#include <string>
#include <vector>

enum class SimType {
    Int2,       // smallint, NOT NULL (fixed-length INT2)
    Int4,       // int, NOT NULL (fixed-length INT4)
    Int8,       // bigint, NOT NULL (fixed-length INT8)
    IntN,       // nullable integer of size bytes (1, 2, 4, 8)
    DateTimeN,  // nullable datetime
    NVarChar,   // nvarchar(size characters)
    VarChar,    // varchar(size bytes), Latin-1 collation
};

struct SimColumn {
    std::string Name;
    SimType Type;
    int Size;  // IntN: bytes; NVarChar: characters; VarChar: bytes; otherwise unused
    bool Nullable;
};

class TdsWriter {
public:
    explicit TdsWriter(uint32_t tdsVersion);

    static constexpr uint8_t DoneFinal = 0x00;
    static constexpr uint8_t DoneMore = 0x01;
    static constexpr uint8_t DoneError = 0x02;
    static constexpr uint8_t DoneCount = 0x10;
    static constexpr uint8_t DoneAttention = 0x20;
    static constexpr uint16_t CmdSelect = 0xC1;

    void U8(uint8_t v);
    void U16(uint16_t v);
    void U32(uint32_t v);
    void U64(uint64_t v);
    void Ucs2(const std::string &utf8);       // raw UCS-2LE, no length
    void BVarChar(const std::string &utf8);   // 1-byte character count + UCS-2LE
    void USVarChar(const std::string &utf8);  // 2-byte character count + UCS-2LE

    void EnvChange(uint8_t type, const std::string &newValue, const std::string &oldValue);
    void EnvChangeCollation();
    void Info(int32_t number, uint8_t state, uint8_t cls, const std::string &message,
              const std::string &server, const std::string &procedure = {}, int line = 1);
    void Error(int32_t number, uint8_t state, uint8_t cls, const std::string &message,
               const std::string &server, const std::string &procedure = {}, int line = 1);
    void LoginAck(uint32_t tdsVersion, const std::string &progName, uint32_t progVersion);
    void Done(uint16_t status, uint16_t curCmd, uint64_t rowCount, uint8_t token = 0xFD);
    void ReturnStatus(int32_t value);

    // Result set: ColMetadata, then per row Row() followed by one value per column.
    void ColMetadata(const std::vector<SimColumn> &columns);
    void Row();
    void Int2(int16_t v);
    void Int4(int32_t v);
    void Int8(int64_t v);
    void IntN(int size, int64_t v);
    void NullIntN();
    // msLocal: milliseconds since 1970-01-01 in the server's local time (no zone).
    void DateTimeN(int64_t msLocal);
    void NullDateTimeN();
    void NVarChar(const std::string &utf8, int maxChars);
    void VarChar(const std::string &latin, int maxBytes);
    void NullVarLen();

    const std::string &Bytes() const { return Buffer; }
    std::string &Bytes() { return Buffer; }
    uint32_t Version() const { return TdsVersion; }

private:
    void Message(uint8_t token, int32_t number, uint8_t state, uint8_t cls,
                 const std::string &message, const std::string &server,
                 const std::string &procedure, int line);

    uint32_t TdsVersion;
    std::string Buffer;
};

// UTF-8 <-> UCS-2LE helpers (characters outside the BMP become surrogate pairs; a surrogate
// without its partner decodes as U+FFFD).
std::string Utf8ToUcs2(const std::string &utf8);
std::string Ucs2ToUtf8(const char *data, size_t bytes);
size_t Utf8Length(const std::string &utf8);  // in UTF-16 code units
