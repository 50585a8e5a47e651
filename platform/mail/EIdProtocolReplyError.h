#pragma once
// The mail server answered a command with an error reply (4xx or 5xx), or with something that is
// not an SMTP reply at all (ReplyCode() is then 0). ReplyText() holds the server's own words,
// lines of a multi-line reply joined with a blank.

#include "EIdException.h"

class EIdProtocolReplyError : public EIdException {
public:
    EIdProtocolReplyError(const std::string &message, std::string host, int replyCode,
                          std::string replyText)
        : EIdException(message, std::move(host)), Code(replyCode), Text(std::move(replyText)) {}

    int ReplyCode() const { return Code; }
    const std::string &ReplyText() const { return Text; }

private:
    int Code;
    std::string Text;
};
