#include "SimConnection.h"

#include "SimBatchResponder.h"
#include "SqlSimServer.h"
#include "TdsLogin7.h"
#include "TdsWriter.h"

#include <chrono>
#include <thread>

namespace {

uint32_t ChooseVersion(uint32_t asked) {
    if (asked >= 0x74000004u) return 0x74000004u;
    if (asked >= 0x730B0003u) return 0x730B0003u;
    if (asked >= 0x730A0003u) return 0x730A0003u;
    if (asked >= 0x72090002u) return 0x72090002u;
    return 0x71000001u;
}

uint32_t Le32(const std::string &p, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(p[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(p[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(p[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(p[at + 3])) << 24;
}

}  // namespace

SimConnection::SimConnection(SqlSimServer &server, int fd) : Server(server), Socket(fd) {
    static std::atomic<uint64_t> next{1};
    Id = next++;
}

void SimConnection::Close() {
    if (!Closed.exchange(true)) Socket.Shutdown();
}

void SimConnection::Run() {
    TdsMessage m;
    bool loggedIn = false;
    bool preloginDone = false;
    while (!Closed && Socket.ReadMessage(m)) {
        bool ok = true;
        if (!loggedIn) {
            if (m.Type == 0x12 && !preloginDone) {
                ok = Prelogin(m);
                preloginDone = true;
            } else if (m.Type == 0x10) {
                ok = Login(m);
                loggedIn = ok;
            } else {
                ok = false;
            }
        } else if (m.Type == 0x01) {
            ok = Batch(m);
        } else if (m.Type == 0x06) {
            TdsWriter w(Version);
            w.Done(TdsWriter::DoneAttention, 0, 0);
            ok = Socket.WriteMessage(w.Bytes());
        } else if (m.Type == 0x03 || m.Type == 0x0E) {
            // Remote procedure calls and transaction requests are not part of what a monitor
            // sends; answer them with an error rather than silence.
            TdsWriter w(Version);
            if (m.Type == 0x0E) {
                w.Done(TdsWriter::DoneFinal, 0, 0);
            } else {
                w.Error(2812, 62, 16, "Could not find stored procedure.", Server.ServerName());
                w.Done(TdsWriter::DoneError, 0, 0, 0xFE);
            }
            ok = Socket.WriteMessage(w.Bytes());
        } else {
            ok = false;
        }
        if (!ok) break;
    }
    if (SessionSpid != 0) Server.Workload().RemoveClient(SessionSpid, Id);
    Close();
    HasFinished = true;
}

bool SimConnection::Prelogin(const TdsMessage &) {
    // VERSION 15.0.2000, ENCRYPTION not supported, INSTOPT 0, THREADID empty, MARS off.
    const uint8_t entries = 5;
    std::string p;
    const size_t dataStart = entries * 5 + 1;
    auto option = [&p](uint8_t token, size_t offset, size_t len) {
        p.push_back(static_cast<char>(token));
        p.push_back(static_cast<char>((offset >> 8) & 0xFF));
        p.push_back(static_cast<char>(offset & 0xFF));
        p.push_back(static_cast<char>((len >> 8) & 0xFF));
        p.push_back(static_cast<char>(len & 0xFF));
    };
    option(0x00, dataStart, 6);
    option(0x01, dataStart + 6, 1);
    option(0x02, dataStart + 7, 1);
    option(0x03, dataStart + 8, 0);
    option(0x04, dataStart + 8, 1);
    p.push_back(static_cast<char>(0xFF));
    const unsigned char data[] = {0x0F, 0x00, 0x07, 0xD0, 0x00, 0x00, 0x02, 0x00, 0x00};
    p.append(reinterpret_cast<const char *>(data), sizeof data);
    return Socket.WriteMessage(p);
}

void SimConnection::LoginFailed(int number, const std::string &message, uint32_t version) {
    TdsWriter w(version);
    w.Error(number, 1, 14, message, Server.ServerName());
    w.Done(TdsWriter::DoneError, 0, 0);
    Socket.WriteMessage(w.Bytes());
}

bool SimConnection::Login(const TdsMessage &m) {
    TdsLogin7 login;
    if (!TdsLogin7::Parse(m.Payload, login)) return false;
    Version = ChooseVersion(login.TdsVersion);
    if (login.IntegratedSecurity) {
        LoginFailed(18452,
                    "Login failed. The login is from an untrusted domain and cannot be used with "
                    "Integrated authentication.",
                    Version);
        return false;
    }
    SimLogin account;
    if (!Server.FindLogin(login.UserName, account) || account.Password != login.Password) {
        LoginFailed(18456, "Login failed for user '" + login.UserName + "'.", Version);
        return false;
    }
    std::string database = "master";
    if (!login.Database.empty()) {
        const int dbid = SimWorkload::DatabaseId(login.Database);
        if (dbid == 0) {
            LoginFailed(4060,
                        "Cannot open database \"" + login.Database +
                            "\" requested by the login. The login failed.",
                        Version);
            return false;
        }
        database = SimWorkload::DatabaseName(dbid);
    }
    const int spid = Server.Workload().AddClient(
        {login.UserName, login.HostName, login.AppName, std::to_string(login.ClientPid)}, Id);
    if (spid == 0) {
        LoginFailed(17809,
                    "Could not connect because the maximum number of user connections has "
                    "already been reached.",
                    Version);
        return false;
    }
    SessionSpid = spid;
    LoginName = login.UserName;
    Socket.SetSpid(static_cast<uint16_t>(spid));

    int packetSize = login.PacketSize == 0 ? 4096 : static_cast<int>(login.PacketSize);
    if (packetSize < 512) packetSize = 512;
    if (packetSize > 32767) packetSize = 32767;

    TdsWriter w(Version);
    w.EnvChange(1, database, "master");
    w.Info(5701, 2, 0, "Changed database context to '" + database + "'.", Server.ServerName());
    w.EnvChangeCollation();
    w.EnvChange(2, "us_english", "");
    w.Info(5703, 1, 0, "Changed language setting to us_english.", Server.ServerName());
    w.EnvChange(4, std::to_string(packetSize), "4096");
    w.LoginAck(Version, "Microsoft SQL Server", 0x0F0007D0u);
    w.Done(TdsWriter::DoneFinal, 0, 0);
    if (Server.Paused()) {  // a delay slows answers to batches only
        bool attention = false;
        if (!Hold(attention)) return false;
    }
    if (!Socket.WriteMessage(w.Bytes())) return false;
    Socket.SetPacketSize(packetSize);
    return true;
}

bool SimConnection::Hold(bool &attention) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(Server.Delay());
    for (;;) {
        if (Closed) return false;
        const bool paused = Server.Paused();
        int wait = 50;
        if (!paused) {
            if (attention) return true;
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now()).count();
            if (left <= 0) return true;
            wait = left < 50 ? static_cast<int>(left) : 50;
        }
        if (!attention && Socket.WaitReadable(wait)) {
            TdsMessage m;
            if (!Socket.ReadMessage(m)) return false;
            if (m.Type == 0x06) attention = true;
            // Anything else while a request is outstanding breaks the protocol; ignore it.
        } else if (attention) {
            // Paused with a cancel pending: wait for the resume (or for Close()).
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        }
    }
}

bool SimConnection::Batch(const TdsMessage &m) {
    size_t at = 0;
    if (Version >= 0x72000000u && m.Payload.size() >= 4) {
        const uint32_t total = Le32(m.Payload, 0);
        if (total >= 4 && total <= m.Payload.size()) at = total;
    }
    const std::string text = Ucs2ToUtf8(m.Payload.data() + at, m.Payload.size() - at);
    SimWorkload &workload = Server.Workload();

    if (m.Status & 0x02) {  // the client asked to ignore this request
        TdsWriter w(Version);
        w.Done(TdsWriter::DoneFinal, 0, 0);
        return Socket.WriteMessage(w.Bytes());
    }

    Server.ObserveBatch(SessionSpid, text);
    workload.ClientBatchStarted(SessionSpid, text);
    bool attention = false;
    if (!Hold(attention)) return false;
    TdsWriter w(Version);
    if (!attention) {
        SimBatchContext ctx;
        ctx.Workload = &workload;
        ctx.ServerName = Server.ServerName();
        ctx.NoStmtStart = Server.NoStmtStart();
        ctx.FailText = Server.FailingText();
        if (!Server.FindLogin(LoginName, ctx.Login)) ctx.Login.Name = LoginName;
        ctx.Spid = SessionSpid;
        ctx.CloseClient = [this](int spid) {
            if (spid != SessionSpid) Server.CloseClient(spid);
        };
        SimBatchResponder::Answer(ctx, text, w);
        // A cancel that arrived while the answer was built still wins.
        if (Socket.WaitReadable(0)) {
            TdsMessage late;
            if (!Socket.ReadMessage(late)) return false;
            if (late.Type == 0x06) attention = true;
        }
    }
    workload.ClientBatchEnded(SessionSpid);
    if (attention) {
        TdsWriter a(Version);
        a.Done(TdsWriter::DoneAttention, 0, 0);
        return Socket.WriteMessage(a.Bytes());
    }
    return Socket.WriteMessage(w.Bytes());
}
