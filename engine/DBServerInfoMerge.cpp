// TDBServerInfo: construction, the per-poll merge of the process query's rows into the session,
// user, database and thread tables, the baseline, the connection state, and the key indexes that
// let each row find its records without a linear search. Main thread only.
//
// The indexes change nothing that can be seen: every table keeps the order and contents that a
// search in table order would give, because keys are unique in their tables (a record is only
// appended when its key is not found) and an index position is checked against the record before
// it is used.

#include "DBServerInfoSource.h"

#include "FixedText.h"
#include "KivraThreadSource.h"

#include <cstring>

using kivra::CopyFixedText;

bool TDBServerInfo::ProcessBaselineMode = false;
bool TDBServerInfo::UserBaselineMode = false;
bool TDBServerInfo::DatabaseBaselineMode = false;

TSortKey TDBServerInfo::FilteredProcessSortKey = skSPID;
TSortKey TDBServerInfo::ProcessSortKey = skSPID;
TSortKey TDBServerInfo::UserSortKey = skLoginName;
TSortKey TDBServerInfo::DatabaseSortKey = skDatabase;
bool TDBServerInfo::FilteredProcessSortAscending = true;
bool TDBServerInfo::ProcessSortAscending = true;
bool TDBServerInfo::UserSortAscending = true;
bool TDBServerInfo::DatabaseSortAscending = true;

namespace {

// A key text as it is stored: cut to the room of its field, so that a row whose text is longer
// than the field still finds the record that it created.
template <std::size_t N> struct CutKey {
    char Text[N];
    explicit CutKey(const char *source) { CopyFixedText(Text, source); }
};

using LoginKey = CutKey<sizeof(stUserInfo::LoginName)>;
using AddressKey = CutKey<sizeof(stUserInfo::NetAddress)>;
using DatabaseKey = CutKey<sizeof(stDatabaseInfo::DatabaseName)>;

void MakeUserKey(std::string &key, const char *loginName, const char *netAddress) {
    key.assign(loginName);
    key.push_back('\0');  // no text holds a zero byte, so the pair is unambiguous
    key.append(netAddress);
}

// Removes, keeping the order of the rest, every record of table for which drop(record) is true.
// removed(record) is called for each removed record before it goes, in table order;
// moved(record, index) for each kept record that moved down, at its new index. One pass, so
// removing many records costs no more than removing one.
template <typename Record, typename Drop, typename Removed, typename Moved>
void RemoveWhere(AllocatedBuffer &table, Drop drop, Removed removed, Moved moved) {
    if (!table.Valid) return;
    int kept = 0;
    for (int i = 0; i < table.Count; ++i) {
        Record &record = table.Item<Record>(i);
        if (drop(record)) {
            removed(record);
            continue;
        }
        if (kept != i) {
            std::memcpy(table.At(kept), &record, sizeof(Record));
            moved(table.Item<Record>(kept), kept);
        }
        ++kept;
    }
    table.Count = kept;
}

constexpr auto kIgnore = [](const auto &...) {};

// The fields that users and databases share: the current poll's values move to the previous
// ones and are cleared.
template <typename Record> void StartAggregatePoll(Record &r) {
    r.Seen = false;
    r.PrevCPU = r.CPU;
    r.PrevMemUsage = r.MemUsage;
    r.PrevPhysicalIO = r.PhysicalIO;
    r.PrevProcesses = static_cast<decltype(r.PrevProcesses)>(r.Processes);
    r.CPU = r.MemUsage = r.PhysicalIO = r.Processes = 0;
    r.EarliestLogin = r.LatestLogin = r.LatestActivity = 0;
    r.BlockedBy = 0;
}

// A new user or database record's counters from its creating row.
template <typename Record>
void StartAggregate(Record &r, int blocked, TDateTime loginTime, TDateTime lastBatch,
                    std::int64_t cpu, std::int64_t memUsage, std::int64_t physicalIO) {
    r.EarliestLogin = r.LatestLogin = loginTime;
    r.LatestActivity = lastBatch;
    r.CPU = cpu;
    r.MemUsage = memUsage;
    r.PhysicalIO = physicalIO;
    r.Processes = 1;
    r.BlockedBy = blocked;
    r.Seen = true;
}

// A further row of an existing user or database.
template <typename Record>
void AddToAggregate(Record &r, int ecid, int blocked, TDateTime loginTime, TDateTime lastBatch,
                    std::int64_t cpu, std::int64_t memUsage, std::int64_t physicalIO) {
    if (ecid == 0) {
        if (r.EarliestLogin == 0 || r.EarliestLogin > loginTime) r.EarliestLogin = loginTime;
        if (r.LatestLogin == 0 || r.LatestLogin < loginTime) r.LatestLogin = loginTime;
        if (r.LatestActivity == 0 || r.LatestActivity < lastBatch) r.LatestActivity = lastBatch;
        r.MemUsage += memUsage;
        r.PhysicalIO += physicalIO;
        ++r.Processes;
    }
    if (blocked > 0 && r.BlockedBy == 0) r.BlockedBy = blocked;
    r.CPU += cpu;
    r.Seen = true;
}

template <typename Record> void TakeBaseline(AllocatedBuffer &table) {
    if (!table.Valid) return;
    for (int i = 0; i < table.Count; ++i) {
        Record &r = table.Item<Record>(i);
        r.BaselineCPU = r.CPU;
        r.BaselinePhysicalIO = r.PhysicalIO;
    }
}

}  // namespace

