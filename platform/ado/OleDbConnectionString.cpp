#include "OleDbConnectionString.h"

#include <cctype>
#include <stdexcept>
#include <strings.h>

namespace kivra {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string &s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool EqualNoCase(const std::string &a, const std::string &b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

const char *const kDefaultSqlServerPort = "1433";

bool IsMicrosoftDriver(const std::string &driverName) {
    return driverName.find("ODBC Driver") != std::string::npos &&
           driverName.find("SQL Server") != std::string::npos;
}

}  // namespace

std::string QuoteOleDbValue(const std::string &value) {
    // A leading "=" would join the "=" after the key into "==", a literal "=" of the key.
    bool needs = value.empty()
                     ? false
                     : (IsBlank(value.front()) || IsBlank(value.back()) || value.front() == '=' ||
                        value.find_first_of(";'\"") != std::string::npos);
    if (!needs) return value;
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

ConnectionKeywords ParseOleDbConnectionString(const std::string &text) {
    ConnectionKeywords result;
    std::size_t i = 0, n = text.size();
    while (i < n) {
        // Key: up to a single "="; "==" stands for a literal "=" in a key.
        std::string key;
        while (i < n && text[i] != ';') {
            if (text[i] == '=') {
                if (i + 1 < n && text[i + 1] == '=') {
                    key += '=';
                    i += 2;
                    continue;
                }
                break;
            }
            key += text[i++];
        }
        if (i >= n || text[i] == ';') {  // a bare word without "=": skipped
            ++i;
            continue;
        }
        ++i;  // the "="
        while (i < n && IsBlank(text[i])) ++i;
        std::string value;
        if (i < n && (text[i] == '"' || text[i] == '\'')) {
            const char q = text[i++];
            while (i < n) {
                if (text[i] == q) {
                    if (i + 1 < n && text[i + 1] == q) {
                        value += q;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            while (i < n && text[i] != ';') ++i;  // blanks after the closing quote
        } else {
            std::size_t start = i;
            while (i < n && text[i] != ';') ++i;
            value = Trim(text.substr(start, i - start));
        }
        if (i < n) ++i;  // the ";"
        key = Trim(key);
        if (!key.empty()) result.emplace_back(key, value);
    }
    return result;
}

std::string KeywordValue(const ConnectionKeywords &keywords, const std::string &key,
                         const std::string &fallback) {
    // The last occurrence wins, as with the OLE DB parser.
    for (auto it = keywords.rbegin(); it != keywords.rend(); ++it)
        if (EqualNoCase(it->first, key)) return it->second;
    return fallback;
}

std::string QuoteOdbcValue(const std::string &value, OdbcBraces braces) {
    bool needs = value.empty() || IsBlank(value.front()) || IsBlank(value.back()) ||
                 value.find_first_of(";{}=") != std::string::npos;
    return needs ? BraceOdbcValue(value, braces) : value;
}

std::string BraceOdbcValue(const std::string &value, OdbcBraces braces) {
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}' && braces == OdbcBraces::Doubled) out += '}';
    }
    if (braces == OdbcBraces::UntilBraceSemicolon && value.find("};") != std::string::npos)
        throw std::invalid_argument(
            "A connection value holding \"};\" cannot be passed to this ODBC driver");
    return out + "}";
}

std::string TranslateToOdbc(const ConnectionKeywords &keywords, const std::string &driverName) {
    const bool microsoft = IsMicrosoftDriver(driverName);
    const OdbcBraces braces = microsoft ? OdbcBraces::Doubled : OdbcBraces::UntilBraceSemicolon;
    auto quote = [braces](const std::string &v) { return QuoteOdbcValue(v, braces); };
    std::string source = Trim(KeywordValue(keywords, "Data Source"));
    std::string host = source, port, instance;
    if (auto comma = source.find(','); comma != std::string::npos) {
        host = Trim(source.substr(0, comma));
        port = Trim(source.substr(comma + 1));
    } else if (auto slash = source.find('\\'); slash != std::string::npos) {
        host = Trim(source.substr(0, slash));
        instance = Trim(source.substr(slash + 1));
    }
    if (host.empty() || host == "." || EqualNoCase(host, "(local)")) host = "127.0.0.1";
    // The default instance: without a port or an instance name the port is 1433. Every driver is
    // told so, since FreeTDS left to itself takes the port of its configuration, which Debian's
    // stock one does not set.
    if (port.empty() && instance.empty()) port = kDefaultSqlServerPort;

    std::string out = "DRIVER=" + quote(driverName) + ";";
    if (microsoft) {
        std::string server = host;
        if (!port.empty()) server += "," + port;
        if (!instance.empty()) server += "\\" + instance;
        out += "SERVER=" + quote(server) + ";";
    } else {
        std::string server = instance.empty() ? host : host + "\\" + instance;
        out += "SERVER=" + quote(server) + ";";
        if (!port.empty()) out += "PORT=" + quote(port) + ";";
    }
    std::string catalog = KeywordValue(keywords, "Initial Catalog");
    if (!catalog.empty()) out += "DATABASE=" + quote(catalog) + ";";
    std::string app = KeywordValue(keywords, "Application Name");
    if (!app.empty()) out += "APP=" + quote(app) + ";";

    std::string integrated = KeywordValue(keywords, "Integrated Security");
    if (EqualNoCase(integrated, "SSPI") || EqualNoCase(integrated, "true") ||
        EqualNoCase(integrated, "yes")) {
        out += "Trusted_Connection=Yes;";
    } else {
        // Always braced, so that no character of a credential is read as syntax.
        out += "UID=" + BraceOdbcValue(KeywordValue(keywords, "User ID"), braces) +
               ";PWD=" + BraceOdbcValue(KeywordValue(keywords, "Password"), braces) + ";";
    }
    if (microsoft)
        out += "Encrypt=no;";
    else
        out += "ClientCharset=UTF-8;";
    // FreeTDS asks for 4 KB packets unless told; the largest a server takes cuts the receive
    // calls and packet handling of a large result by about eight.
    if (!microsoft) out += "PacketSize=32767;";
    return out;
}

}  // namespace kivra
