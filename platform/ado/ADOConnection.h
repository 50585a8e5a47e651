#pragma once
// TADOConnection: one connection to a SQL Server instance through the ODBC driver manager.
//
// ConnectionString is an OLE DB connection string ("Provider=...;Data Source=host,port;...");
// opening translates it into the chosen driver's keywords (see OleDbConnectionString.h). The
// login waits at most LoginTimeout seconds; every query on it at most CommandTimeout seconds.
//
// Threads: usable from any thread, one call at a time; the caller keeps calls apart, but for
// Abort, which any thread may call at any time. Failures raise EOleException.

#include "ConnectionAbort.h"

#include <memory>
#include <string>

class TADOConnection {
public:
    TADOConnection();
    ~TADOConnection();
    TADOConnection(const TADOConnection &) = delete;
    TADOConnection &operator=(const TADOConnection &) = delete;

    std::string ConnectionString;
    std::string Provider;     // kept as set; the driver is chosen by the layer
    bool LoginPrompt = true;  // the layer never prompts, whatever this says
    int LoginTimeout = 15;    // seconds
    int CommandTimeout = 30;  // seconds, for every query run on this connection

    // Opens (true) or closes (false) the connection; opening an open connection does nothing.
    void SetConnected(bool connected);
    bool Connected() const { return Dbc != nullptr; }
    // Whether the driver has given the open connection up: the server or the network ended it,
    // or a command's cancel went unanswered (FreeTDS then drops the connection). Nothing more
    // can be sent on it; it is of use only to be closed. False when closed. Asks the driver
    // (SQL_ATTR_CONNECTION_DEAD), which looks at the state the last call left, not the network.
    bool Dead() const;
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }

    // The ODBC driver the layer talks to, and the connection string it was given.
    static const std::string &DriverName();
    std::string OdbcConnectionString() const;

    void *Handle() const { return Dbc; }  // the SQLHDBC while connected, for TADODataSet

    // Ends the command running on the connection at once and fails every later one until the
    // connection is opened again (see TConnectionAbort). Any thread.
    void Abort() { AbortState->Abort(); }
    // The same, usable after the connection has gone.
    std::shared_ptr<TConnectionAbort> AbortHandle() const { return AbortState; }

private:
    void *Dbc = nullptr;
    std::shared_ptr<TConnectionAbort> AbortState = std::make_shared<TConnectionAbort>();
};
