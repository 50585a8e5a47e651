// Grid fills of TDBServerInfo: each sorts its table in place under its family's sort state, then
// writes one row per record (from row 1; row 0 and the columns belong to the view) and the row
// count. Numbers are formatted into stack buffers and date-times taken from a cache of their
// texts, so a fill allocates nothing per cell beyond the cell's own text in the grid's store.
// The grid's signals are held for the whole fill, so a view sees one change per fill.

#include "DBServerInfoSource.h"

#include "DateTimeText.h"
#include "RecordCounters.h"
#include "TStringTable.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using kivra::Less32;
using kivra::Less64;

// The date-time texts of the fills, remembered by value across fills: a session's login time is
// formatted once, not at every poll. Fills run on the main thread; each thread has its own.
kivra::DateTimeTextCache &DateTexts() {
    thread_local kivra::DateTimeTextCache cache;
    return cache;
}

// Writes the cells of one row of a grid.
class RowWriter {
public:
    RowWriter(TStringTable &grid, int row) : Grid(grid), Row(row) {}

    template <std::size_t N> void Text(int col, const char (&field)[N]) {
        Grid.SetCells(col, Row, field, strnlen(field, N));
    }
    void Literal(int col, const char *text, std::size_t length) {
        Grid.SetCells(col, Row, text, length);
    }
    void Number(int col, std::int64_t value) {
        char buf[24];
        const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
        Grid.SetCells(col, Row, buf, static_cast<std::size_t>(end - buf));
    }
    void Date(int col, TDateTime value) {
        std::size_t length = 0;
        const char *text = DateTexts().Text(value, length);
        Grid.SetCells(col, Row, text, length);
    }
    // Domain\user when both are present, otherwise empty.
    template <std::size_t N>
    void WindowsLogin(int col, const char (&domain)[N], const char (&user)[N]) {
        const std::size_t d = strnlen(domain, N), u = strnlen(user, N);
        if (d == 0 || u == 0) {
            Grid.SetCells(col, Row, "", 0);
            return;
        }
        char buf[2 * N + 1];
        std::memcpy(buf, domain, d);
        buf[d] = '\\';
        std::memcpy(buf + d + 1, user, u);
        Grid.SetCells(col, Row, buf, d + 1 + u);
    }
    // "L" blocked, "I" idle (no counter moved since the previous poll), "A" active.
    template <typename R> void State(int col, const R &r) {
        const char *letter = r.BlockedBy != 0 ? "L"
                             : (r.CPU == r.PrevCPU && r.MemUsage == r.PrevMemUsage &&
                                r.PhysicalIO == r.PrevPhysicalIO)
                                 ? "I"
                                 : "A";
        Grid.SetCells(col, Row, letter, 1);
    }

private:
    TStringTable &Grid;
    int Row;
};

// Holds the grid's signals for the duration of a fill.
class UpdateScope {
public:
    explicit UpdateScope(TStringTable &grid) : Grid(grid) { Grid.BeginUpdate(); }
    ~UpdateScope() { Grid.EndUpdate(); }
    UpdateScope(const UpdateScope &) = delete;
    UpdateScope &operator=(const UpdateScope &) = delete;

private:
    TStringTable &Grid;
};

// Sorts the table in place, stably, as the C library's merge sort does; but the records already
// in order at its start stay where they are: only the rest is sorted, then merged into them from
// the end. A table that the last fill sorted and the merge changed a little (new sessions at its
// end) costs about one comparison a record instead of a whole sort. Equal records keep their
// order either way, so the result is the same.
void SortTable(AllocatedBuffer &table, int (*compare)(const void *, const void *)) {
    if (!table.Valid || table.Count < 2) return;
    const int count = table.Count;
    const std::size_t size = table.ElementSize;
    int ordered = 1;  // records at the start already in order
    while (ordered < count && compare(table.At(ordered - 1), table.At(ordered)) <= 0) ++ordered;
    if (ordered == count) return;
    if (ordered < count / 2) {
        std::qsort(table.Data, static_cast<std::size_t>(count), size, compare);
        return;
    }
    const int rest = count - ordered;
    std::qsort(table.At(ordered), static_cast<std::size_t>(rest), size, compare);
    // The sorted rest aside, then from the end the greater of the two runs' last records; on a
    // tie the rest's record goes last, so the records in order keep their place before it.
    thread_local std::vector<char> aside;
    if (aside.size() < static_cast<std::size_t>(rest) * size)
        aside.resize(static_cast<std::size_t>(rest) * size);
    std::memcpy(aside.data(), table.At(ordered), static_cast<std::size_t>(rest) * size);
    const auto restAt = [&](int j) { return aside.data() + static_cast<std::size_t>(j) * size; };
    int i = ordered - 1, j = rest - 1, out = count - 1;
    while (j >= 0) {
        if (i >= 0 && compare(table.At(i), restAt(j)) > 0)
            std::memcpy(table.At(out--), table.At(i--), size);
        else
            std::memcpy(table.At(out--), restAt(j--), size);
    }
}

