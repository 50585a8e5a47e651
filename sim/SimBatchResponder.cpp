#include "SimBatchResponder.h"

#include "SimSqlTexts.h"
#include "SimWorkload.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

struct Canonical {
    std::string Probe, StmtProbe, PermProbe, Startup, Process, ErrorLogs;
    Canonical()
        : Probe(SimSqlTexts::Normalise(SimSqlTexts::Probe())),
          StmtProbe(SimSqlTexts::Normalise(SimSqlTexts::StatementTextProbe())),
          PermProbe(SimSqlTexts::Normalise(SimSqlTexts::PermissionProbe())),
          Startup(SimSqlTexts::Normalise(SimSqlTexts::StartupQuery())),
          Process(SimSqlTexts::Normalise(SimSqlTexts::ProcessQuery())),
          ErrorLogs(SimSqlTexts::Normalise(SimSqlTexts::EnumErrorLogs())) {}
};

const Canonical &Texts() {
    static const Canonical c;
    return c;
}

bool StartsWith(const std::string &s, const std::string &prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// Reads a decimal session id at pos (no sign); -1 when there is none or it is out of range.
int IdAt(const std::string &s, size_t pos, size_t *end = nullptr) {
    size_t i = pos;
    long v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && v < 1000000) {
        v = v * 10 + (s[i] - '0');
        ++i;
    }
    if (end) *end = i;
    return i == pos || v > 32767 ? -1 : static_cast<int>(v);
}

bool IEqualsPrefix(const std::string &s, const char *prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) !=
                                 std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

std::string Quote(const std::string &s) { return "'" + s + "'"; }

// True for a batch of nothing but "SET option value" statements (words, numbers, commas,
// semicolons), so that no other statement is ever answered without being run.
bool OnlySetOptions(const std::string &n) {
    if (!StartsWith(n, "set ")) return false;
    for (unsigned char ch : n)
        if (!(std::isalnum(ch) || ch == '_' || ch == ' ' || ch == ',' || ch == ';')) return false;
    static const char *const kStatements[] = {"select",  "insert",   "update",   "delete",
                                              "exec",    "execute",  "kill",     "dbcc",
                                              "drop",    "create",   "alter",    "use",
                                              "declare", "truncate", "shutdown", "grant",
                                              "revoke",  "deny",     "begin",    "commit"};
    std::string word;
    for (size_t i = 0; i <= n.size(); ++i) {
        if (i < n.size() && n[i] != ' ' && n[i] != ';' && n[i] != ',') {
            word += n[i];
            continue;
        }
        for (const char *s : kStatements)
            if (word == s) return false;
        word.clear();
    }
    return true;
}

const SimColumn kProcessColumns[] = {
    {"spid", SimType::Int2, 2, false},
    {"ecid", SimType::Int2, 2, false},
    {"databasename", SimType::NVarChar, 128, true},
    {"loginame", SimType::NVarChar, 128, true},
    {"hostname", SimType::NVarChar, 128, false},
    {"nt_domain", SimType::NVarChar, 128, false},
    {"nt_username", SimType::NVarChar, 128, false},
    {"net_address", SimType::NVarChar, 12, false},
    {"net_library", SimType::NVarChar, 12, false},
    {"cmd", SimType::NVarChar, 16, false},
    {"status", SimType::NVarChar, 30, false},
    {"program_name", SimType::NVarChar, 128, false},
    {"blocked", SimType::VarChar, 30, false},
    {"login_time", SimType::DateTimeN, 8, false},
    {"last_batch", SimType::DateTimeN, 8, false},
    {"cpu_usage", SimType::Int4, 4, false},
    {"memusage", SimType::Int4, 4, false},
    {"physical_io", SimType::Int8, 8, false},
    {"open_tran", SimType::Int2, 2, false},
    {"waittime", SimType::Int8, 8, false},
    {"lastwaittype", SimType::NVarChar, 32, false},
    {"waitresource", SimType::NVarChar, 256, false},
    {"hostprocess", SimType::NVarChar, 10, false},
    {"cpubusy", SimType::Int4, 4, false},
    {"cpuidle", SimType::Int4, 4, false},
    {"packreceived", SimType::Int4, 4, false},
    {"packsent", SimType::Int4, 4, false},
    {"packerrors", SimType::Int4, 4, false},
    {"totalread", SimType::Int4, 4, false},
    {"totalwrite", SimType::Int4, 4, false},
    {"totalerrors", SimType::Int4, 4, false},
    {"servertime", SimType::DateTimeN, 8, true},
};

