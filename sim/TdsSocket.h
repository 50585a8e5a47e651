#pragma once
// TdsSocket: TDS packet framing over one connected, blocking TCP socket.
// Owned and used by one connection thread; Shutdown() may be called from any thread to make a
// blocked read on the socket return (the connection then ends). Closes the descriptor on
// destruction.

#include <cstdint>
#include <string>

struct TdsMessage {
    uint8_t Type = 0;    // 0x01 batch, 0x03 RPC, 0x06 attention, 0x10 LOGIN7, 0x12 PRELOGIN
    uint8_t Status = 0;  // status of the last packet (0x02 ignore is kept from any packet)
    std::string Payload;
};

class TdsSocket {
public:
    explicit TdsSocket(int fd);
    ~TdsSocket();
    TdsSocket(const TdsSocket &) = delete;
    TdsSocket &operator=(const TdsSocket &) = delete;

    // Reads packets until end of message. False on a closed socket or a framing error.
    bool ReadMessage(TdsMessage &out);
    // Waits up to ms for data; true when a message (or EOF) can be read without blocking long.
    bool WaitReadable(int ms);
    // Sends payload as type 0x04 packets no larger than the packet size, end-of-message on the
    // last. The SPID field of every header carries spid.
    bool WriteMessage(const std::string &payload, uint8_t type = 0x04);

    void SetPacketSize(int size) { MaxPacketSize = size; }
    int PacketSize() const { return MaxPacketSize; }
    void SetSpid(uint16_t spid) { Spid = spid; }
    void Shutdown();
    int Fd() const { return SocketFd; }

private:
    bool ReadExact(char *buf, size_t n);

    int SocketFd;
    int MaxPacketSize = 4096;
    uint16_t Spid = 0;
    uint8_t PacketId = 1;
};
