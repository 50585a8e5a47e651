#pragma once
// SimBatchWatch: the batches one SqlSimServer receives from its clients while the watch lives
// (the texts as received, in order), and a pause at a chosen batch: when that text arrives the
// server stops answering, so that it holds that very call (and everything after it) until the
// test resumes it. It is the server's batch observer meanwhile (one observer per server at a
// time, as SimRequestLog is). Take and PauseAt may be called from any thread.

#include <mutex>
#include <string>
#include <vector>

class SqlSimServer;

class SimBatchWatch {
public:
    explicit SimBatchWatch(SqlSimServer &server);
    ~SimBatchWatch();
    SimBatchWatch(const SimBatchWatch &) = delete;
    SimBatchWatch &operator=(const SimBatchWatch &) = delete;

    // The server pauses on receiving exactly text; empty: on nothing.
    void PauseAt(const std::string &text);
    // The batches received since the last call.
    std::vector<std::string> Take();

private:
    SqlSimServer &Server;
    std::mutex Lock;
    std::vector<std::string> Received;
    std::string PauseText;
};
