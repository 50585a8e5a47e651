#include "ADODataSet.h"

#include "ADOConnection.h"
#include "OdbcSupport.h"
#include "Utf16Text.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <strings.h>

using namespace kivra;

namespace {

constexpr SQLLEN kMaxBoundText = 8000;             // wider columns are read with SQLGetData
constexpr std::size_t kFetchBlockBytes = 1 << 20;  // bound buffers of one block fetch
constexpr SQLULEN kMaxBlockRows = 1024;

struct StatementHandle {
    SQLHSTMT Handle = SQL_NULL_HSTMT;
    ~StatementHandle() {
        if (Handle) SQLFreeHandle(SQL_HANDLE_STMT, Handle);
    }
};

TFieldKind KindOf(SQLSMALLINT type) {
    switch (type) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_BIT: return TFieldKind::Integer;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC: return TFieldKind::Float;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_DATETIME:
    case SQL_TIMESTAMP: return TFieldKind::DateTime;
    default: return TFieldKind::Text;
    }
}

SQLSMALLINT CTypeOf(TFieldKind kind) {
    switch (kind) {
    case TFieldKind::Integer: return SQL_C_SBIGINT;
    case TFieldKind::Float: return SQL_C_DOUBLE;
    case TFieldKind::DateTime: return SQL_C_TYPE_TIMESTAMP;
    case TFieldKind::Text: return SQL_C_CHAR;
    }
    return SQL_C_CHAR;
}

TDateTime FromTimestamp(const SQL_TIMESTAMP_STRUCT &t) {
    return EncodeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second,
                          static_cast<int>(t.fraction / 1000000));
}

// Whether a column of this SQL type is the server's Unicode text: such texts are bound as UTF-16
// (SQL_C_WCHAR), as they come over the wire, and made UTF-8 here; the driver's own conversion
// costs about a third of its fetch.
bool IsUnicodeText(SQLSMALLINT type) {
    return type == SQL_WCHAR || type == SQL_WVARCHAR || type == SQL_WLONGVARCHAR;
}

// The code units a bound UTF-16 cell holds: the indicator's bytes, or what the buffer of width
// bytes (terminator included) kept of a longer text.
std::size_t WideUnits(SQLLEN ind, SQLLEN width) {
    SQLLEN bytes = ind;
    if (bytes == SQL_NO_TOTAL || bytes > width - 2) bytes = width - 2;
    return bytes > 0 ? static_cast<std::size_t>(bytes) / 2 : 0;
}

const std::uint16_t *Units(const char *cell) {
    return reinterpret_cast<const std::uint16_t *>(cell);
}

// Appends one cell, given as the driver wrote it into buf with its indicator; a text cell is
// UTF-16 when wide.
void Append(TADOColumnData &c, const char *buf, SQLLEN ind, SQLLEN width, bool wide = false) {
    const bool null = ind == SQL_NULL_DATA;
    c.Nulls.push_back(null ? 1 : 0);
    switch (c.Kind) {
    case TFieldKind::Integer: {
        std::int64_t v = 0;
        if (!null) std::memcpy(&v, buf, sizeof v);
        c.Integers.push_back(v);
        break;
    }
    case TFieldKind::Float: {
        double v = 0;
        if (!null) std::memcpy(&v, buf, sizeof v);
        c.Reals.push_back(v);
        break;
    }
    case TFieldKind::DateTime: {
        SQL_TIMESTAMP_STRUCT t{};
        if (!null) std::memcpy(&t, buf, sizeof t);
        c.Reals.push_back(null ? 0.0 : FromTimestamp(t));
        break;
    }
    case TFieldKind::Text: {
        c.Offsets.push_back(static_cast<std::uint32_t>(c.Texts.size()));
        if (!null && wide) {
            const std::size_t units = WideUnits(ind, width);
            const std::size_t at = c.Texts.size();
            c.Texts.resize(at + Utf8LengthOfUtf16(Units(buf), units));
            Utf16ToUtf8(Units(buf), units, &c.Texts[at]);
        } else if (!null) {
            SQLLEN len = ind;
            if (len == SQL_NO_TOTAL || len > width - 1) len = width - 1;
            c.Texts.append(buf, static_cast<std::size_t>(len));
        }
        c.Texts.push_back('\0');
        break;
    }
    }
}

