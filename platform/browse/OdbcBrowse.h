#pragma once
// The ODBC 2 calls of the server browse dialog, answered by this layer: the drivers on this
// platform do not implement SQLBrowseConnect, so a browse request for the driver "SQL Server"
// is answered with the SQL Server Browser protocol (SqlBrowserClient) instead, in the driver's
// own output form:
//   SERVER:Server={HOST,HOST\INSTANCE,...};UID:Login ID=?;PWD:Password=?;*APP:AppName=?;...
//
// Call them qualified (kivra::odbc::SQLBrowseConnect) or through a using-declaration; the
// handles are this layer's own, not the driver manager's, and are checked on every call
// (an unknown handle gives SQL_INVALID_HANDLE). Return codes are ODBC's: SQL_SUCCESS,
// SQL_NEED_DATA (the browse answer), SQL_ERROR, SQL_INVALID_HANDLE.
//
// Threads: any; SQLBrowseConnect blocks its caller while it asks (at most the wait time).
// One connection handle serves one caller at a time (a second concurrent browse on the same
// handle fails with SQL_ERROR).
//
// Where it asks: SetBrowseTargets, else the environment variable KIVRA_BROWSE_HOSTS
// ("host[:port],host[:port],...", port 1434 when left out; an IPv6 address in brackets),
// else 127.0.0.1:1434. The wait: KIVRA_BROWSE_WAIT_MS, else 1000 ms.

#include "SqlBrowserClient.h"

#include <sql.h>

#include <string>
#include <vector>

namespace kivra {
namespace odbc {

SQLRETURN SQLAllocEnv(SQLHENV *environment);
SQLRETURN SQLAllocConnect(SQLHENV environment, SQLHDBC *connection);
// Browse request. A first call on a connection asks the network; later calls with the same
// input on that connection, until SQLDisconnect, return the same answer, so the length given
// by a first call with a small buffer holds for the second one. The output is cut to fit
// outMax - 1 bytes and zero-terminated; *needed gets the whole answer's length (never above
// 32767, the list is shortened to fit). Only "DRIVER=SQL Server" (braces allowed) is served.
SQLRETURN SQLBrowseConnect(SQLHDBC connection, SQLCHAR *in, SQLSMALLINT inLength, SQLCHAR *out,
                           SQLSMALLINT outMax, SQLSMALLINT *needed);
SQLRETURN SQLDisconnect(SQLHDBC connection);
SQLRETURN SQLFreeConnect(SQLHDBC connection);
// Fails (SQL_ERROR, environment kept) while connections of it are still allocated.
SQLRETURN SQLFreeEnv(SQLHENV environment);

}  // namespace odbc

// Where browse requests go and how long answers are awaited; applies to browses started later.
// An empty list restores the environment's or the built-in default.
void SetBrowseTargets(const std::vector<SqlBrowserTarget> &targets, int waitMs = 1000);

// "host[:port],..." as KIVRA_BROWSE_HOSTS takes it; malformed entries are skipped.
std::vector<SqlBrowserTarget> ParseBrowseTargets(const std::string &text);

// The driver's browse answer for a list of display names: names that do not fit into 32767
// characters are left out.
std::string BrowseAnswerText(const std::vector<std::string> &names);

}  // namespace kivra
