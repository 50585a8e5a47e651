#include "SimWorkload.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

struct SystemTask {
    const char *Cmd;
    const char *Status;
    const char *Wait;
    int Dbid;
};

const SystemTask kSystemTasks[] = {
    {"RESOURCE MONITOR", "background", "RESOURCE_QUEUE", 0},
    {"LAZY WRITER", "background", "LAZYWRITER_SLEEP", 0},
    {"LOG WRITER", "background", "LOGMGR_QUEUE", 0},
    {"LOCK MONITOR", "background", "REQUEST_FOR_DEADLOCK_SEARCH", 0},
    {"SIGNAL HANDLER", "background", "KSOURCE_WAKEUP", 1},
    {"TASK MANAGER", "sleeping", "ONDEMAND_TASK_QUEUE", 1},
    {"TRACE QUEUE TASK", "background", "SQLTRACE_BUFFER_FLUSH", 1},
    {"CHECKPOINT", "background", "CHECKPOINT_QUEUE", 1},
    {"BRKR TASK", "background", "BROKER_TRANSMITTER", 1},
    {"XE TIMER", "background", "XE_TIMER_EVENT", 0},
    {"XE DISPATCHER", "background", "XE_DISPATCHER_WAIT", 0},
    {"BRKR EVENT HNDLR", "background", "BROKER_EVENTHANDLER", 1},
    {"TASK MANAGER", "sleeping", "SLEEP_TASK", 1},
};

const char *const kDatabases[] = {"",      "master",    "tempdb",    "model", "msdb",
                                  "Sales", "Inventory", "Reporting", "HR"};
constexpr int kDatabaseCount = 9;

struct Client {
    const char *Login;
    const char *Host;
    const char *Program;
    const char *Domain;
    const char *User;
    const char *Library;
    int Dbid;
};

const Client kClients[] = {
    {"app_orders", "WEB01", ".Net SqlClient Data Provider", "", "", "TCP/IP", 5},
    {"app_orders", "WEB02", ".Net SqlClient Data Provider", "", "", "TCP/IP", 5},
    {"app_stock", "APP01", "InventoryService", "", "", "TCP/IP", 6},
    {"reporting", "RPT01", "Report Server", "", "", "TCP/IP", 7},
    {"CORP\\jmeyer", "DEVWS17", "Microsoft SQL Server Management Studio - Query", "CORP", "jmeyer",
     "TCP/IP", 5},
    {"CORP\\akovacs", "DEVWS22", "Microsoft SQL Server Management Studio", "CORP", "akovacs",
     "Named Pipes", 8},
    {"etl_loader", "ETL01", "SSIS-LoadWarehouse", "", "", "TCP/IP", 7},
    {"CORP\\svc_agent", "DBHOST1", "SQLAgent - TSQL JobStep (Job 0x3F2A91C0D1E4B84F)", "CORP",
     "svc_agent", "LPC", 4},
    {"sa", "DBHOST1", "OSQL-32", "", "", "LPC", 1},
    {"hr_app", "APP02", "PayrollClient", "", "", "TCP/IP", 8},
};
constexpr int kClientCount = sizeof(kClients) / sizeof(kClients[0]);

struct Batch {
    const char *EventType;
    const char *InputBuffer;
    const char *Text;       // nullptr: encrypted, no text
    const char *Object;     // nullptr: ad-hoc batch
    const char *Statement;  // the running statement, found in text; nullptr: the whole text
    const char *Cmd;
};