bool MonitorProgram(const std::string &program) { return IEqualsPrefix(program, "VORNIXMonitor"); }

}  // namespace

void SimBatchResponder::WriteProcessRows(const SimWorkload &workload, TdsWriter &w) {
    static const std::vector<SimColumn> columns(std::begin(kProcessColumns),
                                                std::end(kProcessColumns));
    w.ColMetadata(columns);
    uint64_t rows = 0;
    const int64_t now = SimWorkload::NowLocalMs();
    workload.Read([&](const std::map<int, SimSession> &sessions, const SimCounters &c) {
        w.Bytes().reserve(w.Bytes().size() + sessions.size() * 420);
        for (const auto &entry : sessions) {
            const SimSession &s = entry.second;
            const std::string program = MonitorProgram(s.Program) ? "VORNIXMonitor" : s.Program;
            const std::string db = SimWorkload::DatabaseName(s.Dbid);
            for (int ecid = 0; ecid <= s.ExtraContexts; ++ecid) {
                const bool main = ecid == 0;
                w.Row();
                w.Int2(static_cast<int16_t>(s.Spid));
                w.Int2(static_cast<int16_t>(ecid));
                if (s.Dbid == 0)
                    w.NVarChar("<SystemProcess>", 128);
                else if (db.empty())
                    w.NullVarLen();
                else
                    w.NVarChar(db, 128);
                w.NVarChar(s.Login, 128);
                w.NVarChar(s.Host, 128);
                w.NVarChar(s.NtDomain, 128);
                w.NVarChar(s.NtUser, 128);
                w.NVarChar(s.NetAddress, 12);
                w.NVarChar(s.NetLibrary, 12);
                w.NVarChar(s.Cmd, 16);
                w.NVarChar(main ? s.Status : "suspended", 30);
                w.NVarChar(program, 128);
                w.VarChar(std::to_string(main ? s.Blocked : 0), 30);
                w.DateTimeN(s.LoginTimeMs);
                w.DateTimeN(s.LastBatchMs);
                w.Int4(static_cast<int32_t>(main ? s.Cpu : s.Cpu / (4 + ecid)));
                w.Int4(static_cast<int32_t>(main ? s.MemUsage : 0));
                w.Int8(main ? s.PhysicalIo : s.PhysicalIo / (4 + ecid));
                w.Int2(static_cast<int16_t>(s.OpenTran));
                w.Int8(s.WaitTime);
                w.NVarChar(main ? s.LastWaitType : std::string("CXPACKET"), 32);
                w.NVarChar(main ? s.WaitResource : std::string(), 256);
                w.NVarChar(s.HostProcess, 10);
                w.Int4(static_cast<int32_t>(c.CpuBusy));
                w.Int4(static_cast<int32_t>(c.Idle));
                w.Int4(static_cast<int32_t>(c.PackReceived));
                w.Int4(static_cast<int32_t>(c.PackSent));
                w.Int4(static_cast<int32_t>(c.PacketErrors));
                w.Int4(static_cast<int32_t>(c.TotalRead));
                w.Int4(static_cast<int32_t>(c.TotalWrite));
                w.Int4(static_cast<int32_t>(c.TotalErrors));
                w.DateTimeN(now);
                ++rows;
            }
        }
    });
    w.Done(TdsWriter::DoneCount, TdsWriter::CmdSelect, rows);
}

void SimBatchResponder::SyntaxError(const SimBatchContext &ctx, const std::string &norm,
                                    TdsWriter &w) {
    // Near the first word, as the parser would report for a statement it cannot start with.
    std::string near = norm.substr(0, norm.find(' '));
    if (near.size() > 128) near.resize(128);
    w.Error(102, 1, 15, "Incorrect syntax near " + Quote(near) + ".", ctx.ServerName);
    w.Done(TdsWriter::DoneError, 0, 0);
}