// Appends the first `rows` cells of a column-wise bound block, every row of it present; text
// cells are UTF-16 when wide.
void AppendBlock(TADOColumnData &c, const char *values, const SQLLEN *ind, SQLULEN rows,
                 SQLLEN width, bool wide) {
    const std::size_t first = c.Nulls.size();
    c.Nulls.resize(first + rows);
    std::uint8_t *nulls = c.Nulls.data() + first;
    for (SQLULEN r = 0; r < rows; ++r) nulls[r] = ind[r] == SQL_NULL_DATA ? 1 : 0;
    switch (c.Kind) {
    case TFieldKind::Integer: {
        c.Integers.resize(first + rows);
        std::int64_t *out = c.Integers.data() + first;
        std::memcpy(out, values, rows * sizeof(std::int64_t));
        for (SQLULEN r = 0; r < rows; ++r)
            if (nulls[r]) out[r] = 0;
        break;
    }
    case TFieldKind::Float: {
        c.Reals.resize(first + rows);
        double *out = c.Reals.data() + first;
        std::memcpy(out, values, rows * sizeof(double));
        for (SQLULEN r = 0; r < rows; ++r)
            if (nulls[r]) out[r] = 0;
        break;
    }
    case TFieldKind::DateTime: {
        c.Reals.resize(first + rows);
        double *out = c.Reals.data() + first;
        for (SQLULEN r = 0; r < rows; ++r) {
            SQL_TIMESTAMP_STRUCT t;
            std::memcpy(&t, values + r * sizeof t, sizeof t);
            out[r] = nulls[r] ? 0.0 : FromTimestamp(t);
        }
        break;
    }
    case TFieldKind::Text: {
        const auto cell = [&](SQLULEN r) { return values + r * static_cast<std::size_t>(width); };
        std::size_t bytes = 0;
        for (SQLULEN r = 0; r < rows; ++r) {
            if (wide) {
                bytes +=
                    (nulls[r] ? 0 : Utf8LengthOfUtf16(Units(cell(r)), WideUnits(ind[r], width))) +
                    1;
                continue;
            }
            SQLLEN len = nulls[r] ? 0 : ind[r];
            if (len == SQL_NO_TOTAL || len > width - 1) len = width - 1;
            bytes += static_cast<std::size_t>(len) + 1;
        }
        c.Offsets.resize(first + rows);
        std::uint32_t *offsets = c.Offsets.data() + first;
        std::size_t at = c.Texts.size();
        // Grown by doubling, as appending would.
        if (c.Texts.capacity() < at + bytes)
            c.Texts.reserve(std::max(at + bytes, 2 * c.Texts.capacity()));
        c.Texts.resize(at + bytes);
        char *text = &c.Texts[0];
        for (SQLULEN r = 0; r < rows; ++r) {
            offsets[r] = static_cast<std::uint32_t>(at);
            if (wide) {
                if (!nulls[r])
                    at += Utf16ToUtf8(Units(cell(r)), WideUnits(ind[r], width), text + at);
                text[at++] = '\0';
                continue;
            }
            SQLLEN len = nulls[r] ? 0 : ind[r];
            if (len == SQL_NO_TOTAL || len > width - 1) len = width - 1;
            std::memcpy(text + at, cell(r), static_cast<std::size_t>(len));
            at += static_cast<std::size_t>(len);
            text[at++] = '\0';
        }
        break;
    }
    }
}

// Empties a column's stores, keeping their memory.
void ClearColumn(TADOColumnData &c) {
    c.Integers.clear();
    c.Reals.clear();
    c.Offsets.clear();
    c.Texts.clear();
    c.Nulls.clear();
}

// Grows v to at least n elements; never shrinks it, so memory that a larger result needed is
// kept for the next one.
template <typename T> void AtLeast(std::vector<T> &v, std::size_t n) {
    if (v.size() < n) v.resize(n);
}

}  // namespace

// The arrays a block fetch binds, per column, and the row status array.
struct TADODataSet::FetchBuffers {
    std::vector<SQLLEN> Widths;       // bytes of one cell's buffer, per column
    std::vector<SQLSMALLINT> CTypes;  // the C type each column is bound as
    std::vector<std::vector<char>> Values;
    std::vector<std::vector<SQLLEN>> Indicators;
    std::vector<SQLUSMALLINT> Status;
};

TADODataSet::TADODataSet() = default;
TADODataSet::~TADODataSet() = default;

void TADODataSet::SetActive(bool active) {
    if (active)
        Open();
    else
        Close();
}

void TADODataSet::Close() {
    for (std::size_t i = 0; i < ColumnCount; ++i) ClearColumn(*Columns[i]);
    ColumnCount = 0;
    Row = RowCount = 0;
    IsActive = false;
}

void TADODataSet::Next() {
    if (Row < RowCount) ++Row;
}

TADOField *TADODataSet::FindField(const std::string &name) {
    for (std::size_t i = 0; i < ColumnCount; ++i)
        if (strcasecmp(Fields[i]->FieldName().c_str(), name.c_str()) == 0) return Fields[i].get();
    return nullptr;
}

TADOField *TADODataSet::FieldByName(const std::string &name) {
    TADOField *f = FindField(name);
    if (!f) throw std::runtime_error("Field '" + name + "' not found");
    return f;
}

