#include "SqlBrowserClient.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QUdpSocket>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

namespace kivra {

namespace {

constexpr char kClientUnicastEx = 0x03;
constexpr unsigned char kServerResponse = 0x05;

bool EqualNoCase(const std::string &a, const std::string &b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool ListableName(const std::string &name) {
    if (name.empty() || name.size() > 255) return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f) return false;
        if (c == ',' || c == ';' || c == '{' || c == '}' || c == '=' || c == '\\') return false;
    }
    return true;
}

struct Resolved {
    QHostAddress Address;
    quint16 Port;
    bool Answered = false;
};

QHostAddress Resolve(const std::string &host) {
    QHostAddress address;
    if (address.setAddress(QString::fromStdString(host))) return address;
    const QHostInfo info = QHostInfo::fromName(QString::fromStdString(host));
    for (const QHostAddress &a : info.addresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol) return a;
    return info.addresses().isEmpty() ? QHostAddress() : info.addresses().first();
}

}  // namespace

std::string SqlBrowserInstance::DisplayName() const {
    if (EqualNoCase(InstanceName, "MSSQLSERVER")) return ServerName;
    return ServerName + "\\" + InstanceName;
}

SqlBrowserClient::SqlBrowserClient(std::vector<SqlBrowserTarget> targets, int waitMs)
    : Targets(std::move(targets)), WaitMs(std::max(0, waitMs)) {}

std::vector<SqlBrowserInstance> SqlBrowserClient::ParseResponse(const QByteArray &datagram) {
    std::vector<SqlBrowserInstance> result;
    if (datagram.size() < 3 || static_cast<unsigned char>(datagram[0]) != kServerResponse)
        return result;
    const int declared = static_cast<unsigned char>(datagram[1]) |
                         (static_cast<unsigned char>(datagram[2]) << 8);
    const int size = std::min<int>(declared, static_cast<int>(datagram.size()) - 3);
    const std::string data = datagram.mid(3, size).toStdString();

    // Records end with ";;"; inside a record, keys and values alternate, separated by ';'.
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find(";;", start);
        if (end == std::string::npos) end = data.size();
        const std::string record = data.substr(start, end - start);
        start = end + 2;

        std::vector<std::string> fields;
        std::size_t p = 0;
        for (;;) {
            const std::size_t q = record.find(';', p);
            fields.push_back(record.substr(p, q == std::string::npos ? std::string::npos : q - p));
            if (q == std::string::npos) break;
            p = q + 1;
        }
        SqlBrowserInstance instance;
        bool haveServer = false, haveInstance = false;
        for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
            const std::string &key = fields[i];
            const std::string &value = fields[i + 1];
            if (EqualNoCase(key, "ServerName")) {
                instance.ServerName = value;
                haveServer = true;
            } else if (EqualNoCase(key, "InstanceName")) {
                instance.InstanceName = value;
                haveInstance = true;
            } else if (EqualNoCase(key, "tcp")) {
                char *tail = nullptr;
                const long port = std::strtol(value.c_str(), &tail, 10);
                if (!value.empty() && *tail == '\0' && port > 0 && port <= 65535)
                    instance.TcpPort = static_cast<int>(port);
            }
        }
        if (haveServer && haveInstance && ListableName(instance.ServerName) &&
            ListableName(instance.InstanceName))
            result.push_back(std::move(instance));
    }
    return result;
}

bool SqlBrowserClient::Browse(std::vector<SqlBrowserInstance> &found, std::string &error) const {
    found.clear();
    QUdpSocket socket;
    // Browser requests go straight to the hosts asked; no proxy look-up (which would start the
    // system proxy resolver's thread for a datagram that no proxy carries).
    socket.setProxy(QNetworkProxy::NoProxy);
    if (!socket.bind(QHostAddress::Any, 0) && !socket.bind(QHostAddress::AnyIPv4, 0)) {
        error = "cannot open a UDP socket: " + socket.errorString().toStdString();
        return false;
    }

    std::vector<Resolved> targets;
    for (const SqlBrowserTarget &t : Targets) {
        const QHostAddress address = Resolve(t.Host);
        if (!address.isNull()) targets.push_back({address, t.Port});
    }
    const QByteArray request(1, kClientUnicastEx);
    auto ask = [&] {
        for (const Resolved &t : targets)
            if (!t.Answered) socket.writeDatagram(request, t.Address, t.Port);
    };
    ask();

    QElapsedTimer clock;
    clock.start();
    bool resent = false;
    auto allAnswered = [&] {
        return std::all_of(targets.begin(), targets.end(),
                           [](const Resolved &t) { return t.Answered; });
    };
    while (!targets.empty() && !allAnswered()) {
        const qint64 left = WaitMs - clock.elapsed();
        if (left <= 0) break;
        // A lost datagram is asked for once more, halfway through the wait.
        const qint64 half = WaitMs / 2 - clock.elapsed();
        const bool waitForHalf = !resent && half > 0;
        socket.waitForReadyRead(static_cast<int>(waitForHalf ? half : left));
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram(65535);
            const std::vector<SqlBrowserInstance> instances = ParseResponse(datagram.data());
            for (Resolved &t : targets)
                if (t.Port == datagram.senderPort() &&
                    t.Address.isEqual(datagram.senderAddress(),
                                      QHostAddress::ConvertV4MappedToIPv4))
                    t.Answered = true;
            for (const SqlBrowserInstance &i : instances) {
                const std::string name = i.DisplayName();
                const bool known =
                    std::any_of(found.begin(), found.end(), [&](const SqlBrowserInstance &f) {
                        return EqualNoCase(f.DisplayName(), name);
                    });
                if (!known) found.push_back(i);
            }
        }
        if (!resent && clock.elapsed() >= WaitMs / 2) {
            resent = true;
            ask();
        }
    }
    return true;
}

}  // namespace kivra
