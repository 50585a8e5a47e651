#include "ConnectionAbort.h"

#include "OdbcSupport.h"

#include <sys/socket.h>
#include <unistd.h>

using namespace kivra;

TConnectionAbort::~TConnectionAbort() {
    if (Socket >= 0) close(Socket);
}

void TConnectionAbort::Abort() {
    std::lock_guard<std::mutex> g(Lock);
    IsAborted = true;
    // An idle connection is left as it is: the next command fails at once, and closing it
    // still says goodbye to the server properly.
    if (CommandRunning && Socket >= 0) shutdown(Socket, SHUT_RDWR);
}

bool TConnectionAbort::Aborted() const {
    std::lock_guard<std::mutex> g(Lock);
    return IsAborted;
}

void TConnectionAbort::SetSocket(int socket) {
    std::lock_guard<std::mutex> g(Lock);
    if (Socket >= 0) close(Socket);
    Socket = socket;
    IsAborted = false;
}

TConnectionAbort::Running::Running(std::shared_ptr<TConnectionAbort> abort)
    : Owner(std::move(abort)) {
    std::lock_guard<std::mutex> g(Owner->Lock);
    if (Owner->IsAborted) throw EOleException("Operation cancelled", odbc::DriverName());
    Owner->CommandRunning = true;
}

TConnectionAbort::Running::~Running() {
    std::lock_guard<std::mutex> g(Owner->Lock);
    Owner->CommandRunning = false;
}
