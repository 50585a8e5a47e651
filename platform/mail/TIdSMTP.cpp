#include "TIdSMTP.h"

#include "EIdConnectTimeout.h"
#include "EIdProtocolReplyError.h"
#include "EIdSocketError.h"
#include "MailText.h"
#include "TIdMessage.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

struct Target {
    std::string Host;     // without brackets
    std::string UrlHost;  // as it goes into the URL (IPv6 in brackets)
    int Port = 25;
    std::string Error;  // why the host text is unusable; empty when it is fine
};

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

bool IsV6Char(char c) {
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' ||
           c == '.';
}

bool ParsePort(const std::string &text, int &port) {
    if (text.empty() || text.size() > 5) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return false;
    port = static_cast<int>(value);
    return true;
}

Target ParseTarget(const std::string &text, int defaultPort) {
    Target t;
    t.Port = defaultPort;
    std::string portText;
    bool v6 = false;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) {
            t.Error = "no closing bracket";
            return t;
        }
        t.Host = text.substr(1, close - 1);
        v6 = true;
        const std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                t.Error = "text after the address";
                return t;
            }
            portText = rest.substr(1);
            if (!ParsePort(portText, t.Port)) t.Error = "not a valid port";
        }
    } else {
        const auto colons = std::count(text.begin(), text.end(), ':');
        if (colons >= 2) {
            t.Host = text;
            v6 = true;
        } else if (colons == 1) {
            const auto colon = text.find(':');
            t.Host = text.substr(0, colon);
            if (!ParsePort(text.substr(colon + 1), t.Port)) t.Error = "not a valid port";
        } else {
            t.Host = text;
        }
    }
    if (!t.Error.empty()) return t;
    if (t.Host.empty()) {
        t.Error = "no host name";
        return t;
    }
    for (char c : t.Host) {
        if (!(v6 ? IsV6Char(c) : IsNameChar(c))) {
            t.Error = "not a valid host name";
            return t;
        }
    }
    t.UrlHost = v6 ? "[" + t.Host + "]" : t.Host;
    return t;
}

std::string Display(const Target &t) { return t.UrlHost + ":" + std::to_string(t.Port); }

// The name this machine introduces itself with (EHLO); host-name characters only.
std::string LocalName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    std::string text(name);
    for (char c : text) {
        if (!IsNameChar(c)) return "localhost";
    }
    return text.empty() ? "localhost" : text;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

