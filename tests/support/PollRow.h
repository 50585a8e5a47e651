#pragma once
// One row of the process query as tests and benchmarks write it, owning its texts, with plain
// defaults that a test changes where it looks (fields, or the chained setters); and the poll that
// feeds such rows into a model as the worker's hand-over does.

#include "DBServerInfoSource.h"
#include "TDateTime.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The fields are named as in the record the model takes; ECID 0 is the session's own row, above 0
// a further thread of it. Each setter returns the row, for rows written in one expression.
struct PollRow {
    int SPID = 51;
    int ECID = 0;
    std::string LoginName = "sa", HostName = "HOST", DatabaseName = "master";
    std::string NetAddress = "0A0000000001", NTDomain, NTUserName;
    std::string Command = "AWAITING COMMAND", Status = "sleeping", ProgramName = "Prog";
    int Blocked = 0;  // the blocking SPID, 0 none
    TDateTime LoginTime = 45000.25, LastBatch = 45000.5;
    std::int64_t CPU = 0, MemUsage = 10, PhysicalIO = 0;
    int OpenTran = 0;
    std::string LastWaitType = "MISCELLANEOUS", WaitResource;
    int WaitTime = 0;
    std::string NetLibrary = "TCP/IP", HostProcess = "1234";

    // One setter a line, as a table.
    // clang-format off
    PollRow &Spid(int v) { SPID = v; return *this; }
    PollRow &Ecid(int v) { ECID = v; return *this; }
    PollRow &Login(std::string v) { LoginName = std::move(v); return *this; }
    PollRow &Host(std::string v) { HostName = std::move(v); return *this; }
    PollRow &Database(std::string v) { DatabaseName = std::move(v); return *this; }
    PollRow &Address(std::string v) { NetAddress = std::move(v); return *this; }
    PollRow &Doing(std::string v) { Command = std::move(v); return *this; }
    PollRow &State(std::string v) { Status = std::move(v); return *this; }
    PollRow &Program(std::string v) { ProgramName = std::move(v); return *this; }
    PollRow &BlockedBy(int v) { Blocked = v; return *this; }
    PollRow &LoginAt(TDateTime v) { LoginTime = v; return *this; }
    PollRow &BatchAt(TDateTime v) { LastBatch = v; return *this; }
    PollRow &Cpu(std::int64_t v) { CPU = v; return *this; }
    PollRow &Mem(std::int64_t v) { MemUsage = v; return *this; }
    PollRow &Io(std::int64_t v) { PhysicalIO = v; return *this; }
    PollRow &Transactions(int v) { OpenTran = v; return *this; }
    PollRow &WaitingMs(int v) { WaitTime = v; return *this; }
    PollRow &WaitType(std::string v) { LastWaitType = std::move(v); return *this; }
    // clang-format on
};

// The record AddProcessRow takes; its texts point into row, which must outlive it.
stProcessRow ToProcessRow(const PollRow &row);

// One poll's rows into model: BeginPollCycle, AddProcessRow per row, EndPollCycle. The connection
// state, the counters and the alerts are the caller's.
void MergePoll(TDBServerInfo &model, const std::vector<PollRow> &rows);

// Rows for spids first..first+count-1, each with its own login and host ("user51", "HOST51").
std::vector<PollRow> Sessions(int first, int count);
