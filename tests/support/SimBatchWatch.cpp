#include "SimBatchWatch.h"

#include "SqlSimServer.h"

SimBatchWatch::SimBatchWatch(SqlSimServer &server) : Server(server) {
    Server.SetBatchObserver([this](int, const std::string &text) {
        std::lock_guard<std::mutex> lock(Lock);
        Received.push_back(text);
        if (!PauseText.empty() && text == PauseText) Server.SetPaused(true);
    });
}

SimBatchWatch::~SimBatchWatch() { Server.SetBatchObserver({}); }

void SimBatchWatch::PauseAt(const std::string &text) {
    std::lock_guard<std::mutex> lock(Lock);
    PauseText = text;
}

std::vector<std::string> SimBatchWatch::Take() {
    std::vector<std::string> taken;
    std::lock_guard<std::mutex> lock(Lock);
    taken.swap(Received);
    return taken;
}