// One open mail session: the libcurl handle keeps the connection between Connect and Send, and
// the debug hook records the server's replies so that failures carry the server's own words.
class TIdSMTP::Session {
public:
    Session(Target target, int connectTimeoutMs)
        : Server(std::move(target)), ConnectTimeoutMs(connectTimeoutMs) {
        GlobalInit();
        Curl = curl_easy_init();
    }
    ~Session() {
        if (Curl) curl_easy_cleanup(Curl);  // sends QUIT on a live connection
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    CURL *Handle() const { return Curl; }
    std::string Endpoint() const { return Display(Server); }

    void Configure(const TIdSMTP &client) {
        if (!Curl) return;
        const std::string url = "smtp://" + Server.UrlHost + ":" + std::to_string(Server.Port) +
                                "/" + LocalName();
        curl_easy_setopt(Curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(Curl, CURLOPT_PROTOCOLS_STR, "smtp");
        curl_easy_setopt(Curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(Curl, CURLOPT_ERRORBUFFER, ErrorBuffer);
        curl_easy_setopt(Curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(Curl, CURLOPT_DEBUGFUNCTION, &Session::OnDebug);
        curl_easy_setopt(Curl, CURLOPT_DEBUGDATA, this);
        curl_easy_setopt(Curl, CURLOPT_WRITEFUNCTION, &Session::OnWrite);
        curl_easy_setopt(Curl, CURLOPT_READFUNCTION, &Session::OnRead);
        curl_easy_setopt(Curl, CURLOPT_READDATA, this);
        // The connection itself is made here, so that Connect's time-out bounds only its
        // making; the greeting and log-on that follow wait ReadTimeout for each reply, as every
        // later command does (libcurl's own connect time-out would take them in as well).
        curl_easy_setopt(Curl, CURLOPT_OPENSOCKETFUNCTION, &Session::OnOpenSocket);
        curl_easy_setopt(Curl, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(Curl, CURLOPT_SOCKOPTFUNCTION, &Session::OnSocketCreated);
        curl_easy_setopt(Curl, CURLOPT_SOCKOPTDATA, this);
        curl_easy_setopt(Curl, CURLOPT_CLOSESOCKETFUNCTION, &Session::OnSocketClose);
        curl_easy_setopt(Curl, CURLOPT_CLOSESOCKETDATA, this);
        const long readSeconds =
            client.ReadTimeout > 0 ? (static_cast<long>(client.ReadTimeout) + 999) / 1000 : 0;
        curl_easy_setopt(Curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, readSeconds);
        if (client.AuthenticationType == atLogin) {
            curl_easy_setopt(Curl, CURLOPT_USERNAME, client.Username.c_str());
            curl_easy_setopt(Curl, CURLOPT_PASSWORD, client.Password.c_str());
            curl_easy_setopt(Curl, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
        }
    }

    // Greeting, EHLO and log-on, closed by a NOOP; the connection stays open for Send.
    void Open() {
        ConnectDeadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(ConnectTimeoutMs > 0 ? ConnectTimeoutMs : 0);
        curl_easy_setopt(Curl, CURLOPT_UPLOAD, 0L);
        curl_easy_setopt(Curl, CURLOPT_CUSTOMREQUEST, "NOOP");
        Perform();
    }

    void Transfer(const std::string &from, curl_slist *recipients, std::string text) {
        Upload = std::move(text);
        Uploaded = 0;
        curl_easy_setopt(Curl, CURLOPT_CUSTOMREQUEST, nullptr);
        curl_easy_setopt(Curl, CURLOPT_MAIL_FROM, from.c_str());
        curl_easy_setopt(Curl, CURLOPT_MAIL_RCPT, recipients);
        curl_easy_setopt(Curl, CURLOPT_UPLOAD, 1L);
        Perform();
        curl_easy_setopt(Curl, CURLOPT_MAIL_RCPT, nullptr);
    }

private:
    // Runs one exchange; raises the failure kind it ended in.
    void Perform() {
        ErrorBuffer[0] = '\0';
        ReplyCode = 0;
        ReplyText.clear();
        ReplyOpen = false;
        ConnectTimedOut = false;
        ConnectError.clear();
        Quitting = false;
        AwaitingReply = false;
        const CURLcode rc = curl_easy_perform(Curl);
        if (rc == CURLE_OK) return;
        Raise(rc);
    }

    [[noreturn]] void Raise(CURLcode rc) const {
        const std::string where = Endpoint();
        const std::string detail = !ConnectError.empty() ? ConnectError
                                   : ErrorBuffer[0]      ? std::string(ErrorBuffer)
                                                         : curl_easy_strerror(rc);
        if (ReplyCode >= 400) {
            throw EIdProtocolReplyError("The SMTP server " + where + " answered with an error: " +
                                            std::to_string(ReplyCode) + " " + ReplyText,
                                        where, ReplyCode, ReplyText);
        }
        if (ConnectTimedOut) {
            const std::string after = ConnectTimeoutMs > 0
                                          ? " after " + std::to_string(ConnectTimeoutMs) + " ms"
                                          : std::string();
            throw EIdConnectTimeout("Connecting to the SMTP server " + where + " timed out" + after,
                                    where, ConnectTimeoutMs);
        }
        if (rc == CURLE_OPERATION_TIMEDOUT) {
            throw EIdSocketError("The SMTP server " + where + " stopped answering: " + detail,
                                 where);
        }
        if (ReplyCode > 0 && (rc == CURLE_LOGIN_DENIED || rc == CURLE_WEIRD_SERVER_REPLY ||
                              rc == CURLE_REMOTE_ACCESS_DENIED)) {
            // The server answered, but not in a way that lets the exchange go on (for
            // instance it does not offer LOGIN).
            throw EIdProtocolReplyError("The SMTP server " + where +
                                            " cannot serve the request: " + detail,
                                        where, 0, detail);
        }
        throw EIdSocketError("Socket error with the SMTP server " + where + ": " + detail, where);
    }

    // Server reply lines: "250-first", "250 last". A new reply starts after a last line.
    void OnReplyLine(const std::string &line) {
        if (Quitting) return;
        if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0])) ||
            !std::isdigit(static_cast<unsigned char>(line[1])) ||
            !std::isdigit(static_cast<unsigned char>(line[2]))) {
            return;
        }
        if (!ReplyOpen) {
            ReplyText.clear();
            ReplyOpen = true;
        }
        ReplyCode = std::stoi(line.substr(0, 3));
        std::string text = line.size() > 4 ? line.substr(4) : std::string();
        if (!text.empty()) {
            if (!ReplyText.empty()) ReplyText += ' ';
            ReplyText += kivra::mail::SingleLine(text);
        }
        if (line.size() == 3 || line[3] != '-') {
            ReplyOpen = false;
            AwaitingReply = false;
        }
    }

    static int OnDebug(CURL *, curl_infotype type, char *data, size_t size, void *user) {
        auto *self = static_cast<Session *>(user);
        const std::string text(data, size);
        if (type == CURLINFO_HEADER_IN) {
            std::size_t start = 0;
            while (start < text.size()) {
                auto end = text.find('\n', start);
                if (end == std::string::npos) end = text.size();
                std::string line = text.substr(start, end - start);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                self->OnReplyLine(line);
                start = end + 1;
            }
        } else if (type == CURLINFO_HEADER_OUT) {
            // libcurl closes a failed session itself; the QUIT reply must not hide the error.
            if (text.rfind("QUIT", 0) == 0) {
                self->Quitting = true;
                // A server that left the last command unanswered would hold the QUIT for
                // another ReadTimeout: shut the socket down so the QUIT fails at once
                // (libcurl still closes the descriptor, through OnSocketClose).
                if (self->AwaitingReply) self->ShutDownSocket();
            }
            self->AwaitingReply = true;
        } else if (type == CURLINFO_DATA_OUT) {
            self->AwaitingReply = true;
        }
        return 0;
    }

    void ShutDownSocket() {
        if (Socket != CURL_SOCKET_BAD) shutdown(Socket, SHUT_RDWR);
    }

    // Makes the connection to one address of the server within what is left of Connect's
    // time-out; a failure records why and lets libcurl try the next address, if any.
    static curl_socket_t OnOpenSocket(void *user, curlsocktype, curl_sockaddr *address) {
        auto *self = static_cast<Session *>(user);
        const int fd = socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
        if (fd < 0) {
            self->ConnectError = std::string("cannot open a socket: ") + std::strerror(errno);
            return CURL_SOCKET_BAD;
        }
        const int flags = fcntl(fd, F_GETFL, 0);
        if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
            self->ConnectError = std::string("cannot open a socket: ") + std::strerror(errno);
            close(fd);
            return CURL_SOCKET_BAD;
        }
        int error = 0;
        if (connect(fd, &address->addr, address->addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) error = self->AwaitConnection(fd);
        }
        if (error != 0) {
            close(fd);
            if (error == ETIMEDOUT && self->ConnectTimedOut) return CURL_SOCKET_BAD;
            self->ConnectTimedOut = false;
            self->ConnectError = std::string("cannot connect: ") + std::strerror(error);
            return CURL_SOCKET_BAD;
        }
        self->ConnectTimedOut = false;
        self->ConnectError.clear();
        return fd;
    }

    // Waits for a connection under way on fd; 0 when it stands, else the error (ETIMEDOUT with
    // ConnectTimedOut set when Connect's time-out ran out).
    int AwaitConnection(int fd) {
        for (;;) {
            int waitMs = -1;
            if (ConnectTimeoutMs > 0) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      ConnectDeadline - std::chrono::steady_clock::now())
                                      .count();
                if (left <= 0) {
                    ConnectTimedOut = true;
                    return ETIMEDOUT;
                }
                waitMs = static_cast<int>(std::min<long long>(left, INT_MAX));
            }
            pollfd p{fd, POLLOUT, 0};
            const int n = poll(&p, 1, waitMs);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno;
            if (n == 0) continue;  // the deadline is looked at again above
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
            return error;
        }
    }

    // The connection's socket, followed from its creation to its close; it arrives connected.
    static int OnSocketCreated(void *user, curl_socket_t socket, curlsocktype) {
        static_cast<Session *>(user)->Socket = socket;
        return CURL_SOCKOPT_ALREADY_CONNECTED;
    }

    static int OnSocketClose(void *user, curl_socket_t socket) {
        auto *self = static_cast<Session *>(user);
        if (self->Socket == socket) self->Socket = CURL_SOCKET_BAD;
        return close(socket);
    }

    static size_t OnWrite(char *, size_t size, size_t count, void *) { return size * count; }

    static size_t OnRead(char *buffer, size_t size, size_t count, void *user) {
        auto *self = static_cast<Session *>(user);
        const std::size_t room = size * count;
        const std::size_t left = self->Upload.size() - self->Uploaded;
        const std::size_t n = left < room ? left : room;
        std::memcpy(buffer, self->Upload.data() + self->Uploaded, n);
        self->Uploaded += n;
        return n;
    }

    Target Server;
    int ConnectTimeoutMs;
    CURL *Curl = nullptr;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    int ReplyCode = 0;       // code of the latest reply of this exchange, 0 before any
    std::string ReplyText;   // its text, lines joined with a blank
    bool ReplyOpen = false;  // a multi-line reply is being read
    std::chrono::steady_clock::time_point ConnectDeadline;  // when Connect's time-out ends
    bool ConnectTimedOut = false;  // the connection was not made within Connect's time-out
    std::string ConnectError;      // why the connection could not be made; empty when it was
    bool Quitting = false;         // QUIT has gone out: later replies are not the exchange's
    bool AwaitingReply = false;    // a command or message data went out and is unanswered
    curl_socket_t Socket = CURL_SOCKET_BAD;  // the open connection's socket, if any
    std::string Upload;
    std::size_t Uploaded = 0;
};

