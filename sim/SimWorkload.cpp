#include "SimWorkload.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

struct SystemTask {
    const char *cmd;
    const char *status;
    const char *wait;
    int dbid;
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

const char *const kDatabases[] = {"", "master", "tempdb", "model", "msdb",
                                  "Sales", "Inventory", "Reporting", "HR"};
constexpr int kDatabaseCount = 9;

struct Client {
    const char *login;
    const char *host;
    const char *program;
    const char *domain;
    const char *user;
    const char *library;
    int dbid;
};

const Client kClients[] = {
    {"app_orders", "WEB01", ".Net SqlClient Data Provider", "", "", "TCP/IP", 5},
    {"app_orders", "WEB02", ".Net SqlClient Data Provider", "", "", "TCP/IP", 5},
    {"app_stock", "APP01", "InventoryService", "", "", "TCP/IP", 6},
    {"reporting", "RPT01", "Report Server", "", "", "TCP/IP", 7},
    {"CORP\\jmeyer", "DEVWS17", "Microsoft SQL Server Management Studio - Query", "CORP",
     "jmeyer", "TCP/IP", 5},
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
    const char *eventType;
    const char *inputBuffer;
    const char *text;      // nullptr: encrypted, no text
    const char *object;    // nullptr: ad-hoc batch
    const char *statement; // the running statement, found in text; nullptr: the whole text
    const char *cmd;
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
     nullptr, "UPDATE dbo.Inventory SET Quantity = Quantity - 1 WHERE ProductID = 7731",
     "UPDATE"},
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

std::string HexAddress(uint64_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%012llX",
                  static_cast<unsigned long long>(v & 0xFFFFFFFFFFFFull));
    return buf;
}

} // namespace

SimWorkload::SimWorkload(const SimWorkloadConfig &config) : Config(config), Rng(config.seed)
{
    StartMs = NowLocalMs() - Config.uptimeSeconds * 1000;
    StartMs -= StartMs % 1000; // whole seconds: the start time is stored as datetime
    Populate();
}

int64_t SimWorkload::NowLocalMs()
{
    using namespace std::chrono;
    const int64_t utcMs =
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(utcMs / 1000);
    std::tm tm{};
    localtime_r(&secs, &tm);
    return utcMs + static_cast<int64_t>(tm.tm_gmtoff) * 1000;
}

std::string SimWorkload::DatabaseName(int dbid)
{
    return dbid > 0 && dbid < kDatabaseCount ? kDatabases[dbid] : std::string();
}

int SimWorkload::DatabaseId(const std::string &name)
{
    for (int i = 1; i < kDatabaseCount; ++i) {
        std::string a = kDatabases[i], b = name;
        if (a.size() != b.size())
            continue;
        bool same = true;
        for (size_t k = 0; k < a.size(); ++k)
            same = same && std::tolower(static_cast<unsigned char>(a[k])) ==
                               std::tolower(static_cast<unsigned char>(b[k]));
        if (same)
            return i;
    }
    return 0;
}

void SimWorkload::Populate()
{
    Rng = SimRandom(Config.seed * 1000003ull + static_cast<uint64_t>(Generation));
    Sessions.clear();
    UserCount = 0;
    AddSystemSessions();
    const int64_t now = NowLocalMs();
    ApplyTargetCount(now);
    const int64_t uptimeS = (now - StartMs) / 1000;
    const double load = 0.15 + Rng.Unit() * 0.15;
    Counters = SimCounters{};
    Counters.cpuBusy = ToInt32Range(static_cast<int64_t>(uptimeS * 32 * load));
    Counters.idle = ToInt32Range(static_cast<int64_t>(uptimeS * 32 * (1 - load)));
    Counters.packReceived = ToInt32Range(uptimeS * 40 + Rng.Range(0, 1000));
    Counters.packSent = ToInt32Range(uptimeS * 45 + Rng.Range(0, 1000));
    Counters.packetErrors = Rng.Range(0, 3);
    Counters.totalRead = ToInt32Range(uptimeS * 120 + Rng.Range(0, 5000));
    Counters.totalWrite = ToInt32Range(uptimeS * 30 + Rng.Range(0, 2000));
    Counters.totalErrors = Rng.Range(0, 2);
    LastLoad = static_cast<int>(load * 100);
    BurstLeft = 0;
    for (int i = 0; i < Config.blockingChains; ++i)
        StartChainLocked(static_cast<int>(Rng.Range(2, 3)), now);
}

