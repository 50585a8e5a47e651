#include "PollRow.h"

stProcessRow ToProcessRow(const PollRow &r) {
    stProcessRow row;
    row.SPID = r.SPID;
    row.ECID = r.ECID;
    row.DatabaseName = r.DatabaseName.c_str();
    row.LoginName = r.LoginName.c_str();
    row.HostName = r.HostName.c_str();
    row.NTDomain = r.NTDomain.c_str();
    row.NTUserName = r.NTUserName.c_str();
    row.NetAddress = r.NetAddress.c_str();
    row.Command = r.Command.c_str();
    row.Status = r.Status.c_str();
    row.ProgramName = r.ProgramName.c_str();
    row.Blocked = r.Blocked;
    row.LoginTime = r.LoginTime;
    row.LastBatch = r.LastBatch;
    row.CPU = r.CPU;
    row.MemUsage = r.MemUsage;
    row.PhysicalIO = r.PhysicalIO;
    row.OpenTran = r.OpenTran;
    row.LastWaitType = r.LastWaitType.c_str();
    row.WaitResource = r.WaitResource.c_str();
    row.WaitTime = r.WaitTime;
    row.NetLibrary = r.NetLibrary.c_str();
    row.HostProcess = r.HostProcess.c_str();
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
        r.SPID = spid;
        r.LoginName = "user" + std::to_string(spid);
        r.HostName = "HOST" + std::to_string(spid);
        rows.push_back(r);
    }
    return rows;
}