const Batch kBatches[] = {
    {"Language Event",
     "SELECT o.OrderID, o.OrderDate, c.Name\r\nFROM dbo.Orders o JOIN dbo.Customers c ON "
     "c.CustomerID = o.CustomerID\r\nWHERE o.OrderDate >= DATEADD(day, -7, GETDATE())",
     "SELECT o.OrderID, o.OrderDate, c.Name\r\nFROM dbo.Orders o JOIN dbo.Customers c ON "
     "c.CustomerID = o.CustomerID\r\nWHERE o.OrderDate >= DATEADD(day, -7, GETDATE())",
     nullptr, nullptr, "SELECT"},
    {"Language Event",
     "SET NOCOUNT ON\r\nUPDATE dbo.Inventory SET Quantity = Quantity - 1 WHERE ProductID = "
     "7731\r\nSELECT Quantity FROM dbo.Inventory WHERE ProductID = 7731",
     "SET NOCOUNT ON\r\nUPDATE dbo.Inventory SET Quantity = Quantity - 1 WHERE ProductID = "
     "7731\r\nSELECT Quantity FROM dbo.Inventory WHERE ProductID = 7731",
     nullptr, "UPDATE dbo.Inventory SET Quantity = Quantity - 1 WHERE ProductID = 7731", "UPDATE"},
    {"Language Event", "EXEC dbo.usp_GetOrders @CustomerID = 4711",
     "CREATE PROCEDURE dbo.usp_GetOrders @CustomerID int AS\r\nBEGIN\r\nSET NOCOUNT "
     "ON\r\nSELECT OrderID, OrderDate, Total FROM dbo.Orders WHERE CustomerID = @CustomerID "
     "ORDER BY OrderDate DESC\r\nEND",
     "usp_GetOrders",
     "SELECT OrderID, OrderDate, Total FROM dbo.Orders WHERE CustomerID = @CustomerID ORDER BY "
     "OrderDate DESC",
     "SELECT"},
    {"RPC Event", "dbo.usp_PostInvoice;1",
     "CREATE PROCEDURE dbo.usp_PostInvoice @InvoiceID int AS\r\nBEGIN\r\nINSERT INTO "
     "dbo.Ledger (InvoiceID, Amount) SELECT InvoiceID, Total FROM dbo.Invoices WHERE InvoiceID "
     "= @InvoiceID\r\nUPDATE dbo.Invoices SET Posted = 1 WHERE InvoiceID = @InvoiceID\r\nEND",
     "usp_PostInvoice",
     "INSERT INTO dbo.Ledger (InvoiceID, Amount) SELECT InvoiceID, Total FROM dbo.Invoices "
     "WHERE InvoiceID = @InvoiceID",
     "INSERT"},
    {"Language Event", "EXEC HR.dbo.usp_Payroll @Month = 11", nullptr, "usp_Payroll", nullptr,
     "EXECUTE"},
    {"Language Event",
     "INSERT INTO Reporting.dbo.DailySales (Day, Total)\r\nSELECT CAST(OrderDate AS date), "
     "SUM(Total) FROM Sales.dbo.Orders GROUP BY CAST(OrderDate AS date)",
     "INSERT INTO Reporting.dbo.DailySales (Day, Total)\r\nSELECT CAST(OrderDate AS date), "
     "SUM(Total) FROM Sales.dbo.Orders GROUP BY CAST(OrderDate AS date)",
     nullptr, nullptr, "INSERT"},
};
constexpr int kBatchCount = sizeof(kBatches) / sizeof(kBatches[0]);

const char *const kLockWaits[] = {"LCK_M_X", "LCK_M_S", "LCK_M_U", "LCK_M_IX"};

int64_t ToInt32Range(int64_t v) { return v & 0x7FFFFFFF; }

std::string HexAddress(uint64_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%012llX",
                  static_cast<unsigned long long>(v & 0xFFFFFFFFFFFFull));
    return buf;
}

// A simulated user session that the steps may end or pick for a blocking chain: not a system
// session, not a client's, not in a chain and not placed by a test.
bool FreeToMove(const SimSession &s) { return !s.System && !s.Client && !s.InChain && !s.Placed; }

}  // namespace

SimWorkload::SimWorkload(const SimWorkloadConfig &config) : Config(config), Rng(config.Seed) {
    StartMs = NowLocalMs() - Config.UptimeSeconds * 1000;
    StartMs -= StartMs % 1000;  // whole seconds: the start time is stored as datetime
    Populate();
}

int64_t SimWorkload::NowLocalMs() {
    using namespace std::chrono;
    const int64_t utcMs =
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(utcMs / 1000);
    std::tm tm{};
    localtime_r(&secs, &tm);
    return utcMs + static_cast<int64_t>(tm.tm_gmtoff) * 1000;
}

std::string SimWorkload::DatabaseName(int dbid) {
    return dbid > 0 && dbid < kDatabaseCount ? kDatabases[dbid] : std::string();
}