void SimWorkload::AddSystemSessions()
{
    const int n = Config.systemSessions;
    const int tasks = sizeof(kSystemTasks) / sizeof(kSystemTasks[0]);
    for (int spid = 1; spid <= n; ++spid) {
        const SystemTask &t = kSystemTasks[(spid - 1) < tasks ? spid - 1 : tasks - 1];
        SimSession s;
        s.spid = spid;
        s.system = true;
        s.dbid = t.dbid;
        s.login = "sa";
        s.cmd = t.cmd;
        s.status = t.status;
        s.lastWaitType = t.wait;
        s.loginTimeMs = StartMs;
        s.lastBatchMs = StartMs;
        s.memUsage = Rng.Range(0, 40);
        s.cpu = Rng.Range(0, 500);
        s.eventType = "No Event";
        Sessions[spid] = s;
    }
}

int SimWorkload::FreeSpid(int from) const
{
    int candidate = from < 51 ? 51 : from;
    for (auto it = Sessions.lower_bound(candidate); it != Sessions.end(); ++it) {
        if (it->first != candidate)
            break;
        ++candidate;
    }
    return candidate <= 32767 ? candidate : 0;
}

void SimWorkload::SetIdle(SimSession &s)
{
    s.status = "sleeping";
    s.cmd = "AWAITING COMMAND";
    s.hasHandle = false;
    s.extraContexts = 0;
    s.waitTime = 0;
    s.lastWaitType = "MISCELLANEOUS";
    s.waitResource.clear();
}

void SimWorkload::AssignBatch(SimSession &s, int64_t nowMs)
{
    const Batch &b = kBatches[Rng.Range(0, kBatchCount - 1)];
    s.eventType = b.eventType;
    s.inputBuffer = b.inputBuffer;
    s.sqlText = b.text ? b.text : "";
    s.encrypted = b.text == nullptr;
    s.objectName = b.object ? b.object : "";
    s.stmtStart = 0;
    s.stmtEnd = -1;
    if (b.text && b.statement) {
        const std::string text = b.text;
        const size_t at = text.find(b.statement);
        if (at != std::string::npos) {
            s.stmtStart = static_cast<int>(at * 2);
            const size_t end = at + std::string(b.statement).size();
            s.stmtEnd = end >= text.size() ? -1 : static_cast<int>(end * 2);
        }
    }
    s.lastBatchMs = nowMs - Rng.Range(0, 900);
    if (s.lastBatchMs < s.loginTimeMs)
        s.lastBatchMs = s.loginTimeMs;
    if (Rng.Chance(0.5)) {
        s.status = Rng.Chance(0.6) ? "runnable" : "suspended";
        s.cmd = b.cmd;
        s.hasHandle = true;
        s.lastWaitType = s.status == "suspended" ? "PAGEIOLATCH_SH" : "SOS_SCHEDULER_YIELD";
        s.waitTime = s.status == "suspended" ? Rng.Range(1, 40) : 0;
        s.extraContexts = Rng.Chance(0.15) ? static_cast<int>(Rng.Range(2, 4)) : 0;
        if (s.extraContexts > 0)
            s.lastWaitType = "CXPACKET";
    } else {
        SetIdle(s);
    }
}

SimSession SimWorkload::MakeUserSession(int spid, int64_t nowMs, bool fresh)
{
    const Client &c = kClients[Rng.Range(0, kClientCount - 1)];
    SimSession s;
    s.spid = spid;
    s.dbid = c.dbid;
    s.login = c.login;
    s.host = c.host;
    s.program = c.program;
    s.ntDomain = c.domain;
    s.ntUser = c.user;
    s.netLibrary = c.library;
    s.netAddress = std::string(c.library) == "LPC" ? "" : HexAddress(0x001C42000000ull +
                                                                     std::hash<std::string>{}(c.host) % 0xFFFFFF);
    s.hostProcess = std::to_string(Rng.Range(400, 9000));
    const int64_t span = nowMs - StartMs;
    s.loginTimeMs = fresh ? nowMs - Rng.Range(0, 900)
                          : StartMs + 1000 + (span > 2000 ? Rng.Range(0, span - 2000) : 0);
    if (s.loginTimeMs <= StartMs)
        s.loginTimeMs = StartMs + 1000;
    s.cpu = fresh ? 0 : Rng.Range(0, 20000);
    s.physicalIo = fresh ? 0 : Rng.Range(0, 5000);
    s.memUsage = Rng.Range(2, 60);
    AssignBatch(s, nowMs);
    if (!fresh && !s.hasHandle && nowMs > s.loginTimeMs)
        s.lastBatchMs = s.loginTimeMs + Rng.Range(0, nowMs - s.loginTimeMs); // idle a while
    return s;
}