TIdSMTP::TIdSMTP() = default;

TIdSMTP::~TIdSMTP() { Disconnect(); }

std::string TIdSMTP::Endpoint() const {
    const Target t = ParseTarget(Host, Port);
    if (!t.Error.empty()) return Host + ":" + std::to_string(Port);
    return Display(t);
}

void TIdSMTP::Connect(int timeoutMs) {
    Disconnect();
    const Target target = ParseTarget(Host, Port);
    if (!target.Error.empty()) {
        const std::string shown = kivra::mail::SingleLine(Host);
        throw EIdSocketError("Cannot connect to the SMTP server \"" + shown + "\": " + target.Error,
                             shown);
    }
    auto session = std::make_unique<Session>(target, timeoutMs);
    if (!session->Handle()) {
        throw EIdSocketError("Cannot connect to the SMTP server " + Display(target) +
                                 ": the mail library could not start",
                             Display(target));
    }
    session->Configure(*this);
    session->Open();  // raises; the half-open session is freed with it
    OpenSession = std::move(session);
}

void TIdSMTP::Send(const TIdMessage &message) {
    if (!OpenSession) {
        throw EIdException("Not connected to the SMTP server " + Endpoint(), Endpoint());
    }
    const auto recipients = message.RecipientList();
    if (recipients.empty()) {
        throw EIdException("The mail for the SMTP server " + OpenSession->Endpoint() +
                               " has no recipient",
                           OpenSession->Endpoint());
    }
    curl_slist *list = nullptr;
    for (const auto &r : recipients) {
        curl_slist *grown = curl_slist_append(list, r.Address.c_str());
        if (!grown) {
            curl_slist_free_all(list);
            throw EIdException("Out of memory while addressing the mail", OpenSession->Endpoint());
        }
        list = grown;
    }
    const std::string text = message.Compose(std::time(nullptr), message.NewMessageId());
    try {
        OpenSession->Transfer(message.EnvelopeSender(), list, text);
    } catch (...) {
        curl_slist_free_all(list);
        OpenSession.reset();  // a failed exchange ends the session
        throw;
    }
    curl_slist_free_all(list);
}

void TIdSMTP::Disconnect() { OpenSession.reset(); }

bool TIdSMTP::Connected() const { return OpenSession != nullptr; }
