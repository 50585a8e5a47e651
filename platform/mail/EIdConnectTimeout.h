#pragma once
// The connect ran past its time-out: the server did not accept the connection, send its
// greeting and finish the log-on within the milliseconds given to TIdSMTP::Connect.
// Deliberately not an EIdSocketError: callers that handle socket errors let this one pass.

#include "EIdException.h"

class EIdConnectTimeout : public EIdException {
public:
    EIdConnectTimeout(const std::string &message, std::string host, int timeoutMs)
        : EIdException(message, std::move(host)), timeoutMs_(timeoutMs) {}

    int TimeoutMs() const { return timeoutMs_; }

private:
    int timeoutMs_;
};