void SimWorkload::ApplyTargetCount(int64_t nowMs)
{
    int spid = 51;
    while (UserCount < Config.userSessions) {
        spid = FreeSpid(spid); // every id below the last one found is taken
        if (spid == 0)
            return;
        Sessions[spid] = MakeUserSession(spid, nowMs, false);
        ++UserCount;
    }
    // Too many: remove the highest simulated, unchained sessions.
    for (auto it = Sessions.end(); UserCount > Config.userSessions && it != Sessions.begin();) {
        --it;
        if (!it->second.system && !it->second.client && !it->second.inChain) {
            it = Sessions.erase(it);
            --UserCount;
        }
    }
}

void SimWorkload::Step()
{
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
        if (BurstLeft > 0)
            --BurstLeft;
        load = load < 0 ? 0 : (load > 100 ? 100 : load);
    }
    LastLoad = load;
    BusyFrac += 32.0 * load / 100.0;
    IdleFrac += 32.0 * (100 - load) / 100.0;
    const int64_t busy = static_cast<int64_t>(BusyFrac), idle = static_cast<int64_t>(IdleFrac);
    BusyFrac -= static_cast<double>(busy);
    IdleFrac -= static_cast<double>(idle);
    Counters.cpuBusy = ToInt32Range(Counters.cpuBusy + busy);
    Counters.idle = ToInt32Range(Counters.idle + idle);

    // Churn: some simulated sessions disconnect, new ones connect.
    int leaving = static_cast<int>(UserCount * Config.churnPercent / 100.0);
    if (leaving == 0 && Config.churnPercent > 0 && Rng.Chance(UserCount * Config.churnPercent / 100.0))
        leaving = 1;
    for (int i = 0; i < leaving && UserCount > 0; ++i) {
        auto it = Sessions.lower_bound(static_cast<int>(Rng.Range(51, 51 + UserCount * 2)));
        while (it != Sessions.end() && (it->second.system || it->second.client || it->second.inChain))
            ++it;
        if (it == Sessions.end())
            continue;
        Sessions.erase(it);
        --UserCount;
    }
    int spid = 51;
    while (UserCount < Config.userSessions) {
        spid = FreeSpid(spid);
        if (spid == 0)
            break;
        Sessions[spid] = MakeUserSession(spid, now, true);
        ++UserCount;
    }

    int64_t active = 0;
    for (auto &entry : Sessions) {
        SimSession &s = entry.second;
        if (s.client)
            continue;
        if (s.system) {
            s.cpu += Rng.Chance(0.2) ? Rng.Range(0, 5) : 0;
            continue;
        }
        if (s.inChain) {
            if (s.blocked != 0)
                s.waitTime += 1000;
            continue;
        }
        const bool running = s.hasHandle;
        if (running) {
            ++active;
            s.cpu += Rng.Range(10, 30 + load * 5);
            s.physicalIo += Rng.Range(0, 40);
            if (s.status == "suspended")
                s.waitTime += Rng.Range(5, 200);
            if (Rng.Chance(0.4))
                SetIdle(s);
        } else if (Rng.Chance(0.15)) {
            AssignBatch(s, now);
        }
        if (Rng.Chance(0.05))
            s.memUsage = s.memUsage + Rng.Range(-2, 3) < 2 ? 2 : s.memUsage + Rng.Range(-2, 3);
    }

    const int64_t packets = active * 3 + Rng.Range(5, 40) + load / 2;
    Counters.packReceived = ToInt32Range(Counters.packReceived + packets);
    Counters.packSent = ToInt32Range(Counters.packSent + packets + Rng.Range(0, 20));
    if (Rng.Chance(0.01))
        Counters.packetErrors = ToInt32Range(Counters.packetErrors + 1);
    Counters.totalRead = ToInt32Range(Counters.totalRead + Rng.Range(20, 80) * (load + 5) / 10);
    Counters.totalWrite = ToInt32Range(Counters.totalWrite + Rng.Range(5, 30) * (load + 5) / 20);
    if (Rng.Chance(0.005))
        Counters.totalErrors = ToInt32Range(Counters.totalErrors + 1);
}

