#pragma once
// TErrorLog: the error log "derizo.log" in the process's working folder, where failed polls are
// recorded instead of being shown. An entry is the local date (short date format, no time of
// day), the message, for a database error its source, then "----"; every line ends with CR LF,
// line ends inside a message included.
//
// Threads: any. One lock shared by all writers keeps entries whole; each entry opens, writes and
// closes the file. A file that cannot be opened loses the entry; writing never raises.

#include <exception>
#include <string>

class TErrorLog {
public:
    static constexpr const char *FileName = "derizo.log";

    static void WriteDatabaseError(const std::string &message, const std::string &source);
    static void WriteError(const std::string &message);
    // An EOleException as a database error (with its source), anything else without a source.
    static void Write(const std::exception &error);

private:
    static void WriteEntry(const std::string &message, const std::string *source);
};