int SimWorkload::DatabaseId(const std::string &name) {
    for (int i = 1; i < kDatabaseCount; ++i) {
        std::string a = kDatabases[i], b = name;
        if (a.size() != b.size()) continue;
        bool same = true;
        for (size_t k = 0; k < a.size(); ++k)
            same = same && std::tolower(static_cast<unsigned char>(a[k])) ==
                               std::tolower(static_cast<unsigned char>(b[k]));
        if (same) return i;
    }
    return 0;
}

void SimWorkload::Populate() {
    Rng = SimRandom(Config.Seed * 1000003ull + static_cast<uint64_t>(Generation));
    Sessions.clear();
    UserCount = 0;
    AddSystemSessions();
    const int64_t now = NowLocalMs();
    ApplyTargetCount(now);
    const int64_t uptimeS = (now - StartMs) / 1000;
    const double load = 0.15 + Rng.Unit() * 0.15;
    Counters = SimCounters{};
    CountersHeld = false;
    Counters.CpuBusy = ToInt32Range(static_cast<int64_t>(uptimeS * 32 * load));
    Counters.Idle = ToInt32Range(static_cast<int64_t>(uptimeS * 32 * (1 - load)));
    Counters.PackReceived = ToInt32Range(uptimeS * 40 + Rng.Range(0, 1000));
    Counters.PackSent = ToInt32Range(uptimeS * 45 + Rng.Range(0, 1000));
    Counters.PacketErrors = Rng.Range(0, 3);
    Counters.TotalRead = ToInt32Range(uptimeS * 120 + Rng.Range(0, 5000));
    Counters.TotalWrite = ToInt32Range(uptimeS * 30 + Rng.Range(0, 2000));
    Counters.TotalErrors = Rng.Range(0, 2);
    LastLoad = static_cast<int>(load * 100);
    BurstLeft = 0;
    for (int i = 0; i < Config.BlockingChains; ++i)
        StartChainLocked(static_cast<int>(Rng.Range(2, 3)), now);
}

void SimWorkload::AddSystemSessions() {
    const int n = Config.SystemSessions;
    const int tasks = sizeof(kSystemTasks) / sizeof(kSystemTasks[0]);
    for (int spid = 1; spid <= n; ++spid) {
        const SystemTask &t = kSystemTasks[(spid - 1) < tasks ? spid - 1 : tasks - 1];
        SimSession s;
        s.Spid = spid;
        s.System = true;
        s.Dbid = t.Dbid;
        s.Login = "sa";
        s.Cmd = t.Cmd;
        s.Status = t.Status;
        s.LastWaitType = t.Wait;
        s.LoginTimeMs = StartMs;
        s.LastBatchMs = StartMs;
        s.MemUsage = Rng.Range(0, 40);
        s.Cpu = Rng.Range(0, 500);
        s.EventType = "No Event";
        Sessions[spid] = s;
    }
}

int SimWorkload::FreeSpid(int from) const {
    int candidate = from < 51 ? 51 : from;
    for (auto it = Sessions.lower_bound(candidate); it != Sessions.end(); ++it) {
        if (it->first != candidate) break;
        ++candidate;
    }
    return candidate <= 32767 ? candidate : 0;
}

void SimWorkload::SetIdle(SimSession &s) {
    s.Status = "sleeping";
    s.Cmd = "AWAITING COMMAND";
    s.HasHandle = false;
    s.ExtraContexts = 0;
    s.WaitTime = 0;
    s.LastWaitType = "MISCELLANEOUS";
    s.WaitResource.clear();
}

void SimWorkload::AssignBatch(SimSession &s, int64_t nowMs) {
    const Batch &b = kBatches[Rng.Range(0, kBatchCount - 1)];
    s.EventType = b.EventType;
    s.InputBuffer = b.InputBuffer;
    s.SqlText = b.Text ? b.Text : "";
    s.Encrypted = b.Text == nullptr;
    s.ObjectName = b.Object ? b.Object : "";
    s.StmtStart = 0;
    s.StmtEnd = -1;
    if (b.Text && b.Statement) {
        const std::string text = b.Text;
        const size_t at = text.find(b.Statement);
        if (at != std::string::npos) {
            s.StmtStart = static_cast<int>(at * 2);
            const size_t end = at + std::string(b.Statement).size();
            s.StmtEnd = end >= text.size() ? -1 : static_cast<int>(end * 2);
        }
    }
    s.LastBatchMs = nowMs - Rng.Range(0, 900);
    if (s.LastBatchMs < s.LoginTimeMs) s.LastBatchMs = s.LoginTimeMs;
    if (Rng.Chance(0.5)) {
        s.Status = Rng.Chance(0.6) ? "runnable" : "suspended";
        s.Cmd = b.Cmd;
        s.HasHandle = true;
        s.LastWaitType = s.Status == "suspended" ? "PAGEIOLATCH_SH" : "SOS_SCHEDULER_YIELD";
        s.WaitTime = s.Status == "suspended" ? Rng.Range(1, 40) : 0;
        s.ExtraContexts = Rng.Chance(0.15) ? static_cast<int>(Rng.Range(2, 4)) : 0;
        if (s.ExtraContexts > 0) s.LastWaitType = "CXPACKET";
    } else {
        SetIdle(s);
    }
}