void SimWorkload::Restart()
{
    std::lock_guard<std::mutex> lock(Mutex);
    ++Generation;
    StartMs = NowLocalMs();
    StartMs -= StartMs % 1000;
    Populate();
}

void SimWorkload::Read(
    const std::function<void(const std::map<int, SimSession> &, const SimCounters &)> &fn) const
{
    std::lock_guard<std::mutex> lock(Mutex);
    fn(Sessions, Counters);
}

bool SimWorkload::Find(int spid, SimSession &out) const
{
    std::lock_guard<std::mutex> lock(Mutex);
    auto it = Sessions.find(spid);
    if (it == Sessions.end())
        return false;
    out = it->second;
    return true;
}

size_t SimWorkload::SessionCount() const
{
    std::lock_guard<std::mutex> lock(Mutex);
    return Sessions.size();
}

int64_t SimWorkload::StartTimeMs() const
{
    std::lock_guard<std::mutex> lock(Mutex);
    return StartMs;
}

int64_t SimWorkload::EarliestLoginMs() const
{
    std::lock_guard<std::mutex> lock(Mutex);
    int64_t m = 0;
    bool any = false;
    for (const auto &e : Sessions) {
        if (!any || e.second.loginTimeMs < m)
            m = e.second.loginTimeMs;
        any = true;
    }
    return m;
}

int SimWorkload::AddClient(const SimClientInfo &info, uint64_t clientId)
{
    std::lock_guard<std::mutex> lock(Mutex);
    const int spid = FreeSpid();
    if (spid == 0)
        return 0;
    SimSession s;
    s.spid = spid;
    s.client = true;
    s.clientId = clientId;
    s.dbid = 1;
    s.login = info.login;
    s.host = info.host;
    s.program = info.program;
    s.hostProcess = info.hostProcess;
    s.netLibrary = "TCP/IP";
    s.netAddress = HexAddress(0x00155D000000ull + static_cast<uint64_t>(spid));
    s.loginTimeMs = NowLocalMs();
    s.lastBatchMs = s.loginTimeMs;
    s.memUsage = 2;
    SetIdle(s);
    s.eventType = "Language Event";
    Sessions[spid] = s;
    return spid;
}

void SimWorkload::RemoveClient(int spid, uint64_t clientId)
{
    std::lock_guard<std::mutex> lock(Mutex);
    auto it = Sessions.find(spid);
    if (it != Sessions.end() && it->second.client && it->second.clientId == clientId) {
        ReleaseChain(spid);
        Sessions.erase(it);
    }
}

void SimWorkload::ClientBatchStarted(int spid, const std::string &text)
{
    std::lock_guard<std::mutex> lock(Mutex);
    auto it = Sessions.find(spid);
    if (it == Sessions.end())
        return;
    SimSession &s = it->second;
    s.status = "runnable";
    s.cmd = "SELECT";
    s.eventType = "Language Event";
    s.inputBuffer = text;
    s.sqlText = text;
    s.objectName.clear();
    s.stmtStart = 0;
    s.stmtEnd = -1;
    s.hasHandle = true;
    s.lastBatchMs = NowLocalMs();
    s.cpu += 1;
}

void SimWorkload::ClientBatchEnded(int spid)
{
    std::lock_guard<std::mutex> lock(Mutex);
    auto it = Sessions.find(spid);
    if (it != Sessions.end())
        SetIdle(it->second);
}

void SimWorkload::ReleaseChain(int head)
{
    for (auto &e : Sessions) {
        SimSession &s = e.second;
        if (s.blocked == head) {
            s.blocked = 0;
            s.inChain = false;
            SetIdle(s);
        }
    }
}