int CountOf(const AllocatedBuffer &table) { return table.Valid ? table.Count : 0; }

// CPU, its delta, memory, its delta, physical IO, its delta from column first on.
template <typename R> void WriteCounterColumns(RowWriter &w, int first, const R &r, bool baseline) {
    w.Number(first, kivra::ShownCPU(r, baseline));
    w.Number(first + 1, Less64(r.CPU, r.PrevCPU));
    w.Number(first + 2, r.MemUsage);
    w.Number(first + 3, Less64(r.MemUsage, r.PrevMemUsage));
    w.Number(first + 4, kivra::ShownPhysicalIO(r, baseline));
    w.Number(first + 5, Less64(r.PhysicalIO, r.PrevPhysicalIO));
}

// The columns a user row and a database row share, from the session count to the blocker.
template <typename R>
void WriteAggregateColumns(RowWriter &w, int first, const R &r, bool baseline) {
    w.Number(first, r.Processes);
    w.Number(first + 1, Less64(r.Processes, r.PrevProcesses));
    w.Date(first + 2, r.EarliestLogin);
    w.Date(first + 3, r.LatestActivity);
    WriteCounterColumns(w, first + 4, r, baseline);
    w.Number(first + 10, r.BlockedBy);
}

void WriteSessionRow(TStringTable &grid, int row, const stProcessInfo &p, bool baseline,
                     bool blockedList) {
    RowWriter w(grid, row);
    if (blockedList)
        w.Literal(0, "L", 1);
    else
        w.State(0, p);
    w.Number(1, p.SPID);
    w.Text(2, p.LoginName);
    w.Text(3, p.HostName);
    w.Text(4, p.DatabaseName);
    w.Text(5, p.Command);
    w.Text(6, p.Status);
    w.Text(7, p.ProgramName);
    w.Number(8, p.Threads);
    w.Number(9, Less32(p.Threads, p.PrevThreads));
    w.Date(10, p.LoginTime);
    w.Date(11, p.LastBatch);
    WriteCounterColumns(w, 12, p, baseline);
    w.Number(18, p.BlockedBy);
    w.Number(19, p.OpenTran);
    w.Number(20, p.WaitTime);
    w.Text(21, p.HostProcess);
    w.WindowsLogin(22, p.NTDomain, p.NTUserName);
    w.Text(23, p.NetLibrary);
    w.Text(24, p.NetAddress);
}

template <std::size_t N> bool SameText(const char (&field)[N], const char *text) {
    return text && std::strncmp(field, text, N) == 0 && strnlen(text, N) < N;
}

enum class Rows { SetFirst, Raise, SetFirstFixTitle };

// The frame of every fill: sort the table (unless compare is null) and announce the new order,
// write the records that keep accepts with write(row, record) from row 1 on, and leave the row
// count at the rows written + 1. Rows::SetFirst sets the row count to the table size + 1 before
// the first row, Rows::Raise raises it whenever the next row would not fit, and
// Rows::SetFirstFixTitle is SetFirst that also makes row 0 fixed again when rows were written.
template <typename R, typename Keep, typename Write>
void SortAndFill(TDBServerInfo &model, AllocatedBuffer &table,
                 int (*compare)(const void *, const void *), TStringTable &grid, Rows rows,
                 Keep keep, Write write) {
    UpdateScope hold(grid);
    if (compare) {
        SortTable(table, compare);
        model.InvalidateIndexes();
    }
    const int count = CountOf(table);
    DateTexts().Reserve(2 * static_cast<std::size_t>(count));  // two date-times a row at most
    if (rows != Rows::Raise) grid.SetRowCount(count + 1);
    int row = 0;
    for (int i = 0; i < count; ++i) {
        const R &record = table.Item<R>(i);
        if (!keep(record)) continue;
        ++row;
        if (rows == Rows::Raise && grid.RowCount() < row + 1) grid.SetRowCount(row + 1);
        write(row, record);
    }
    if (rows == Rows::SetFirstFixTitle && row > 0) grid.SetFixedRows(1);
    grid.SetRowCount(row + 1);
}