SimSession SimWorkload::MakeUserSession(int spid, int64_t nowMs, bool fresh) {
    const Client &c = kClients[Rng.Range(0, kClientCount - 1)];
    SimSession s;
    s.Spid = spid;
    s.Dbid = c.Dbid;
    s.Login = c.Login;
    s.Host = c.Host;
    s.Program = c.Program;
    s.NtDomain = c.Domain;
    s.NtUser = c.User;
    s.NetLibrary = c.Library;
    s.NetAddress =
        std::string(c.Library) == "LPC"
            ? ""
            : HexAddress(0x001C42000000ull + std::hash<std::string>{}(c.Host) % 0xFFFFFF);
    s.HostProcess = std::to_string(Rng.Range(400, 9000));
    const int64_t span = nowMs - StartMs;
    s.LoginTimeMs = fresh ? nowMs - Rng.Range(0, 900)
                          : StartMs + 1000 + (span > 2000 ? Rng.Range(0, span - 2000) : 0);
    if (s.LoginTimeMs <= StartMs) s.LoginTimeMs = StartMs + 1000;
    s.Cpu = fresh ? 0 : Rng.Range(0, 20000);
    s.PhysicalIo = fresh ? 0 : Rng.Range(0, 5000);
    s.MemUsage = Rng.Range(2, 60);
    AssignBatch(s, nowMs);
    if (!fresh && !s.HasHandle && nowMs > s.LoginTimeMs)
        s.LastBatchMs = s.LoginTimeMs + Rng.Range(0, nowMs - s.LoginTimeMs);  // idle a while
    return s;
}

void SimWorkload::ApplyTargetCount(int64_t nowMs) {
    int spid = 51;
    while (UserCount < Config.UserSessions) {
        spid = FreeSpid(spid);  // every id below the last one found is taken
        if (spid == 0) return;
        Sessions[spid] = MakeUserSession(spid, nowMs, false);
        ++UserCount;
    }
    // Too many: remove the highest simulated, unchained sessions.
    for (auto it = Sessions.end(); UserCount > Config.UserSessions && it != Sessions.begin();) {
        --it;
        if (FreeToMove(it->second)) {
            it = Sessions.erase(it);
            --UserCount;
        }
    }
}

