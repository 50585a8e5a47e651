#pragma once
// SimSession: one session of the simulated server as sysprocesses shows it, plus what the
// input-buffer and statement batches report for it. Plain value type.

#include <cstdint>
#include <string>

struct SimSession {
    int spid = 0;
    int extraContexts = 0; // parallel execution contexts beyond ecid 0 (one row each)
    bool system = false;   // started with the server, background command
    bool client = false;   // a real TDS connection of sqlsim
    uint64_t clientId = 0; // which connection, so a reused spid is never confused
    int dbid = 1;
    std::string login, host, program, ntDomain, ntUser, netAddress, netLibrary, hostProcess;
    std::string cmd, status, lastWaitType, waitResource;
    int blocked = 0;
    int openTran = 0;
    int64_t waitTime = 0; // ms
    int64_t cpu = 0;      // ms
    int64_t memUsage = 0; // pages
    int64_t physicalIo = 0;
    int64_t loginTimeMs = 0; // local time, ms since 1970
    int64_t lastBatchMs = 0;

    // Input buffer ("Language Event", "RPC Event" or "No Event") and its text.
    std::string eventType = "No Event";
    std::string inputBuffer;
    // Current statement, when the session holds a statement handle.
    bool hasHandle = false;
    std::string sqlText;    // the whole batch or procedure text
    int stmtStart = 0;      // byte offsets into the UCS-2 text, as sysprocesses reports them
    int stmtEnd = -1;       // -1: to the end
    std::string objectName; // empty for an ad-hoc batch
    bool encrypted = false;
    bool inChain = false;   // head or member of a blocking chain started here
};
