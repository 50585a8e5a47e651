#pragma once
// TIdMessage: one plain-text mail as the program fills it: recipients as one address list text,
// the From and Sender addresses, the subject and a body of lines. Compose() turns it into the
// MIME message that goes over SMTP (UTF-8 text; the subject and non-ASCII names as
// encoded-words; the body 7bit when it is short-lined ASCII, else quoted-printable).
//
// Whatever a field holds, the composed headers carry no line break from it: a CR or LF in a
// subject, name or address becomes a blank. Plain data; the owner uses it on one thread.

#include "MailText.h"

#include <ctime>
#include <string>
#include <vector>

class TIdMessage {
public:
    std::string Recipients;     // address list text, several addresses separated by commas
    std::string FromAddress;    // the author, "a@b" or "Name <a@b>"
    std::string SenderAddress;  // the transmitter; the envelope sender when set
    std::string Subject;
    std::vector<std::string> Body;  // lines without line ends (an embedded line end splits a line)

    // The recipients' addresses proper, in order, for the envelope.
    std::vector<kivra::mail::MailAddress> RecipientList() const;

    // The envelope sender: Sender's address, else From's; empty for the null sender.
    std::string EnvelopeSender() const;

    // The whole message with CRLF line ends, headers first. date is the Date header's moment;
    // messageId the Message-ID without angle brackets.
    std::string Compose(std::time_t date, const std::string &messageId) const;

    // A fresh Message-ID ("random@domain"), the domain taken from the From address.
    std::string NewMessageId() const;
};