SimKillResult SimWorkload::Kill(int spid, bool *wasClient, bool lowerTarget)
{
    std::lock_guard<std::mutex> lock(Mutex);
    if (wasClient)
        *wasClient = false;
    auto it = Sessions.find(spid);
    if (it == Sessions.end())
        return SimKillResult::Unknown;
    if (it->second.system)
        return SimKillResult::System;
    if (wasClient)
        *wasClient = it->second.client;
    if (!it->second.client) {
        --UserCount;
        if (lowerTarget && Config.userSessions > 0)
            --Config.userSessions;
    }
    Sessions.erase(it);
    // Sessions it blocked go on; those that waited on a blocked one keep waiting on the chain.
    ReleaseChain(spid);
    return SimKillResult::Killed;
}

void SimWorkload::SetCpuLoad(int percent)
{
    std::lock_guard<std::mutex> lock(Mutex);
    FixedLoad = percent > 100 ? 100 : percent;
}

int SimWorkload::CpuLoad() const
{
    std::lock_guard<std::mutex> lock(Mutex);
    return LastLoad;
}

void SimWorkload::SetUserSessions(int count)
{
    std::lock_guard<std::mutex> lock(Mutex);
    Config.userSessions = count < 0 ? 0 : count;
    ApplyTargetCount(NowLocalMs());
}

void SimWorkload::SetChurn(double percent)
{
    std::lock_guard<std::mutex> lock(Mutex);
    Config.churnPercent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
}

int SimWorkload::StartChainLocked(int blocked, int64_t nowMs)
{
    std::vector<int> idle;
    for (auto &e : Sessions) {
        const SimSession &s = e.second;
        if (!s.system && !s.client && !s.inChain)
            idle.push_back(s.spid);
    }
    if (blocked < 1 || static_cast<int>(idle.size()) < blocked + 1)
        return 0;
    const size_t first = static_cast<size_t>(Rng.Range(0, static_cast<int64_t>(idle.size()) - blocked - 1));
    SimSession &head = Sessions[idle[first]];
    SetIdle(head);
    head.inChain = true;
    head.openTran = 1;
    head.eventType = "Language Event";
    head.inputBuffer = "BEGIN TRAN\r\nUPDATE dbo.Orders SET Status = 2 WHERE OrderID = 88123";
    head.sqlText = head.inputBuffer;
    head.lastBatchMs = std::max(nowMs - Rng.Range(1000, 5000), head.loginTimeMs);
    const std::string object = std::to_string(Rng.Range(1000000000, 2000000000));
    int previous = head.spid;
    for (int i = 0; i < blocked; ++i) {
        SimSession &s = Sessions[idle[first + 1 + static_cast<size_t>(i)]];
        s.inChain = true;
        s.dbid = head.dbid; // the locks are in the head's database
        // The first two wait on the head, further ones wait on the one before them.
        s.blocked = i < 2 ? head.spid : previous;
        s.status = "suspended";
        s.cmd = i % 2 == 0 ? "UPDATE" : "SELECT";
        s.lastWaitType = kLockWaits[i % 4];
        s.waitResource = i % 2 == 0 ? "KEY: " + std::to_string(head.dbid) +
                                          ":72057594043039744 (8194443284a0)"
                                    : "TAB: " + std::to_string(head.dbid) + ":" + object + ":0";
        s.waitTime = Rng.Range(100, 3000);
        s.hasHandle = true;
        s.extraContexts = 0;
        s.eventType = "Language Event";
        s.inputBuffer = s.cmd == "UPDATE" ? "UPDATE dbo.Orders SET Status = 3 WHERE OrderID = 88123"
                                          : "SELECT Status FROM dbo.Orders WHERE OrderID = 88123";
        s.sqlText = s.inputBuffer;
        s.objectName.clear();
        s.stmtStart = 0;
        s.stmtEnd = -1;
        s.lastBatchMs = std::max(nowMs - s.waitTime, s.loginTimeMs); // no batch before the login
        previous = s.spid;
    }
    return head.spid;
}

int SimWorkload::StartBlockingChain(int blocked)
{
    std::lock_guard<std::mutex> lock(Mutex);
    return StartChainLocked(blocked, NowLocalMs());
}

void SimWorkload::EndBlockingChains()
{
    std::lock_guard<std::mutex> lock(Mutex);
    for (auto &e : Sessions) {
        SimSession &s = e.second;
        if (s.inChain) {
            s.inChain = false;
            s.blocked = 0;
            s.openTran = 0;
            SetIdle(s);
        }
    }
}