void SimBatchResponder::InputBuffer(const SimBatchContext &ctx, int spid, TdsWriter &w) {
    SimSession s;
    const std::string dbccDone =
        "DBCC execution completed. If DBCC printed error messages, contact your system "
        "administrator.";
    if (ctx.Workload->Find(spid, s)) {
        w.ColMetadata({{"EventType", SimType::NVarChar, 30, true},
                       {"Parameters", SimType::IntN, 2, true},
                       {"EventInfo", SimType::NVarChar, 4000, true}});
        w.Row();
        w.NVarChar(s.EventType, 30);
        w.IntN(2, 0);
        w.NVarChar(s.InputBuffer, 4000);
        w.Info(2528, 1, 0, dbccDone, ctx.ServerName);
        w.Done(TdsWriter::DoneMore | TdsWriter::DoneCount, 0, 1);
        w.Done(TdsWriter::DoneFinal, 0, 0);
        return;
    }
    // The DBCC gives no rows; the batch's own fallback row follows.
    w.Info(2528, 1, 0, dbccDone, ctx.ServerName);
    w.Done(TdsWriter::DoneMore, 0, 0);
    w.ColMetadata({{"EventType", SimType::VarChar, 4, false},
                   {"Parameters", SimType::Int4, 4, false},
                   {"EventInfo", SimType::VarChar, 14, false}});
    w.Row();
    w.VarChar("NONE", 4);
    w.Int4(0);
    w.VarChar("<No SQL Found>", 14);
    w.Done(TdsWriter::DoneCount, TdsWriter::CmdSelect, 1);
}

void SimBatchResponder::Statement(const SimBatchContext &ctx, int spid, TdsWriter &w) {
    SimSession s;
    const bool found = ctx.Workload->Find(spid, s);
    if (!found || !s.HasHandle) {
        w.ColMetadata({{"stmt_start", SimType::Int4, 4, false},
                       {"stmt_end", SimType::Int4, 4, false},
                       {"objectname", SimType::VarChar, 6, false},
                       {"encrypted", SimType::VarChar, 1, false},
                       {"sqltext", SimType::VarChar, 6, false}});
        w.Row();
        w.Int4(0);
        w.Int4(0);
        w.VarChar("<NONE>", 6);
        w.VarChar("N", 1);
        w.VarChar("<NONE>", 6);
        w.Done(TdsWriter::DoneCount, TdsWriter::CmdSelect, 1);
        return;
    }
    const std::string db = SimWorkload::DatabaseName(s.Dbid);
    const bool access = !db.empty() && (ctx.Login.AllDatabases || db == "master" || db == "tempdb");
    if (ctx.NoStmtStart) {
        w.Error(207, 1, 16, "Invalid column name 'stmt_start'.", ctx.ServerName);
        w.Done(TdsWriter::DoneError, 0, 0, 0xFE);
        w.Done(TdsWriter::DoneError, 0, 0);
        return;
    }
    if (!ctx.Login.MayGetSql) {
        w.Error(229, 5, 14,
                "EXECUTE permission denied on object 'fn_get_sql', database 'master', owner "
                "'dbo'.",
                ctx.ServerName);
        w.Done(TdsWriter::DoneError, 0, 0, 0xFE);
        w.Done(TdsWriter::DoneError, 0, 0);
        return;
    }
    if (access && db != "master") {
        w.EnvChange(1, db, "master");
        w.Info(5701, 1, 0, "Changed database context to " + Quote(db) + ".", ctx.ServerName);
    }
    // The batch's own arithmetic: offsets halved from bytes to characters.
    const int start = static_cast<int>(std::ceil(s.StmtStart / 2.0)) + 1;
    const int end = static_cast<int>(std::ceil(s.StmtEnd / 2.0)) - 1;
    std::string text;
    bool haveText = !s.Encrypted;
    if (haveText) {
        const int len = static_cast<int>(s.SqlText.size());
        const int from = start < 1 ? 1 : start;
        const int count = end == -1 ? len : ((end - start) < 1 ? len : end - start);
        if (from <= len)
            text = s.SqlText.substr(static_cast<size_t>(from - 1), static_cast<size_t>(count));
    }
    std::vector<SimColumn> cols = {{"stmt_start", SimType::Int4, 4, false},
                                   {"stmt_end", SimType::Int4, 4, false},
                                   access ? SimColumn{"objectname", SimType::NVarChar, 128, false}
                                          : SimColumn{"objectname", SimType::VarChar, 21, false},
                                   {"encrypted", SimType::VarChar, 1, false},
                                   {"sqltext", SimType::VarChar, 8000, false}};
    w.ColMetadata(cols);
    w.Row();
    w.Int4(start);
    w.Int4(end);
    if (access)
        w.NVarChar(s.ObjectName.empty() ? "<BATCH>" : s.ObjectName, 128);
    else
        w.VarChar("<Insufficient Rights>", 21);
    w.VarChar(s.Encrypted ? "Y" : "N", 1);
    w.VarChar(haveText ? text : "<NONE>", 8000);
    w.Done(TdsWriter::DoneMore | TdsWriter::DoneCount, TdsWriter::CmdSelect, 1, 0xFF);
    if (access && db != "master") {
        w.EnvChange(1, "master", db);
        w.Info(5701, 1, 0, "Changed database context to 'master'.", ctx.ServerName);
    }
    w.ReturnStatus(0);
    w.Done(TdsWriter::DoneMore, 0xE0, 0, 0xFE);
    w.Done(TdsWriter::DoneFinal, 0, 0);
}

