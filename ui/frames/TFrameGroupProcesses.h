#pragma once
// TFrameGroupProcesses: what the databases view and the users view share. Three panels divided by
// two splitters: a grid of groups (databases, or users: a login from one network address) under
// the server title bar, the sessions of the selected group, and the detail pane of the selected
// session. The selected group is followed by its key across refills; the panel heights are kept
// in the settings store under the view's key.
//
// A derived view names its panels and grids (its form), and gives the group grid's columns and
// key columns, the sort setter, the fills and the lookup of its kind of group. The operations
// and handlers here are both views' own: the group grid's (GroupGrid...) stand for the databases
// grid's and the users grid's handlers alike.
//
// Main thread only. ServerInfo is borrowed; while it is nullptr the view is empty and its clicks
// and selections do nothing.

#include "GridColumns.h"
#include "TStringGrid.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QSplitter;
class TDBServerInfo;
class TFrameProcessInfo;
class TFrameServerTitleBar;
class TFrameTwinGrids;
class TStoredSplitterLayout;

// The selected row of a group grid and the key texts that row held, kept across a refill.
struct stGroupGridCurrentStore {
    int Row = 0;                   // the group grid's SelectedRow; 0 or less: none
    std::vector<std::string> Key;  // one text per key column; empty texts past the last row
};

class TFrameGroupProcesses : public QWidget {
    Q_OBJECT
public:
    ~TFrameGroupProcesses() override;

    void RefreshView();     // groups, then their sessions; without a server: emptied
    int GetSelectedSpid();  // the highlighted session; -1 when none is highlighted

    void SetupGroupGrid();
    void SetupProcessGrid();
    void RefreshGroupGrid();
    void RefreshProcessGrid();
    void ShowSelectedProcess();
    std::unique_ptr<stGroupGridCurrentStore> StoreGroupGridCurrent() const;
    void RestoreGroupGridCurrent(const stGroupGridCurrentStore &store);

    // Handlers, bound to both grids of each twin and to both splitters.
    void GroupGridMouseDown(TStringGrid *Sender, int X, int Y);
    void GroupGridSelectCell(TStringGrid *Sender, int ACol, int ARow, bool &CanSelect);
    void ProcessGridMouseDown(TStringGrid *Sender, int X, int Y);
    void ProcessGridSelectCell(TStringGrid *Sender, int ACol, int ARow, bool &CanSelect);
    void Splitter1Moved();

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    TFrameServerTitleBar *FrameServerTitleBar1 = nullptr;
    TFrameProcessInfo *FrameCurrentProcessInfo = nullptr;
    TFrameTwinGrids *FrameProcessGrids = nullptr;
    TStoredSplitterLayout *Layout = nullptr;

protected:
    struct TKind {
        std::vector<int> KeyColumns;  // the group grid's columns that make a group's key
        bool FollowSessionBySpid;     // a refill keeps the selected session (from row 2 on)
        const char *LayoutKey;        // the settings key of the panel heights
        int DesignTopHeight, DesignBottomHeight;
    };
    struct TParts {
        TFrameServerTitleBar *TitleBar;
        TFrameTwinGrids *GroupGrids, *ProcessGrids;
        TFrameProcessInfo *Pane;
        QSplitter *Splitter;  // group panel, sessions panel (fills), detail panel
    };

    TFrameGroupProcesses(QWidget *parent, TKind kind);
    // After the derived form's setupUi: binds the handlers, restores the layout, sets the grids up.
    void Assemble(const TParts &parts);

    virtual const TGridColumns &GroupColumns() const = 0;
    virtual void SetGroupSortKey(TSortKey key) = 0;
    virtual void FillGroupGrid(TStringTable *grid) = 0;
    virtual int FindGroup(const std::vector<std::string> &key) const = 0;
    virtual void FillGroupSessions(const std::vector<std::string> &key, TStringTable *grid) = 0;

    TFrameTwinGrids *GroupGrids = nullptr;

private:
    TKind Kind;
};
