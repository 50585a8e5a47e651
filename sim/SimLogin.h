#pragma once
// SimLogin: one SQL Server login that sqlsim accepts.

#include <string>

struct SimLogin {
    std::string name;
    std::string password;
    bool mayGetSql = true;    // holds the fn_get_sql permission
    bool allDatabases = true; // has access to every database (else master and tempdb only)
};
