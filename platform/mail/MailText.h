#pragma once
// Text rules of an Internet mail message, as free functions: header values made single-line,
// address lists split into addresses, encoded-words for headers that are not plain ASCII,
// quoted-printable bodies, the Date header's text. Pure functions; safe on any thread.
//
// Texts are UTF-8 (the program's narrow strings); bytes that are not valid UTF-8 pass through
// the encoders unchanged in meaning (they are encoded as bytes).

#include <ctime>
#include <string>
#include <vector>

namespace kivra::mail {

// One address of an address list: the display name (may be empty) and the address proper.
struct MailAddress {
    std::string Name;
    std::string Address;
};

// Every CR, LF and other control character (tab included) becomes a blank, so a value cannot
// end its header line or start another one.
std::string SingleLine(const std::string &text);

// True when text is printable US-ASCII (blank to '~').
bool IsPlainAscii(const std::string &text);

// Splits an address list text at commas outside quotes and angle brackets. Accepted forms per
// item: "a@b", "<a@b>", "Name <a@b>", "\"Name, Jr.\" <a@b>". Empty items are left out; every
// part is made single-line first.
std::vector<MailAddress> ParseAddressList(const std::string &text);

// A header value as it goes after "Name: ": plain ASCII kept as it is when it fits on a line
// (headerNameLength is the length of "Name: "), otherwise UTF-8 base64 encoded-words of at most
// 75 characters, folded onto continuation lines. The value is made single-line first.
std::string EncodeHeaderValue(const std::string &value, std::size_t headerNameLength);

// An address for a header: "a@b" or "Name <a@b>" with the name quoted or encoded as needed.
// column is what stands before it on its line ("To: ", or the blank that begins a continuation
// line), following what comes after it there (the comma before the next address): an encoded
// name is folded, and the address put on a line of its own where it does not fit, so that no
// line holding an encoded-word passes 76 characters.
std::string FormatAddress(const MailAddress &address, std::size_t column,
                          std::size_t following = 0);

// Lines encoded as quoted-printable, each ending with CRLF, no encoded line above 76 characters.
std::string EncodeQuotedPrintable(const std::vector<std::string> &lines);

// The Date header's text for a moment, in the local time zone: "Thu, 10 Dec 2026 08:25:20 +0100".
std::string FormatMailDate(std::time_t moment);

}  // namespace kivra::mail
