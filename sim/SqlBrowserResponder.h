#pragma once
// The SQL Server Browser service of sqlsim: answers UDP requests on one address (port 1434
// normally) with the simulated instances and their TCP ports, so that clients can list the
// instances (CLNT_UCAST_EX 0x03, CLNT_BCAST_EX 0x02) and resolve "HOST\INSTANCE" to a port
// (CLNT_UCAST_INST 0x04 followed by the name). The answer is SVR_RESP: 0x05, a little-endian
// 16-bit size, then one "ServerName;...;InstanceName;...;IsClustered;No;Version;...;tcp;PORT;;"
// record per instance. A request for an unknown instance, or anything else, gets no answer.
//
// Threads: Start and Stop from one controlling thread; SetInstances from any thread. Answers
// are sent from a thread of the responder's own, which Stop (or the destructor) ends and joins.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SqlBrowserResponder {
public:
    struct Instance {
        std::string Name;  // "MSSQLSERVER" for a default instance
        unsigned short Port = 0;
    };

    // serverName is the machine name in the answers; empty: the address the responder is bound to.
    explicit SqlBrowserResponder(std::string serverName = {});
    ~SqlBrowserResponder();
    SqlBrowserResponder(const SqlBrowserResponder &) = delete;
    SqlBrowserResponder &operator=(const SqlBrowserResponder &) = delete;

    // Binds address:port (an IPv4 address; port 0 takes a free one) and starts answering.
    // Returns false with error set when the socket cannot be bound or it already runs.
    bool Start(const std::string &address, unsigned short port, std::string &error);
    void Stop();
    bool Running() const { return Thread.joinable(); }
    unsigned short Port() const { return BoundPort; }  // the bound port while running

    void SetInstances(std::vector<Instance> instances);

    // The SVR_RESP datagram for instances (records that would take it past the largest UDP payload are left out).
    static std::string Response(const std::string &serverName,
                                const std::vector<Instance> &instances);

private:
    void Serve();
    std::string Answer(const char *request, std::size_t length) const;

    std::string ServerName;
    mutable std::mutex Mutex;  // guards Instances
    std::vector<Instance> Instances;
    int Socket = -1;
    int WakePipe[2] = {-1, -1};  // a pipe that tells the thread to end
    unsigned short BoundPort = 0;
    std::thread Thread;
};
