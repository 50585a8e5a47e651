#pragma once
// SimTcpListener: opens a non-blocking, close-on-exec IPv4 listening socket.

#include <cstdint>
#include <string>

class SimTcpListener {
public:
    // Returns the descriptor (the caller owns it) and the bound port, or -1 with a reason
    // ("port N is in use", "not an IPv4 address: X", ...). port 0 picks a free port.
    static int Open(const std::string &address, uint16_t port, uint16_t &boundPort,
                    std::string &error);
};
