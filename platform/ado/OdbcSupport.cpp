#include "OdbcSupport.h"

#include <mutex>
#include <vector>

namespace kivra::odbc {

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

std::string Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::string out;
    for (SQLSMALLINT rec = 1;; ++rec) {
        SQLCHAR state[6] = {0};
        SQLINTEGER native = 0;
        std::vector<SQLCHAR> text(1024);
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, rec, state, &native, text.data(),
                                     static_cast<SQLSMALLINT>(text.size()), &len);
        if (rc == SQL_SUCCESS_WITH_INFO && len >= static_cast<SQLSMALLINT>(text.size())) {
            text.resize(static_cast<std::size_t>(len) + 1);
            rc = SQLGetDiagRec(handleType, handle, rec, state, &native, text.data(),
                               static_cast<SQLSMALLINT>(text.size()), &len);
        }
        if (!Succeeded(rc)) break;
        if (!out.empty()) out += '\n';
        out += reinterpret_cast<char *>(text.data());
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
