#pragma once
// SimControl: the control line protocol of sqlsim. One command per line, one reply line per
// command: "OK" with an optional result, or "ERR" with a reason. Commands act on the current
// instance of the control connection (instance 0 at first):
//
//   help                      lists the commands
//   instances                 number of instances; "instance N" selects one (0-based)
//   status                    port, clients, sessions, delay, paused, refusing, cpu load
//   delay MS                  answer every batch MS milliseconds late (0: at once)
//   pause | resume            stop answering / answer again
//   drop                      close every client connection
//   refuse | accept           close the listener (connections refused) / listen again
//   restart                   drop clients, new start time, all sessions new
//   cpu PERCENT | cpu auto    fixed CPU load / moving load with bursts
//   sessions N                number of simulated user sessions
//   churn PERCENT             user sessions replaced per poll
//   block start [N]           start a blocking chain of N (default 3) waiting sessions -> head spid
//   block end                 end every blocking chain
//   kill SPID                 end a session (a client's connection is closed)
//   login NAME PASSWORD [getsql=0|1] [alldb=0|1]   add or replace a login
//   nologin NAME              remove a login
//   feature nostmtstart on|off  sysprocesses without the stmt_start column
//   fail TEXT                 answer every batch that holds TEXT (the rest of the line; compared
//                             whitespace-normalised, without regard to case) with an error
//   nofail                    answer those batches again
//
// Not thread-safe by itself: each control connection has its own SimControl.

#include <string>
#include <vector>

class SqlSimServer;

class SimControl {
public:
    explicit SimControl(std::vector<SqlSimServer *> instances);
    std::string Execute(const std::string &line);

private:
    std::vector<SqlSimServer *> Instances;
    size_t Current = 0;
};
