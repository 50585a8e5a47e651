// Sort keys and comparators of TDBServerInfo. The class-wide sort state (one key and direction
// per family) and the baseline switches are defined with their initial values beside the merge;
// here they are changed by the four setters and read by the comparators at every call.
// The comparators have the qsort form, allocate nothing and read the two records directly.

#include "DBServerInfoSource.h"

#include "RecordCounters.h"

#include <cstring>

namespace {

// The direction a key gets when it is newly chosen: identity, names, texts, times, host process
// and threads ascend; counters, deltas, counts, open transactions, wait time and any higher
// value descend, so the first press on a counter shows the largest first.
bool AscendsFirst(TSortKey key) {
    return key <= skNetLibrary || key == skHostProcess || key == skThreads;
}

void ChooseKey(TSortKey &current, bool &ascending, TSortKey key) {
    if (key == current) {
        ascending = !ascending;
        return;
    }
    current = key;
    ascending = AscendsFirst(key);
}

// Byte-order text comparison (unsigned bytes, as strcmp), bounded by the field's room.
template <std::size_t N> int Text(const char (&a)[N], const char (&b)[N]) {
    const int r = std::strncmp(a, b, N);
    return (r > 0) - (r < 0);
}

int DateTime(TDateTime a, TDateTime b) {
    if (a > b) return 1;
    if (a != b) return -1;
    return 0;
}

int Signed(std::int64_t a, std::int64_t b) { return (a > b) - (a < b); }

using kivra::Less32;
using kivra::Less64;

// The counter keys, the same for every table. False for any other key.
template <typename R>
bool CounterOrder(const R &a, const R &b, TSortKey key, bool baseline, int &r) {
    switch (key) {
    case skCPU: r = Signed(kivra::ShownCPU(a, baseline), kivra::ShownCPU(b, baseline)); return true;
    case skMemUsage: r = Signed(a.MemUsage, b.MemUsage); return true;
    case skPhysicalIO:
        r = Signed(kivra::ShownPhysicalIO(a, baseline), kivra::ShownPhysicalIO(b, baseline));
        return true;
    case skCPUDelta: r = Signed(Less64(a.CPU, a.PrevCPU), Less64(b.CPU, b.PrevCPU)); return true;
    case skMemDelta:
        r = Signed(Less64(a.MemUsage, a.PrevMemUsage), Less64(b.MemUsage, b.PrevMemUsage));
        return true;
    case skIODelta:
        r = Signed(Less64(a.PhysicalIO, a.PrevPhysicalIO), Less64(b.PhysicalIO, b.PrevPhysicalIO));
        return true;
    default: return false;
    }
}

// The counter keys and those of a user's or database's sessions taken together.
template <typename R>
bool AggregateOrder(const R &a, const R &b, TSortKey key, bool baseline, int &r) {
    if (CounterOrder(a, b, key, baseline, r)) return true;
    switch (key) {
    case skLastBatch: r = DateTime(a.LatestActivity, b.LatestActivity); return true;
    case skEarliestLogin: r = DateTime(a.EarliestLogin, b.EarliestLogin); return true;
    case skLatestLogin: r = DateTime(a.LatestLogin, b.LatestLogin); return true;
    case skProcesses: r = Signed(a.Processes, b.Processes); return true;
    case skProcessesDelta:
        r = Signed(Less64(a.Processes, a.PrevProcesses), Less64(b.Processes, b.PrevProcesses));
        return true;
    default: return false;
    }
}

// Ascending order of two sessions under key; ties end by SPID. 0 for keys without meaning.
int Sessions(const stProcessInfo &a, const stProcessInfo &b, TSortKey key, bool baseline) {
    int r = 0;
    switch (key) {
    case skSPID: break;
    case skDatabase: r = Text(a.DatabaseName, b.DatabaseName); break;
    case skLoginName:
        r = Text(a.LoginName, b.LoginName);
        if (!r) r = Text(a.HostName, b.HostName);
        break;
    case skHostName:
        r = Text(a.HostName, b.HostName);
        if (!r) r = Text(a.LoginName, b.LoginName);
        break;
    case skNTLogin:
        r = Text(a.HostName, b.HostName);
        if (!r) r = Text(a.NTUserName, b.NTUserName);
        break;
    case skNetAddress: r = Text(a.NetAddress, b.NetAddress); break;
    case skCommand: r = Text(a.Command, b.Command); break;
    case skStatus: r = Text(a.Status, b.Status); break;
    case skProgramName: r = Text(a.ProgramName, b.ProgramName); break;
    case skLoginTime: r = DateTime(a.LoginTime, b.LoginTime); break;
    case skLastBatch: r = DateTime(a.LastBatch, b.LastBatch); break;
    case skNetLibrary: r = Text(a.NetLibrary, b.NetLibrary); break;
    case skHostProcess: r = Text(a.HostProcess, b.HostProcess); break;
    case skThreads: r = Signed(a.Threads, b.Threads); break;
    case skThreadsDelta:
        r = Signed(Less32(a.Threads, a.PrevThreads), Less32(b.Threads, b.PrevThreads));
        break;
    case skOpenTran: r = Signed(a.OpenTran, b.OpenTran); break;
    case skWaitTime: r = Signed(a.WaitTime, b.WaitTime); break;
    default:
        if (!CounterOrder(a, b, key, baseline, r)) return 0;  // 21 to 25 and anything above 27
    }
    return r ? r : Signed(a.SPID, b.SPID);
}

// Login, host, address: the users' usual tie-break.
int LoginHostAddress(const stUserInfo &a, const stUserInfo &b) {
    int r = Text(a.LoginName, b.LoginName);
    if (!r) r = Text(a.HostName, b.HostName);
    if (!r) r = Text(a.NetAddress, b.NetAddress);
    return r;
}

int Users(const stUserInfo &a, const stUserInfo &b, TSortKey key, bool baseline) {
    int r = 0;
    switch (key) {
    case skLoginName: return LoginHostAddress(a, b);
    case skHostName:
        r = Text(a.HostName, b.HostName);
        return r ? r : Text(a.LoginName, b.LoginName);
    case skNTLogin:
        r = Text(a.HostName, b.HostName);
        return r ? r : Text(a.NTUserName, b.NTUserName);
    case skNetAddress:
        r = Text(a.NetAddress, b.NetAddress);
        if (!r) r = Text(a.LoginName, b.LoginName);
        return r ? r : Text(a.HostName, b.HostName);
    case skNetLibrary: r = Text(a.NetLibrary, b.NetLibrary); break;
    default:
        if (!AggregateOrder(a, b, key, baseline, r)) return 0;
    }
    return r ? r : LoginHostAddress(a, b);
}

int Databases(const stDatabaseInfo &a, const stDatabaseInfo &b, TSortKey key, bool baseline) {
    int r = 0;
    if (key != skDatabase && !AggregateOrder(a, b, key, baseline, r)) return 0;
    return r ? r : Text(a.DatabaseName, b.DatabaseName);
}

}  // namespace

