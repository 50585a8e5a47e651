#pragma once
// The records of the server model's tables and of its statistics history. Records are plain
// bytes: AllocatedBuffer copies and moves them with memory copies, so none may own anything;
// every text is a fixed, zero-terminated character array (room n holds at most n - 1 bytes).

#include "TDateTime.h"

#include <cstdint>
#include <type_traits>

// One session (SPID) of the last poll.
struct stProcessInfo {
    int SPID;
    char DatabaseName[132];
    char LoginName[132];
    char HostName[132];
    char NTDomain[132];
    char NTUserName[132];
    char NetAddress[16];
    char Command[20];
    char Status[30];
    char ProgramName[132];
    TDateTime LoginTime;  // identifies the session behind the SPID
    TDateTime LastBatch;  // latest last_batch of the SPID's rows in this poll
    char NetLibrary[16];
    std::int64_t CPU;         // sum over the SPID's rows in this poll
    std::int64_t MemUsage;    // of the first row
    std::int64_t PhysicalIO;  // of the first row
    std::int64_t PrevCPU, PrevMemUsage, PrevPhysicalIO;
    int BlockedBy;  // first non-zero blocked; 0 = not blocked
    int Threads;    // rows (execution contexts) in this poll
    int PrevThreads;
    int OpenTran;
    int WaitTime;
    char HostProcess[12];
    bool Seen;  // a row of this SPID arrived in the current poll
    std::int64_t BaselineCPU, BaselinePhysicalIO;
};

// One login at one network address.
struct stUserInfo {
    char LoginName[132];  // key part 1
    char HostName[132];
    char NTDomain[132];
    char NTUserName[132];
    char NetAddress[16];                   // key part 2
    TDateTime EarliestLogin, LatestLogin;  // 0 = none yet
    TDateTime LatestActivity;              // 0 = none yet
    char NetLibrary[16];
    std::int64_t Processes;
    std::int64_t CPU;
    std::int64_t MemUsage, PhysicalIO;  // sums over the user's ECID 0 rows
    int PrevProcesses;                  // low 32 bits of the previous poll's Processes
    std::int64_t PrevCPU, PrevMemUsage, PrevPhysicalIO;
    int BlockedBy;
    bool Seen;
    std::int64_t BaselineCPU, BaselinePhysicalIO;
};

// One database.
struct stDatabaseInfo {
    char DatabaseName[136];  // key
    TDateTime EarliestLogin, LatestLogin;
    TDateTime LatestActivity;
    std::int64_t Processes;
    std::int64_t CPU;
    std::int64_t MemUsage, PhysicalIO;
    std::int64_t PrevProcesses;  // all 64 bits here
    std::int64_t PrevCPU, PrevMemUsage, PrevPhysicalIO;
    int BlockedBy;
    bool Seen;
    std::int64_t BaselineCPU, BaselinePhysicalIO;
};

// One row (session thread) of the last poll.
struct stThreadInfo {
    int SPID;
    int ECID;
    int WaitTime;
    char LastWaitType[32];
    char WaitResource[256];
    char DatabaseName[132];
};

// One point of the 120-poll statistics history.
struct stStatSample {
    TDateTime ServerTime;
    bool Filled;          // false until a poll has reached this sample
    int CPUBusy;          // statistic 9
    int ResponseTime;     // statistic 0
    int IORead;           // statistic 6
    int IOWrite;          // statistic 7
    int IOErrors;         // statistic 8
    int PacketsReceived;  // statistic 4
    int PacketsSent;      // statistic 3
    int PacketErrors;     // statistic 5
    int Sessions;         // statistic 2
    int Users;            // statistic 1
};

// One row of the process query as the merge takes it: one thread of one session. The texts are
// borrowed for the call only (the merge copies what it keeps, cut to its fields' room).
struct stProcessRow {
    int SPID = 0;
    int ECID = 0;  // 0 the session's own row, above 0 a further thread of it
    const char *DatabaseName = "";
    const char *LoginName = "";
    const char *HostName = "";
    const char *NTDomain = "";
    const char *NTUserName = "";
    const char *NetAddress = "";
    const char *Command = "";
    const char *Status = "";
    const char *ProgramName = "";
    int Blocked = 0;  // the blocking SPID, 0 none
    TDateTime LoginTime = 0;
    TDateTime LastBatch = 0;
    std::int64_t CPU = 0;
    std::int64_t MemUsage = 0;
    std::int64_t PhysicalIO = 0;
    int OpenTran = 0;
    const char *LastWaitType = "";
    const char *WaitResource = "";
    int WaitTime = 0;
    const char *NetLibrary = "";
    const char *HostProcess = "";
};

// The numbering by which every reader names a statistic; any other value reads as -1.
enum TServerStatistic : int {
    ssResponseTime = 0,
    ssUsers = 1,
    ssSessions = 2,
    ssPacketsSent = 3,
    ssPacketsReceived = 4,
    ssPacketErrors = 5,
    ssIORead = 6,
    ssIOWrite = 7,
    ssIOErrors = 8,
    ssCPUBusy = 9,
};

// The key by which a view orders one of the model's tables.
enum TSortKey : std::uint8_t {
    skSPID = 0,
    skDatabase,
    skLoginName,
    skHostName,
    skNTLogin,
    skNetAddress,
    skCommand,
    skStatus,
    skProgramName,
    skLoginTime,
    skLastBatch,
    skNetLibrary,
    skCPU,
    skMemUsage,
    skPhysicalIO,
    skCPUDelta,
    skMemDelta,
    skIODelta,
    skHostProcess,
    skThreads,
    skThreadsDelta,
    skEarliestLogin,
    skLatestLogin,
    skProcesses,
    skProcessesDelta,
    skLocked,
    skOpenTran,
    skWaitTime,
};

static_assert(std::is_trivially_copyable_v<stProcessInfo>, "records are copied as bytes");
static_assert(std::is_trivially_copyable_v<stUserInfo>, "records are copied as bytes");
static_assert(std::is_trivially_copyable_v<stDatabaseInfo>, "records are copied as bytes");
static_assert(std::is_trivially_copyable_v<stThreadInfo>, "records are copied as bytes");
static_assert(std::is_trivially_copyable_v<stStatSample>, "samples are copied as bytes");