void SimBatchResponder::KillBatch(const SimBatchContext &ctx, int spid, TdsWriter &w) {
    int code;
    if (spid == ctx.Spid) {
        code = -1;
    } else {
        SimSession s;
        const bool found = ctx.Workload->Find(spid, s);
        if (found && s.System) {
            code = -2;
        } else {
            bool client = false;
            if (found && ctx.Workload->Kill(spid, &client) == SimKillResult::Killed && client &&
                ctx.CloseClient)
                ctx.CloseClient(spid);
            code = 1;
        }
    }
    w.ColMetadata({{"returncode", SimType::IntN, 4, true}});
    w.Row();
    w.IntN(4, code);
    w.Done(TdsWriter::DoneCount, TdsWriter::CmdSelect, 1);
}

void SimBatchResponder::BareKill(const SimBatchContext &ctx, int spid, TdsWriter &w) {
    if (spid == ctx.Spid) {
        w.Error(6104, 1, 16, "Cannot use KILL to kill your own process.", ctx.ServerName);
        w.Done(TdsWriter::DoneError, 0, 0);
        return;
    }
    bool client = false;
    switch (ctx.Workload->Kill(spid, &client)) {
    case SimKillResult::Unknown:
        w.Error(6106, 2, 16, "Process ID " + std::to_string(spid) + " is not an active process ID.",
                ctx.ServerName);
        w.Done(TdsWriter::DoneError, 0, 0);
        return;
    case SimKillResult::System:
        w.Error(6107, 1, 14, "Only user processes can be killed.", ctx.ServerName);
        w.Done(TdsWriter::DoneError, 0, 0);
        return;
    case SimKillResult::Killed:
        if (client && ctx.CloseClient) ctx.CloseClient(spid);
        w.Done(TdsWriter::DoneFinal, 0, 0);
        return;
    }
}

void SimBatchResponder::StartupQuery(const SimBatchContext &ctx, TdsWriter &w) {
    w.ColMetadata({{"spid", SimType::Int2, 2, false},
                   {"serverstarttime", SimType::DateTimeN, 8, true},
                   {"servertimenow", SimType::DateTimeN, 8, true}});
    w.Row();
    w.Int2(static_cast<int16_t>(ctx.Spid));
    w.DateTimeN(ctx.Workload->EarliestLoginMs());
    w.DateTimeN(SimWorkload::NowLocalMs());
    w.Done(TdsWriter::DoneCount, TdsWriter::CmdSelect, 1);
}

void SimBatchResponder::EnumErrorLogs(const SimBatchContext &ctx, TdsWriter &w) {
    (void)ctx;
    w.ColMetadata({{"Archive #", SimType::IntN, 4, true},
                   {"Date", SimType::VarChar, 30, true},
                   {"Log File Size (Byte)", SimType::IntN, 4, true}});
    const int64_t start = ctx.Workload->StartTimeMs();
    const int64_t now = SimWorkload::NowLocalMs();
    const int archives = 7;
    for (int i = 0; i < archives; ++i) {
        // The current log (0) was last written now; archive i was closed at a restart i days
        // before this start.
        const int64_t ms = i == 0 ? now
                                  : start - static_cast<int64_t>(i - 1) * 86400000 - 3600000 * i;
        const std::time_t secs = static_cast<std::time_t>(ms / 1000);
        std::tm tm{};
        gmtime_r(&secs, &tm);  // ms is already local time
        char date[64];
        std::snprintf(date, sizeof date, "%02d/%02d/%04d  %02d:%02d", tm.tm_mon + 1, tm.tm_mday,
                      tm.tm_year + 1900, tm.tm_hour, tm.tm_min);
        w.Row();
        w.IntN(4, i);
        w.VarChar(date, 30);
        w.IntN(4, 18000 + (i * 7919) % 60000 + (i == 0 ? 2400 : 0));
    }
    w.Done(TdsWriter::DoneMore | TdsWriter::DoneCount, TdsWriter::CmdSelect, archives, 0xFF);
    w.ReturnStatus(0);
    w.Done(TdsWriter::DoneMore, 0xE0, 0, 0xFE);
    w.Done(TdsWriter::DoneFinal, 0, 0);
}