void SimWorkload::Step() {
    std::lock_guard<std::mutex> lock(Mutex);
    const int64_t now = NowLocalMs();

    // CPU load: a baseline with bursts, or the fixed value.
    int load;
    if (FixedLoad >= 0) {
        load = FixedLoad;
    } else {
        if (BurstLeft == 0 && Rng.Chance(0.08)) {
            BurstLeft = static_cast<int>(Rng.Range(3, 10));
            BurstExtra = static_cast<int>(Rng.Range(30, 60));
        }
        load = 18 + static_cast<int>(Rng.Range(-5, 5)) + (BurstLeft > 0 ? BurstExtra : 0);
        if (BurstLeft > 0) --BurstLeft;
        load = load < 0 ? 0 : (load > 100 ? 100 : load);
    }
    LastLoad = load;
    BusyFrac += 32.0 * load / 100.0;
    IdleFrac += 32.0 * (100 - load) / 100.0;
    const int64_t busy = static_cast<int64_t>(BusyFrac), idle = static_cast<int64_t>(IdleFrac);
    BusyFrac -= static_cast<double>(busy);
    IdleFrac -= static_cast<double>(idle);
    if (!CountersHeld) {
        Counters.CpuBusy = ToInt32Range(Counters.CpuBusy + busy);
        Counters.Idle = ToInt32Range(Counters.Idle + idle);
    }

    // Churn: some simulated sessions disconnect, new ones connect.
    int leaving = static_cast<int>(UserCount * Config.ChurnPercent / 100.0);
    if (leaving == 0 && Config.ChurnPercent > 0 &&
        Rng.Chance(UserCount * Config.ChurnPercent / 100.0))
        leaving = 1;
    for (int i = 0; i < leaving && UserCount > 0; ++i) {
        auto it = Sessions.lower_bound(static_cast<int>(Rng.Range(51, 51 + UserCount * 2)));
        while (it != Sessions.end() && !FreeToMove(it->second)) ++it;
        if (it == Sessions.end()) continue;
        Sessions.erase(it);
        --UserCount;
    }
    int spid = 51;
    while (UserCount < Config.UserSessions) {
        spid = FreeSpid(spid);
        if (spid == 0) break;
        Sessions[spid] = MakeUserSession(spid, now, true);
        ++UserCount;
    }

    int64_t active = 0;
    for (auto &entry : Sessions) {
        SimSession &s = entry.second;
        if (s.Client || s.Placed) continue;
        if (s.System) {
            s.Cpu += Rng.Chance(0.2) ? Rng.Range(0, 5) : 0;
            continue;
        }
        if (s.InChain) {
            if (s.Blocked != 0) s.WaitTime += 1000;
            continue;
        }
        const bool running = s.HasHandle;
        if (running) {
            ++active;
            s.Cpu += Rng.Range(10, 30 + load * 5);
            s.PhysicalIo += Rng.Range(0, 40);
            if (s.Status == "suspended") s.WaitTime += Rng.Range(5, 200);
            if (Rng.Chance(0.4)) SetIdle(s);
        } else if (Rng.Chance(0.15)) {
            AssignBatch(s, now);
        }
        if (Rng.Chance(0.05))
            s.MemUsage = s.MemUsage + Rng.Range(-2, 3) < 2 ? 2 : s.MemUsage + Rng.Range(-2, 3);
    }

    if (CountersHeld) {
        Counters.CpuBusy = ToInt32Range(Counters.CpuBusy + HeldStep.CpuBusy);
        Counters.Idle = ToInt32Range(Counters.Idle + HeldStep.Idle);
        Counters.PackReceived = ToInt32Range(Counters.PackReceived + HeldStep.PackReceived);
        Counters.PackSent = ToInt32Range(Counters.PackSent + HeldStep.PackSent);
        Counters.PacketErrors = ToInt32Range(Counters.PacketErrors + HeldStep.PacketErrors);
        Counters.TotalRead = ToInt32Range(Counters.TotalRead + HeldStep.TotalRead);
        Counters.TotalWrite = ToInt32Range(Counters.TotalWrite + HeldStep.TotalWrite);
        Counters.TotalErrors = ToInt32Range(Counters.TotalErrors + HeldStep.TotalErrors);
        return;
    }
    const int64_t packets = active * 3 + Rng.Range(5, 40) + load / 2;
    Counters.PackReceived = ToInt32Range(Counters.PackReceived + packets);
    Counters.PackSent = ToInt32Range(Counters.PackSent + packets + Rng.Range(0, 20));
    if (Rng.Chance(0.01)) Counters.PacketErrors = ToInt32Range(Counters.PacketErrors + 1);
    Counters.TotalRead = ToInt32Range(Counters.TotalRead + Rng.Range(20, 80) * (load + 5) / 10);
    Counters.TotalWrite = ToInt32Range(Counters.TotalWrite + Rng.Range(5, 30) * (load + 5) / 20);
    if (Rng.Chance(0.005)) Counters.TotalErrors = ToInt32Range(Counters.TotalErrors + 1);
}

void SimWorkload::Restart() {
    std::lock_guard<std::mutex> lock(Mutex);
    ++Generation;
    StartMs = NowLocalMs();
    StartMs -= StartMs % 1000;
    Populate();
}

void SimWorkload::Read(
    const std::function<void(const std::map<int, SimSession> &, const SimCounters &)> &fn) const {
    std::lock_guard<std::mutex> lock(Mutex);
    fn(Sessions, Counters);
}

