#include "TFrameGroupProcesses.h"

#include "DBServerInfoSource.h"
#include "ExceptionDisplay.h"
#include "TFrameProcessInfo.h"
#include "TFrameServerTitleBar.h"
#include "TFrameTwinGrids.h"
#include "TStoredSplitterLayout.h"

#include <QSplitter>

#include <algorithm>

namespace {
constexpr int kSpidColumn = 1;
}

TFrameGroupProcesses::TFrameGroupProcesses(QWidget *parent, TKind kind)
    : QWidget(parent), Kind(std::move(kind)) {}

TFrameGroupProcesses::~TFrameGroupProcesses() = default;

void TFrameGroupProcesses::Assemble(const TParts &parts) {
    FrameServerTitleBar1 = parts.TitleBar;
    GroupGrids = parts.GroupGrids;
    FrameProcessGrids = parts.ProcessGrids;
    FrameCurrentProcessInfo = parts.Pane;

    using V = TStoredSplitterLayout;
    Layout = new TStoredSplitterLayout(parts.Splitter, Kind.LayoutKey,
                                       {{"TopSplitValue", V::SplitterTop, 1},
                                        {"BottomSplitValue", V::SplitterTop, 2},
                                        {"TopGrid", V::PanelHeight, 0},
                                        {"MiddleGrid", V::PanelHeight, 1},
                                        {"MiddleGridTop", V::PanelTop, 1},
                                        {"BottomGrid", V::PanelHeight, 2}},
                                       1, {Kind.DesignTopHeight, 0, Kind.DesignBottomHeight});
    Layout->Restore();
    SetupGroupGrid();
    SetupProcessGrid();

    for (TStringGrid *grid : {GroupGrids->sgLeft, GroupGrids->sgRight})
        GroupGrids->BindViewHandlers(
            grid,
            [this](TStringGrid *s, int c, int r, bool &ok) { GroupGridSelectCell(s, c, r, ok); },
            [this](TStringGrid *s, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
                GroupGridMouseDown(s, x, y);
            });
    for (TStringGrid *grid : {FrameProcessGrids->sgLeft, FrameProcessGrids->sgRight})
        FrameProcessGrids->BindViewHandlers(
            grid,
            [this](TStringGrid *s, int c, int r, bool &ok) { ProcessGridSelectCell(s, c, r, ok); },
            [this](TStringGrid *s, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
                ProcessGridMouseDown(s, x, y);
            });
    connect(parts.Splitter, &QSplitter::splitterMoved, this,
            kivra::Guarded([this] { Splitter1Moved(); }));
}

void TFrameGroupProcesses::SetupGroupGrid() { GroupGrids->SetupColumns(GroupColumns(), 0); }

void TFrameGroupProcesses::SetupProcessGrid() {
    FrameProcessGrids->SetupColumns(SessionGridColumns(), 0);
}

void TFrameGroupProcesses::RefreshView() {
    if (!ServerInfo) {
        GroupGrids->Clear();
        FrameProcessGrids->Clear();
        FrameCurrentProcessInfo->ShowProcess(-1);
        FrameServerTitleBar1->SetServerName(std::string());
        return;
    }
    RefreshGroupGrid();
    RefreshProcessGrid();
}

int TFrameGroupProcesses::GetSelectedSpid() {
    return ServerInfo ? FrameProcessGrids->SelectedNumber(kSpidColumn) : -1;
}

std::unique_ptr<stGroupGridCurrentStore> TFrameGroupProcesses::StoreGroupGridCurrent() const {
    auto store = std::make_unique<stGroupGridCurrentStore>();
    store->Row = GroupGrids->SelectedRow;
    // The frozen grid mirrors the scrolling one after every fill.
    const TStringGrid *frozen = GroupGrids->sgLeft;
    const bool inTable = store->Row > 0 && store->Row < frozen->RowCount();
    for (int col : Kind.KeyColumns)
        store->Key.push_back(inTable ? frozen->Cells(col, store->Row) : std::string());
    return store;
}

void TFrameGroupProcesses::RestoreGroupGridCurrent(const stGroupGridCurrentStore &store) {
    const int row = FindGroup(store.Key) + 1;
    if (row > 0 && row != store.Row) GroupGrids->SelectRow(row);
}

