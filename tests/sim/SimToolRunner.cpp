#include "SimToolRunner.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// A new empty file in /tmp; the caller removes it.
std::string TempPath() {
    char buf[] = "/tmp/sqlsim-test-XXXXXX";
    const int fd = mkstemp(buf);
    if (fd >= 0) close(fd);
    return buf;
}

std::string ShellQuote(const std::string &s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}
}  // namespace

SimToolResult SimToolRunner::Run(const std::string &command, const std::string &input,
                                 int timeoutSeconds) {
    const std::string inPath = TempPath();
    {
        std::ofstream f(inPath, std::ios::binary);
        f << input;
    }
    const std::string full = "timeout " + std::to_string(timeoutSeconds) + " sh -c " +
                             ShellQuote(command) + " < " + inPath + " 2>&1";
    SimToolResult r;
    FILE *p = popen(full.c_str(), "r");
    if (p) {
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.Output.append(buf, n);
        const int status = pclose(p);
        r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::remove(inPath.c_str());
    return r;
}

SimToolResult SimToolRunner::Tsql(int port, const std::string &user, const std::string &password,
                                  const std::string &input) {
    return Run("tsql -H 127.0.0.1 -p " + std::to_string(port) + " -U " + ShellQuote(user) + " -P " +
                   ShellQuote(password),
               input);
}

SimToolResult SimToolRunner::Isql(int port, const std::string &user, const std::string &password,
                                  const std::string &input) {
    const std::string ini = TempPath();
    {
        std::ofstream f(ini);
        f << "[sqlsim]\nDriver = /usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so\n"
          << "Server = 127.0.0.1\nPort = " << port << "\nDatabase = master\n";
    }
    SimToolResult r = Run("ODBCINI=" + ini + " isql -v -e sqlsim " + ShellQuote(user) + " " +
                              ShellQuote(password),
                          input);
    std::remove(ini.c_str());
    return r;
}

std::string SimToolRunner::OneLine(const std::string &sql) {
    std::string out;
    for (char c : sql) out += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    return out;
}
