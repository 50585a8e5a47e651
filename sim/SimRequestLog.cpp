#include "SimRequestLog.h"

#include "SimSqlTexts.h"
#include "SqlSimServer.h"

#include <set>
#include <utility>

SimRequestLog::SimRequestLog(SqlSimServer &server) : Server(server) {
    Server.SetBatchObserver([this](int, const std::string &text) {
        const int inputBuffer = SimSqlTexts::InputBufferSession(text);
        const int statement = inputBuffer < 0 ? SimSqlTexts::StatementSession(text) : -1;
        if (inputBuffer < 0 && statement < 0) return;
        std::lock_guard<std::mutex> lock(Lock);
        Received.push_back(inputBuffer >= 0 ? Request{InputBuffer, inputBuffer}
                                            : Request{Statement, statement});
    });
}

SimRequestLog::~SimRequestLog() { Server.SetBatchObserver({}); }

std::vector<SimRequestLog::Request> SimRequestLog::Take() {
    std::vector<Request> taken;
    std::lock_guard<std::mutex> lock(Lock);
    taken.swap(Received);
    return taken;
}

int SimRequestLog::Repeated(const std::vector<Request> &requests) {
    std::set<std::pair<int, int>> seen;
    int repeated = 0;
    for (const Request &r : requests)
        if (!seen.insert({r.Query, r.Spid}).second) ++repeated;
    return repeated;
}