void TADODataSet::Open() {
    if (IsActive) return;
    if (!Connection || !Connection->Connected())
        throw EOleException("Operation is not allowed when the object is closed.",
                            odbc::DriverName());
    SQLHDBC dbc = static_cast<SQLHDBC>(Connection->Handle());
    StatementHandle stmt;
    odbc::Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt.Handle), SQL_HANDLE_DBC, dbc,
                "Could not allocate a statement");
    const TConnectionAbort::Running running(Connection->AbortHandle());
    const int timeout = CommandTimeout >= 0 ? CommandTimeout : Connection->CommandTimeout;
    SQLSetStmtAttr(stmt.Handle, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout)), 0);

    // Wide, as the connection was opened: the driver manager would widen a narrow text byte
    // by byte.
    odbc::WideText text = odbc::ToWide(CommandText);
    SQLRETURN rc = SQLExecDirectW(stmt.Handle, text.data(), SQL_NTS);
    odbc::Check(rc, SQL_HANDLE_STMT, stmt.Handle, "The command failed");
    SQLSMALLINT columns = 0;
    if (rc != SQL_NO_DATA) {
        for (;;) {
            odbc::Check(SQLNumResultCols(stmt.Handle, &columns), SQL_HANDLE_STMT, stmt.Handle,
                        "The result could not be described");
            if (columns > 0) break;
            rc = SQLMoreResults(stmt.Handle);
            if (rc == SQL_NO_DATA) break;
            odbc::Check(rc, SQL_HANDLE_STMT, stmt.Handle, "The command failed");
        }
    }
    Close();
    if (columns > 0) {
        try {
            ReadResult(stmt.Handle, columns);
        } catch (...) {
            Close();
            throw;
        }
    }
    // Later results are discarded; their messages do not concern this query.
    while (odbc::Succeeded(SQLMoreResults(stmt.Handle))) {
    }
    IsActive = true;
    Row = 0;
}

void TADODataSet::ReadResult(void *handle, int columnCount) {
    if (DescribeColumns(handle, columnCount))
        FetchRowByRow(handle, columnCount);
    else
        FetchBlocks(handle, columnCount);
}

// Names, kinds and bound widths of the result's columns; true when a text column has no bound
// (or one above kMaxBoundText), so that the rows cannot be fetched in blocks.
bool TADODataSet::DescribeColumns(void *handle, int columnCount) {
    SQLHSTMT stmt = static_cast<SQLHSTMT>(handle);
    if (!Buffers) Buffers = std::make_unique<FetchBuffers>();
    std::vector<SQLLEN> &widths = Buffers->Widths;
    std::vector<SQLSMALLINT> &cTypes = Buffers->CTypes;
    widths.assign(static_cast<std::size_t>(columnCount), 0);
    cTypes.assign(static_cast<std::size_t>(columnCount), SQL_C_CHAR);
    bool unbounded = false;
    for (int i = 0; i < columnCount; ++i) {
        SQLWCHAR name[256] = {0};
        SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        odbc::Check(SQLDescribeColW(stmt, static_cast<SQLUSMALLINT>(i + 1), name, 256, &nameLen,
                                    &type, &size, &digits, &nullable),
                    SQL_HANDLE_STMT, stmt, "The result could not be described");
        const auto k = static_cast<std::size_t>(i);
        if (k == Columns.size()) {
            Columns.push_back(std::make_unique<TADOColumnData>());
            Fields.push_back(std::make_unique<TADOField>(Columns.back().get(), &Row));
        }
        TADOColumnData *c = Columns[k].get();
        c->Name =
            odbc::FromWide(name, std::min<std::size_t>(static_cast<std::size_t>(nameLen), 255));
        c->Kind = KindOf(type);
        SQLLEN width = 0;
        switch (c->Kind) {
        case TFieldKind::Integer: width = sizeof(std::int64_t); break;
        case TFieldKind::Float: width = sizeof(double); break;
        case TFieldKind::DateTime: width = sizeof(SQL_TIMESTAMP_STRUCT); break;
        case TFieldKind::Text:
            if (size == 0 || size > static_cast<SQLULEN>(kMaxBoundText))
                unbounded = true;
            else if (IsUnicodeText(type))
                width = (static_cast<SQLLEN>(size) + 1) * 2;  // UTF-16 of up to size code units
            else
                width = static_cast<SQLLEN>(size) * 4 + 1;  // UTF-8 of up to size characters
            break;
        }
        widths[k] = width;
        cTypes[k] = c->Kind == TFieldKind::Text && IsUnicodeText(type) ? SQL_C_WCHAR
                                                                       : CTypeOf(c->Kind);
        ColumnCount = k + 1;
    }
    return unbounded;
}

