#pragma once
// TADODataSet: one query on a TADOConnection with a client-side cursor.
//
// Open runs CommandText and reads the first result set that has columns wholly into memory,
// then releases the statement: moving through the rows and reading fields never touches the
// network, so the rows may be read on another thread than the one that opened the query.
// Results without columns before it (row counts) are skipped; results after it are discarded.
//
// What a result needs in memory (its column stores, the buffers the driver fetches into) is kept
// when it is closed and reused by the next Open: a query run again and again (the process query
// at every poll) allocates nothing once its stores have grown to the size of its results.
//
// Threads: one thread at a time; the connection's user keeps its calls apart. Open raises
// EOleException on a server error, a time-out or a closed connection.

#include "ADOField.h"

#include <memory>
#include <string>
#include <vector>

class TADOConnection;

enum TCommandType { cmdUnknown, cmdText };

class TADODataSet {
public:
    TADODataSet();
    ~TADODataSet();
    TADODataSet(const TADODataSet &) = delete;
    TADODataSet &operator=(const TADODataSet &) = delete;

    TADOConnection *Connection = nullptr;  // not owned
    TCommandType CommandType = cmdText;    // both kinds run the same way here
    std::string CommandText;
    int CommandTimeout = -1;  // seconds for this command; below 0 the connection's

    // Runs the command and positions on the first row; opening an open data set does nothing.
    void Open();
    void SetActive(bool active);
    bool Active() const { return IsActive; }
    // Discards the result; the fields given out before are released.
    void Close();

    bool Eof() const { return Row >= RowCount; }
    void Next();
    void First() { Row = 0; }
    std::size_t RecordCount() const { return RowCount; }
    int FieldCount() const { return static_cast<int>(ColumnCount); }

    // The column's field, found without regard to case; raises std::runtime_error when the
    // result has no such column or the data set is closed. A field is valid until the data set
    // is closed (its object may serve the next result's column of the same place).
    TADOField *FieldByName(const std::string &name);
    TADOField *FindField(const std::string &name);  // nullptr when absent

private:
    struct FetchBuffers;
    void ReadResult(void *stmt, int columnCount);
    bool DescribeColumns(void *stmt, int columnCount);  // true: a text column without a bound
    void FetchRowByRow(void *stmt, int columnCount);
    void FetchBlocks(void *stmt, int columnCount);
    // The first ColumnCount entries are the open result's columns; the rest, and the stores'
    // capacity, are kept for the next result.
    std::vector<std::unique_ptr<TADOColumnData>> Columns;
    std::vector<std::unique_ptr<TADOField>> Fields;
    std::size_t ColumnCount = 0;
    std::unique_ptr<FetchBuffers> Buffers;  // the bound arrays of block fetches
    std::size_t Row = 0;
    std::size_t RowCount = 0;
    bool IsActive = false;
};
