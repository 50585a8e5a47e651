#include "KivraThreadSource.h"

#include <stdexcept>

// Placeholder until the worker thread is built: every request fails loudly.
bool TKivraThread::Reconnect() { throw std::logic_error("TKivraThread::Reconnect is not built yet"); }

std::string TKivraThread::GetInputBuffer(int, std::string &) {
    throw std::logic_error("TKivraThread::GetInputBuffer is not built yet");
}

std::string TKivraThread::GetStatementText(int, std::string &, std::string &, int &, int &) {
    throw std::logic_error("TKivraThread::GetStatementText is not built yet");
}

int TKivraThread::KillProcess(int) { throw std::logic_error("TKivraThread::KillProcess is not built yet"); }
