#pragma once
// SimToolRunner: runs a command-line client (tsql, isql) with text on its standard input and
// returns what it printed (stdout and stderr together). Every run is bounded by `timeout`.

#include <string>

struct SimToolResult {
    int ExitCode = -1;
    std::string Output;
};

class SimToolRunner {
public:
    // Runs `timeout SECONDS sh -c COMMAND` with input fed to it; env is prepended (VAR=value ...).
    static SimToolResult Run(const std::string &command, const std::string &input,
                             int timeoutSeconds = 20);
    // tsql against 127.0.0.1:port; input holds the batches, each followed by "go".
    static SimToolResult Tsql(int port, const std::string &user, const std::string &password,
                              const std::string &input);
    // isql (SQLExecDirect) with a DSN written to a temporary odbc.ini; one statement per line.
    static SimToolResult Isql(int port, const std::string &user, const std::string &password,
                              const std::string &input);
    // The statement on one line (isql reads a line per statement).
    static std::string OneLine(const std::string &sql);
};