auto Every = [](const auto &) { return true; };

}  // namespace

void TDBServerInfo::FillProcessGrid(TStringTable *grid) {
    const bool baseline = ProcessBaselineMode;
    SortAndFill<stProcessInfo>(*this, *ProcessTable, CompareProcesses, *grid, Rows::SetFirst, Every,
                               [&](int row, const stProcessInfo &p) {
                                   WriteSessionRow(*grid, row, p, baseline, false);
                               });
}

void TDBServerInfo::FillBlockedProcessGrid(TStringTable *grid) {
    const bool baseline = ProcessBaselineMode;
    SortAndFill<stProcessInfo>(
        *this, *ProcessTable, CompareProcesses, *grid, Rows::SetFirst,
        [](const stProcessInfo &p) { return p.BlockedBy != 0; },
        [&](int row, const stProcessInfo &p) { WriteSessionRow(*grid, row, p, baseline, true); });
}

void TDBServerInfo::FillDatabaseProcessGrid(const char *databaseName, TStringTable *grid) {
    const bool baseline = ProcessBaselineMode;
    SortAndFill<stProcessInfo>(
        *this, *ProcessTable, CompareFilteredProcesses, *grid, Rows::Raise,
        [&](const stProcessInfo &p) { return SameText(p.DatabaseName, databaseName); },
        [&](int row, const stProcessInfo &p) { WriteSessionRow(*grid, row, p, baseline, false); });
}

void TDBServerInfo::FillUserProcessGrid(const char *loginName, const char *netAddress,
                                        TStringTable *grid) {
    const bool baseline = ProcessBaselineMode;
    SortAndFill<stProcessInfo>(
        *this, *ProcessTable, CompareFilteredProcesses, *grid, Rows::SetFirst,
        [&](const stProcessInfo &p) {
            return SameText(p.LoginName, loginName) && SameText(p.NetAddress, netAddress);
        },
        [&](int row, const stProcessInfo &p) { WriteSessionRow(*grid, row, p, baseline, false); });
}

void TDBServerInfo::FillThreadGrid(int spid, TStringTable *grid) {
    // Not sorted: the threads stay in the order the last poll's rows arrived.
    SortAndFill<stThreadInfo>(
        *this, *ThreadTable, nullptr, *grid, Rows::SetFirstFixTitle,
        [spid](const stThreadInfo &t) { return t.SPID == spid; },
        [&](int row, const stThreadInfo &t) {
            RowWriter w(*grid, row);
            w.Number(0, t.ECID);
            w.Text(1, t.DatabaseName);
            w.Text(2, t.LastWaitType);
            w.Text(3, t.WaitResource);
            w.Number(4, t.WaitTime);
        });
}

void TDBServerInfo::FillUserGrid(TStringTable *grid) {
    const bool baseline = UserBaselineMode;
    SortAndFill<stUserInfo>(*this, *UserTable, CompareUsers, *grid, Rows::SetFirst, Every,
                            [&](int row, const stUserInfo &u) {
                                RowWriter w(*grid, row);
                                w.State(0, u);
                                w.Text(1, u.LoginName);
                                w.Text(2, u.HostName);
                                WriteAggregateColumns(w, 3, u, baseline);
                                w.WindowsLogin(14, u.NTDomain, u.NTUserName);
                                w.Text(15, u.NetLibrary);
                                w.Text(16, u.NetAddress);
                            });
}

void TDBServerInfo::FillDatabaseGrid(TStringTable *grid) {
    const bool baseline = DatabaseBaselineMode;
    SortAndFill<stDatabaseInfo>(*this, *DatabaseTable, CompareDatabases, *grid, Rows::SetFirst,
                                Every, [&](int row, const stDatabaseInfo &d) {
                                    RowWriter w(*grid, row);
                                    w.State(0, d);
                                    w.Text(1, d.DatabaseName);
                                    WriteAggregateColumns(w, 2, d, baseline);
                                });
}
