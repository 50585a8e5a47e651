#include "SmtpTestServer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

SmtpTestServer::SmtpTestServer() : SmtpTestServer(Options{}) {}

SmtpTestServer::SmtpTestServer(const Options &options) {
    QStringList args{QStringLiteral(KIVRA_MAIL_TEST_DIR "/smtp_server.py"),
                     "--out",
                     Dir.path(),
                     "--user",
                     QString::fromStdString(options.User),
                     "--password",
                     QString::fromStdString(options.Password),
                     "--lifetime",
                     "90"};
    if (options.RequireAuth) args << "--require-auth";
    Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Process.start("/usr/bin/python3", args);
    if (!Process.waitForStarted(5000)) {
        StartError = "python did not start";
        return;
    }
    QByteArray line;
    while (!line.contains('\n') && Process.waitForReadyRead(10000)) line += Process.readAll();
    if (line.startsWith("PORT ")) {
        Port = line.mid(5).trimmed().toInt();
    } else {
        StartError = "no port from the server: " + line.toStdString();
    }
}

SmtpTestServer::~SmtpTestServer() {
    Process.closeWriteChannel();
    if (!Process.waitForFinished(3000)) {
        Process.kill();
        Process.waitForFinished(1000);
    }
}

std::vector<QJsonObject> SmtpTestServer::Messages() const {
    QDir dir(Dir.path());
    QStringList names = dir.entryList({"msg-*.json"}, QDir::Files);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.mid(4).chopped(5).toInt() < b.mid(4).chopped(5).toInt();
    });
    std::vector<QJsonObject> messages;
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) continue;
        messages.push_back(QJsonDocument::fromJson(file.readAll()).object());
    }
    return messages;
}

std::vector<std::string> HeaderValues(const QJsonObject &message, const std::string &name) {
    std::vector<std::string> values;
    for (const auto &entry : message["headers"].toArray()) {
        const QJsonArray pair = entry.toArray();
        if (pair.at(0).toString().compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0) {
            values.push_back(pair.at(1).toString().toStdString());
        }
    }
    return values;
}
