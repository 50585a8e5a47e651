// Lookups, session details and the session requests of TDBServerInfo. The lookups give table
// positions, which are grid rows less one only while the table is in the order of its last fill.
// The three requests are plain forwards to the server's connection (Thread, which must be set:
// the main window attaches it before any view can ask).

#include "DBServerInfoSource.h"

#include "RecordCounters.h"

#include <cstddef>
#include <cstring>

namespace {

// Low 32 bits of a 64-bit count or difference, as a signed 32-bit value.
int Low32(std::int64_t value) {
    return static_cast<int>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

template <std::size_t N> std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

}  // namespace

int TDBServerInfo::FindUser(const char *loginName, const char *netAddress) const {
    if (!UserTable->Valid || !loginName || !netAddress) return -1;
    for (int i = 0; i < UserTable->Count; ++i) {
        const stUserInfo &u = UserTable->Item<stUserInfo>(i);
        if (std::strcmp(u.LoginName, loginName) == 0 && std::strcmp(u.NetAddress, netAddress) == 0)
            return i;
    }
    return -1;
}

int TDBServerInfo::FindDatabase(const char *name) const {
    return DatabaseTable->FindText(static_cast<int>(offsetof(stDatabaseInfo, DatabaseName)), name);
}

bool TDBServerInfo::GetProcessDetails(int spid, std::string &loginName, std::string &ntLogin,
                                      std::string &databaseName, std::string &status,
                                      std::string &command, std::string &programName,
                                      std::string &hostName, int &cpu, int &cpuDelta, int &memUsage,
                                      int &memDelta, int &physicalIO, int &ioDelta, int &threads,
                                      int &threadsDelta, TDateTime &loginTime,
                                      TDateTime &lastBatch) const {
    const int at = ProcessTable->FindInt(static_cast<int>(offsetof(stProcessInfo, SPID)), spid);
    if (at < 0) return false;
    const stProcessInfo &p = ProcessTable->Item<stProcessInfo>(at);
    loginName = FieldText(p.LoginName);
    // Domain\user when there is a domain (even with an empty user); the user alone otherwise.
    if (p.NTDomain[0] != '\0')
        ntLogin = FieldText(p.NTDomain) + '\\' + FieldText(p.NTUserName);
    else
        ntLogin = FieldText(p.NTUserName);
    databaseName = FieldText(p.DatabaseName);
    status = FieldText(p.Status);
    command = FieldText(p.Command);
    programName = FieldText(p.ProgramName);
    hostName = FieldText(p.HostName);
    cpu = Low32(kivra::ShownCPU(p, ProcessBaselineMode));
    cpuDelta = Low32(kivra::Less64(p.CPU, p.PrevCPU));
    memUsage = Low32(p.MemUsage);
    memDelta = Low32(kivra::Less64(p.MemUsage, p.PrevMemUsage));
    physicalIO = Low32(p.PhysicalIO);  // the full figure: never less the baseline
    ioDelta = Low32(kivra::Less64(p.PhysicalIO, p.PrevPhysicalIO));
    threads = p.Threads;
    threadsDelta = kivra::Less32(p.Threads, p.PrevThreads);
    loginTime = p.LoginTime;
    lastBatch = p.LastBatch;
    return true;
}

std::string TDBServerInfo::GetInputBuffer(int spid, std::string &eventType) {
    return Thread->GetInputBuffer(spid, eventType);
}

std::string TDBServerInfo::GetStatementText(int spid, std::string &objectName,
                                            std::string &encrypted, int &stmtStart, int &stmtEnd) {
    return Thread->GetStatementText(spid, objectName, encrypted, stmtStart, stmtEnd);
}

int TDBServerInfo::KillProcess(int spid) { return Thread->KillProcess(spid); }
