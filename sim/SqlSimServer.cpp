#include "SqlSimServer.h"

#include "SimConnection.h"
#include "SimSqlTexts.h"
#include "SimTcpListener.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
bool SameName(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
}  // namespace

SqlSimServer::SqlSimServer(const SqlSimOptions &options)
    : Options(options), OwnedWorkload(new SimWorkload(options.Workload)), Logins(options.Logins) {
    LacksStmtStart = options.NoStmtStart;
}

SqlSimServer::~SqlSimServer() { Stop(); }

bool SqlSimServer::Listen(std::string *error) {
    std::string why;
    uint16_t bound = 0;
    const int fd = SimTcpListener::Open(Options.BindAddress,
                                        BoundPort != 0 ? BoundPort : Options.Port, bound, why);
    if (fd < 0) {
        if (error) *error = why;
        return false;
    }
    BoundPort = bound;
    ListenFd = fd;
    return true;
}

bool SqlSimServer::Start(std::string *error) {
    if (IsRunning) return true;
    if (::pipe2(WakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) *error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    if (!Listen(error)) {
        ::close(WakePipe[0]);
        ::close(WakePipe[1]);
        WakePipe[0] = WakePipe[1] = -1;
        return false;
    }
    Stopping = false;
    IsRunning = true;
    AcceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void SqlSimServer::Stop() {
    if (!IsRunning) return;
    Stopping = true;
    const char c = 'x';
    (void)!::write(WakePipe[1], &c, 1);
    if (AcceptThread.joinable()) AcceptThread.join();
    {
        std::lock_guard<std::mutex> lock(ListenMutex);
        if (ListenFd >= 0) {
            ::close(ListenFd);
            ListenFd = -1;
        }
    }
    DropConnections();
    Reap(true);
    ::close(WakePipe[0]);
    ::close(WakePipe[1]);
    WakePipe[0] = WakePipe[1] = -1;
    IsRunning = false;
}

void SqlSimServer::AcceptLoop() {
    while (!Stopping) {
        pollfd p[2] = {{WakePipe[0], POLLIN, 0}, {-1, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(ListenMutex);
            p[1].fd = ListenFd;
        }
        // The listener is only closed by this thread (ApplyListenState), so p[1].fd stays valid.
        const int r = ::poll(p, p[1].fd >= 0 ? 2 : 1, 100);
        if (r < 0 && errno != EINTR) break;
        if (p[0].revents & POLLIN) {
            char buf[16];
            while (::read(WakePipe[0], buf, sizeof buf) > 0) {
            }
        }
        Reap(false);
        if (Stopping) break;
        ApplyListenState();
        if (p[1].fd < 0 || !(p[1].revents & POLLIN)) continue;
        int fd;
        {
            std::lock_guard<std::mutex> lock(ListenMutex);
            if (ListenFd < 0) continue;
            fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        }
        if (fd < 0) continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto connection = std::make_shared<SimConnection>(*this, fd);
        std::lock_guard<std::mutex> lock(Mutex);
        Clients.push_back({connection, std::thread([connection] { connection->Run(); })});
    }
}

void SqlSimServer::Reap(bool all) {
    std::list<Client> done;
    {
        std::lock_guard<std::mutex> lock(Mutex);
        for (auto it = Clients.begin(); it != Clients.end();) {
            if (all || it->Connection->Finished()) {
                done.splice(done.end(), Clients, it++);
            } else {
                ++it;
            }
        }
    }
    for (Client &c : done) {
        c.Connection->Close();
        if (c.Thread.joinable()) c.Thread.join();
    }
}

void SqlSimServer::SetDelay(int ms) { DelayMs = ms < 0 ? 0 : ms; }
void SqlSimServer::SetPaused(bool paused) { IsPaused = paused; }

void SqlSimServer::SetBatchObserver(BatchObserver observer) {
    std::lock_guard<std::mutex> lock(ObserverMutex);
    Observer = std::move(observer);
}

void SqlSimServer::ObserveBatch(int spid, const std::string &text) {
    std::lock_guard<std::mutex> lock(ObserverMutex);
    if (Observer) Observer(spid, text);
}

void SqlSimServer::DropConnections() {
    std::lock_guard<std::mutex> lock(Mutex);
    for (Client &c : Clients) c.Connection->Close();
}

void SqlSimServer::SetRefuseConnections(bool refuse) {
    // The accept thread owns the listener: it closes or reopens it and reports back, so that
    // no poll still holds a closed listener (which would accept, or block the port) on return.
    std::unique_lock<std::mutex> lock(ListenMutex);
    Refusing = refuse;
    if (!IsRunning || Stopping) return;
    const char c = 'x';
    (void)!::write(WakePipe[1], &c, 1);
    ListenChanged.wait_for(lock, std::chrono::seconds(5),
                           [this, refuse] { return (ListenFd < 0) == refuse || Stopping; });
}

void SqlSimServer::ApplyListenState() {
    std::lock_guard<std::mutex> lock(ListenMutex);
    if (Refusing && ListenFd >= 0) {
        ::close(ListenFd);
        ListenFd = -1;
    } else if (!Refusing && ListenFd < 0) {
        std::string error;
        if (!Listen(&error))  // same port again; SO_REUSEADDR makes this succeed after a close
            std::fprintf(stderr, "sqlsim: cannot listen again on port %u: %s\n", BoundPort,
                         error.c_str());
    }
    ListenChanged.notify_all();
}

void SqlSimServer::Restart() {
    DropConnections();
    Reap(true);
    OwnedWorkload->Restart();
}

void SqlSimServer::SetCpuLoad(int percent) { OwnedWorkload->SetCpuLoad(percent); }
void SqlSimServer::SetSessionCount(int userSessions) {
    OwnedWorkload->SetUserSessions(userSessions);
}
void SqlSimServer::SetChurn(double percent) { OwnedWorkload->SetChurn(percent); }
int SqlSimServer::StartBlockingChain(int blocked) {
    return OwnedWorkload->StartBlockingChain(blocked);
}
void SqlSimServer::EndBlockingChains() { OwnedWorkload->EndBlockingChains(); }

bool SqlSimServer::KillSession(int spid) { return Kill(spid, false); }
bool SqlSimServer::EndSession(int spid) { return Kill(spid, true); }

bool SqlSimServer::Kill(int spid, bool lowerTarget) {
    bool client = false;
    if (OwnedWorkload->Kill(spid, &client, lowerTarget) != SimKillResult::Killed) return false;
    if (client) CloseClient(spid);
    return true;
}

void SqlSimServer::CloseClient(int spid) {
    std::lock_guard<std::mutex> lock(Mutex);
    for (Client &c : Clients)
        if (c.Connection->Spid() == spid) c.Connection->Close();
}

void SqlSimServer::SetLogin(const SimLogin &login) {
    std::lock_guard<std::mutex> lock(Mutex);
    for (SimLogin &l : Logins) {
        if (SameName(l.Name, login.Name)) {
            l = login;
            return;
        }
    }
    Logins.push_back(login);
}

bool SqlSimServer::RemoveLogin(const std::string &name) {
    std::lock_guard<std::mutex> lock(Mutex);
    for (auto it = Logins.begin(); it != Logins.end(); ++it) {
        if (SameName(it->Name, name)) {
            Logins.erase(it);
            return true;
        }
    }
    return false;
}

bool SqlSimServer::FindLogin(const std::string &name, SimLogin &out) const {
    std::lock_guard<std::mutex> lock(Mutex);
    for (const SimLogin &l : Logins) {
        if (SameName(l.Name, name)) {
            out = l;
            return true;
        }
    }
    return false;
}

void SqlSimServer::SetNoStmtStart(bool lacks) { LacksStmtStart = lacks; }

void SqlSimServer::SetFailingText(const std::string &text) {
    const std::string normalised = SimSqlTexts::Normalise(text);
    std::lock_guard<std::mutex> lock(FailMutex);
    FailText = normalised;
}

std::string SqlSimServer::FailingText() const {
    std::lock_guard<std::mutex> lock(FailMutex);
    return FailText;
}

int SqlSimServer::ClientCount() const {
    std::lock_guard<std::mutex> lock(Mutex);
    int n = 0;
    for (const Client &c : Clients) n += c.Connection->Finished() ? 0 : 1;
    return n;
}
