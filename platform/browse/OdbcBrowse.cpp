#include "OdbcBrowse.h"

#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace kivra {

namespace {

constexpr std::size_t kMaxAnswer = 32767;  // the largest length an SQLSMALLINT can report
const char *const kAnswerHead = "SERVER:Server={";
const char *const kAnswerTail =
    "};UID:Login ID=?;PWD:Password=?;*APP:AppName=?;*WSID:WorkStation ID=?";

struct Environment;

struct Connection {
    Environment *Owner = nullptr;
    bool Browsing = false;  // an answer is held, until SQLDisconnect
    bool Busy = false;      // a browse is under way
    std::string Input;
    std::string Answer;
};

struct Environment {
    std::set<Connection *> Connections;
};

std::mutex g_mutex;  // guards everything below and every handle's fields
std::set<Environment *> g_environments;
std::set<Connection *> g_connections;
std::vector<SqlBrowserTarget> g_targets;
int g_waitMs = 1000;
bool g_targetsSet = false;

std::string Lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string &s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// The DRIVER keyword's value of a connection string ("" when absent), braces removed.
std::string DriverOf(const std::string &in) {
    std::size_t p = 0;
    while (p < in.size()) {
        std::size_t semi = in.find(';', p);
        if (semi == std::string::npos) semi = in.size();
        const std::string pair = in.substr(p, semi - p);
        p = semi + 1;
        const std::size_t eq = pair.find('=');
        if (eq == std::string::npos) continue;
        if (Lower(Trim(pair.substr(0, eq))) != "driver") continue;
        std::string value = Trim(pair.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '{' && value.back() == '}')
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

void CurrentSettings(std::vector<SqlBrowserTarget> &targets, int &waitMs) {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_targetsSet) {
            targets = g_targets;
            waitMs = g_waitMs;
            return;
        }
    }
    waitMs = 1000;
    if (const char *wait = std::getenv("KIVRA_BROWSE_WAIT_MS")) {
        char *tail = nullptr;
        const long v = std::strtol(wait, &tail, 10);
        if (*wait != '\0' && *tail == '\0' && v >= 0 && v <= 60000) waitMs = static_cast<int>(v);
    }
    const char *hosts = std::getenv("KIVRA_BROWSE_HOSTS");
    targets = hosts ? ParseBrowseTargets(hosts) : std::vector<SqlBrowserTarget>{};
    if (!hosts) targets.push_back({"127.0.0.1", 1434});
}

}  // namespace

std::vector<SqlBrowserTarget> ParseBrowseTargets(const std::string &text) {
    std::vector<SqlBrowserTarget> targets;
    std::size_t p = 0;
    while (p <= text.size()) {
        std::size_t comma = text.find(',', p);
        if (comma == std::string::npos) comma = text.size();
        const std::string entry = Trim(text.substr(p, comma - p));
        p = comma + 1;
        if (entry.empty()) continue;
        SqlBrowserTarget t;
        std::string portText;
        if (entry.front() == '[') {  // [IPv6]:port
            const std::size_t close = entry.find(']');
            if (close == std::string::npos) continue;
            t.Host = entry.substr(1, close - 1);
            const std::string rest = entry.substr(close + 1);
            if (!rest.empty()) {
                if (rest.front() != ':') continue;
                portText = rest.substr(1);
            }
        } else {
            const std::size_t colon = entry.find(':');
            if (colon != std::string::npos && entry.find(':', colon + 1) != std::string::npos) {
                t.Host = entry;  // a bare IPv6 address
            } else if (colon != std::string::npos) {
                t.Host = entry.substr(0, colon);
                portText = entry.substr(colon + 1);
            } else {
                t.Host = entry;
            }
        }
        if (!portText.empty() || entry.back() == ':') {
            char *tail = nullptr;
            const long port = std::strtol(portText.c_str(), &tail, 10);
            if (portText.empty() || *tail != '\0' || port <= 0 || port > 65535) continue;
            t.Port = static_cast<unsigned short>(port);
        }
        if (t.Host.empty()) continue;
        targets.push_back(t);
    }
    return targets;
}

void SetBrowseTargets(const std::vector<SqlBrowserTarget> &targets, int waitMs) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_targets = targets;
    g_waitMs = std::max(0, waitMs);
    g_targetsSet = !targets.empty();
}

