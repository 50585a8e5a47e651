#include "SimSqlTexts.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {
// Joins the pieces with the session id between them.
std::string WithId(const char *const *pieces, size_t n, int spid) {
    const std::string id = std::to_string(spid);
    std::string out = pieces[0];
    for (size_t i = 1; i < n; ++i) out += id + pieces[i];
    return out;
}

const char *const kStatement[] = {
    "declare @sql varchar(1200)\r\n"
    "declare @nsql  nvarchar(1200)\r\n"
    "declare @databasename varchar(100)\r\n"
    "declare @hasdbaccess int\r\n"
    "declare @hastext char(1)\r\n"
    "set @hastext = 'N'\r\n"
    "select @databasename = db_name(dbid),\r\n"
    "@hastext = case when sql_handle = 0x0000000000000000000000000000000000000000 then 'N' else 'Y' end\r\n"
    "from sysprocesses where spid = ",
    "  and ecid = 0\r\n"
    "if @hastext = 'Y'\r\n"
    "begin\r\n"
    "set @hasdbaccess = has_dbaccess(@DatabaseName)\r\n"
    "set @sql = 'declare @sql_handle binary(20)' + char(13) + char(10) +\r\n"
    "'declare @stmt_start int'  + char(13) + char(10) +\r\n"
    "'declare @stmt_end int' + char(13) + char(10) +\r\n"
    "'declare @dbid int' + char(13) + char(10) +\r\n"
    "'declare @objectid int' + char(13) + char(10) +\r\n"
    "'declare @number int' + char(13) + char(10) +\r\n"
    "'declare @encrypted bit' + char(13) + char(10) +\r\n"
    "'declare @SQLText varchar(8000)' + char(13) + char(10) +\r\n"
    "'declare @GetNameSQL nvarchar(400)' + char(13) + char(10) +\r\n"
    "'declare @DatabaseName varchar(127)' + char(13) + char(10) \r\n"
    "if @hasdbaccess = 1 \r\n"
    "set @sql = @sql + 'use ' + @DatabaseName + char(13) + char(10)\r\n"
    "set @sql = @sql + 'select @stmt_start = ceiling(cast(stmt_start as float)/2)+1,' + char(13) + char(10) +\r\n"
    "'@stmt_end = ceiling(cast(stmt_end as float)/2) - 1,' + char(13) + char(10) +\r\n"
    "'@SQL_Handle = sql_handle' + char(13) + char(10) +\r\n"
    "'from master.dbo.sysprocesses' + char(13) + char(10) +\r\n"
    "'where spid = ",
    "' + char(13) + char(10) +\r\n"
    "'and ecid = 0' + char(13) + char(10) +\r\n"
    "'if @@rowcount = 1' + char(13) + char(10) +\r\n"
    "'SELECT @dbid = dbid,' + char(13) + char(10) +\r\n"
    "'@DatabaseName = DB_Name(dbid),' + char(13) + char(10) +\r\n"
    "'@objectid = objectid,' + char(13) + char(10) +\r\n"
    "'@number = number,' + char(13) + char(10) +\r\n"
    "'@encrypted = encrypted,' + char(13) + char(10) +\r\n"
    "'@SQLText = SUBSTRING(text,' + char(13) + char(10) +\r\n"
    "'CASE WHEN @stmt_start < 1 THEN 1 ELSE @stmt_start END,' + char(13) + char(10) +\r\n"
    "'CASE @stmt_end' + char(13) + char(10) +\r\n"
    "'WHEN -1' + char(13) + char(10) +\r\n"
    "'THEN DATALENGTH(text)' + char(13) + char(10) +\r\n"
    "'ELSE' + char(13) + char(10) +\r\n"
    "'case when (@stmt_end - @stmt_start) < 1 then DATALENGTH(text) else (@stmt_end - @stmt_start) end' + char(13) + char(10) + \r\n"
    "'END)' + char(13) + char(10) +\r\n"
    "'FROM ' + char(58) + char(58) + 'fn_get_sql(@SQL_Handle)' + char(13) + char(10) +\r\n"
    "'SELECT isnull(@stmt_start,0) as stmt_start,' + char(13) + char(10) +\r\n"
    "'isnull(@stmt_end,0) as stmt_end,' + char(13) + char(10) \r\n"
    "if @hasdbaccess = 1 \r\n"
    "set @sql = @sql + 'isnull(object_name(@objectid),''<BATCH>'') as objectname,' + char(13) + char(10) \r\n"
    "else\r\n"
    "set @sql = @sql + '''<Insufficient Rights>'' as objectname,' + char(13) + char(10)\r\n"
    "set @sql = @sql + 'case when @encrypted = 1 then ''Y'' else ''N'' end as encrypted,' +\r\n"
    "'isnull(@SQLText,''<NONE>'') as sqltext' + char(13) + char(10) + \r\n"
    "'use master'\r\n"
    "set @nsql = cast(@sql as nvarchar(1200))\r\n"
    "exec sp_executesql @nsql\r\n"
    "end\r\n"
    "else\r\n"
    "select  0 as stmt_start, 0 as stmt_end, '<NONE>' as objectname, 'N' as encrypted, '<NONE>' as sqltext",
};

