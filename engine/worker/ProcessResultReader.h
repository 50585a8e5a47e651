#pragma once
// Reading an open process query into a server model: the server-wide counters from the first
// row, then every row as one TDBServerInfo::AddProcessRow call. The worker's hand-over uses it
// between BeginPollCycle and EndPollCycle; the poll benchmark times it on its own.
//
// Threads: the thread that owns the model (the main thread). The query is read, not closed.
// Field and conversion errors raise (EOleException or std::runtime_error).

#include "TDateTime.h"

#include <cstdint>

class TADODataSet;
class TDBServerInfo;

struct stPollCounters {
    std::int64_t CpuBusy = 0, CpuIdle = 0;
    int PacketsSent = 0, PacketsReceived = 0, PacketErrors = 0;
    int TotalRead = 0, TotalWrite = 0, TotalErrors = 0;
    TDateTime ServerTime = 0;
    bool HasRow = false;  // false for an empty result: the counters are 0
};

// The counters of the query's current (first) row.
stPollCounters ReadPollCounters(TADODataSet &query);

// Feeds the rows from the current one to the end into info; returns the number of rows.
int FeedProcessRows(TADODataSet &query, TDBServerInfo &info);
