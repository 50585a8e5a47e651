#pragma once
// The mail layer's error: what TIdSMTP raises. Its message (what()) is complete text for a
// message box and names the mail server; Host() is "host:port" as it was contacted.
//
// The three kinds callers tell apart derive from it: EIdProtocolReplyError (the server answered
// with an error), EIdSocketError (no connection, or it broke), EIdConnectTimeout (the connect
// ran past its time-out). A plain EIdException is a misuse found before any traffic (no
// recipients, sending while not connected).

#include <stdexcept>
#include <string>

class EIdException : public std::runtime_error {
public:
    EIdException(const std::string &message, std::string host)
        : std::runtime_error(message), ContactedHost(std::move(host)) {}

    const std::string &Host() const { return ContactedHost; }

private:
    std::string ContactedHost;
};
