#include "BareOdbcFetch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Require(SQLRETURN rc, const char *what) {
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        std::fprintf(stderr, "bare ODBC fetch: %s failed (%d)\n", what, static_cast<int>(rc));
        std::exit(2);
    }
}

}  // namespace

BareOdbcFetch::BareOdbcFetch(const std::string &odbcConnectionString) {
    Require(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env), "SQLAllocHandle(ENV)");
    SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    Require(SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc), "SQLAllocHandle(DBC)");
    std::string cs = odbcConnectionString;
    Require(SQLDriverConnect(Dbc, nullptr, reinterpret_cast<SQLCHAR *>(&cs[0]), SQL_NTS, nullptr, 0,
                             nullptr, SQL_DRIVER_NOPROMPT),
            "SQLDriverConnect");
}

BareOdbcFetch::~BareOdbcFetch() {
    SQLDisconnect(Dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, Env);
}

long BareOdbcFetch::Fetch(const std::string &sql, Method method, std::size_t blockRows) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    Require(SQLAllocHandle(SQL_HANDLE_STMT, Dbc, &stmt), "SQLAllocHandle(STMT)");
    std::string text = sql;
    Require(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(&text[0]), SQL_NTS), "SQLExecDirect");
    SQLSMALLINT columns = 0;
    Require(SQLNumResultCols(stmt, &columns), "SQLNumResultCols");
    Sum = 0;
    const long rows = method == Method::GetData
                          ? FetchGetData(stmt, columns)
                          : FetchBound(stmt, columns, blockRows, method == Method::BoundWideBlock);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return rows;
}

long BareOdbcFetch::FetchBound(SQLHSTMT stmt, SQLSMALLINT columns, std::size_t blockRows,
                               bool wide) {
    // The buffers stay from one fetch to the next: a poll allocates nothing once they are large
    // enough.
    std::vector<BoundColumn> &bound = Bound;
    bound.resize(static_cast<std::size_t>(columns));
    for (SQLSMALLINT i = 0; i < columns; ++i) {
        SQLSMALLINT type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        Require(SQLDescribeCol(stmt, static_cast<SQLUSMALLINT>(i + 1), nullptr, 0, nullptr, &type,
                               &size, &digits, &nullable),
                "SQLDescribeCol");
        BoundColumn &c = bound[static_cast<std::size_t>(i)];
        switch (type) {
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIT:
            c.CType = SQL_C_SLONG;
            c.Width = sizeof(SQLINTEGER);
            break;
        case SQL_BIGINT:
            c.CType = SQL_C_SBIGINT;
            c.Width = sizeof(SQLBIGINT);
            break;
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATETIME:
            c.CType = SQL_C_TYPE_TIMESTAMP;
            c.Width = sizeof(SQL_TIMESTAMP_STRUCT);
            break;
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_REAL:
            c.CType = SQL_C_DOUBLE;
            c.Width = sizeof(double);
            break;
        case SQL_WCHAR:
        case SQL_WVARCHAR:
            if (wide) {  // UTF-16 of up to size code units
                c.CType = SQL_C_WCHAR;
                c.Width = static_cast<SQLLEN>(size + 1) * 2;
                break;
            }
            [[fallthrough]];
        default:  // texts, as UTF-8 of up to size characters
            c.CType = SQL_C_CHAR;
            c.Width = static_cast<SQLLEN>(size) * 4 + 1;
            break;
        }
        if (c.Values.size() < static_cast<std::size_t>(c.Width) * blockRows)
            c.Values.resize(static_cast<std::size_t>(c.Width) * blockRows);
        if (c.Indicators.size() < blockRows) c.Indicators.resize(blockRows);
    }
    SQLULEN fetched = 0;
    if (blockRows > 1) {
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE,
                       reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
        Require(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                               reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(blockRows)), 0),
                "SQL_ATTR_ROW_ARRAY_SIZE");
        SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    }
    for (SQLSMALLINT i = 0; i < columns; ++i) {
        BoundColumn &c = bound[static_cast<std::size_t>(i)];
        Require(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(i + 1), c.CType, c.Values.data(),
                           c.Width, c.Indicators.data()),
                "SQLBindCol");
    }
    long rows = 0;
    for (;;) {
        fetched = 1;
        const SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA) break;
        Require(rc, "SQLFetch");
        // Every cell is looked at once, through its indicator.
        for (const BoundColumn &c : bound)
            for (SQLULEN r = 0; r < fetched; ++r) Sum += c.Indicators[r] > 0 ? c.Indicators[r] : 0;
        rows += static_cast<long>(fetched);
    }
    return rows;
}

long BareOdbcFetch::FetchGetData(SQLHSTMT stmt, SQLSMALLINT columns) {
    char buf[1024];
    SQLLEN ind = 0;
    long rows = 0;
    while (SQLFetch(stmt) == SQL_SUCCESS) {
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
            SQLGetData(stmt, c, SQL_C_CHAR, buf, sizeof buf, &ind);
            Sum += ind > 0 ? ind : 0;
        }
        ++rows;
    }
    return rows;
}
