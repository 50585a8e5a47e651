#pragma once
// BareOdbcFetch: the yardstick for the database layer. A minimal ODBC program that runs one query
// and fetches every column of every row, with none of the monitor's code: each column bound to a
// buffer of its natural C type, the rows fetched in blocks (a block cursor over column-wise
// arrays), and no value kept once a block has been read. With a block of one row it is the
// classic SQLBindCol + SQLFetch loop; GetData reads every cell with SQLGetData instead. The bound
// buffers are kept from one fetch to the next, as a program that polls would keep them.
//
// Threads: one thread at a time. Owns its ODBC handles. Any ODBC failure ends the process with
// a message: it is a benchmark, not a client.

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <string>
#include <vector>

class BareOdbcFetch {
public:
    // BoundBlock: texts as UTF-8 (SQL_C_CHAR, the driver converts); BoundWideBlock: the same, but
    // the server's Unicode texts (nvarchar) as UTF-16 (SQL_C_WCHAR), as they come over the wire.
    enum class Method { BoundBlock, BoundWideBlock, GetData };

    // Connects with an ODBC connection string ("DRIVER=...;SERVER=...;...").
    explicit BareOdbcFetch(const std::string &odbcConnectionString);
    ~BareOdbcFetch();
    BareOdbcFetch(const BareOdbcFetch &) = delete;
    BareOdbcFetch &operator=(const BareOdbcFetch &) = delete;

    // Runs sql and reads its first result to the end; returns the rows read.
    long Fetch(const std::string &sql, Method method = Method::BoundBlock,
               std::size_t blockRows = 256);

    // Bytes of text and values seen by the last Fetch (keeps the reads from being optimised away).
    long long Checksum() const { return Sum; }

private:
    long FetchBound(SQLHSTMT stmt, SQLSMALLINT columns, std::size_t blockRows, bool wide);
    long FetchGetData(SQLHSTMT stmt, SQLSMALLINT columns);

    struct BoundColumn {
        SQLSMALLINT CType = SQL_C_CHAR;
        SQLLEN Width = 0;
        std::vector<char> Values;
        std::vector<SQLLEN> Indicators;
    };
    std::vector<BoundColumn> Bound;

    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
    long long Sum = 0;
};
