#pragma once
// What the database layer's classes share over the ODBC driver manager: the one environment
// handle of the process, the choice of driver, and turning diagnostic records into an
// EOleException. Internal to the layer; safe on any thread.

#include "EOleException.h"

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace kivra::odbc {

using WideText = std::basic_string<SQLWCHAR>;

// UTF-16, as the driver manager's wide calls take it, of a UTF-8 text. A byte that does not
// begin a well-formed UTF-8 sequence stands for the Latin-1 character of its value.
WideText ToWide(const std::string &utf8);
// UTF-8 of length UTF-16 code units; an unpaired surrogate becomes U+FFFD.
std::string FromWide(const SQLWCHAR *text, std::size_t length);

// The process-wide ODBC 3 environment, allocated on first use and kept for the process's life.
SQLHENV Environment();

// The installed driver the layer uses: Microsoft's "ODBC Driver 18 for SQL Server" or "... 17
// ..." when registered with the driver manager, else "FreeTDS". Decided once.
const std::string &DriverName();

// All diagnostic records of handle, in order, one per line ("[FreeTDS][SQL Server]Login ...").
std::string Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// Throws EOleException with the handle's diagnostics (or fallback when it has none) when rc
// is an error; SQL_SUCCESS_WITH_INFO is success.
void Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char *fallback);

inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace kivra::odbc