bool SimWorkload::Find(int spid, SimSession &out) const {
    std::lock_guard<std::mutex> lock(Mutex);
    auto it = Sessions.find(spid);
    if (it == Sessions.end()) return false;
    out = it->second;
    return true;
}

size_t SimWorkload::SessionCount() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return Sessions.size();
}

int64_t SimWorkload::StartTimeMs() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return StartMs;
}

int64_t SimWorkload::EarliestLoginMs() const {
    std::lock_guard<std::mutex> lock(Mutex);
    int64_t m = 0;
    bool any = false;
    for (const auto &e : Sessions) {
        if (!any || e.second.LoginTimeMs < m) m = e.second.LoginTimeMs;
        any = true;
    }
    return m;
}

int SimWorkload::AddClient(const SimClientInfo &info, uint64_t clientId) {
    std::lock_guard<std::mutex> lock(Mutex);
    const int spid = FreeSpid();
    if (spid == 0) return 0;
    SimSession s;
    s.Spid = spid;
    s.Client = true;
    s.ClientId = clientId;
    s.Dbid = 1;
    s.Login = info.Login;
    s.Host = info.Host;
    s.Program = info.Program;
    s.HostProcess = info.HostProcess;
    s.NetLibrary = "TCP/IP";
    s.NetAddress = HexAddress(0x00155D000000ull + static_cast<uint64_t>(spid));
    s.LoginTimeMs = NowLocalMs();
    s.LastBatchMs = s.LoginTimeMs;
    s.MemUsage = 2;
    SetIdle(s);
    s.EventType = "Language Event";
    Sessions[spid] = s;
    return spid;
}

void SimWorkload::RemoveClient(int spid, uint64_t clientId) {
    std::lock_guard<std::mutex> lock(Mutex);
    auto it = Sessions.find(spid);
    if (it != Sessions.end() && it->second.Client && it->second.ClientId == clientId) {
        ReleaseChain(spid);
        Sessions.erase(it);
    }
}

void SimWorkload::ClientBatchStarted(int spid, const std::string &text) {
    std::lock_guard<std::mutex> lock(Mutex);
    auto it = Sessions.find(spid);
    if (it == Sessions.end()) return;
    SimSession &s = it->second;
    s.Status = "runnable";
    s.Cmd = "SELECT";
    s.EventType = "Language Event";
    s.InputBuffer = text;
    s.SqlText = text;
    s.ObjectName.clear();
    s.StmtStart = 0;
    s.StmtEnd = -1;
    s.HasHandle = true;
    s.LastBatchMs = NowLocalMs();
    s.Cpu += 1;
}

void SimWorkload::ClientBatchEnded(int spid) {
    std::lock_guard<std::mutex> lock(Mutex);
    auto it = Sessions.find(spid);
    if (it != Sessions.end()) SetIdle(it->second);
}

void SimWorkload::ReleaseChain(int head) {
    for (auto &e : Sessions) {
        SimSession &s = e.second;
        if (s.Blocked == head && !s.Placed) {
            s.Blocked = 0;
            s.InChain = false;
            SetIdle(s);
        }
    }
}

SimKillResult SimWorkload::Kill(int spid, bool *wasClient, bool lowerTarget) {
    std::lock_guard<std::mutex> lock(Mutex);
    if (wasClient) *wasClient = false;
    auto it = Sessions.find(spid);
    if (it == Sessions.end()) return SimKillResult::Unknown;
    if (it->second.System) return SimKillResult::System;
    if (wasClient) *wasClient = it->second.Client;
    if (!it->second.Client && !it->second.Placed) {
        --UserCount;
        if (lowerTarget && Config.UserSessions > 0) --Config.UserSessions;
    }
    Sessions.erase(it);
    // Sessions it blocked go on; those that waited on a blocked one keep waiting on the chain.
    ReleaseChain(spid);
    return SimKillResult::Killed;
}

bool SimWorkload::PlaceSession(const SimSession &session) {
    std::lock_guard<std::mutex> lock(Mutex);
    if (session.Spid < 51 || session.Spid > 32767) return false;
    auto it = Sessions.find(session.Spid);
    if (it != Sessions.end()) {
        if (it->second.Client || it->second.System) return false;
        if (!it->second.Placed) {
            --UserCount;
            ReleaseChain(session.Spid);
        }
    }
    SimSession &placed = Sessions[session.Spid];
    placed = session;
    placed.Placed = true;
    placed.Client = placed.System = placed.InChain = false;
    ApplyTargetCount(NowLocalMs());
    return true;
}

