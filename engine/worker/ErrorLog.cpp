#include "ErrorLog.h"

#include "DateTimeText.h"
#include "EOleException.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_fileLock;

// Text-mode line ends: every "\n" not already preceded by "\r" becomes "\r\n".
void AppendLine(std::string &out, const std::string &line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\n' && (i == 0 || line[i - 1] != '\r')) out += '\r';
        out += line[i];
    }
    out += "\r\n";
}

}  // namespace

void TErrorLog::WriteEntry(const std::string &message, const std::string *source) {
    try {
        std::string entry;
        AppendLine(entry, kivra::DateToStr(kivra::Now()));
        AppendLine(entry, message);
        if (source) AppendLine(entry, *source);
        AppendLine(entry, "----");
        std::lock_guard<std::mutex> lock(g_fileLock);
        std::FILE *f = std::fopen(FileName, "ab");
        if (!f) return;
        std::fwrite(entry.data(), 1, entry.size(), f);
        std::fclose(f);
    } catch (...) {
        // The log is best effort: a poll never fails because of it.
    }
}

void TErrorLog::WriteDatabaseError(const std::string &message, const std::string &source) {
    WriteEntry(message, &source);
}

void TErrorLog::WriteError(const std::string &message) { WriteEntry(message, nullptr); }

void TErrorLog::Write(const std::exception &error) {
    if (auto *db = dynamic_cast<const EOleException *>(&error))
        WriteDatabaseError(db->Message, db->Source);
    else
        WriteError(error.what());
}
