#pragma once
// Filling a server model's 120-sample history directly, for the views' refresh rules: no server
// and no poll, just the samples the views read (oldest first, 119 the current one).

#include "DBServerInfoSource.h"

#include <memory>
#include <string>

namespace graphs_test {

// Statistic stat of sample point.
inline int &StatisticField(stStatSample &sample, TServerStatistic stat) {
    switch (stat) {
    case ssResponseTime: return sample.ResponseTime;
    case ssUsers: return sample.Users;
    case ssSessions: return sample.Sessions;
    case ssPacketsSent: return sample.PacketsSent;
    case ssPacketsReceived: return sample.PacketsReceived;
    case ssPacketErrors: return sample.PacketErrors;
    case ssIORead: return sample.IORead;
    case ssIOWrite: return sample.IOWrite;
    case ssIOErrors: return sample.IOErrors;
    case ssCPUBusy: break;
    }
    return sample.CPUBusy;
}

// A model named name whose every sample is filled, with all ten statistics 0.
inline std::unique_ptr<TDBServerInfo> MakeModel(const std::string &name = "HOST\\ALPHA") {
    auto model = std::make_unique<TDBServerInfo>();
    model->SetServerName(name);
    for (stStatSample &sample : model->History) sample.Filled = true;
    return model;
}

inline void SetSample(TDBServerInfo &model, int point, TServerStatistic stat, int value) {
    StatisticField(model.History[point], stat) = value;
}

inline void SetAll(TDBServerInfo &model, TServerStatistic stat, int value) {
    for (int i = 0; i < TDBServerInfo::kHistorySize; ++i) SetSample(model, i, stat, value);
}

// Sample i of stat = base + i (distinct values, so a series shows which statistic fed it).
inline void SetRamp(TDBServerInfo &model, TServerStatistic stat, int base) {
    for (int i = 0; i < TDBServerInfo::kHistorySize; ++i) SetSample(model, i, stat, base + i);
}

// One poll's worth of history shift, as the model does at a poll's start, with the new sample's
// stat set to value (the other statistics repeat the previous sample's).
inline void ShiftIn(TDBServerInfo &model, TServerStatistic stat, int value) {
    for (int i = 0; i + 1 < TDBServerInfo::kHistorySize; ++i)
        model.History[i] = model.History[i + 1];
    SetSample(model, TDBServerInfo::kHistorySize - 1, stat, value);
}

}  // namespace graphs_test
