#include "TIdMessage.h"

#include <cstdint>
#include <cstdio>
#include <random>

using kivra::mail::MailAddress;

namespace {

MailAddress FirstAddress(const std::string &text) {
    const auto list = kivra::mail::ParseAddressList(text);
    return list.empty() ? MailAddress{} : list.front();
}

// Splits lines at CRLF, CR or LF, so no bare line end reaches the wire.
std::vector<std::string> SplitLines(const std::vector<std::string> &body) {
    std::vector<std::string> lines;
    for (const std::string &text : body) {
        std::string current;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' || text[i] == '\n') {
                if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
                lines.push_back(current);
                current.clear();
            } else {
                current += text[i];
            }
        }
        lines.push_back(current);
    }
    return lines;
}

bool SevenBitSafe(const std::vector<std::string> &lines) {
    for (const std::string &line : lines) {
        if (line.size() > 998) return false;
        for (char c : line) {
            const auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && u != '\t') || u > 0x7E) return false;
        }
    }
    return true;
}

bool DomainSafe(const std::string &domain) {
    if (domain.empty()) return false;
    for (char c : domain) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-';
        if (!ok) return false;
    }
    return true;
}

}  // namespace

std::vector<MailAddress> TIdMessage::RecipientList() const {
    std::vector<MailAddress> list;
    for (const MailAddress &a : kivra::mail::ParseAddressList(Recipients)) {
        if (!a.Address.empty()) list.push_back(a);
    }
    return list;
}

std::string TIdMessage::EnvelopeSender() const {
    const MailAddress sender = FirstAddress(SenderAddress);
    if (!sender.Address.empty()) return sender.Address;
    return FirstAddress(FromAddress).Address;
}

std::string TIdMessage::Compose(std::time_t date, const std::string &messageId) const {
    using namespace kivra::mail;
    std::string out;
    auto header = [&out](const std::string &name, const std::string &value) {
        out += name + ": " + value + "\r\n";
    };
    header("Date", FormatMailDate(date));
    const MailAddress from = FirstAddress(FromAddress);
    header("From", FormatAddress(from, 6));
    const MailAddress sender = FirstAddress(SenderAddress);
    // A Sender header only when the transmitter is someone other than the author.
    if (!sender.Address.empty() && sender.Address != from.Address) {
        header("Sender", FormatAddress(sender, 8));
    }
    // The first recipient after "To: ", each further one on a line of its own after a blank.
    const std::vector<MailAddress> recipients = RecipientList();
    std::string to;
    for (std::size_t i = 0; i < recipients.size(); ++i) {
        if (i > 0) to += ",\r\n ";
        to += FormatAddress(recipients[i], i == 0 ? 4 : 1, i + 1 < recipients.size() ? 1 : 0);
    }
    header("To", to);
    header("Subject", EncodeHeaderValue(Subject, 9));
    header("Message-ID", "<" + SingleLine(messageId) + ">");
    header("MIME-Version", "1.0");
    header("Content-Type", "text/plain; charset=UTF-8");

    const std::vector<std::string> lines = SplitLines(Body);
    if (SevenBitSafe(lines)) {
        header("Content-Transfer-Encoding", "7bit");
        out += "\r\n";
        for (const std::string &line : lines) out += line + "\r\n";
    } else {
        header("Content-Transfer-Encoding", "quoted-printable");
        out += "\r\n";
        out += EncodeQuotedPrintable(lines);
    }
    return out;
}

std::string TIdMessage::NewMessageId() const {
    std::random_device device;
    std::mt19937_64 generator((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                              static_cast<std::uint64_t>(std::time(nullptr)));
    char local[40];
    std::snprintf(local, sizeof local, "%016llx.%08llx",
                  static_cast<unsigned long long>(generator()),
                  static_cast<unsigned long long>(std::time(nullptr)));
    const std::string from = FirstAddress(FromAddress).Address;
    const auto at = from.rfind('@');
    std::string domain = at == std::string::npos ? std::string() : from.substr(at + 1);
    if (!DomainSafe(domain)) domain = "kivrawatch.localdomain";
    return std::string(local) + "@" + domain;
}
