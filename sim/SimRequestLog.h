#pragma once
// SimRequestLog: the session requests (input buffer, statement) that the clients of one
// SqlSimServer send, in the order the server receives them, for the tests and benchmarks that
// count a monitor's round trips. It is the server's batch observer while it lives (one log per
// server at a time). Take may be called from any thread.

#include <mutex>
#include <vector>

class SqlSimServer;

class SimRequestLog {
public:
    enum Kind { InputBuffer, Statement };
    struct Request {
        Kind Query;
        int Spid;  // the session asked about
    };

    explicit SimRequestLog(SqlSimServer &server);
    ~SimRequestLog();
    SimRequestLog(const SimRequestLog &) = delete;
    SimRequestLog &operator=(const SimRequestLog &) = delete;

    // The requests received since the last call.
    std::vector<Request> Take();
    // How many of requests ask again about a session that an earlier one of the same kind in
    // requests asked about.
    static int Repeated(const std::vector<Request> &requests);

private:
    SqlSimServer &Server;
    std::mutex Lock;
    std::vector<Request> Received;
};