void TDBServerInfo::SetFilteredProcessSortKey(TSortKey key) {
    ChooseKey(FilteredProcessSortKey, FilteredProcessSortAscending, key);
}
void TDBServerInfo::SetProcessSortKey(TSortKey key) {
    ChooseKey(ProcessSortKey, ProcessSortAscending, key);
}
void TDBServerInfo::SetUserSortKey(TSortKey key) { ChooseKey(UserSortKey, UserSortAscending, key); }
void TDBServerInfo::SetDatabaseSortKey(TSortKey key) {
    ChooseKey(DatabaseSortKey, DatabaseSortAscending, key);
}

int TDBServerInfo::CompareFilteredProcesses(const void *a, const void *b) {
    const int r = Sessions(*static_cast<const stProcessInfo *>(a),
                           *static_cast<const stProcessInfo *>(b), FilteredProcessSortKey,
                           ProcessBaselineMode);
    return FilteredProcessSortAscending ? r : -r;
}

int TDBServerInfo::CompareProcesses(const void *a, const void *b) {
    const int r = Sessions(*static_cast<const stProcessInfo *>(a),
                           *static_cast<const stProcessInfo *>(b), ProcessSortKey,
                           ProcessBaselineMode);
    return ProcessSortAscending ? r : -r;
}

int TDBServerInfo::CompareUsers(const void *a, const void *b) {
    const int r = Users(*static_cast<const stUserInfo *>(a), *static_cast<const stUserInfo *>(b),
                        UserSortKey, UserBaselineMode);
    return UserSortAscending ? r : -r;
}

int TDBServerInfo::CompareDatabases(const void *a, const void *b) {
    const int r = Databases(*static_cast<const stDatabaseInfo *>(a),
                            *static_cast<const stDatabaseInfo *>(b), DatabaseSortKey,
                            DatabaseBaselineMode);
    return DatabaseSortAscending ? r : -r;
}
