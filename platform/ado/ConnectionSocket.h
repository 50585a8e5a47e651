#pragma once
// Finding the TCP socket that a driver opened for one connection, so that the layer can end a
// command the server no longer answers (TConnectionAbort). The driver manager gives no access
// to it: the layer notes the process's sockets before the driver connects and looks for the one
// client socket that is new afterwards.
//
// Linux only (/proc/self/fd). Safe on any thread; other threads may open and close descriptors
// meanwhile: a socket that cannot be told apart from another is not taken.

#include <set>
#include <sys/types.h>

namespace kivra::odbc {

// The sockets of the process (by inode) at one moment.
using SocketSnapshot = std::set<ino_t>;
SocketSnapshot TakeSocketSnapshot();

// A close-on-exec duplicate of the one connected TCP client socket that is not in before, or
// -1 when there is none or more than one. A connected socket whose local port is a listening
// port of this process (a server in the same process, as in tests) is the server's end, not a
// client. The caller owns the descriptor; the duplicate keeps the socket alive until closed.
int DuplicateNewClientSocket(const SocketSnapshot &before);

}  // namespace kivra::odbc