TDBServerInfo::TDBServerInfo()
    : UserTable(new AllocatedBuffer(sizeof(stUserInfo))),
      DatabaseTable(new AllocatedBuffer(sizeof(stDatabaseInfo))),
      ProcessTable(new AllocatedBuffer(sizeof(stProcessInfo))),
      ThreadTable(new AllocatedBuffer(sizeof(stThreadInfo))) {
    std::memset(History, 0, sizeof History);
}

TDBServerInfo::~TDBServerInfo() {
    for (AllocatedBuffer *table : {UserTable, DatabaseTable, ProcessTable, ThreadTable}) {
        table->Deallocate();
        delete table;
    }
}

void TDBServerInfo::SetServerName(const std::string &name) { ServerName = name; }

// ---- Key indexes ------------------------------------------------------------------------------

void TDBServerInfo::InvalidateIndexes() { IndexesValid = false; }

bool TDBServerInfo::IndexesCurrent() const {
    return IndexesValid && IndexedProcessCount == ProcessTable->Count &&
           IndexedUserCount == UserTable->Count && IndexedDatabaseCount == DatabaseTable->Count;
}

void TDBServerInfo::RebuildIndexes() {
    ProcessIndex.clear();
    UserIndex.clear();
    DatabaseIndex.clear();
    // emplace keeps an existing entry, so each key maps to its first record in table order.
    if (ProcessTable->Valid) {
        ProcessIndex.reserve(static_cast<std::size_t>(ProcessTable->Count));
        for (int i = 0; i < ProcessTable->Count; ++i)
            ProcessIndex.emplace(ProcessTable->Item<stProcessInfo>(i).SPID, i);
    }
    if (UserTable->Valid) {
        UserIndex.reserve(static_cast<std::size_t>(UserTable->Count));
        for (int i = 0; i < UserTable->Count; ++i) {
            const stUserInfo &u = UserTable->Item<stUserInfo>(i);
            MakeUserKey(KeyScratch, u.LoginName, u.NetAddress);
            UserIndex.emplace(KeyScratch, i);
        }
    }
    if (DatabaseTable->Valid) {
        DatabaseIndex.reserve(static_cast<std::size_t>(DatabaseTable->Count));
        for (int i = 0; i < DatabaseTable->Count; ++i)
            DatabaseIndex.emplace(DatabaseTable->Item<stDatabaseInfo>(i).DatabaseName, i);
    }
    IndexedProcessCount = ProcessTable->Count;
    IndexedUserCount = UserTable->Count;
    IndexedDatabaseCount = DatabaseTable->Count;
    IndexesValid = true;
}

int TDBServerInfo::ProcessIndexOf(int spid) {
    if (!ProcessTable->Valid) return -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!IndexesCurrent()) RebuildIndexes();
        const auto it = ProcessIndex.find(spid);
        if (it == ProcessIndex.end()) return -1;
        const int i = it->second;
        if (i < ProcessTable->Count && ProcessTable->Item<stProcessInfo>(i).SPID == spid) return i;
        IndexesValid = false;  // reordered without notice
    }
    return ProcessTable->FindInt(static_cast<int>(offsetof(stProcessInfo, SPID)), spid);
}

