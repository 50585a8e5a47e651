#include "ADOConnection.h"

#include "ConnectionSocket.h"
#include "OdbcSupport.h"
#include "OleDbConnectionString.h"

#include <stdexcept>

using namespace kivra;

TADOConnection::TADOConnection() = default;

TADOConnection::~TADOConnection() {
    try {
        SetConnected(false);
    } catch (...) {
    }
}

const std::string &TADOConnection::DriverName() { return odbc::DriverName(); }

std::string TADOConnection::OdbcConnectionString() const {
    return TranslateToOdbc(ParseOleDbConnectionString(ConnectionString), odbc::DriverName());
}

bool TADOConnection::Dead() const {
    if (!Dbc) return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttr(static_cast<SQLHDBC>(Dbc), SQL_ATTR_CONNECTION_DEAD,
                                           &dead, SQL_IS_UINTEGER, nullptr);
    return odbc::Succeeded(rc) && dead == SQL_CD_TRUE;
}

void TADOConnection::SetConnected(bool connected) {
    if (connected == Connected()) return;
    if (!connected) {
        SQLHDBC dbc = static_cast<SQLHDBC>(Dbc);
        Dbc = nullptr;
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        AbortState->SetSocket(-1);
        return;
    }
    std::string text;
    try {
        text = OdbcConnectionString();
    } catch (const std::invalid_argument &e) {
        throw EOleException(e.what(), odbc::DriverName());
    }
    SQLHDBC dbc = SQL_NULL_HDBC;
    odbc::Check(SQLAllocHandle(SQL_HANDLE_DBC, odbc::Environment(), &dbc), SQL_HANDLE_ENV,
                odbc::Environment(), "Could not allocate a connection handle");
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(LoginTimeout)), 0);
    SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(LoginTimeout)), 0);
    // Through the wide call: the narrow one hands the text to the driver in no defined
    // character set (FreeTDS reads it as Latin-1, whatever ClientCharset says), which garbles
    // every login, password or name outside ASCII.
    odbc::WideText wide = odbc::ToWide(text);
    const odbc::SocketSnapshot before = odbc::TakeSocketSnapshot();
    SQLWCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, wide.data(), SQL_NTS, out,
                                     static_cast<SQLSMALLINT>(sizeof out / sizeof out[0]), &outLen,
                                     SQL_DRIVER_NOPROMPT);
    if (!odbc::Succeeded(rc)) {
        std::string message = odbc::Diagnostics(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (message.empty()) message = "The connection could not be opened";
        throw EOleException(message, odbc::DriverName());
    }
    Dbc = dbc;
    AbortState->SetSocket(odbc::DuplicateNewClientSocket(before));
}
