#pragma once
// TServerRequests: what a server model asks of its server's connection: reopening it after a
// loss and the three session requests. The worker (TKivraThread) implements it; the model borrows
// it as TDBServerInfo::Thread. Through it the model knows nothing of the worker, and the worker's
// dependency on the model is the only one between the two.
//
// Threads: main thread only. Not deleted through this interface.

#include <string>

class TServerRequests {
public:
    // Reopens the connection after a loss; false after a database error.
    virtual bool Reconnect() = 0;
    virtual std::string GetInputBuffer(int spid, std::string &eventType) = 0;
    virtual std::string GetStatementText(int spid, std::string &objectName, std::string &encrypted,
                                         int &stmtStart, int &stmtEnd) = 0;
    virtual int KillProcess(int spid) = 0;  // -1 own session, -2 system session, 1 killed or gone

protected:
    virtual ~TServerRequests() = default;
};
