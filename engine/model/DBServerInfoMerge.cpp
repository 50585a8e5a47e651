// TDBServerInfo: the per-poll merge of the process query's rows into the session, user, database
// and thread tables, the baseline, and the key indexes that let each row find its records without
// a linear search. Main thread only.
//
// The indexes change nothing that can be seen: every table keeps the order and contents that a
// search in table order would give, because keys are unique in their tables (a record is only
// appended when its key is not found) and an index position is checked against the record before
// it is used. A row's keys are hashed where they stand: no key text is copied or allocated.

#include "DBServerInfoSource.h"

#include "FixedText.h"

#include <cstring>

using kivra::CopyFixedText;

namespace {

// A key text as its record stores it: the text itself when it fits the field's room, else its
// copy cut to the room, so that a row whose text is longer than the field still finds the record
// that it created.
template <std::size_t N> class StoredKey {
public:
    explicit StoredKey(const char *source) {
        Text = source ? source : "";
        Length = strnlen(Text, N);
        if (Length < N) return;
        Length = CopyFixedText(Cut, Text);
        Text = Cut;
    }
    StoredKey(const StoredKey &) = delete;
    StoredKey &operator=(const StoredKey &) = delete;

    const char *Text;
    std::size_t Length;  // bytes before the terminator

private:
    char Cut[N];
};

using LoginKey = StoredKey<sizeof(stUserInfo::LoginName)>;
using AddressKey = StoredKey<sizeof(stUserInfo::NetAddress)>;
using DatabaseKey = StoredKey<sizeof(stDatabaseInfo::DatabaseName)>;

template <std::size_t N> std::size_t FieldLength(const char (&field)[N]) {
    return strnlen(field, N);
}

// The hash of a record's key, as its index holds it.
std::uint32_t KeyHash(const stProcessInfo &p) { return kivra::HashInt(p.SPID); }
std::uint32_t KeyHash(const stUserInfo &u) {
    return kivra::HashTextPair(u.LoginName, FieldLength(u.LoginName), u.NetAddress,
                               FieldLength(u.NetAddress));
}
std::uint32_t KeyHash(const stDatabaseInfo &d) {
    return kivra::HashText(d.DatabaseName, FieldLength(d.DatabaseName));
}

// Removes, keeping the order of the rest, every record of table for which drop(record) is true;
// removed(record) is called for each, in table order, before any record moves. newPosition
// receives each record's position after the removal (-1 for a removed one). The kept records
// move down in runs, one memory move per run. Returns whether any record was removed.
template <typename Record, typename Drop, typename Removed>
bool RemoveWhere(AllocatedBuffer &table, Drop drop, Removed removed,
                 std::vector<int> &newPosition) {
    if (!table.Valid) return false;
    const int count = table.Count;
    if (newPosition.size() < static_cast<std::size_t>(count))
        newPosition.resize(static_cast<std::size_t>(count));
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const Record &record = table.Item<Record>(i);
        if (drop(record)) {
            removed(record);
            newPosition[static_cast<std::size_t>(i)] = -1;
        } else {
            newPosition[static_cast<std::size_t>(i)] = kept++;
        }
    }
    if (kept == count) return false;
    for (int i = 0; i < count;) {
        if (newPosition[static_cast<std::size_t>(i)] < 0) {
            ++i;
            continue;
        }
        int end = i + 1;
        while (end < count && newPosition[static_cast<std::size_t>(end)] >= 0) ++end;
        const int to = newPosition[static_cast<std::size_t>(i)];
        if (to != i)
            std::memmove(table.At(to), table.At(i),
                         static_cast<std::size_t>(end - i) * sizeof(Record));
        i = end;
    }
    table.Count = kept;
    return true;
}

constexpr auto kIgnore = [](const auto &) {};

// Indexes every record of table, in table order, so a key held twice maps to its first record.
template <typename Record>
void IndexTable(kivra::RecordIndex &index, const AllocatedBuffer &table) {
    const int count = table.Valid ? table.Count : 0;
    index.Reset(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) index.Insert(KeyHash(table.Item<Record>(i)), i);
}

