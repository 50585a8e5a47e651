#pragma once
// SimBatchResponder: answers one SQL batch of a client connection the way SQL Server answers
// the texts a monitoring client sends (probe, start-up texts, process query, input buffer,
// statement and kill batches, sp_enumerrorlogs, harmless SET statements). Anything else gets
// error 102; a batch that holds the context's FailText gets error 50000. Batches are compared in
// whitespace-normalised form. Runs on the connection's thread; the workload does its own locking.

#include "SimLogin.h"
#include "TdsWriter.h"

#include <functional>
#include <string>

class SimWorkload;

struct SimBatchContext {
    SimWorkload *Workload = nullptr;
    std::string ServerName = "SQLSIM";
    bool NoStmtStart = false;  // sysprocesses without stmt_start (a pre-SP3 server)
    std::string FailText;      // normalised; a batch that holds it fails (empty: none)
    SimLogin Login;            // the connection's login
    int Spid = 0;              // the connection's session id (@@SPID)
    std::function<void(int spid)> CloseClient;  // ends a killed client's connection
};

class SimBatchResponder {
public:
    // Writes the complete reply to text (ending with a final DONE) into w.
    static void Answer(const SimBatchContext &ctx, const std::string &text, TdsWriter &w);
    // The process query's result set for the workload as it is now (no step).
    static void WriteProcessRows(const SimWorkload &workload, TdsWriter &w);

private:
    // The batch handlers that Answer tries in turn (n: the normalised text).
    static bool Probe(const SimBatchContext &, const std::string &, const std::string &n,
                      TdsWriter &);
    static bool Process(const SimBatchContext &, const std::string &, const std::string &n,
                        TdsWriter &);
    static bool Probes(const SimBatchContext &, const std::string &, const std::string &n,
                       TdsWriter &);
    static bool Startup(const SimBatchContext &, const std::string &, const std::string &n,
                        TdsWriter &);
    static bool InputBufferBatch(const SimBatchContext &, const std::string &, const std::string &n,
                                 TdsWriter &);
    static bool StatementBatch(const SimBatchContext &, const std::string &, const std::string &n,
                               TdsWriter &);
    static bool Kills(const SimBatchContext &, const std::string &, const std::string &n,
                      TdsWriter &);
    static bool Use(const SimBatchContext &, const std::string &text, const std::string &n,
                    TdsWriter &);
    static bool SetOptions(const SimBatchContext &, const std::string &, const std::string &n,
                           TdsWriter &);

    static void SyntaxError(const SimBatchContext &ctx, const std::string &norm, TdsWriter &w);
    static void InputBuffer(const SimBatchContext &ctx, int spid, TdsWriter &w);
    static void Statement(const SimBatchContext &ctx, int spid, TdsWriter &w);
    static void KillBatch(const SimBatchContext &ctx, int spid, TdsWriter &w);
    static void BareKill(const SimBatchContext &ctx, int spid, TdsWriter &w);
    static void StartupQuery(const SimBatchContext &ctx, TdsWriter &w);
    static void EnumErrorLogs(const SimBatchContext &ctx, TdsWriter &w);
};
