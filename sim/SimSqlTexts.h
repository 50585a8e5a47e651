#pragma once
// SimSqlTexts: the SQL batches a monitoring client sends, exactly as it sends them (CR LF line
// ends), and the whitespace-normalised form in which sqlsim compares incoming batches. Tests use
// the exact texts to send what the monitor sends.

#include <string>

class SimSqlTexts {
public:
    static std::string Probe();
    static std::string StatementTextProbe();
    static std::string PermissionProbe();
    static std::string StartupQuery();
    static std::string ProcessQuery();
    static std::string InputBuffer(int spid);
    // quoted: the "use" line quotes the database name with quotename().
    static std::string StatementBatch(int spid, bool quoted = false);
    static std::string KillBatch(int spid);
    static std::string EnumErrorLogs();

    // The session that a monitor's batch asks about: its input buffer (InputBuffer) or its
    // statement (StatementBatch, either form), compared normalised; -1 for any other batch.
    static int InputBufferSession(const std::string &batch);
    static int StatementSession(const std::string &batch);

    // Runs of white space become one blank, leading and trailing white space goes, letters are
    // folded to lower case (keywords and identifiers here are case-insensitive).
    static std::string Normalise(const std::string &sql);
};