const char *const kKill[] = {
    "declare @returncode int\r\n"
    "if @@spid = ",
    "\r\n"
    "\tset @returncode = -1\r\n"
    "else if (select top 1 case when login_time = (select min(login_time) from sysprocesses where spid < 10)\r\n"
    "\t\t\t\t\t then 'Y'\r\n"
    "\t\t\t\t\t else 'N'\r\n"
    "\t\t\t\tend\r\n"
    "\t\t from sysprocesses\r\n"
    "\t\t where spid = ",
    ") = 'Y'\r\n"
    "\tset @returncode = -2\r\n"
    "else\r\n"
    "begin\r\n"
    "\tif exists(select 1 from sysprocesses where spid = ",
    ")\r\n"
    "\t\tkill ",
    "\r\n"
    "\tset @returncode = 1\r\n"
    "end\r\n"
    "select @returncode as returncode",
};

const char *const kProcess =
    "SELECT spid as spid,\r\n"
    "\t   ecid as ecid,\r\n"
    "\t   case when dbid = 0 then '<SystemProcess>' else rtrim(db_name(dbid)) end as databasename,\r\n"
    "\t   rtrim(loginame) as loginame,\r\n"
    "\t   isnull(rtrim(hostname),'') as hostname,\r\n"
    "\t   isnull(rtrim(nt_domain),'') as nt_domain,\r\n"
    "\t   isnull(rtrim(nt_username),'') as nt_username,\r\n"
    "\t   isnull(rtrim(net_address),'') as net_address,\r\n"
    "\t   isnull(rtrim(net_library),'') as net_library,\r\n"
    "\t   isnull(rtrim(cmd),'') AS cmd,\r\n"
    "\t   isnull(rtrim(status),'') as status,\r\n"
    "\t   case when isnull(rtrim(program_name),'') like 'VORNIXMonitor%' then 'VORNIXMonitor' else isnull(rtrim(program_name),'') end AS program_name,\r\n"
    "\t   isnull(rtrim(blocked),0) AS blocked,\r\n"
    "\t   login_time  AS login_time,\r\n"
    "\t   last_batch  AS last_batch,\r\n"
    "\t   isnull(cpu,0) AS cpu_usage,\r\n"
    "\t   isnull(memusage,0) AS memusage,\r\n"
    "\t   isnull(physical_io,0) AS physical_io,\r\n"
    "\t   isnull(open_tran,0) AS open_tran,\r\n"
    "\t   isnull(waittime,0) AS waittime,\r\n"
    "\t   isnull(rtrim(lastwaittype),'') as lastwaittype,\r\n"
    "\t   isnull(rtrim(waitresource),'') as waitresource,\r\n"
    "\t   isnull(rtrim(hostprocess),'') as hostprocess,\r\n"
    "\t   @@cpu_busy as cpubusy,\r\n"
    "\t   @@Idle as cpuidle,\r\n"
    "\t   @@pack_received as packreceived,\r\n"
    "\t   @@pack_sent as packsent,\r\n"
    "\t   @@packet_errors as packerrors,\r\n"
    "\t   @@total_read as totalread,\r\n"
    "\t   @@total_write as totalwrite,\r\n"
    "\t   @@total_errors as totalerrors,\r\n"
    "\t   getdate() as servertime\r\n"
    "FROM dbo.sysprocesses AS sysprocesses";

}  // namespace