void SimWorkload::HoldCounters(const SimCounters &start, const SimCounters &perStep) {
    std::lock_guard<std::mutex> lock(Mutex);
    Counters = start;
    HeldStep = perStep;
    CountersHeld = true;
}

void SimWorkload::SetCpuLoad(int percent) {
    std::lock_guard<std::mutex> lock(Mutex);
    FixedLoad = percent > 100 ? 100 : percent;
}

int SimWorkload::CpuLoad() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return LastLoad;
}

void SimWorkload::SetUserSessions(int count) {
    std::lock_guard<std::mutex> lock(Mutex);
    Config.UserSessions = count < 0 ? 0 : count;
    ApplyTargetCount(NowLocalMs());
}

void SimWorkload::SetChurn(double percent) {
    std::lock_guard<std::mutex> lock(Mutex);
    Config.ChurnPercent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
}

int SimWorkload::StartChainLocked(int blocked, int64_t nowMs) {
    std::vector<int> idle;
    for (auto &e : Sessions) {
        const SimSession &s = e.second;
        if (FreeToMove(s)) idle.push_back(s.Spid);
    }
    if (blocked < 1 || static_cast<int>(idle.size()) < blocked + 1) return 0;
    const size_t first =
        static_cast<size_t>(Rng.Range(0, static_cast<int64_t>(idle.size()) - blocked - 1));
    SimSession &head = Sessions[idle[first]];
    SetIdle(head);
    head.InChain = true;
    head.OpenTran = 1;
    head.EventType = "Language Event";
    head.InputBuffer = "BEGIN TRAN\r\nUPDATE dbo.Orders SET Status = 2 WHERE OrderID = 88123";
    head.SqlText = head.InputBuffer;
    head.LastBatchMs = std::max(nowMs - Rng.Range(1000, 5000), head.LoginTimeMs);
    const std::string object = std::to_string(Rng.Range(1000000000, 2000000000));
    int previous = head.Spid;
    for (int i = 0; i < blocked; ++i) {
        SimSession &s = Sessions[idle[first + 1 + static_cast<size_t>(i)]];
        s.InChain = true;
        s.Dbid = head.Dbid;  // the locks are in the head's database
        // The first two wait on the head, further ones wait on the one before them.
        s.Blocked = i < 2 ? head.Spid : previous;
        s.Status = "suspended";
        s.Cmd = i % 2 == 0 ? "UPDATE" : "SELECT";
        s.LastWaitType = kLockWaits[i % 4];
        s.WaitResource = i % 2 == 0 ? "KEY: " + std::to_string(head.Dbid) +
                                          ":72057594043039744 (8194443284a0)"
                                    : "TAB: " + std::to_string(head.Dbid) + ":" + object + ":0";
        s.WaitTime = Rng.Range(100, 3000);
        s.HasHandle = true;
        s.ExtraContexts = 0;
        s.EventType = "Language Event";
        s.InputBuffer = s.Cmd == "UPDATE" ? "UPDATE dbo.Orders SET Status = 3 WHERE OrderID = 88123"
                                          : "SELECT Status FROM dbo.Orders WHERE OrderID = 88123";
        s.SqlText = s.InputBuffer;
        s.ObjectName.clear();
        s.StmtStart = 0;
        s.StmtEnd = -1;
        s.LastBatchMs = std::max(nowMs - s.WaitTime, s.LoginTimeMs);  // no batch before the login
        previous = s.Spid;
    }
    return head.Spid;
}

int SimWorkload::StartBlockingChain(int blocked) {
    std::lock_guard<std::mutex> lock(Mutex);
    return StartChainLocked(blocked, NowLocalMs());
}

void SimWorkload::EndBlockingChains() {
    std::lock_guard<std::mutex> lock(Mutex);
    for (auto &e : Sessions) {
        SimSession &s = e.second;
        if (s.InChain) {
            s.InChain = false;
            s.Blocked = 0;
            s.OpenTran = 0;
            SetIdle(s);
        }
    }
}
