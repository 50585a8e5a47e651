#include "ProcessResultReader.h"

#include "ADODataSet.h"
#include "DBServerInfoSource.h"
#include "FixedText.h"
#include "ServerRecords.h"

#include <cstring>

stPollCounters ReadPollCounters(TADODataSet &query) {
    stPollCounters c;
    if (query.Eof()) return c;
    c.HasRow = true;
    c.CpuBusy = query.FieldByName("cpubusy")->AsLargeInt();
    c.CpuIdle = query.FieldByName("cpuidle")->AsLargeInt();
    c.PacketsSent = query.FieldByName("packsent")->AsInteger();
    c.PacketsReceived = query.FieldByName("packreceived")->AsInteger();
    c.PacketErrors = query.FieldByName("packerrors")->AsInteger();
    c.TotalRead = query.FieldByName("totalread")->AsInteger();
    c.TotalWrite = query.FieldByName("totalwrite")->AsInteger();
    c.TotalErrors = query.FieldByName("totalerrors")->AsInteger();
    c.ServerTime = query.FieldByName("servertime")->AsDateTime();
    return c;
}

namespace {

// The field's text as CopyFixedText would leave it in room: the text itself when it fits (no
// copy), else its cut copy in room.
template <std::size_t N> const char *Fit(char (&room)[N], const TADOField *field) {
    const char *text = field->AsCString();
    if (strnlen(text, N) < N) return text;
    kivra::CopyFixedText(room, text);
    return room;
}

}  // namespace

int FeedProcessRows(TADODataSet &query, TDBServerInfo &info) {
    if (query.Eof()) return 0;
    // The fields are looked up once; they follow the query's current row.
    TADOField *spid = query.FieldByName("spid"), *ecid = query.FieldByName("ecid"),
              *databaseName = query.FieldByName("databasename"),
              *loginName = query.FieldByName("loginame"), *hostName = query.FieldByName("hostname"),
              *ntDomain = query.FieldByName("nt_domain"),
              *ntUserName = query.FieldByName("nt_username"),
              *netAddress = query.FieldByName("net_address"), *command = query.FieldByName("cmd"),
              *status = query.FieldByName("status"),
              *programName = query.FieldByName("program_name"),
              *netLibrary = query.FieldByName("net_library"),
              *hostProcess = query.FieldByName("hostprocess"),
              *lastWaitType = query.FieldByName("lastwaittype"),
              *waitResource = query.FieldByName("waitresource"),
              *loginTime = query.FieldByName("login_time"),
              *lastBatch = query.FieldByName("last_batch"), *cpu = query.FieldByName("cpu_usage"),
              *memUsage = query.FieldByName("memusage"),
              *physicalIO = query.FieldByName("physical_io"),
              *blocked = query.FieldByName("blocked"), *openTran = query.FieldByName("open_tran"),
              *waitTime = query.FieldByName("waittime");

    // The room each text gets (its length plus the terminator); longer texts are cut without
    // splitting a UTF-8 sequence.
    char db[132], login[132], host[132], domain[132], ntUser[132], address[16], library[16],
        cmd[20], stat[32], program[132], hostProc[12], waitType[32], waitRes[256];
    int rows = 0;
    stProcessRow row;
    for (; !query.Eof(); query.Next(), ++rows) {
        // The texts are valid until the query moves: AddProcessRow copies what it keeps.
        row.SPID = spid->AsInteger();
        row.ECID = ecid->AsInteger();
        row.DatabaseName = Fit(db, databaseName);
        row.LoginName = Fit(login, loginName);
        row.HostName = Fit(host, hostName);
        row.NTDomain = Fit(domain, ntDomain);
        row.NTUserName = Fit(ntUser, ntUserName);
        row.NetAddress = Fit(address, netAddress);
        row.Command = Fit(cmd, command);
        row.Status = Fit(stat, status);
        row.ProgramName = Fit(program, programName);
        row.Blocked = blocked->AsInteger();
        row.LoginTime = loginTime->AsDateTime();
        row.LastBatch = lastBatch->AsDateTime();
        row.CPU = cpu->AsLargeInt();
        row.MemUsage = memUsage->AsLargeInt();
        row.PhysicalIO = physicalIO->AsLargeInt();
        row.OpenTran = openTran->AsInteger();
        row.LastWaitType = Fit(waitType, lastWaitType);
        row.WaitResource = Fit(waitRes, waitResource);
        row.WaitTime = waitTime->AsInteger();
        row.NetLibrary = Fit(library, netLibrary);
        row.HostProcess = Fit(hostProc, hostProcess);
        info.AddProcessRow(row);
    }
    return rows;
}
