#pragma once
// SimLogin: one SQL Server login that sqlsim accepts.

#include <string>

struct SimLogin {
    std::string Name;
    std::string Password;
    bool MayGetSql = true;     // holds the fn_get_sql permission
    bool AllDatabases = true;  // has access to every database (else master and tempdb only)
};