std::string SimSqlTexts::Probe() { return "SELECT 1"; }

std::string SimSqlTexts::StatementTextProbe() {
    return "select count(*) as counter \r\n from syscolumns \r\n where name = 'stmt_start' "
           "\r\n and object_name(id) = 'sysprocesses'";
}

std::string SimSqlTexts::PermissionProbe() {
    return "select permissions(id)&0x20 as permission from sysobjects where name = 'fn_get_sql'";
}

std::string SimSqlTexts::StartupQuery() {
    return "SELECT @@SPID AS spid, MIN(login_time) AS serverstarttime, GetDate() as "
           "servertimenow FROM sysprocesses";
}

std::string SimSqlTexts::ProcessQuery() { return kProcess; }

std::string SimSqlTexts::InputBuffer(int spid) {
    return "DBCC INPUTBUFFER (" + std::to_string(spid) +
           ")\r\nIF @@RowCount = 0\r\nSELECT 'NONE' EventType,0 Parameters,'<No SQL Found>' "
           "EventInfo";
}

std::string SimSqlTexts::StatementBatch(int spid, bool quoted) {
    std::string s = WithId(kStatement, sizeof(kStatement) / sizeof(kStatement[0]), spid);
    if (quoted) {
        const std::string from = "'use ' + @DatabaseName", to = "'use ' + quotename(@DatabaseName)";
        s.replace(s.find(from), from.size(), to);
    }
    return s;
}

std::string SimSqlTexts::KillBatch(int spid) {
    return WithId(kKill, sizeof(kKill) / sizeof(kKill[0]), spid);
}

std::string SimSqlTexts::EnumErrorLogs() { return "EXEC sp_enumerrorlogs"; }

std::string SimSqlTexts::Normalise(const std::string &sql) {
    std::string out;
    out.reserve(sql.size());
    bool space = false;
    for (unsigned char c : sql) {
        if (std::isspace(c)) {
            space = !out.empty();
            continue;
        }
        if (space) out.push_back(' ');
        space = false;
        out.push_back(static_cast<char>(std::tolower(c)));
    }
    return out;
}

namespace {
// The number right after the first occurrence of key in batch; -1 when key is missing. The
// callers then compare the whole batch (normalised) with the text of that number.
int NumberAfter(const std::string &batch, const char *key) {
    const size_t at = batch.find(key);
    if (at == std::string::npos) return -1;
    return std::atoi(batch.c_str() + at + std::strlen(key));
}
}  // namespace

int SimSqlTexts::InputBufferSession(const std::string &batch) {
    const int spid = batch.rfind("DBCC INPUTBUFFER (", 0) == 0 ? NumberAfter(batch, "(") : -1;
    return spid >= 0 && Normalise(batch) == Normalise(InputBuffer(spid)) ? spid : -1;
}

int SimSqlTexts::StatementSession(const std::string &batch) {
    const int spid = NumberAfter(batch, "where spid = ");
    if (spid < 0) return -1;
    const std::string n = Normalise(batch);
    return n == Normalise(StatementBatch(spid, false)) || n == Normalise(StatementBatch(spid, true))
               ? spid
               : -1;
}
