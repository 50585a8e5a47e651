#include "KivraQueryTexts.h"

#include "OleDbConnectionString.h"

#include <initializer_list>

namespace kivra {

const char *const kApplicationName = "VORNIXMonitor";

const char *const kResponseProbeText = "SELECT 1";

const char *const kStatementProbeText =
    "select count(*) as counter \r\n"
    " from syscolumns \r\n"
    " where name = 'stmt_start' \r\n"
    " and object_name(id) = 'sysprocesses'";

const char *const kPermissionProbeText =
    "select permissions(id)&0x20 as permission from sysobjects where name = 'fn_get_sql'";

const char *const kStartupQueryText =
    "SELECT @@SPID AS spid, MIN(login_time) AS serverstarttime, GetDate() as servertimenow FROM "
    "sysprocesses";

namespace {

std::string JoinLines(std::initializer_list<std::string> lines) {
    std::string out;
    for (const auto &l : lines) {
        if (!out.empty()) out += "\r\n";
        out += l;
    }
    return out;
}

}  // namespace

std::string BuildConnectionString(const std::string &server, bool windowsAuth,
                                  const std::string &userId, const std::string &password) {
    const std::string tail = ";Initial Catalog=master;Data Source=" + QuoteOleDbValue(server) +
                             ";Application Name=" + kApplicationName;
    if (windowsAuth)
        return "Provider=SQLOLEDB.1;Persist Security Info=False;Integrated Security=SSPI" + tail;
    return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + QuoteOleDbValue(userId) +
           ";Password=" + QuoteOleDbValue(password) + tail;
}

const std::string &ProcessQueryText() {
    static const std::string text = [] {
        const char *inner[] = {
            "ecid as ecid,",
            "case when dbid = 0 then '<SystemProcess>' else rtrim(db_name(dbid)) end as databasename,",
            "rtrim(loginame) as loginame,",
            "isnull(rtrim(hostname),'') as hostname,",
            "isnull(rtrim(nt_domain),'') as nt_domain,",
            "isnull(rtrim(nt_username),'') as nt_username,",
            "isnull(rtrim(net_address),'') as net_address,",
            "isnull(rtrim(net_library),'') as net_library,",
            "isnull(rtrim(cmd),'') AS cmd,",
            "isnull(rtrim(status),'') as status,",
            "case when isnull(rtrim(program_name),'') like 'VORNIXMonitor%' then 'VORNIXMonitor' "
            "else isnull(rtrim(program_name),'') end AS program_name,",
            "isnull(rtrim(blocked),0) AS blocked,",
            "login_time  AS login_time,",
            "last_batch  AS last_batch,",
            "isnull(cpu,0) AS cpu_usage,",
            "isnull(memusage,0) AS memusage,",
            "isnull(physical_io,0) AS physical_io,",
            "isnull(open_tran,0) AS open_tran,",
            "isnull(waittime,0) AS waittime,",
            "isnull(rtrim(lastwaittype),'') as lastwaittype,",
            "isnull(rtrim(waitresource),'') as waitresource,",
            "isnull(rtrim(hostprocess),'') as hostprocess,",
            "@@cpu_busy as cpubusy,",
            "@@Idle as cpuidle,",
            "@@pack_received as packreceived,",
            "@@pack_sent as packsent,",
            "@@packet_errors as packerrors,",
            "@@total_read as totalread,",
            "@@total_write as totalwrite,",
            "@@total_errors as totalerrors,",
            "getdate() as servertime",
        };
        std::string out = "SELECT spid as spid,";
        for (const char *line : inner) {
            out += "\r\n\t   ";
            out += line;
        }
        out += "\r\nFROM dbo.sysprocesses AS sysprocesses";
        return out;
    }();
    return text;
}

std::string InputBufferBatch(int spid) {
    return JoinLines({"DBCC INPUTBUFFER (" + std::to_string(spid) + ")", "IF @@RowCount = 0",
                      "SELECT 'NONE' EventType,0 Parameters,'<No SQL Found>' EventInfo"});
}

std::string StatementBatch(int spid) {
    const std::string id = std::to_string(spid);
    return JoinLines({
        "declare @sql varchar(1200)",
        "declare @nsql  nvarchar(1200)",
        "declare @databasename varchar(100)",
        "declare @hasdbaccess int",
        "declare @hastext char(1)",
        "set @hastext = 'N'",
        "select @databasename = db_name(dbid),",
        "@hastext = case when sql_handle = 0x0000000000000000000000000000000000000000 then 'N' "
        "else 'Y' end",
        "from sysprocesses where spid = " + id + "  and ecid = 0",
        "if @hastext = 'Y'",
        "begin",
        "set @hasdbaccess = has_dbaccess(@DatabaseName)",
        "set @sql = 'declare @sql_handle binary(20)' + char(13) + char(10) +",
        "'declare @stmt_start int'  + char(13) + char(10) +",
        "'declare @stmt_end int' + char(13) + char(10) +",
        "'declare @dbid int' + char(13) + char(10) +",
        "'declare @objectid int' + char(13) + char(10) +",
        "'declare @number int' + char(13) + char(10) +",
        "'declare @encrypted bit' + char(13) + char(10) +",
        "'declare @SQLText varchar(8000)' + char(13) + char(10) +",
        "'declare @GetNameSQL nvarchar(400)' + char(13) + char(10) +",
        "'declare @DatabaseName varchar(127)' + char(13) + char(10) ",
        "if @hasdbaccess = 1 ",
        // The database name is quoted on the server, so that no name runs as SQL.
        "set @sql = @sql + 'use ' + quotename(@DatabaseName) + char(13) + char(10)",
        "set @sql = @sql + 'select @stmt_start = ceiling(cast(stmt_start as float)/2)+1,' + "
        "char(13) + char(10) +",
        "'@stmt_end = ceiling(cast(stmt_end as float)/2) - 1,' + char(13) + char(10) +",
        "'@SQL_Handle = sql_handle' + char(13) + char(10) +",
        "'from master.dbo.sysprocesses' + char(13) + char(10) +",
        "'where spid = " + id + "' + char(13) + char(10) +",
        "'and ecid = 0' + char(13) + char(10) +",
        "'if @@rowcount = 1' + char(13) + char(10) +",
        "'SELECT @dbid = dbid,' + char(13) + char(10) +",
        "'@DatabaseName = DB_Name(dbid),' + char(13) + char(10) +",
        "'@objectid = objectid,' + char(13) + char(10) +",
        "'@number = number,' + char(13) + char(10) +",
        "'@encrypted = encrypted,' + char(13) + char(10) +",
        "'@SQLText = SUBSTRING(text,' + char(13) + char(10) +",
        "'CASE WHEN @stmt_start < 1 THEN 1 ELSE @stmt_start END,' + char(13) + char(10) +",
        "'CASE @stmt_end' + char(13) + char(10) +",
        "'WHEN -1' + char(13) + char(10) +",
        "'THEN DATALENGTH(text)' + char(13) + char(10) +",
        "'ELSE' + char(13) + char(10) +",
        "'case when (@stmt_end - @stmt_start) < 1 then DATALENGTH(text) else (@stmt_end - "
        "@stmt_start) end' + char(13) + char(10) + ",
        "'END)' + char(13) + char(10) +",
        "'FROM ' + char(58) + char(58) + 'fn_get_sql(@SQL_Handle)' + char(13) + char(10) +",
        "'SELECT isnull(@stmt_start,0) as stmt_start,' + char(13) + char(10) +",
        "'isnull(@stmt_end,0) as stmt_end,' + char(13) + char(10) ",
        "if @hasdbaccess = 1 ",
        "set @sql = @sql + 'isnull(object_name(@objectid),''<BATCH>'') as objectname,' + char(13) "
        "+ char(10) ",
        "else",
        "set @sql = @sql + '''<Insufficient Rights>'' as objectname,' + char(13) + char(10)",
        "set @sql = @sql + 'case when @encrypted = 1 then ''Y'' else ''N'' end as encrypted,' +",
        "'isnull(@SQLText,''<NONE>'') as sqltext' + char(13) + char(10) + ",
        "'use master'",
        "set @nsql = cast(@sql as nvarchar(1200))",
        "exec sp_executesql @nsql",
        "end",
        "else",
        "select  0 as stmt_start, 0 as stmt_end, '<NONE>' as objectname, 'N' as encrypted, "
        "'<NONE>' as sqltext",
    });
}

std::string KillBatch(int spid) {
    const std::string id = std::to_string(spid);
    return JoinLines({
        "declare @returncode int",
        "if @@spid = " + id,
        "\tset @returncode = -1",
        "else if (select top 1 case when login_time = (select min(login_time) from sysprocesses "
        "where spid < 10)",
        "\t\t\t\t\t then 'Y'",
        "\t\t\t\t\t else 'N'",
        "\t\t\t\tend",
        "\t\t from sysprocesses",
        "\t\t where spid = " + id + ") = 'Y'",
        "\tset @returncode = -2",
        "else",
        "begin",
        "\tif exists(select 1 from sysprocesses where spid = " + id + ")",
        "\t\tkill " + id,
        "\tset @returncode = 1",
        "end",
        "select @returncode as returncode",
    });
}

}  // namespace kivra