// Row by row, every cell through SQLGetData (texts in pieces of any length).
void TADODataSet::FetchRowByRow(void *handle, int columnCount) {
    SQLHSTMT stmt = static_cast<SQLHSTMT>(handle);
    std::vector<char> buf(8192);
    for (;;) {
        SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA) break;
        odbc::Check(rc, SQL_HANDLE_STMT, stmt, "The row could not be read");
        for (int i = 0; i < columnCount; ++i) {
            TADOColumnData &c = *Columns[static_cast<std::size_t>(i)];
            const auto col = static_cast<SQLUSMALLINT>(i + 1);
            SQLLEN ind = 0;
            if (c.Kind != TFieldKind::Text) {
                char cell[sizeof(SQL_TIMESTAMP_STRUCT)] = {0};
                odbc::Check(SQLGetData(stmt, col, CTypeOf(c.Kind), cell, sizeof cell, &ind),
                            SQL_HANDLE_STMT, stmt, "The field could not be read");
                Append(c, cell, ind, sizeof cell);
                continue;
            }
            std::string text;
            bool null = false;
            for (;;) {
                rc = SQLGetData(stmt, col, SQL_C_CHAR, buf.data(), static_cast<SQLLEN>(buf.size()),
                                &ind);
                if (rc == SQL_NO_DATA) break;
                odbc::Check(rc, SQL_HANDLE_STMT, stmt, "The field could not be read");
                if (ind == SQL_NULL_DATA) {
                    null = true;
                    break;
                }
                const bool more = rc == SQL_SUCCESS_WITH_INFO &&
                                  (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(buf.size()));
                text.append(buf.data(), more ? buf.size() - 1 : static_cast<std::size_t>(ind));
                if (!more) break;
            }
            Append(c, text.c_str(), null ? SQL_NULL_DATA : static_cast<SQLLEN>(text.size()),
                   static_cast<SQLLEN>(text.size()) + 1);
        }
        ++RowCount;
    }
}

// Block fetches into column-wise bound arrays, the widths and C types that DescribeColumns set.
void TADODataSet::FetchBlocks(void *handle, int columnCount) {
    SQLHSTMT stmt = static_cast<SQLHSTMT>(handle);
    std::vector<SQLLEN> &widths = Buffers->Widths;
    std::vector<SQLSMALLINT> &cTypes = Buffers->CTypes;
    std::size_t rowBytes = 0;
    for (SQLLEN w : widths) rowBytes += static_cast<std::size_t>(w) + sizeof(SQLLEN);
    const SQLULEN blockRows = std::max<SQLULEN>(
        1, std::min<SQLULEN>(kMaxBlockRows, kFetchBlockBytes / std::max<std::size_t>(rowBytes, 1)));
    auto &buffers = Buffers->Values;
    auto &indicators = Buffers->Indicators;
    auto &status = Buffers->Status;
    AtLeast(buffers, static_cast<std::size_t>(columnCount));
    AtLeast(indicators, static_cast<std::size_t>(columnCount));
    AtLeast(status, blockRows);
    SQLULEN fetched = 0;
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN),
                   0);
    odbc::Check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                               reinterpret_cast<SQLPOINTER>(blockRows), 0),
                SQL_HANDLE_STMT, stmt, "The row block could not be set");
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0);
    for (int i = 0; i < columnCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        AtLeast(buffers[k], static_cast<std::size_t>(widths[k]) * blockRows);
        AtLeast(indicators[k], blockRows);
        odbc::Check(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(i + 1), cTypes[k], buffers[k].data(),
                               widths[k], indicators[k].data()),
                    SQL_HANDLE_STMT, stmt, "The column could not be bound");
    }
    for (;;) {
        fetched = 0;
        SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA) break;
        odbc::Check(rc, SQL_HANDLE_STMT, stmt, "The rows could not be read");
        bool whole = true;  // every row of the block is present
        for (SQLULEN r = 0; r < fetched; ++r) {
            if (status[r] == SQL_ROW_ERROR)
                throw EOleException("A row of the result could not be read", odbc::DriverName());
            if (status[r] == SQL_ROW_NOROW) whole = false;
        }
        if (whole) {
            for (std::size_t k = 0; k < ColumnCount; ++k)
                AppendBlock(*Columns[k], buffers[k].data(), indicators[k].data(), fetched,
                            widths[k], cTypes[k] == SQL_C_WCHAR);
            RowCount += fetched;
            continue;
        }
        for (SQLULEN r = 0; r < fetched; ++r) {
            if (status[r] == SQL_ROW_NOROW) continue;
            for (std::size_t k = 0; k < ColumnCount; ++k)
                Append(*Columns[k], buffers[k].data() + r * static_cast<std::size_t>(widths[k]),
                       indicators[k][r], widths[k], cTypes[k] == SQL_C_WCHAR);
            ++RowCount;
        }
    }
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
}
