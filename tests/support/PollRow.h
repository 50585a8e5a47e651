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

// ecid 0 is the session's own row; above 0 a further thread of it.
struct PollRow {
    int spid = 51;
    int ecid = 0;
    std::string login = "sa", host = "HOST", database = "master", address = "0A0000000001";
    std::string domain, user, command = "AWAITING COMMAND", status = "sleeping";
    std::string program = "Prog";
    int blocked = 0;
    TDateTime loginTime = 45000.25, lastBatch = 45000.5;
    std::int64_t cpu = 0, mem = 10, io = 0;
    int openTran = 0;
    std::string waitType = "MISCELLANEOUS", waitResource;
    int waitTime = 0;
    std::string library = "TCP/IP", hostProcess = "1234";

    PollRow &Spid(int v) { spid = v; return *this; }
    PollRow &Ecid(int v) { ecid = v; return *this; }
    PollRow &Database(std::string v) { database = std::move(v); return *this; }
    PollRow &Login(std::string v) { login = std::move(v); return *this; }
    PollRow &Host(std::string v) { host = std::move(v); return *this; }
    PollRow &Address(std::string v) { address = std::move(v); return *this; }
    PollRow &Command(std::string v) { command = std::move(v); return *this; }
    PollRow &Status(std::string v) { status = std::move(v); return *this; }
    PollRow &Program(std::string v) { program = std::move(v); return *this; }
    PollRow &Blocked(int v) { blocked = v; return *this; }
    PollRow &LoginAt(TDateTime v) { loginTime = v; return *this; }
    PollRow &BatchAt(TDateTime v) { lastBatch = v; return *this; }
    PollRow &Cpu(std::int64_t v) { cpu = v; return *this; }
    PollRow &Mem(std::int64_t v) { mem = v; return *this; }
    PollRow &Io(std::int64_t v) { io = v; return *this; }
    PollRow &OpenTran(int v) { openTran = v; return *this; }
    PollRow &WaitTime(int v) { waitTime = v; return *this; }
    PollRow &WaitType(std::string v) { waitType = std::move(v); return *this; }
};

// The record AddProcessRow takes; its texts point into row, which must outlive it.
stProcessRow ToProcessRow(const PollRow &row);

// One poll's rows into model: BeginPollCycle, AddProcessRow per row, EndPollCycle. The connection
// state, the counters and the alerts are the caller's.
void MergePoll(TDBServerInfo &model, const std::vector<PollRow> &rows);

// Rows for spids first..first+count-1, each with its own login and host ("user51", "HOST51").
std::vector<PollRow> Sessions(int first, int count);
