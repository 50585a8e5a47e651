#include "SqlSimInstances.h"

SqlSimInstances::SqlSimInstances(int count, const SqlSimOptions &options) {
    for (int i = 0; i < count; ++i) {
        SqlSimOptions o = options;
        o.port = 0;
        o.workload.seed = options.workload.seed + static_cast<uint64_t>(i);
        auto server = std::make_unique<SqlSimServer>(o);
        std::string error;
        if (!server->Start(&error) && Error_.empty()) Error_ = error;
        Servers.push_back(std::move(server));
    }
}

SqlSimInstances::~SqlSimInstances() {
    for (auto &server : Servers) server->Stop();
}

std::string SqlSimInstances::ServerName(int i) const {
    return "127.0.0.1," + std::to_string(Servers.at(static_cast<std::size_t>(i))->Port());
}