int TDBServerInfo::UserIndexOf(const char *loginName, const char *netAddress) {
    if (!UserTable->Valid) return -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!IndexesCurrent()) RebuildIndexes();
        MakeUserKey(KeyScratch, loginName, netAddress);
        const auto it = UserIndex.find(KeyScratch);
        if (it == UserIndex.end()) return -1;
        const int i = it->second;
        if (i < UserTable->Count) {
            const stUserInfo &u = UserTable->Item<stUserInfo>(i);
            if (std::strcmp(u.LoginName, loginName) == 0 && std::strcmp(u.NetAddress, netAddress) == 0)
                return i;
        }
        IndexesValid = false;
    }
    for (int i = 0; i < UserTable->Count; ++i) {
        const stUserInfo &u = UserTable->Item<stUserInfo>(i);
        if (std::strcmp(u.LoginName, loginName) == 0 && std::strcmp(u.NetAddress, netAddress) == 0)
            return i;
    }
    return -1;
}

int TDBServerInfo::DatabaseIndexOf(const char *databaseName) {
    if (!DatabaseTable->Valid) return -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!IndexesCurrent()) RebuildIndexes();
        KeyScratch.assign(databaseName);
        const auto it = DatabaseIndex.find(KeyScratch);
        if (it == DatabaseIndex.end()) return -1;
        const int i = it->second;
        if (i < DatabaseTable->Count &&
            std::strcmp(DatabaseTable->Item<stDatabaseInfo>(i).DatabaseName, databaseName) == 0)
            return i;
        IndexesValid = false;
    }
    return DatabaseTable->FindText(static_cast<int>(offsetof(stDatabaseInfo, DatabaseName)),
                                   databaseName);
}

// ---- Poll merge -------------------------------------------------------------------------------

void TDBServerInfo::BeginPollCycle() {
    if (UserTable->Valid)
        for (int i = 0; i < UserTable->Count; ++i) StartAggregatePoll(UserTable->Item<stUserInfo>(i));

    if (ProcessTable->Valid) {
        for (int i = 0; i < ProcessTable->Count; ++i) {
            stProcessInfo &p = ProcessTable->Item<stProcessInfo>(i);
            p.Seen = false;
            p.PrevCPU = p.CPU;
            p.PrevMemUsage = p.MemUsage;
            p.PrevPhysicalIO = p.PhysicalIO;
            p.PrevThreads = p.Threads;
            p.CPU = p.MemUsage = p.PhysicalIO = 0;
            p.Threads = 0;
            p.LastBatch = 0;
            p.BlockedBy = 0;
        }
    }

    if (DatabaseTable->Valid)
        for (int i = 0; i < DatabaseTable->Count; ++i)
            StartAggregatePoll(DatabaseTable->Item<stDatabaseInfo>(i));

    // Empty with room for 150, as a fresh block would be, but without giving back the memory
    // that the next poll's rows will need again.
    ThreadTable->Clear();

    ShiftHistory();
}

void TDBServerInfo::RemoveThreadsOf(int spid) {
    RemoveWhere<stThreadInfo>(
        *ThreadTable, [spid](const stThreadInfo &t) { return t.SPID == spid; }, kIgnore, kIgnore);
}

