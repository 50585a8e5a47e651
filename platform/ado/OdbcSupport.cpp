#include "OdbcSupport.h"

#include <mutex>
#include <vector>

namespace kivra::odbc {

WideText ToWide(const std::string &utf8) {
    WideText out;
    out.reserve(utf8.size());
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const std::size_t n = utf8.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned c = p[i];
        std::size_t len = 0;
        char32_t cp = 0, least = 0;
        if (c < 0x80) {
            len = 1, cp = c;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2, cp = c & 0x1F, least = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3, cp = c & 0x0F, least = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4, cp = c & 0x07, least = 0x10000;
        }
        bool ok = len > 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            ok = (p[i + k] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        ok = ok && cp >= least && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (!ok) {
            out.push_back(static_cast<SQLWCHAR>(c));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<SQLWCHAR>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<SQLWCHAR>(cp));
        }
        i += len;
    }
    return out;
}

SQLHENV Environment() {
    static SQLHENV env = [] {
        SQLHENV h = SQL_NULL_HENV;
        if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h)))
            throw EOleException("The ODBC driver manager could not allocate an environment",
                                "ODBC");
        SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return h;
    }();
    return env;
}

const std::string &DriverName() {
    static const std::string name = [] {
        std::vector<std::string> installed;
        SQLCHAR desc[256], attrs[1024];
        SQLSMALLINT descLen = 0, attrsLen = 0;
        SQLUSMALLINT direction = SQL_FETCH_FIRST;
        while (Succeeded(SQLDrivers(Environment(), direction, desc, sizeof desc, &descLen, attrs,
                                    sizeof attrs, &attrsLen))) {
            installed.emplace_back(reinterpret_cast<char *>(desc));
            direction = SQL_FETCH_NEXT;
        }
        for (const char *preferred :
             {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server"})
            for (const auto &d : installed)
                if (d == preferred) return d;
        return std::string("FreeTDS");
    }();
    return name;
}

std::string FromWide(const SQLWCHAR *text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    // The wide call: on a connection opened with the wide connect, the driver manager narrows
    // the narrow call's text by dropping every character's high byte.
    std::string out;
    for (SQLSMALLINT rec = 1;; ++rec) {
        SQLWCHAR state[6] = {0};
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> text(1024);
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, rec, state, &native, text.data(),
                                      static_cast<SQLSMALLINT>(text.size()), &len);
        if (rc == SQL_SUCCESS_WITH_INFO && len >= static_cast<SQLSMALLINT>(text.size())) {
            text.resize(static_cast<std::size_t>(len) + 1);
            rc = SQLGetDiagRecW(handleType, handle, rec, state, &native, text.data(),
                                static_cast<SQLSMALLINT>(text.size()), &len);
        }
        if (!Succeeded(rc)) break;
        std::size_t n = 0;
        while (n < text.size() && text[n] != 0) ++n;
        if (!out.empty()) out += '\n';
        out += FromWide(text.data(), n);
    }
    return out;
}

void Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char *fallback) {
    if (Succeeded(rc) || rc == SQL_NO_DATA) return;
    std::string message = handle ? Diagnostics(handleType, handle) : std::string();
    if (message.empty()) message = fallback;
    throw EOleException(message, DriverName());
}

}  // namespace kivra::odbc