std::string BrowseAnswerText(const std::vector<std::string> &names) {
    std::string list;
    const std::size_t room = kMaxAnswer - std::strlen(kAnswerHead) - std::strlen(kAnswerTail);
    for (const std::string &name : names) {
        const std::size_t add = name.size() + (list.empty() ? 0 : 1);
        if (list.size() + add > room) continue;  // a shorter one further on may still fit
        if (!list.empty()) list += ',';
        list += name;
    }
    return kAnswerHead + list + kAnswerTail;
}

namespace odbc {

SQLRETURN SQLAllocEnv(SQLHENV *environment) {
    if (environment == nullptr) return SQL_ERROR;
    auto *env = new Environment;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_environments.insert(env);
    *environment = env;
    return SQL_SUCCESS;
}

SQLRETURN SQLAllocConnect(SQLHENV environment, SQLHDBC *connection) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto *env = static_cast<Environment *>(environment);
    if (g_environments.count(env) == 0) return SQL_INVALID_HANDLE;
    if (connection == nullptr) return SQL_ERROR;
    auto *conn = new Connection;
    conn->Owner = env;
    env->Connections.insert(conn);
    g_connections.insert(conn);
    *connection = conn;
    return SQL_SUCCESS;
}

SQLRETURN SQLBrowseConnect(SQLHDBC connection, SQLCHAR *in, SQLSMALLINT inLength, SQLCHAR *out,
                           SQLSMALLINT outMax, SQLSMALLINT *needed) {
    auto *conn = static_cast<Connection *>(connection);
    std::string input;
    std::string answer;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_connections.count(conn) == 0) return SQL_INVALID_HANDLE;
        if (in == nullptr || outMax < 0 || conn->Busy) return SQL_ERROR;
        if (inLength == SQL_NTS)
            input.assign(reinterpret_cast<const char *>(in));
        else if (inLength >= 0)
            input.assign(reinterpret_cast<const char *>(in), static_cast<std::size_t>(inLength));
        else
            return SQL_ERROR;
        if (conn->Browsing && conn->Input == input) {
            answer = conn->Answer;
        } else {
            if (Lower(DriverOf(input)) != "sql server") return SQL_ERROR;
            conn->Busy = true;
        }
    }

    if (answer.empty()) {
        std::vector<SqlBrowserTarget> targets;
        int waitMs = 0;
        CurrentSettings(targets, waitMs);
        std::vector<SqlBrowserInstance> found;
        std::string error;
        const bool asked = SqlBrowserClient(targets, waitMs).Browse(found, error);
        std::vector<std::string> names;
        for (const SqlBrowserInstance &i : found) names.push_back(i.DisplayName());
        std::lock_guard<std::mutex> lock(g_mutex);
        // The handle cannot have been freed meanwhile by a well-behaved caller; check anyway.
        if (g_connections.count(conn) == 0) return SQL_INVALID_HANDLE;
        conn->Busy = false;
        if (!asked) return SQL_ERROR;
        answer = BrowseAnswerText(names);
        conn->Browsing = true;
        conn->Input = input;
        conn->Answer = answer;
    }

    if (needed != nullptr) *needed = static_cast<SQLSMALLINT>(answer.size());
    if (out != nullptr && outMax > 0) {
        const std::size_t n = std::min(answer.size(), static_cast<std::size_t>(outMax - 1));
        std::memcpy(out, answer.data(), n);
        out[n] = '\0';
    }
    return SQL_NEED_DATA;
}

SQLRETURN SQLDisconnect(SQLHDBC connection) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto *conn = static_cast<Connection *>(connection);
    if (g_connections.count(conn) == 0) return SQL_INVALID_HANDLE;
    if (!conn->Browsing || conn->Busy) return SQL_ERROR;  // not connected (08003)
    conn->Browsing = false;
    conn->Input.clear();
    conn->Answer.clear();
    return SQL_SUCCESS;
}

SQLRETURN SQLFreeConnect(SQLHDBC connection) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto *conn = static_cast<Connection *>(connection);
    if (g_connections.count(conn) == 0) return SQL_INVALID_HANDLE;
    if (conn->Busy) return SQL_ERROR;
    conn->Owner->Connections.erase(conn);
    g_connections.erase(conn);
    delete conn;
    return SQL_SUCCESS;
}

SQLRETURN SQLFreeEnv(SQLHENV environment) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto *env = static_cast<Environment *>(environment);
    if (g_environments.count(env) == 0) return SQL_INVALID_HANDLE;
    if (!env->Connections.empty()) return SQL_ERROR;
    g_environments.erase(env);
    delete env;
    return SQL_SUCCESS;
}

}  // namespace odbc
}  // namespace kivra
