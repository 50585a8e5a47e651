#pragma once
// Loopback addresses of a test process's own: test processes run in parallel (and other build
// folders run the same tests), and FreeTDS always asks port 1434, so each process binds its
// responders on 127.A.B.C addresses derived from its process id, slot telling them apart.

#include <unistd.h>

#include <string>

inline std::string BrowseTestAddress(int slot) {
    const unsigned pid = static_cast<unsigned>(getpid());
    const unsigned a = 100 + ((pid >> 16) + static_cast<unsigned>(slot) * 7) % 100;
    return "127." + std::to_string(a) + "." + std::to_string((pid >> 8) & 0xFF) + "." +
           std::to_string(pid & 0xFF);
}