// ---- The batch handlers: each answers the batches it knows (true) or leaves the batch alone ----

namespace {

using Handler = bool (*)(const SimBatchContext &ctx, const std::string &text, const std::string &n,
                         TdsWriter &w);

// One INT-like value in a one-row result.
void SingleValue(TdsWriter &w, const char *column, SimType type, int size, bool nullable,
                 int64_t value) {
    w.ColMetadata({{column, type, size, nullable}});
    w.Row();
    if (type == SimType::Int2)
        w.Int2(static_cast<int16_t>(value));
    else if (type == SimType::IntN)
        w.IntN(size, value);
    else
        w.Int4(static_cast<int32_t>(value));
    w.Done(TdsWriter::DoneCount, TdsWriter::CmdSelect, 1);
}

}  // namespace

bool SimBatchResponder::Probe(const SimBatchContext &, const std::string &, const std::string &n,
                              TdsWriter &w) {
    if (n != Texts().Probe) return false;
    SingleValue(w, "", SimType::Int4, 4, false, 1);
    return true;
}

bool SimBatchResponder::Process(const SimBatchContext &ctx, const std::string &,
                                const std::string &n, TdsWriter &w) {
    if (n != Texts().Process) return false;
    ctx.Workload->Step();
    WriteProcessRows(*ctx.Workload, w);
    return true;
}

bool SimBatchResponder::Probes(const SimBatchContext &ctx, const std::string &,
                               const std::string &n, TdsWriter &w) {
    const Canonical &t = Texts();
    if (n == t.StmtProbe)
        SingleValue(w, "counter", SimType::Int4, 4, false, ctx.NoStmtStart ? 0 : 1);
    else if (n == t.PermProbe)
        SingleValue(w, "permission", SimType::IntN, 4, true, ctx.Login.MayGetSql ? 0x20 : 0);
    else if (n == "select @@spid")
        SingleValue(w, "", SimType::Int2, 2, false, ctx.Spid);
    else
        return false;
    return true;
}

bool SimBatchResponder::Startup(const SimBatchContext &ctx, const std::string &,
                                const std::string &n, TdsWriter &w) {
    const Canonical &t = Texts();
    if (n == t.Startup) {
        StartupQuery(ctx, w);
        return true;
    }
    if (n == t.ErrorLogs || n == "sp_enumerrorlogs" || n == "exec master..sp_enumerrorlogs" ||
        n == "exec master.dbo.sp_enumerrorlogs") {
        EnumErrorLogs(ctx, w);
        return true;
    }
    return false;
}

// DBCC INPUTBUFFER, alone or as the monitor's three-line batch.
bool SimBatchResponder::InputBufferBatch(const SimBatchContext &ctx, const std::string &,
                                         const std::string &n, TdsWriter &w) {
    const std::string dbcc = "dbcc inputbuffer";
    if (!StartsWith(n, dbcc)) return false;
    size_t pos = dbcc.size();
    while (pos < n.size() && n[pos] == ' ') ++pos;
    if (pos >= n.size() || n[pos] != '(') return false;
    ++pos;
    while (pos < n.size() && n[pos] == ' ') ++pos;
    size_t end = 0;
    const int id = IdAt(n, pos, &end);
    while (end < n.size() && n[end] == ' ') ++end;
    if (id < 0 || end >= n.size() || n[end] != ')') return false;
    const std::string rest = n.substr(end + 1);
    if (!rest.empty() && n != SimSqlTexts::Normalise(SimSqlTexts::InputBuffer(id))) return false;
    InputBuffer(ctx, id, w);
    return true;
}

