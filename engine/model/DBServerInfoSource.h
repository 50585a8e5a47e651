#pragma once
// TDBServerInfo: the data model of one watched server. One object per connection slot, created
// by the main window when the server is connected and deleted when it is disconnected.
//
// It holds four record tables (sessions, users, databases, session threads of the last poll),
// the 120-poll statistics history, the alert state, and writes the statistics and sessions logs.
// The worker thread's hand-over feeds every poll into it; the views fill their grids from it.
//
// Threads: main thread only. The merge runs inside the worker's synchronous hand-over, the views
// read on the main thread, so no table is read in the middle of a merge. The class-wide sort state
// and baseline switches are shared by all servers and changed only on the main thread.
//
// Ownership: the model owns its four tables; Owner (the main window) and Thread (the server's
// worker, seen through the requests it serves) are borrowed.
//
// The implementation is split by concern: DBServerInfoSource.cpp (construction, class-wide state,
// connection state), DBServerInfoMerge.cpp (tables, merge, baseline),
// DBServerInfoStatistics.cpp (history, rates, uptime), DBServerInfoAlerts.cpp,
// DBServerInfoLogs.cpp, DBServerInfoSort.cpp (sort keys, comparators), DBServerInfoFill.cpp
// (grid fills), DBServerInfoLookups.cpp (lookups, session details, forwards to the thread).

#include "AllocatedBuffer.h"
#include "KivraOwner.h"
#include "RecordIndex.h"
#include "ServerRecords.h"
#include "ServerRequests.h"
#include "TDateTime.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TStringTable;

class TDBServerInfo {
public:
    static constexpr int kHistorySize = 120;
    static constexpr double kAlertRearmDays = 0.42;

    TDBServerInfo();
    ~TDBServerInfo();
    TDBServerInfo(const TDBServerInfo &) = delete;
    TDBServerInfo &operator=(const TDBServerInfo &) = delete;

    // ---- Poll merge -------------------------------------------------------------------------
    void BeginPollCycle();
    // One row into the session, user, database and thread tables (one step each, in that order).
    void AddProcessRow(const stProcessRow &row);
    void EndPollCycle();

    // Sets the three class-wide baseline switches; with true also takes this model's baseline.
    void SetBaseline(bool on);
    void SetDisconnected(bool disconnected);
    bool Reconnect();  // through Thread; true when the connection was reopened
    void SetServerName(const std::string &name);

    // ---- Statistics and history -------------------------------------------------------------
    void UpdateStatistics(int responseTime, int packetsSent, int packetsReceived, int packetErrors,
                          int totalRead, int totalWrite, int totalErrors, std::int64_t cpuBusy,
                          std::int64_t cpuIdle, TDateTime serverTime);
    int GetStatistic(TServerStatistic stat, int point) const;  // -1 for an unknown stat
    int GetStatisticMax(TServerStatistic stat) const;          // 0 when no sample is above 0
    std::string GetUptimeText() const;  // "Running for 1 days, 2 hours, 3 minutes and 4 seconds"
    std::string GetShortUptimeText() const;  // "1d, 02h, 03m, 04s"
    TDateTime GetServerStartTime() const;

    // ---- Alerts -----------------------------------------------------------------------------
    void EvaluateAlerts();
    bool CheckConnectionLost();
    bool CheckHighDemand();
    bool CheckSlowResponse();

    // ---- Logs -------------------------------------------------------------------------------
    void LogSessionEvent(const stProcessInfo &record, bool connect);

    // ---- Sort keys (class-wide state) and comparators ---------------------------------------
    void SetFilteredProcessSortKey(TSortKey key);
    void SetProcessSortKey(TSortKey key);
    void SetUserSortKey(TSortKey key);
    void SetDatabaseSortKey(TSortKey key);
    static int CompareFilteredProcesses(const void *a, const void *b);
    static int CompareProcesses(const void *a, const void *b);
    static int CompareUsers(const void *a, const void *b);
    static int CompareDatabases(const void *a, const void *b);

    // ---- Grid fills: sort the table in place, then write rows 1.. and the row count ---------
    void FillProcessGrid(TStringTable *grid);
    void FillBlockedProcessGrid(TStringTable *grid);
    void FillDatabaseProcessGrid(const char *databaseName, TStringTable *grid);
    void FillUserProcessGrid(const char *loginName, const char *netAddress, TStringTable *grid);
    void FillThreadGrid(int spid, TStringTable *grid);
    void FillUserGrid(TStringTable *grid);
    void FillDatabaseGrid(TStringTable *grid);

