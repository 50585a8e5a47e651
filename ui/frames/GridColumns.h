#pragma once
// The column tables of the program's grids: title, width, alignment and the sort key a click on
// the title asks for. Written once and shared: the session grid serves the all-sessions and
// blocked-sessions views and the session grids of the databases and users views; the counter
// columns and the per-group columns (sessions, logins, activity, counters, locks) are one run
// each, shared by the tables that show them.
//
// What each cell holds is the model's fills' business; these tables only lay the grids out.

#include "ServerRecords.h"

#include <vector>

struct TGridColumn {
    const char *Title;
    int Width;  // pixels, on both grids of a twin unless LeftWidth is set
    bool RightAligned;
    TSortKey SortKey;   // what a click on the title sorts by
    int LeftWidth = 0;  // the frozen grid's width when it differs (0: Width)
};

struct TGridColumns {
    std::vector<TGridColumn> Columns;

    int Count() const { return static_cast<int>(Columns.size()); }
    // The key of column col; a column outside the table gives the first column's key.
    TSortKey KeyOf(int col) const {
        return col >= 0 && col < Count() ? Columns[static_cast<std::size_t>(col)].SortKey
                                         : Columns.front().SortKey;
    }
};

const TGridColumns &SessionGridColumns();   // 25 columns, state icon in column 0
const TGridColumns &DatabaseGridColumns();  // 13 columns, state icon in column 0
const TGridColumns &UserGridColumns();      // 17 columns, state icon in column 0
const TGridColumns &ThreadGridColumns();    // 5 columns, no icon; keys unused
