#pragma once
// A few simulated SQL Server instances on loopback for one test, each on a free port with the
// default login (sa / Kivra-Test-1), started at construction and stopped at destruction. The
// faults and the workload of each are switched through Server(i).

#include "SqlSimServer.h"

#include <memory>
#include <string>
#include <vector>

class SqlSimInstances {
public:
    static constexpr const char *kLogin = "sa";
    static constexpr const char *kPassword = "Kivra-Test-1";

    // count instances; options.port is ignored (each takes a free port); seeds differ by instance.
    explicit SqlSimInstances(int count, const SqlSimOptions &options = SqlSimOptions());
    ~SqlSimInstances();
    SqlSimInstances(const SqlSimInstances &) = delete;
    SqlSimInstances &operator=(const SqlSimInstances &) = delete;

    // False when an instance did not start; Error() says why.
    bool Started() const { return StartError.empty(); }
    const std::string &Error() const { return StartError; }

    int Count() const { return static_cast<int>(Servers.size()); }
    SqlSimServer &Server(int i) { return *Servers.at(static_cast<std::size_t>(i)); }
    // The server name a user types to reach instance i: "127.0.0.1,PORT".
    std::string ServerName(int i) const;
    // True while a client of instance i is inside a batch whose text holds text (any batch for
    // an empty text): the server holds it, for a delay or a pause.
    bool InBatch(int i, const std::string &text = std::string());

private:
    std::vector<std::unique_ptr<SqlSimServer>> Servers;
    std::string StartError;
};
