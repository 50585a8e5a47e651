#include "SqlSimServer.h"

#include "SimConnection.h"
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
bool SameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
} // namespace

SqlSimServer::SqlSimServer(const SqlSimOptions &options)
    : options_(options), workload_(new SimWorkload(options.workload)), logins_(options.logins)
{
    noStmtStart_ = options.noStmtStart;
}

SqlSimServer::~SqlSimServer() { Stop(); }

bool SqlSimServer::Listen(std::string *error)
{
    std::string why;
    uint16_t bound = 0;
    const int fd = SimTcpListener::Open(options_.bindAddress, port_ != 0 ? port_ : options_.port,
                                        bound, why);
    if (fd < 0) {
        if (error)
            *error = why;
        return false;
    }
    port_ = bound;
    listenFd_ = fd;
    return true;
}

bool SqlSimServer::Start(std::string *error)
{
    if (running_)
        return true;
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error)
            *error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    if (!Listen(error)) {
        ::close(wakePipe_[0]);
        ::close(wakePipe_[1]);
        wakePipe_[0] = wakePipe_[1] = -1;
        return false;
    }
    stopping_ = false;
    running_ = true;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void SqlSimServer::Stop()
{
    if (!running_)
        return;
    stopping_ = true;
    const char c = 'x';
    (void)!::write(wakePipe_[1], &c, 1);
    if (acceptThread_.joinable())
        acceptThread_.join();
    {
        std::lock_guard<std::mutex> lock(listenMutex_);
        if (listenFd_ >= 0) {
            ::close(listenFd_);
            listenFd_ = -1;
        }
    }
    DropConnections();
    Reap(true);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
    wakePipe_[0] = wakePipe_[1] = -1;
    running_ = false;
}

void SqlSimServer::AcceptLoop()
{
    while (!stopping_) {
        pollfd p[2] = {{wakePipe_[0], POLLIN, 0}, {-1, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(listenMutex_);
            p[1].fd = listenFd_;
        }
        // The listener is only closed by this thread (ApplyListenState), so p[1].fd stays valid.
        const int r = ::poll(p, p[1].fd >= 0 ? 2 : 1, 100);
        if (r < 0 && errno != EINTR)
            break;
        if (p[0].revents & POLLIN) {
            char buf[16];
            while (::read(wakePipe_[0], buf, sizeof buf) > 0) {
            }
        }
        Reap(false);
        if (stopping_)
            break;
        ApplyListenState();
        if (p[1].fd < 0 || !(p[1].revents & POLLIN))
            continue;
        int fd;
        {
            std::lock_guard<std::mutex> lock(listenMutex_);
            if (listenFd_ < 0)
                continue;
            fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        }
        if (fd < 0)
            continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto connection = std::make_shared<SimConnection>(*this, fd);
        std::lock_guard<std::mutex> lock(mutex_);
        clients_.push_back({connection, std::thread([connection] { connection->Run(); })});
    }
}

void SqlSimServer::Reap(bool all)
{
    std::list<Client> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            if (all || it->connection->Finished()) {
                done.splice(done.end(), clients_, it++);
            } else {
                ++it;
            }
        }
    }
    for (Client &c : done) {
        c.connection->Close();
        if (c.thread.joinable())
            c.thread.join();
    }
}

void SqlSimServer::SetDelay(int ms) { delayMs_ = ms < 0 ? 0 : ms; }
void SqlSimServer::SetPaused(bool paused) { paused_ = paused; }

void SqlSimServer::SetBatchObserver(BatchObserver observer)
{
    std::lock_guard<std::mutex> lock(observerMutex_);
    observer_ = std::move(observer);
}

void SqlSimServer::ObserveBatch(int spid, const std::string &text)
{
    std::lock_guard<std::mutex> lock(observerMutex_);
    if (observer_)
        observer_(spid, text);
}

void SqlSimServer::DropConnections()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (Client &c : clients_)
        c.connection->Close();
}

void SqlSimServer::SetRefuseConnections(bool refuse)
{
    // The accept thread owns the listener: it closes or reopens it and reports back, so that
    // no poll still holds a closed listener (which would accept, or block the port) on return.
    std::unique_lock<std::mutex> lock(listenMutex_);
    refusing_ = refuse;
    if (!running_ || stopping_)
        return;
    const char c = 'x';
    (void)!::write(wakePipe_[1], &c, 1);
    listenChanged_.wait_for(lock, std::chrono::seconds(5),
                            [this, refuse] { return (listenFd_ < 0) == refuse || stopping_; });
}

void SqlSimServer::ApplyListenState()
{
    std::lock_guard<std::mutex> lock(listenMutex_);
    if (refusing_ && listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    } else if (!refusing_ && listenFd_ < 0) {
        std::string error;
        if (!Listen(&error)) // same port again; SO_REUSEADDR makes this succeed after a close
            std::fprintf(stderr, "sqlsim: cannot listen again on port %u: %s\n", port_,
                         error.c_str());
    }
    listenChanged_.notify_all();
}

void SqlSimServer::Restart()
{
    DropConnections();
    Reap(true);
    workload_->Restart();
}

void SqlSimServer::SetCpuLoad(int percent) { workload_->SetCpuLoad(percent); }
void SqlSimServer::SetSessionCount(int userSessions) { workload_->SetUserSessions(userSessions); }
void SqlSimServer::SetChurn(double percent) { workload_->SetChurn(percent); }
int SqlSimServer::StartBlockingChain(int blocked) { return workload_->StartBlockingChain(blocked); }
void SqlSimServer::EndBlockingChains() { workload_->EndBlockingChains(); }

bool SqlSimServer::KillSession(int spid) { return Kill(spid, false); }
bool SqlSimServer::EndSession(int spid) { return Kill(spid, true); }

bool SqlSimServer::Kill(int spid, bool lowerTarget)
{
    bool client = false;
    if (workload_->Kill(spid, &client, lowerTarget) != SimKillResult::Killed)
        return false;
    if (client)
        CloseClient(spid);
    return true;
}

void SqlSimServer::CloseClient(int spid)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (Client &c : clients_)
        if (c.connection->Spid() == spid)
            c.connection->Close();
}

void SqlSimServer::SetLogin(const SimLogin &login)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (SimLogin &l : logins_) {
        if (SameName(l.name, login.name)) {
            l = login;
            return;
        }
    }
    logins_.push_back(login);
}

bool SqlSimServer::RemoveLogin(const std::string &name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = logins_.begin(); it != logins_.end(); ++it) {
        if (SameName(it->name, name)) {
            logins_.erase(it);
            return true;
        }
    }
    return false;
}

bool SqlSimServer::FindLogin(const std::string &name, SimLogin &out) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const SimLogin &l : logins_) {
        if (SameName(l.name, name)) {
            out = l;
            return true;
        }
    }
    return false;
}

void SqlSimServer::SetNoStmtStart(bool lacks) { noStmtStart_ = lacks; }

int SqlSimServer::ClientCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Client &c : clients_)
        n += c.connection->Finished() ? 0 : 1;
    return n;
}
