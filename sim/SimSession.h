#pragma once
// SimSession: one session of the simulated server as sysprocesses shows it, plus what the
// input-buffer and statement batches report for it. Plain value type.

#include <cstdint>
#include <string>

struct SimSession {
    int Spid = 0;
    int ExtraContexts = 0;  // parallel execution contexts beyond ecid 0 (one row each)
    bool System = false;    // started with the server, background command
    bool Client = false;    // a real TDS connection of sqlsim
    uint64_t ClientId = 0;  // which connection, so a reused spid is never confused
    int Dbid = 1;
    std::string Login, Host, Program, NtDomain, NtUser, NetAddress, NetLibrary, HostProcess;
    std::string Cmd, Status, LastWaitType, WaitResource;
    int Blocked = 0;
    int OpenTran = 0;
    int64_t WaitTime = 0;  // ms
    int64_t Cpu = 0;       // ms
    int64_t MemUsage = 0;  // pages
    int64_t PhysicalIo = 0;
    int64_t LoginTimeMs = 0;  // local time, ms since 1970
    int64_t LastBatchMs = 0;

    // Input buffer ("Language Event", "RPC Event" or "No Event") and its text.
    std::string EventType = "No Event";
    std::string InputBuffer;
    // Current statement, when the session holds a statement handle.
    bool HasHandle = false;
    std::string SqlText;     // the whole batch or procedure text
    int StmtStart = 0;       // byte offsets into the UCS-2 text, as sysprocesses reports them
    int StmtEnd = -1;        // -1: to the end
    std::string ObjectName;  // empty for an ad-hoc batch
    bool Encrypted = false;
    bool InChain = false;  // head or member of a blocking chain started here
    bool Placed = false;   // given whole by SimWorkload::PlaceSession: the steps leave it as it is
};
