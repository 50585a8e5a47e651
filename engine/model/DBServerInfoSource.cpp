// TDBServerInfo: construction, the class-wide sort and baseline state, the server's name and its
// connection state. Main thread only.

#include "DBServerInfoSource.h"

#include <cstring>

bool TDBServerInfo::ProcessBaselineMode = false;
bool TDBServerInfo::UserBaselineMode = false;
bool TDBServerInfo::DatabaseBaselineMode = false;

TSortKey TDBServerInfo::FilteredProcessSortKey = skSPID;
TSortKey TDBServerInfo::ProcessSortKey = skSPID;
TSortKey TDBServerInfo::UserSortKey = skLoginName;
TSortKey TDBServerInfo::DatabaseSortKey = skDatabase;
bool TDBServerInfo::FilteredProcessSortAscending = true;
bool TDBServerInfo::ProcessSortAscending = true;
bool TDBServerInfo::UserSortAscending = true;
bool TDBServerInfo::DatabaseSortAscending = true;

TDBServerInfo::TDBServerInfo()
    : UserTable(new AllocatedBuffer(sizeof(stUserInfo))),
      DatabaseTable(new AllocatedBuffer(sizeof(stDatabaseInfo))),
      ProcessTable(new AllocatedBuffer(sizeof(stProcessInfo))),
      ThreadTable(new AllocatedBuffer(sizeof(stThreadInfo))) {
    std::memset(History, 0, sizeof History);
}

TDBServerInfo::~TDBServerInfo() {
    for (AllocatedBuffer *table : {UserTable, DatabaseTable, ProcessTable, ThreadTable}) {
        table->Deallocate();
        delete table;
    }
}

void TDBServerInfo::SetServerName(const std::string &name) { ServerName = name; }

// ---- Connection state -------------------------------------------------------------------------

void TDBServerInfo::SetDisconnected(bool disconnected) {
    if (disconnected == Disconnected) return;
    Disconnected = disconnected;
    if (!disconnected) {
        LostAlertSent = false;
        HighDemandAlertSent = false;
        SlowResponseAlertSent = false;
    }
}

bool TDBServerInfo::Reconnect() {
    // Without a worker there is no connection to reopen.
    const bool reopened = Thread != nullptr && Thread->Reconnect();
    Disconnected = !reopened;
    return reopened;
}