// The position of the record with the key through index (rebuilt first when it is not current,
// and once more when the table turns out to have been reordered without notice), or -1. is(r)
// tells whether record r has the key; without a valid index the table is searched.
template <typename Record, typename Is, typename Current, typename Rebuild>
int IndexedFind(const AllocatedBuffer &table, const kivra::RecordIndex &index, std::uint32_t hash,
                Is is, Current current, Rebuild rebuild, bool &valid) {
    if (!table.Valid) return -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!current()) rebuild();
        bool stale = false;
        const int i = index.Find(
            hash, [&](int at) { return at < table.Count && is(table.Item<Record>(at)); },
            [&](int at) { return at < table.Count ? KeyHash(table.Item<Record>(at)) : ~hash; },
            stale);
        if (i >= 0) return i;
        if (!stale) return -1;
        valid = false;  // reordered without notice
    }
    for (int i = 0; i < table.Count; ++i)
        if (is(table.Item<Record>(i))) return i;
    return -1;
}

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
template <typename Record> void StartAggregate(Record &r, const stProcessRow &row) {
    r.EarliestLogin = r.LatestLogin = row.LoginTime;
    r.LatestActivity = row.LastBatch;
    r.CPU = row.CPU;
    r.MemUsage = row.MemUsage;
    r.PhysicalIO = row.PhysicalIO;
    r.Processes = 1;
    r.BlockedBy = row.Blocked;
    r.Seen = true;
}

// A further row of an existing user or database.
template <typename Record> void AddToAggregate(Record &r, const stProcessRow &row) {
    if (row.ECID == 0) {
        if (r.EarliestLogin == 0 || r.EarliestLogin > row.LoginTime)
            r.EarliestLogin = row.LoginTime;
        if (r.LatestLogin == 0 || r.LatestLogin < row.LoginTime) r.LatestLogin = row.LoginTime;
        if (r.LatestActivity == 0 || r.LatestActivity < row.LastBatch)
            r.LatestActivity = row.LastBatch;
        r.MemUsage += row.MemUsage;
        r.PhysicalIO += row.PhysicalIO;
        ++r.Processes;
    }
    if (row.Blocked > 0 && r.BlockedBy == 0) r.BlockedBy = row.Blocked;
    r.CPU += row.CPU;
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

// ---- Key indexes ------------------------------------------------------------------------------

void TDBServerInfo::InvalidateIndexes() { IndexesValid = false; }

bool TDBServerInfo::IndexesCurrent() const {
    return IndexesValid && IndexedProcessCount == ProcessTable->Count &&
           IndexedUserCount == UserTable->Count && IndexedDatabaseCount == DatabaseTable->Count;
}

void TDBServerInfo::RebuildIndexes() {
    IndexTable<stProcessInfo>(ProcessIndex, *ProcessTable);
    IndexTable<stUserInfo>(UserIndex, *UserTable);
    IndexTable<stDatabaseInfo>(DatabaseIndex, *DatabaseTable);
    IndexedProcessCount = ProcessTable->Count;
    IndexedUserCount = UserTable->Count;
    IndexedDatabaseCount = DatabaseTable->Count;
    IndexesValid = true;
}

int TDBServerInfo::ProcessIndexOf(int spid) {
    return IndexedFind<stProcessInfo>(
        *ProcessTable, ProcessIndex, kivra::HashInt(spid),
        [spid](const stProcessInfo &p) { return p.SPID == spid; },
        [this] { return IndexesCurrent(); }, [this] { RebuildIndexes(); }, IndexesValid);
}

int TDBServerInfo::UserIndexOf(const char *loginName, std::size_t loginLength,
                               const char *netAddress, std::size_t addressLength) {
    return IndexedFind<stUserInfo>(
        *UserTable, UserIndex,
        kivra::HashTextPair(loginName, loginLength, netAddress, addressLength),
        [&](const stUserInfo &u) {
            return std::strcmp(u.LoginName, loginName) == 0 &&
                   std::strcmp(u.NetAddress, netAddress) == 0;
        },
        [this] { return IndexesCurrent(); }, [this] { RebuildIndexes(); }, IndexesValid);
}

int TDBServerInfo::DatabaseIndexOf(const char *databaseName, std::size_t length) {
    return IndexedFind<stDatabaseInfo>(
        *DatabaseTable, DatabaseIndex, kivra::HashText(databaseName, length),
        [databaseName](const stDatabaseInfo &d) {
            return std::strcmp(d.DatabaseName, databaseName) == 0;
        },
        [this] { return IndexesCurrent(); }, [this] { RebuildIndexes(); }, IndexesValid);
}

// ---- Poll merge -------------------------------------------------------------------------------

void TDBServerInfo::BeginPollCycle() {
    if (UserTable->Valid)
        for (int i = 0; i < UserTable->Count; ++i)
            StartAggregatePoll(UserTable->Item<stUserInfo>(i));

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
        *ThreadTable, [spid](const stThreadInfo &t) { return t.SPID == spid; }, kIgnore,
        NewPosition);
}