void TDBServerInfo::AddProcessRow(int spid, int ecid, const char *databaseName,
                                  const char *loginName, const char *hostName,
                                  const char *ntDomain, const char *ntUserName,
                                  const char *netAddress, const char *command, const char *status,
                                  const char *programName, int blocked, TDateTime loginTime,
                                  TDateTime lastBatch, std::int64_t cpu, std::int64_t memUsage,
                                  std::int64_t physicalIO, int openTran, const char *lastWaitType,
                                  const char *waitResource, int waitTime, const char *netLibrary,
                                  const char *hostProcess) {
    // ---- Session ----
    const int p = ProcessIndexOf(spid);
    if (p < 0) {
        stProcessInfo r;
        std::memset(&r, 0, sizeof r);
        r.SPID = spid;
        CopyFixedText(r.DatabaseName, databaseName);
        CopyFixedText(r.LoginName, loginName);
        CopyFixedText(r.HostName, hostName);
        CopyFixedText(r.NTDomain, ntDomain);
        CopyFixedText(r.NTUserName, ntUserName);
        CopyFixedText(r.NetAddress, netAddress);
        CopyFixedText(r.Command, command);
        CopyFixedText(r.Status, status);
        CopyFixedText(r.ProgramName, programName);
        r.LoginTime = loginTime;
        r.LastBatch = lastBatch;
        CopyFixedText(r.NetLibrary, netLibrary);
        r.CPU = cpu;
        r.MemUsage = memUsage;
        r.PhysicalIO = physicalIO;
        r.BlockedBy = blocked;
        r.Threads = 1;
        r.OpenTran = openTran;
        r.WaitTime = waitTime;
        CopyFixedText(r.HostProcess, hostProcess);
        r.Seen = true;
        const int before = ProcessTable->Count;
        ProcessTable->Append(r);
        // A session the table could not take is not announced: it would be announced again at
        // every poll without ever being seen to leave.
        if (ProcessTable->Count > before) {
            if (IndexesValid && IndexedProcessCount == before) {
                ProcessIndex.emplace(spid, before);
                IndexedProcessCount = ProcessTable->Count;
            }
            LogSessionEvent(ProcessTable->Item<stProcessInfo>(before), true);
        }
    } else {
        stProcessInfo &r = ProcessTable->Item<stProcessInfo>(p);
        if (r.LoginTime != loginTime) {
            // A new session has taken over the SPID.
            LogSessionEvent(r, false);
            CopyFixedText(r.LoginName, loginName);
            CopyFixedText(r.HostName, hostName);
            CopyFixedText(r.HostProcess, hostProcess);
            CopyFixedText(r.NTDomain, ntDomain);
            CopyFixedText(r.NTUserName, ntUserName);
            CopyFixedText(r.NetAddress, netAddress);
            CopyFixedText(r.ProgramName, programName);
            r.LoginTime = loginTime;
            CopyFixedText(r.NetLibrary, netLibrary);
            r.PrevCPU = r.PrevMemUsage = r.PrevPhysicalIO = 0;
            r.BaselineCPU = r.BaselinePhysicalIO = 0;
            r.PrevThreads = 0;
            // The thread table is emptied at every poll start, so only a SPID already seen in
            // this poll can have thread records in it.
            if (r.Seen) RemoveThreadsOf(spid);
            LogSessionEvent(r, true);
        }
        if (!r.Seen) {
            r.WaitTime = waitTime;
            CopyFixedText(r.DatabaseName, databaseName);
            CopyFixedText(r.Command, command);
            CopyFixedText(r.Status, status);
            r.OpenTran = openTran;
            r.MemUsage = memUsage;
            r.PhysicalIO = physicalIO;
        }
        if (blocked > 0 && r.BlockedBy == 0) r.BlockedBy = blocked;
        r.CPU += cpu;
        if (lastBatch > r.LastBatch) r.LastBatch = lastBatch;
        ++r.Threads;
        r.Seen = true;
    }

    // ---- User ----
    const LoginKey login(loginName);
    const AddressKey address(netAddress);
    const int u = UserIndexOf(login.Text, address.Text);
    if (u < 0) {
        stUserInfo r;
        std::memset(&r, 0, sizeof r);
        std::memcpy(r.LoginName, login.Text, sizeof r.LoginName);
        CopyFixedText(r.HostName, hostName);
        CopyFixedText(r.NTDomain, ntDomain);
        CopyFixedText(r.NTUserName, ntUserName);
        std::memcpy(r.NetAddress, address.Text, sizeof r.NetAddress);
        CopyFixedText(r.NetLibrary, netLibrary);
        StartAggregate(r, blocked, loginTime, lastBatch, cpu, memUsage, physicalIO);
        const int before = UserTable->Count;
        UserTable->Append(r);
        if (UserTable->Count > before && IndexesValid && IndexedUserCount == before) {
            MakeUserKey(KeyScratch, login.Text, address.Text);
            UserIndex.emplace(KeyScratch, before);
            IndexedUserCount = UserTable->Count;
        }
    } else {
        AddToAggregate(UserTable->Item<stUserInfo>(u), ecid, blocked, loginTime, lastBatch, cpu,
                       memUsage, physicalIO);
    }

    // ---- Database ----
    const DatabaseKey database(databaseName);
    const int d = DatabaseIndexOf(database.Text);
    if (d < 0) {
        stDatabaseInfo r;
        std::memset(&r, 0, sizeof r);
        std::memcpy(r.DatabaseName, database.Text, sizeof r.DatabaseName);
        StartAggregate(r, blocked, loginTime, lastBatch, cpu, memUsage, physicalIO);
        const int before = DatabaseTable->Count;
        DatabaseTable->Append(r);
        if (DatabaseTable->Count > before && IndexesValid && IndexedDatabaseCount == before) {
            DatabaseIndex.emplace(database.Text, before);
            IndexedDatabaseCount = DatabaseTable->Count;
        }
    } else {
        AddToAggregate(DatabaseTable->Item<stDatabaseInfo>(d), ecid, blocked, loginTime, lastBatch,
                       cpu, memUsage, physicalIO);
    }

    // ---- Thread ----
    stThreadInfo t;
    std::memset(&t, 0, sizeof t);
    t.SPID = spid;
    t.ECID = ecid;
    t.WaitTime = waitTime;
    CopyFixedText(t.LastWaitType, lastWaitType);
    CopyFixedText(t.WaitResource, waitResource);
    CopyFixedText(t.DatabaseName, databaseName);
    ThreadTable->Append(t);
}

