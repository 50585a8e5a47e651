#include "TableFixture.h"

#include <cstring>

namespace {
template <std::size_t N> void Put(char (&field)[N], const char *text) {
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}
}  // namespace

stProcessInfo Session(int spid, const char *login, const char *host, const char *address) {
    stProcessInfo p;
    std::memset(&p, 0, sizeof p);
    p.SPID = spid;
    Put(p.LoginName, login);
    Put(p.HostName, host);
    Put(p.NetAddress, address);
    Put(p.DatabaseName, "master");
    p.Threads = p.PrevThreads = 1;
    return p;
}

stUserInfo User(const char *login, const char *host, const char *address) {
    stUserInfo u;
    std::memset(&u, 0, sizeof u);
    Put(u.LoginName, login);
    Put(u.HostName, host);
    Put(u.NetAddress, address);
    return u;
}

stDatabaseInfo Database(const char *name) {
    stDatabaseInfo d;
    std::memset(&d, 0, sizeof d);
    Put(d.DatabaseName, name);
    return d;
}

stThreadInfo ThreadRow(int spid, int ecid, const char *waitType) {
    stThreadInfo t;
    std::memset(&t, 0, sizeof t);
    t.SPID = spid;
    t.ECID = ecid;
    Put(t.LastWaitType, waitType);
    Put(t.DatabaseName, "master");
    return t;
}

void TableFixture::SetUp() {
    for (AllocatedBuffer *t :
         {Model.ProcessTable, Model.UserTable, Model.DatabaseTable, Model.ThreadTable})
        if (!t->Valid) t->Allocate();
    // Every test starts from the state the program starts with.
    TDBServerInfo::FilteredProcessSortKey = TDBServerInfo::ProcessSortKey = skSPID;
    TDBServerInfo::UserSortKey = skLoginName;
    TDBServerInfo::DatabaseSortKey = skDatabase;
    TDBServerInfo::FilteredProcessSortAscending = TDBServerInfo::ProcessSortAscending =
        TDBServerInfo::UserSortAscending = TDBServerInfo::DatabaseSortAscending = true;
    TDBServerInfo::ProcessBaselineMode = TDBServerInfo::UserBaselineMode =
        TDBServerInfo::DatabaseBaselineMode = false;
    Grid.SetColCount(25);
    Grid.SetRowCount(1);
}

std::vector<std::string> TableFixture::Column(int col) const {
    std::vector<std::string> out;
    for (int r = 1; r < Grid.RowCount(); ++r) out.push_back(Grid.Cells(col, r));
    return out;
}

std::vector<std::string> TableFixture::Row(int row) const {
    std::vector<std::string> out;
    for (int c = 0; c < Grid.ColCount(); ++c) out.push_back(Grid.Cells(c, row));
    return out;
}
