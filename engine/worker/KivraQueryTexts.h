#pragma once
// The SQL texts a worker sends to its server and the connection string it opens: built here
// once, so that the worker, the tests and the benchmarks use the same texts.
// Pure functions, safe on any thread. Lines are separated by CR LF; no text ends with one.

#include <string>

namespace kivra {

// The application name the connection announces; the process query folds every program name
// that begins with it into it.
extern const char *const kApplicationName;  // "VORNIXMonitor"

// The OLE DB connection string of a connection to server (Windows or SQL Server login). Every
// inserted value is quoted by the connection string's rules, so it reaches the server unchanged.
std::string BuildConnectionString(const std::string &server, bool windowsAuth,
                                  const std::string &userId, const std::string &password);

extern const char *const kResponseProbeText;    // "SELECT 1"
extern const char *const kStatementProbeText;   // column counter
extern const char *const kPermissionProbeText;  // column permission
extern const char *const kStartupQueryText;     // columns spid, serverstarttime, servertimenow

// The process query: 33 lines over sysprocesses, one row per session thread.
const std::string &ProcessQueryText();

// The session request batches for one session id (decimal).
std::string InputBufferBatch(int spid);
std::string StatementBatch(int spid);
std::string KillBatch(int spid);

}  // namespace kivra