void TDBServerInfo::AddProcessRow(const stProcessRow &row) {
    MergeSession(row);
    MergeUser(row);
    MergeDatabase(row);
    AppendThread(row);
}

// The session of the row: a new record, a SPID taken over by a new login, or a further thread.
void TDBServerInfo::MergeSession(const stProcessRow &row) {
    const int p = ProcessIndexOf(row.SPID);
    if (p < 0) {
        stProcessInfo r;
        std::memset(&r, 0, sizeof r);
        r.SPID = row.SPID;
        CopyFixedText(r.DatabaseName, row.DatabaseName);
        CopyFixedText(r.LoginName, row.LoginName);
        CopyFixedText(r.HostName, row.HostName);
        CopyFixedText(r.NTDomain, row.NTDomain);
        CopyFixedText(r.NTUserName, row.NTUserName);
        CopyFixedText(r.NetAddress, row.NetAddress);
        CopyFixedText(r.Command, row.Command);
        CopyFixedText(r.Status, row.Status);
        CopyFixedText(r.ProgramName, row.ProgramName);
        r.LoginTime = row.LoginTime;
        r.LastBatch = row.LastBatch;
        CopyFixedText(r.NetLibrary, row.NetLibrary);
        r.CPU = row.CPU;
        r.MemUsage = row.MemUsage;
        r.PhysicalIO = row.PhysicalIO;
        r.BlockedBy = row.Blocked;
        r.Threads = 1;
        r.OpenTran = row.OpenTran;
        r.WaitTime = row.WaitTime;
        CopyFixedText(r.HostProcess, row.HostProcess);
        r.Seen = true;
        const int before = ProcessTable->Count;
        ProcessTable->Append(r);
        // A session the table could not take is not announced: it would be announced again at
        // every poll without ever being seen to leave.
        if (ProcessTable->Count > before) {
            if (IndexesValid && IndexedProcessCount == before) {
                ProcessIndex.Insert(kivra::HashInt(row.SPID), before);
                IndexedProcessCount = ProcessTable->Count;
            }
            LogSessionEvent(ProcessTable->Item<stProcessInfo>(before), true);
        }
    } else {
        stProcessInfo &r = ProcessTable->Item<stProcessInfo>(p);
        if (r.LoginTime != row.LoginTime) {
            // A new session has taken over the SPID.
            LogSessionEvent(r, false);
            CopyFixedText(r.LoginName, row.LoginName);
            CopyFixedText(r.HostName, row.HostName);
            CopyFixedText(r.HostProcess, row.HostProcess);
            CopyFixedText(r.NTDomain, row.NTDomain);
            CopyFixedText(r.NTUserName, row.NTUserName);
            CopyFixedText(r.NetAddress, row.NetAddress);
            CopyFixedText(r.ProgramName, row.ProgramName);
            r.LoginTime = row.LoginTime;
            CopyFixedText(r.NetLibrary, row.NetLibrary);
            r.PrevCPU = r.PrevMemUsage = r.PrevPhysicalIO = 0;
            r.BaselineCPU = r.BaselinePhysicalIO = 0;
            r.PrevThreads = 0;
            // The thread table is emptied at every poll start, so only a SPID already seen in
            // this poll can have thread records in it.
            if (r.Seen) RemoveThreadsOf(row.SPID);
            LogSessionEvent(r, true);
        }
        if (!r.Seen) {
            r.WaitTime = row.WaitTime;
            CopyFixedText(r.DatabaseName, row.DatabaseName);
            CopyFixedText(r.Command, row.Command);
            CopyFixedText(r.Status, row.Status);
            r.OpenTran = row.OpenTran;
            r.MemUsage = row.MemUsage;
            r.PhysicalIO = row.PhysicalIO;
        }
        if (row.Blocked > 0 && r.BlockedBy == 0) r.BlockedBy = row.Blocked;
        r.CPU += row.CPU;
        if (row.LastBatch > r.LastBatch) r.LastBatch = row.LastBatch;
        ++r.Threads;
        r.Seen = true;
    }
}

