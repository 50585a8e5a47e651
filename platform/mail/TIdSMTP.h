#pragma once
// TIdSMTP: an SMTP client for one mail session at a time (on libcurl).
//
//   smtp.Host = "mail.example.com";          // "host:port" uses that port; else Port (25)
//   smtp.AuthenticationType = atLogin;       // atNone: no AUTH at all
//   smtp.Username = ...; smtp.Password = ...;
//   smtp.Connect(5000);                      // connection within 5000 ms; greeting, EHLO,
//                                            // AUTH LOGIN each within ReadTimeout
//   smtp.Send(message);
//   smtp.Disconnect();                       // QUIT
//
// Failures raise, each naming the server as "host:port":
//   EIdProtocolReplyError  the server answered with an error reply (code and text kept);
//   EIdSocketError         no connection could be made, it broke, or a reply did not come
//                          within ReadTimeout;
//   EIdConnectTimeout      the connection was not made within Connect's time-out;
//   EIdException           misuse found before any traffic (Send while not connected, no
//                          recipients).
// A failed Connect or Send ends the session (Connected() is false afterwards), so the next mail
// starts a fresh one. Addresses and host reach the server without line breaks.
//
// Threads: all calls block the calling thread for the whole exchange; one thread at a time uses
// an object. Distinct objects may be used on distinct threads.

#include <memory>
#include <string>

class TIdMessage;

enum TIdSMTPAuthenticationType { atNone, atLogin };

class TIdSMTP {
public:
    TIdSMTP();
    ~TIdSMTP();  // disconnects
    TIdSMTP(const TIdSMTP &) = delete;
    TIdSMTP &operator=(const TIdSMTP &) = delete;

    std::string Host;  // name or address; "host:port" or "[v6]:port" carries its own port
    int Port = 25;
    TIdSMTPAuthenticationType AuthenticationType = atNone;
    std::string Username;  // used with atLogin only
    std::string Password;  // used with atLogin only
    // ms the server may take for each reply after the connect (whole seconds, rounded up). A
    // server that stops answering costs one ReadTimeout: the closing QUIT does not wait again.
    int ReadTimeout = 30000;

    // Opens a session with the server: the connection, then greeting, EHLO and log-on.
    // timeoutMs bounds the making of the connection (0 or less: no bound of our own); each reply
    // after it may take ReadTimeout, so a distant or slow-greeting server still passes a short
    // time-out. A session already open is closed first.
    void Connect(int timeoutMs);
    // Sends one message over the open session.
    void Send(const TIdMessage &message);
    // Ends the session (QUIT); does nothing when none is open. Never raises.
    void Disconnect();
    bool Connected() const;

    // "host:port" as Connect contacts it, from Host and Port.
    std::string Endpoint() const;

private:
    class Session;
    std::unique_ptr<Session> OpenSession;
};
