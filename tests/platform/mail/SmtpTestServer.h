#pragma once
// A real SMTP server for the tests: smtp_server.py (aiosmtpd, Debian's /usr/bin/python3) on
// 127.0.0.1, started by the constructor on a free port and stopped by the destructor (closing
// its standard input). Received messages are read back from the files it writes.

#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <string>
#include <vector>

class SmtpTestServer {
public:
    struct Options {
        bool RequireAuth = false;
        std::string User = "monitor";
        std::string Password = "secret";
    };

    SmtpTestServer();
    explicit SmtpTestServer(const Options &options);
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer &) = delete;
    SmtpTestServer &operator=(const SmtpTestServer &) = delete;

    bool Started() const { return Port > 0; }
    std::string Error() const { return StartError; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(Port); }

    // Messages accepted so far, in arrival order.
    std::vector<QJsonObject> Messages() const;

private:
    QTemporaryDir Dir;
    QProcess Process;
    int Port = 0;
    std::string StartError;
};

// Values of the headers named name (case-insensitive), as Python's parser decoded them.
std::vector<std::string> HeaderValues(const QJsonObject &message, const std::string &name);