void TDBServerInfo::EndPollCycle() {
    // The indexes follow the records as they move down, so the next poll need not rebuild them.
    const bool track = IndexesCurrent();
    const auto unseen = [](const auto &r) { return !r.Seen; };

    RemoveWhere<stProcessInfo>(
        *ProcessTable, unseen,
        [this, track](const stProcessInfo &r) {
            LogSessionEvent(r, false);
            if (track) ProcessIndex.erase(r.SPID);
        },
        [this, track](const stProcessInfo &r, int index) {
            if (track) ProcessIndex[r.SPID] = index;
        });

    RemoveWhere<stUserInfo>(
        *UserTable, unseen,
        [this, track](const stUserInfo &r) {
            if (!track) return;
            MakeUserKey(KeyScratch, r.LoginName, r.NetAddress);
            UserIndex.erase(KeyScratch);
        },
        [this, track](const stUserInfo &r, int index) {
            if (!track) return;
            MakeUserKey(KeyScratch, r.LoginName, r.NetAddress);
            UserIndex[KeyScratch] = index;
        });

    RemoveWhere<stDatabaseInfo>(
        *DatabaseTable, unseen,
        [this, track](const stDatabaseInfo &r) {
            if (!track) return;
            KeyScratch.assign(r.DatabaseName);
            DatabaseIndex.erase(KeyScratch);
        },
        [this, track](const stDatabaseInfo &r, int index) {
            if (!track) return;
            KeyScratch.assign(r.DatabaseName);
            DatabaseIndex[KeyScratch] = index;
        });

    if (track) {
        IndexedProcessCount = ProcessTable->Count;
        IndexedUserCount = UserTable->Count;
        IndexedDatabaseCount = DatabaseTable->Count;
    } else {
        InvalidateIndexes();
    }
}

// ---- Baseline and connection state ------------------------------------------------------------

void TDBServerInfo::SetBaseline(bool on) {
    ProcessBaselineMode = UserBaselineMode = DatabaseBaselineMode = on;
    if (!on) return;  // the stored baselines stay for a later switch back on
    TakeBaseline<stProcessInfo>(*ProcessTable);
    TakeBaseline<stDatabaseInfo>(*DatabaseTable);
    TakeBaseline<stUserInfo>(*UserTable);
}

void TDBServerInfo::SetDisconnected(bool disconnected) {
    if (disconnected == Disconnected) return;
    Disconnected = disconnected;
    if (!disconnected) {
        LostAlertSent = false;
        HighDemandAlertSent = false;
        SlowResponseAlertSent = false;
    }
}

bool TDBServerInfo::Reconnect() {
    // Without a worker there is no connection to reopen.
    const bool reopened = Thread != nullptr && Thread->Reconnect();
    Disconnected = !reopened;
    return reopened;
}