    // ---- Lookups, session details, forwards to the thread -----------------------------------
    int FindUser(const char *loginName, const char *netAddress) const;
    int FindDatabase(const char *name) const;
    bool GetProcessDetails(int spid, std::string &loginName, std::string &ntLogin,
                           std::string &databaseName, std::string &status, std::string &command,
                           std::string &programName, std::string &hostName, int &cpu, int &cpuDelta,
                           int &memUsage, int &memDelta, int &physicalIO, int &ioDelta,
                           int &threads, int &threadsDelta, TDateTime &loginTime,
                           TDateTime &lastBatch) const;
    std::string GetInputBuffer(int spid, std::string &eventType);
    std::string GetStatementText(int spid, std::string &objectName, std::string &encrypted,
                                 int &stmtStart, int &stmtEnd);
    int KillProcess(int spid);

    // The key indexes of the session, user and database tables are rebuilt before the next
    // merge; called by whatever reorders a table in place (the fills' sorts).
    void InvalidateIndexes();

    // ---- Fields that other code reads or writes ---------------------------------------------
    TKivraOwner *Owner = nullptr;        // the main window, not owned
    AllocatedBuffer *UserTable;          // stUserInfo
    AllocatedBuffer *DatabaseTable;      // stDatabaseInfo
    AllocatedBuffer *ProcessTable;       // stProcessInfo
    AllocatedBuffer *ThreadTable;        // stThreadInfo, emptied at every poll start
    stStatSample History[kHistorySize];  // index 0 the oldest, 119 the current poll
    int StatsLogCounter = 0;
    bool Disconnected = false;

    bool LostAlertSent = false;
    bool HighDemandAlertSent = false;
    TDateTime HighDemandAlertTime = 0;
    int HighDemandCount = 0;
    bool SlowResponseAlertSent = false;
    TDateTime SlowResponseAlertTime = 0;
    int SlowResponseCount = 0;

    std::int64_t PrevCpuBusy = 0, PrevCpuIdle = 0;  // PrevCpuBusy 0: no poll taken yet
    int PrevPacketsReceived = 0, PrevPacketsSent = 0, PrevPacketErrors = 0;
    int PrevTotalRead = 0, PrevTotalWrite = 0, PrevTotalErrors = 0;
    std::uint32_t PrevTick = 0;

    TDateTime ServerStartTime = 0;  // earliest login time of all sessions
    TDateTime ServerTime = 0;       // server clock of the last poll
    std::string ServerName;
    TServerRequests *Thread = nullptr;  // the server's worker, not owned

    // ---- Class-wide state: one copy for all servers -----------------------------------------
    static bool ProcessBaselineMode, UserBaselineMode, DatabaseBaselineMode;
    static TSortKey FilteredProcessSortKey, ProcessSortKey, UserSortKey, DatabaseSortKey;
    static bool FilteredProcessSortAscending, ProcessSortAscending, UserSortAscending,
        DatabaseSortAscending;

private:
    void ShiftHistory();            // at every poll start: samples 1..119 move to 0..118
    void WriteStatisticsLogStep();  // last step of UpdateStatistics

    // Key indexes of the merge (sessions by SPID, users by login and address, databases by
    // name): the table position of the record with a key, found by hash and checked against the
    // record. Valid while IndexesValid and the tables still hold the counts that were indexed; a
    // table reordered without notice is caught by the check and the indexes are rebuilt.
    void RebuildIndexes();
    bool IndexesCurrent() const;
    int ProcessIndexOf(int spid);
    int UserIndexOf(const char *loginName, std::size_t loginLength, const char *netAddress,
                    std::size_t addressLength);                         // keys already cut to room
    int DatabaseIndexOf(const char *databaseName, std::size_t length);  // key already cut to room
    void RemoveThreadsOf(int spid);
    // The four steps of AddProcessRow.
    void MergeSession(const stProcessRow &row);
    void MergeUser(const stProcessRow &row);
    void MergeDatabase(const stProcessRow &row);
    void AppendThread(const stProcessRow &row);
    bool IndexesValid = false;
    int IndexedProcessCount = 0, IndexedUserCount = 0, IndexedDatabaseCount = 0;
    kivra::RecordIndex ProcessIndex, UserIndex, DatabaseIndex;
    std::vector<int> NewPosition;  // scratch of EndPollCycle: a record's position after it
};