void TFrameGroupProcesses::RefreshGroupGrid() {
    if (!ServerInfo) return;
    GroupGrids->SetRedraw(false);
    const std::unique_ptr<stGroupGridCurrentStore> store = StoreGroupGridCurrent();
    FillGroupGrid(GroupGrids->sgRight->Table());
    GroupGrids->SyncGrids();
    RestoreGroupGridCurrent(*store);
    GroupGrids->SetRedraw(true);
}

void TFrameGroupProcesses::RefreshProcessGrid() {
    if (!ServerInfo) return;
    TFrameTwinGrids *sessions = FrameProcessGrids;
    sessions->SetRedraw(false);
    const std::unique_ptr<stGroupGridCurrentStore> store = StoreGroupGridCurrent();
    // A selection from the second session row on is followed by its SPID; on the first row it
    // stays on the first row.
    const int spid = Kind.FollowSessionBySpid && sessions->SelectedRow >= 2
                         ? sessions->SelectedNumber(kSpidColumn)
                         : -1;
    FillGroupSessions(store->Key, sessions->sgRight->Table());
    sessions->SyncGrids();
    if (Kind.FollowSessionBySpid) {
        const TStringGrid *grid = sessions->sgRight;
        int found = -1;
        for (int row = 1; spid > 0 && row < grid->RowCount() && found < 0; ++row)
            if (CellNumber(grid->Cells(kSpidColumn, row)) == spid) found = row;
        // Otherwise the same row number, clamped to the session rows; row 0 (none) only while
        // there is no session row, so a grid that was empty once (as before the first poll)
        // selects its first row again when sessions come.
        if (found < 0)
            found = grid->RowCount() > 1
                        ? std::clamp(sessions->SelectedRow, 1, grid->RowCount() - 1)
                        : 0;
        sessions->SelectRow(found);
    }
    sessions->SetRedraw(true);
    ShowSelectedProcess();
}

void TFrameGroupProcesses::ShowSelectedProcess() {
    if (!ServerInfo) return;
    FrameProcessGrids->SetRightRedraw(false);
    // Only a session row is shown: without one the pane keeps what it showed.
    const int spid = FrameProcessGrids->SelectedNumber(kSpidColumn);
    if (spid > 0) FrameCurrentProcessInfo->ShowProcess(spid);
    FrameProcessGrids->SetRightRedraw(true);
}

void TFrameGroupProcesses::GroupGridMouseDown(TStringGrid *Sender, int X, int Y) {
    if (!ServerInfo) return;
    int col = -1, row = -1;
    if (!TFrameTwinGrids::PressedCell(Sender, X, Y, col, row) || row != 0) return;
    SetGroupSortKey(GroupColumns().KeyOf(col));
    RefreshGroupGrid();
}

void TFrameGroupProcesses::GroupGridSelectCell(TStringGrid *Sender, int ACol, int ARow,
                                               bool &CanSelect) {
    if (!ServerInfo) return;
    GroupGrids->sgSelectCell(Sender, ACol, ARow, CanSelect);
    RefreshProcessGrid();
}

void TFrameGroupProcesses::ProcessGridMouseDown(TStringGrid *Sender, int X, int Y) {
    if (!ServerInfo) return;
    int col = -1, row = -1;
    if (TFrameTwinGrids::PressedCell(Sender, X, Y, col, row)) {
        if (row == 0) ServerInfo->SetFilteredProcessSortKey(SessionGridColumns().KeyOf(col));
    } else if (!Sender->IsBelowLastRow(X, Y)) {
        return;  // outside the grid's rows and the empty area under them
    }
    // Whatever was pressed, a title, a session or the empty area below the last row.
    RefreshProcessGrid();
}

void TFrameGroupProcesses::ProcessGridSelectCell(TStringGrid *Sender, int ACol, int ARow,
                                                 bool &CanSelect) {
    if (!ServerInfo) return;
    FrameProcessGrids->sgSelectCell(Sender, ACol, ARow, CanSelect);
    ShowSelectedProcess();
}

void TFrameGroupProcesses::Splitter1Moved() { Layout->Save(); }