// The statement batch, with the database name quoted or not.
bool SimBatchResponder::StatementBatch(const SimBatchContext &ctx, const std::string &,
                                       const std::string &n, TdsWriter &w) {
    const std::string stmtKey = "from sysprocesses where spid = ";
    if (!StartsWith(n, "declare @sql varchar(1200)")) return false;
    const size_t at = n.find(stmtKey);
    if (at == std::string::npos) return false;
    const int id = IdAt(n, at + stmtKey.size());
    if (id < 0 || (n != SimSqlTexts::Normalise(SimSqlTexts::StatementBatch(id, false)) &&
                   n != SimSqlTexts::Normalise(SimSqlTexts::StatementBatch(id, true))))
        return false;
    Statement(ctx, id, w);
    return true;
}

bool SimBatchResponder::Kills(const SimBatchContext &ctx, const std::string &, const std::string &n,
                              TdsWriter &w) {
    const std::string killKey = "declare @returncode int if @@spid = ";
    if (StartsWith(n, killKey)) {
        const int id = IdAt(n, killKey.size());
        if (id >= 0 && n == SimSqlTexts::Normalise(SimSqlTexts::KillBatch(id))) {
            KillBatch(ctx, id, w);
            return true;
        }
    }
    if (StartsWith(n, "kill ")) {
        size_t end = 0;
        const int id = IdAt(n, 5, &end);
        if (id >= 0 && end == n.size()) {
            BareKill(ctx, id, w);
            return true;
        }
    }
    return false;
}

// A database switch, as drivers send for their default database.
bool SimBatchResponder::Use(const SimBatchContext &ctx, const std::string &text,
                            const std::string &n, TdsWriter &w) {
    if (!StartsWith(n, "use ")) return false;
    std::string name = text.substr(text.find_first_not_of(" \t\r\n"));
    name = name.substr(4);
    const size_t first = name.find_first_not_of(" \t\r\n");
    const size_t last = name.find_last_not_of(" \t\r\n;");
    name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    const int dbid = SimWorkload::DatabaseId(name);
    if (dbid == 0) {
        w.Error(911, 1, 16,
                "Database '" + name +
                    "' does not exist. Make sure that the name is entered correctly.",
                ctx.ServerName);
        w.Done(TdsWriter::DoneError, 0, 0);
    } else {
        const std::string db = SimWorkload::DatabaseName(dbid);
        w.EnvChange(1, db, "master");
        w.Info(5701, 1, 0, "Changed database context to " + Quote(db) + ".", ctx.ServerName);
        w.Done(TdsWriter::DoneFinal, 0, 0);
    }
    return true;
}

// Session options that drivers set: accepted without effect.
bool SimBatchResponder::SetOptions(const SimBatchContext &, const std::string &,
                                   const std::string &n, TdsWriter &w) {
    if (!OnlySetOptions(n)) return false;
    w.Done(TdsWriter::DoneFinal, 0, 0);
    return true;
}

void SimBatchResponder::Answer(const SimBatchContext &ctx, const std::string &text, TdsWriter &w) {
    // In this order: the monitor's own batches first (the poll's two the most frequent).
    static const Handler kHandlers[] = {
        &SimBatchResponder::Probe,
        &SimBatchResponder::Process,
        &SimBatchResponder::Probes,
        &SimBatchResponder::Startup,
        &SimBatchResponder::InputBufferBatch,
        &SimBatchResponder::StatementBatch,
        &SimBatchResponder::Kills,
        &SimBatchResponder::Use,
        &SimBatchResponder::SetOptions,
    };
    const std::string n = SimSqlTexts::Normalise(text);
    if (!ctx.FailText.empty() && n.find(ctx.FailText) != std::string::npos) {
        w.Error(50000, 1, 16,
                "The batch failed: sqlsim fails batches that hold '" + ctx.FailText + "'.",
                ctx.ServerName);
        w.Done(TdsWriter::DoneError, 0, 0);
        return;
    }
    for (Handler handler : kHandlers)
        if (handler(ctx, text, n, w)) return;
    if (std::getenv("SQLSIM_TRACE"))
        std::fprintf(stderr, "sqlsim: unknown batch: %s\n", text.c_str());
    SyntaxError(ctx, n, w);
}