// The user (login and address) of the row: a new record or one more row of it.
void TDBServerInfo::MergeUser(const stProcessRow &row) {
    const LoginKey login(row.LoginName);
    const AddressKey address(row.NetAddress);
    const int u = UserIndexOf(login.Text, login.Length, address.Text, address.Length);
    if (u < 0) {
        stUserInfo r;
        std::memset(&r, 0, sizeof r);
        std::memcpy(r.LoginName, login.Text, login.Length);
        CopyFixedText(r.HostName, row.HostName);
        CopyFixedText(r.NTDomain, row.NTDomain);
        CopyFixedText(r.NTUserName, row.NTUserName);
        std::memcpy(r.NetAddress, address.Text, address.Length);
        CopyFixedText(r.NetLibrary, row.NetLibrary);
        StartAggregate(r, row);
        const int before = UserTable->Count;
        UserTable->Append(r);
        if (UserTable->Count > before && IndexesValid && IndexedUserCount == before) {
            UserIndex.Insert(KeyHash(r), before);
            IndexedUserCount = UserTable->Count;
        }
    } else {
        AddToAggregate(UserTable->Item<stUserInfo>(u), row);
    }
}

// The database of the row: a new record or one more row of it.
void TDBServerInfo::MergeDatabase(const stProcessRow &row) {
    const DatabaseKey database(row.DatabaseName);
    const int d = DatabaseIndexOf(database.Text, database.Length);
    if (d < 0) {
        stDatabaseInfo r;
        std::memset(&r, 0, sizeof r);
        std::memcpy(r.DatabaseName, database.Text, database.Length);
        StartAggregate(r, row);
        const int before = DatabaseTable->Count;
        DatabaseTable->Append(r);
        if (DatabaseTable->Count > before && IndexesValid && IndexedDatabaseCount == before) {
            DatabaseIndex.Insert(KeyHash(r), before);
            IndexedDatabaseCount = DatabaseTable->Count;
        }
    } else {
        AddToAggregate(DatabaseTable->Item<stDatabaseInfo>(d), row);
    }
}

// The row's thread record. Written in place: the record is not built on the stack and copied.
void TDBServerInfo::AppendThread(const stProcessRow &row) {
    if (void *slot = ThreadTable->AppendZeroed()) {
        stThreadInfo &t = *static_cast<stThreadInfo *>(slot);
        t.SPID = row.SPID;
        t.ECID = row.ECID;
        t.WaitTime = row.WaitTime;
        CopyFixedText(t.LastWaitType, row.LastWaitType);
        CopyFixedText(t.WaitResource, row.WaitResource);
        CopyFixedText(t.DatabaseName, row.DatabaseName);
    }
}

void TDBServerInfo::EndPollCycle() {
    // The indexes follow the records as they move down, so the next poll need not rebuild them.
    const bool track = IndexesCurrent();
    const auto unseen = [](const auto &r) { return !r.Seen; };

    if (RemoveWhere<stProcessInfo>(
            *ProcessTable, unseen, [this](const stProcessInfo &r) { LogSessionEvent(r, false); },
            NewPosition) &&
        track)
        ProcessIndex.Remap(NewPosition, ProcessTable->Count);
    if (RemoveWhere<stUserInfo>(*UserTable, unseen, kIgnore, NewPosition) && track)
        UserIndex.Remap(NewPosition, UserTable->Count);
    if (RemoveWhere<stDatabaseInfo>(*DatabaseTable, unseen, kIgnore, NewPosition) && track)
        DatabaseIndex.Remap(NewPosition, DatabaseTable->Count);

    if (track) {
        IndexedProcessCount = ProcessTable->Count;
        IndexedUserCount = UserTable->Count;
        IndexedDatabaseCount = DatabaseTable->Count;
    } else {
        InvalidateIndexes();
    }
}

// ---- Baseline ---------------------------------------------------------------------------------

void TDBServerInfo::SetBaseline(bool on) {
    ProcessBaselineMode = UserBaselineMode = DatabaseBaselineMode = on;
    if (!on) return;  // the stored baselines stay for a later switch back on
    TakeBaseline<stProcessInfo>(*ProcessTable);
    TakeBaseline<stDatabaseInfo>(*DatabaseTable);
    TakeBaseline<stUserInfo>(*UserTable);
}
