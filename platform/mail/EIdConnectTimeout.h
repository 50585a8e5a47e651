#pragma once
// The connect ran past its time-out: the connection to the server was not made within the
// milliseconds given to TIdSMTP::Connect. (A server that connects but then does not answer is
// an EIdSocketError once ReadTimeout has passed.)
// Deliberately not an EIdSocketError: callers that handle socket errors let this one pass.

#include "EIdException.h"

class EIdConnectTimeout : public EIdException {
public:
    EIdConnectTimeout(const std::string &message, std::string host, int timeoutMs)
        : EIdException(message, std::move(host)), ConnectTimeoutMs(timeoutMs) {}

    int TimeoutMs() const { return ConnectTimeoutMs; }

private:
    int ConnectTimeoutMs;
};
