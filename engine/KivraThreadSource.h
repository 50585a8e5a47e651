#pragma once
// TKivraThread: the worker thread of one connected server. It owns the server's database
// connection, its process query, its wake event and its poll timer (which ticks on the main
// thread). Per poll the worker times "SELECT 1", opens the process query and hands over to the
// main thread, where ApplyPollResults merges the rows into the server's TDBServerInfo.
// The object frees itself when its worker ends.
//
// Threads: the constructor, Connect, Reconnect, SetServerInfo, SetRefreshInterval, Stop, the
// session requests (GetInputBuffer, GetStatementText, KillProcess), the timer tick and both
// hand-over handlers run on the main thread; Execute and PollServer on the worker.
//
// (The worker issue completes this class; the declarations below are what the model forwards to.)

#include "TDateTime.h"

#include <string>

class TDBServerInfo;
class TKivraOwner;

class TKivraThread {
public:
    bool Reconnect();
    std::string GetInputBuffer(int spid, std::string &eventType);
    std::string GetStatementText(int spid, std::string &objectName, std::string &encrypted,
                                 int &stmtStart, int &stmtEnd);
    int KillProcess(int spid);
};
