#pragma once
// A server model with records placed straight into its tables (no poll), each test starting from
// the class-wide sort state and baseline switches the program starts with, and finding them put
// back afterwards.

#include "DBServerInfoSource.h"
#include "ModelStateGuard.h"
#include "TStringTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

stProcessInfo Session(int spid, const char *login = "sa", const char *host = "HOST",
                      const char *address = "10.0.0.1");
stUserInfo User(const char *login, const char *host, const char *address);
stDatabaseInfo Database(const char *name);
stThreadInfo ThreadRow(int spid, int ecid, const char *waitType);

class TableFixture : public ::testing::Test {
protected:
    void SetUp() override;

    void Add(const stProcessInfo &p) { Model.ProcessTable->Append(p); }
    void Add(const stUserInfo &u) { Model.UserTable->Append(u); }
    void Add(const stDatabaseInfo &d) { Model.DatabaseTable->Append(d); }
    void Add(const stThreadInfo &t) { Model.ThreadTable->Append(t); }

    // Column col of rows 1 .. RowCount - 1.
    std::vector<std::string> Column(int col) const;
    std::vector<std::string> Row(int row) const;

    ModelStateGuard SavedState;
    TDBServerInfo Model;
    TStringTable Grid;
};
