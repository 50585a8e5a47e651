#include "PollRow.h"

stProcessRow ToProcessRow(const PollRow &r) {
    stProcessRow row;
    row.SPID = r.spid;
    row.ECID = r.ecid;
    row.DatabaseName = r.database.c_str();
    row.LoginName = r.login.c_str();
    row.HostName = r.host.c_str();
    row.NTDomain = r.domain.c_str();
    row.NTUserName = r.user.c_str();
    row.NetAddress = r.address.c_str();
    row.Command = r.command.c_str();
    row.Status = r.status.c_str();
    row.ProgramName = r.program.c_str();
    row.Blocked = r.blocked;
    row.LoginTime = r.loginTime;
    row.LastBatch = r.lastBatch;
    row.CPU = r.cpu;
    row.MemUsage = r.mem;
    row.PhysicalIO = r.io;
    row.OpenTran = r.openTran;
    row.LastWaitType = r.waitType.c_str();
    row.WaitResource = r.waitResource.c_str();
    row.WaitTime = r.waitTime;
    row.NetLibrary = r.library.c_str();
    row.HostProcess = r.hostProcess.c_str();
    return row;
}

void MergePoll(TDBServerInfo &model, const std::vector<PollRow> &rows) {
    model.BeginPollCycle();
    for (const PollRow &r : rows) model.AddProcessRow(ToProcessRow(r));
    model.EndPollCycle();
}

std::vector<PollRow> Sessions(int first, int count) {
    std::vector<PollRow> rows;
    for (int spid = first; spid < first + count; ++spid) {
        PollRow r;
        r.spid = spid;
        r.login = "user" + std::to_string(spid);
        r.host = "HOST" + std::to_string(spid);
        rows.push_back(r);
    }
    return rows;
}
