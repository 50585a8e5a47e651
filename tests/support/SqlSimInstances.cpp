#include "SqlSimInstances.h"

#include <map>

SqlSimInstances::SqlSimInstances(int count, const SqlSimOptions &options) {
    for (int i = 0; i < count; ++i) {
        SqlSimOptions o = options;
        o.Port = 0;
        o.Workload.Seed = options.Workload.Seed + static_cast<uint64_t>(i);
        auto server = std::make_unique<SqlSimServer>(o);
        std::string error;
        if (!server->Start(&error) && StartError.empty()) StartError = error;
        Servers.push_back(std::move(server));
    }
}

SqlSimInstances::~SqlSimInstances() {
    for (auto &server : Servers) server->Stop();
}

std::string SqlSimInstances::ServerName(int i) const {
    return "127.0.0.1," + std::to_string(Servers.at(static_cast<std::size_t>(i))->Port());
}

bool SqlSimInstances::InBatch(int i, const std::string &text) {
    bool in = false;
    Server(i).Workload().Read([&](const std::map<int, SimSession> &sessions, const SimCounters &) {
        for (const auto &kv : sessions)
            in = in || (kv.second.Client && kv.second.Status == "runnable" &&
                        kv.second.InputBuffer.find(text) != std::string::npos);
    });
    return in;
}
