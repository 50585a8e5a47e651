// TDBServerInfo: the statistics log (one row of the current sample every RefreshCount + 1 polls)
// and the sessions log (a row per session connect and disconnect). Both are tab-separated text
// files in the log folder, appended to and closed at every row; rows end with CR LF. Settings
// are read through Owner at every row. Main thread only.

#include "DBServerInfoSource.h"

#include "DateTimeText.h"
#include "TDateTime.h"

#include <QDir>
#include <QStandardPaths>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char *kLineEnd = "\r\n";

const char *const kStatisticsHeader[] = {
    "Timestamp", "CPU",         "Response",        "Users",
    "Sessions",  "NetworkSent", "NetworkReceived", "NetworkErrored",
    "DiskRead",  "DiskWrite",   "DiskError"};

const char *const kSessionsHeader[] = {"Timestamp",  "Action",      "SPID",     "LoginName",
                                       "HostName",   "ProgramName", "Database", "NetAddress",
                                       "NetLibrary", "LoginTime",   "CPUUsage", "MemUsage",
                                       "PhysicalIO"};

// The folder set, or without one the user's data folder "<data>/Kivrawatch" (created when
// missing), so that an empty setting never puts the logs at the root of the file system. Empty
// when there is no such folder either: then no row is written.
std::string LogFolder(const std::string &folder) {
    if (!folder.empty()) return folder;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty()) return std::string();
    const QString path = data + QStringLiteral("/Kivrawatch");
    return QDir().mkpath(path) ? path.toStdString() : std::string();
}

// folder + "/" (unless it already ends in one) + the server name with "\" and "/" made "_", so
// host\instance gives host_instance and no server name reaches outside the folder. Empty when
// there is no folder to write to.
std::string LogFilePath(const std::string &folder, const std::string &serverName,
                        const char *suffix) {
    std::string path = LogFolder(folder);
    if (path.empty()) return path;
    if (path.back() != '/') path += '/';
    for (char c : serverName) path += (c == '\\' || c == '/') ? '_' : c;
    path += suffix;
    return path;
}

bool FileExists(const std::string &path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

template <std::size_t N> std::string HeaderLine(const char *const (&names)[N]) {
    std::string line;
    for (std::size_t i = 0; i < N; ++i) {
        if (i) line += '\t';
        line += names[i];
    }
    return line + kLineEnd;
}

// A record's fixed text field, read no further than its room; tabs and line breaks inside it
// become blanks so that one field stays one column of one row.
template <std::size_t N> std::string Field(const char (&text)[N]) {
    std::string value(text, strnlen(text, N));
    for (char &c : value)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return value;
}

// Appends header (for a file that did not exist) and row; a file that cannot be opened gets
// nothing and nothing is reported.
bool AppendRow(const std::string &path, const std::string &header, const std::string &row) {
    if (path.empty()) return false;
    const bool existed = FileExists(path);
    std::FILE *file = std::fopen(path.c_str(), "ab");  // binary: the CR LF is written as given
    if (!file) return false;
    if (!existed) std::fwrite(header.data(), 1, header.size(), file);
    std::fwrite(row.data(), 1, row.size(), file);
    std::fclose(file);
    return true;
}

}  // namespace

void TDBServerInfo::WriteStatisticsLogStep() {
    if (!Owner) return;
    const stLogging &settings = Owner->GetLogSettings();
    if (!settings.Logging || !settings.ServerLogging) return;
    if (StatsLogCounter < settings.RefreshCount) {
        ++StatsLogCounter;
        return;
    }
    // The row slot is used up even when the file cannot be opened, so the spacing stays the same.
    StatsLogCounter = 0;

    const stStatSample &s = History[kHistorySize - 1];
    std::string row = kivra::DateTimeToStr(kivra::Now());
    for (int value : {s.CPUBusy, s.ResponseTime, s.Users, s.Sessions, s.PacketsSent,
                      s.PacketsReceived, s.PacketErrors, s.IORead, s.IOWrite, s.IOErrors}) {
        row += '\t';
        row += std::to_string(value);
    }
    row += kLineEnd;
    AppendRow(LogFilePath(settings.LoggingDirectory, ServerName, ".log"),
              HeaderLine(kStatisticsHeader), row);
}

void TDBServerInfo::LogSessionEvent(const stProcessInfo &record, bool connect) {
    if (!Owner) return;
    const stLogging &settings = Owner->GetLogSettings();
    if (!settings.Logging || !settings.SessionLogging) return;

    std::string row = kivra::DateTimeToStr(kivra::Now());
    row.reserve(1024);
    row += connect ? "\tCONN\t" : "\tDISC\t";
    row += std::to_string(record.SPID);
    for (const std::string &text :
         {Field(record.LoginName), Field(record.HostName), Field(record.ProgramName),
          Field(record.DatabaseName), Field(record.NetAddress), Field(record.NetLibrary)}) {
        row += '\t';
        row += text;
    }
    row += '\t';
    row += kivra::DateTimeToStr(record.LoginTime);
    if (connect) {
        row += "\t\t\t";
    } else {
        row += '\t' + std::to_string(record.PrevCPU) + '\t' + std::to_string(record.PrevMemUsage) +
               '\t' + std::to_string(record.PrevPhysicalIO);
    }
    row += kLineEnd;
    AppendRow(LogFilePath(settings.LoggingDirectory, ServerName, "_sessions.log"),
              HeaderLine(kSessionsHeader), row);
}
