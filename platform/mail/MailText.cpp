#include "MailText.h"

#include <cstdio>

namespace kivra::mail {
namespace {

constexpr std::size_t kMaxEncodedWord = 75;   // RFC 2047 limit of one encoded-word
constexpr std::size_t kMaxEncodedLine = 76;   // RFC 2047 limit of a line holding encoded-words
constexpr std::size_t kMaxPlainHeader = 998;  // RFC 5322 limit of one line, CRLF excluded
constexpr std::size_t kMaxQpLine = 76;        // RFC 2045 limit of one encoded line

std::string Trim(const std::string &text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string Base64(const std::string &bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Length of the UTF-8 sequence that starts with lead (1 for a stray byte, so it stays whole).
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

// Encoded-words, each holding whole UTF-8 characters, joined by folding white space. A line
// that holds an encoded-word stays within 76 characters: the first one shares its line with
// the header's name (firstLineUsed characters), the others follow a blank.
std::string EncodedWords(const std::string &value, std::size_t firstLineUsed) {
    const std::string prefix = "=?UTF-8?B?";
    const std::string suffix = "?=";
    const std::size_t overhead = prefix.size() + suffix.size();
    auto chunkFor = [overhead](std::size_t room) {
        const std::size_t word = room < kMaxEncodedWord ? room : kMaxEncodedWord;
        return word > overhead + 4 ? (word - overhead) / 4 * 3 : std::size_t{3};
    };
    std::string out;
    std::size_t pos = 0;
    while (pos < value.size()) {
        const std::size_t maxChunk = chunkFor(out.empty() && firstLineUsed < kMaxEncodedLine
                                                  ? kMaxEncodedLine - firstLineUsed
                                                  : kMaxEncodedLine - 1);
        std::size_t end = pos;
        while (end < value.size()) {
            std::size_t len = SequenceLength(static_cast<unsigned char>(value[end]));
            if (end + len > value.size()) len = value.size() - end;
            if (end + len - pos > maxChunk && end > pos) break;
            end += len;
        }
        if (!out.empty()) out += "\r\n ";
        out += prefix + Base64(value.substr(pos, end - pos)) + suffix;
        pos = end;
    }
    return out;
}

bool NeedsQuoting(const std::string &name) {
    for (char c : name) {
        if (std::string("()<>[]:;@\\,.\"").find(c) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

std::string SingleLine(const std::string &text) {
    std::string out = text;
    for (char &c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = ' ';
    }
    return out;
}

bool IsPlainAscii(const std::string &text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E) return false;
    }
    return true;
}

std::vector<MailAddress> ParseAddressList(const std::string &text) {
    std::vector<std::string> items;
    std::string current;
    bool quoted = false;
    bool angled = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '\\' && i + 1 < text.size()) {
            current += c;
            current += text[++i];
            continue;
        }
        if (c == '"' && !angled)
            quoted = !quoted;
        else if (c == '<' && !quoted)
            angled = true;
        else if (c == '>' && !quoted)
            angled = false;
        if (c == ',' && !quoted && !angled) {
            items.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    items.push_back(current);

    std::vector<MailAddress> result;
    for (const std::string &raw : items) {
        const std::string item = Trim(SingleLine(raw));
        if (item.empty()) continue;
        MailAddress address;
        const auto open = item.rfind('<');
        if (open == std::string::npos) {
            address.Address = item;
        } else {
            const auto close = item.find('>', open);
            address.Address = Trim(item.substr(
                open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
            std::string name = Trim(item.substr(0, open));
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
                std::string unquoted;
                for (std::size_t i = 1; i + 1 < name.size(); ++i) {
                    if (name[i] == '\\' && i + 2 < name.size()) ++i;
                    unquoted += name[i];
                }
                name = unquoted;
            }
            address.Name = name;
        }
        if (address.Address.empty() && address.Name.empty()) continue;
        result.push_back(address);
    }
    return result;
}

std::string EncodeHeaderValue(const std::string &value, std::size_t headerNameLength) {
    const std::string line = SingleLine(value);
    if (IsPlainAscii(line) && headerNameLength + line.size() <= kMaxPlainHeader) return line;
    return EncodedWords(line, headerNameLength);
}

std::string FormatAddress(const MailAddress &address, std::size_t column, std::size_t following) {
    const std::string addr = SingleLine(address.Address);
    const std::string name = SingleLine(address.Name);
    if (name.empty()) return addr;
    std::string shown;
    if (!IsPlainAscii(name)) {
        shown = EncodedWords(name, column);
        const auto fold = shown.rfind("\r\n");
        const std::size_t lastLine = fold == std::string::npos ? column + shown.size()
                                                               : shown.size() - fold - 2;
        const std::string tail = "<" + addr + ">";
        const bool fits = lastLine + 1 + tail.size() + following <= kMaxEncodedLine;
        return shown + (fits ? " " : "\r\n ") + tail;
    } else if (NeedsQuoting(name)) {
        shown = "\"";
        for (char c : name) {
            if (c == '"' || c == '\\') shown += '\\';
            shown += c;
        }
        shown += "\"";
    } else {
        shown = name;
    }
    return shown + " <" + addr + ">";
}

std::string EncodeQuotedPrintable(const std::vector<std::string> &lines) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const std::string &line : lines) {
        std::string encoded;
        std::size_t column = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const auto u = static_cast<unsigned char>(line[i]);
            const bool last = i + 1 == line.size();
            std::string piece;
            // Blanks stay literal except at the end of a line, where transports may strip them.
            if ((u >= 33 && u <= 126 && u != '=') || ((u == ' ' || u == '\t') && !last)) {
                piece = static_cast<char>(u);
            } else {
                piece = {'=', kHex[u >> 4], kHex[u & 15]};
            }
            // Room for a soft line break ("=") after the piece, unless it ends the line.
            const std::size_t limit = last ? kMaxQpLine : kMaxQpLine - 1;
            if (column + piece.size() > limit) {
                encoded += "=\r\n";
                column = 0;
            }
            encoded += piece;
            column += piece.size();
        }
        out += encoded + "\r\n";
    }
    return out;
}

std::string FormatMailDate(std::time_t moment) {
    static const char *const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    localtime_r(&moment, &local);
    const long offset = local.tm_gmtoff / 60;
    const long absOffset = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', absOffset / 60,
                  absOffset % 60);
    return text;
}

}  // namespace kivra::mail
