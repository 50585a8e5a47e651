#include "GridColumns.h"

#include <initializer_list>

namespace {

using Run = std::vector<TGridColumn>;

TGridColumns Join(std::initializer_list<Run> runs) {
    TGridColumns table;
    for (const Run &run : runs) table.Columns.insert(table.Columns.end(), run.begin(), run.end());
    return table;
}

// CPU, memory and physical IO with their change since the previous poll.
const Run &Counters() {
    static const Run run = {
        {"CPU Usage", 85, true, skCPU},      {"CPU Delta", 85, true, skCPUDelta},
        {"Mem Usage", 85, true, skMemUsage}, {"Mem Delta", 85, true, skMemDelta},
        {"Phys IO", 85, true, skPhysicalIO}, {"IO Delta", 85, true, skIODelta},
    };
    return run;
}

// A database's or a user's sessions, login and activity times, counters and locks.
TGridColumns GroupColumns(Run leading, Run trailing) {
    return Join({leading,
                 {{"#Procs", 45, true, skProcesses},
                  {"Prc Delta", 45, true, skProcessesDelta},
                  {"Earliest Login", 115, false, skEarliestLogin},
                  {"Latest Activity", 115, false, skLastBatch}},
                 Counters(),
                 {{"Locked", 40, true, skLocked}},
                 trailing});
}

}  // namespace

const TGridColumns &SessionGridColumns() {
    static const TGridColumns table = Join({
        {{"", 16, false, skSPID},
         {"SPID", 45, false, skSPID},
         {"Logon Name", 140, false, skLoginName},
         {"Host", 125, false, skHostName},
         {"Database", 140, false, skDatabase},
         {"CMD", 140, false, skCommand},
         {"Status", 140, false, skStatus},
         {"Program Name", 140, false, skProgramName},
         {"Threads", 45, true, skThreads},
         {"Th Delta", 45, true, skThreadsDelta},
         {"Login Time", 115, false, skLoginTime},
         {"Latest Activity", 115, false, skLastBatch}},
        Counters(),
        {{"Locked", 40, false, skLocked},
         {"OpenTran", 85, false, skOpenTran},
         {"WaitTime", 85, false, skWaitTime},
         {"Host Proc", 85, false, skHostProcess},
         {"NT Login Name", 125, false, skNTLogin},
         {"Net Library", 80, false, skNetLibrary},
         {"Net Address", 80, false, skNetAddress}},
    });
    return table;
}

const TGridColumns &DatabaseGridColumns() {
    static const TGridColumns table =
        GroupColumns({{"", 16, false, skDatabase}, {"Database", 140, false, skDatabase}}, {});
    return table;
}

const TGridColumns &UserGridColumns() {
    static const TGridColumns table = GroupColumns({{"", 16, false, skLoginName},
                                                    {"Logon Name", 140, false, skLoginName},
                                                    {"Host", 125, false, skHostName}},
                                                   {{"NT Login Name", 125, false, skNTLogin},
                                                    {"Net Library", 80, false, skNetLibrary},
                                                    {"Net Address", 80, false, skNetAddress}});
    return table;
}

const TGridColumns &ThreadGridColumns() {
    static const TGridColumns table = Join({{
        {"ECID", 45, true, skSPID},
        {"Database", 140, false, skSPID},
        {"Last Wait Type", 125, false, skSPID},
        {"Wait Resource", 125, false, skSPID, 45},
        {"Wait Time", 125, true, skSPID, 45},
    }});
    return table;
}
