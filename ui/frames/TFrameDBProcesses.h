#pragma once
// TFrameDBProcesses: the "Databases" view: one row per database of the bound server, the sessions
// of the selected database below, and the detail pane of the selected session. The selected
// database is followed by name across refills (and across a change of server that has a database
// of that name); the selected session by SPID from the second row on, otherwise by row number,
// clamped to the last row. Panel heights are kept under "...\Kivrawatch\DBProcesses".
//
// The splitter between the databases and the sessions is the first handle of Splitters, the one
// above the detail pane the second; both save the layout when let go.
//
// Main thread only. ServerInfo is borrowed; while it is nullptr the view is empty and its clicks
// do nothing.

#include "TFrameGroupProcesses.h"

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TFrameDBProcesses;
}

class TFrameDBProcesses : public TFrameGroupProcesses {
    Q_OBJECT
public:
    static constexpr const char *kLayoutKey = "\\SOFTWARE\\Vornix\\Kivrawatch\\DBProcesses";
    static constexpr int kDesignDatabasesHeight = 169;
    static constexpr int kDesignDetailHeight = 264;

    explicit TFrameDBProcesses(QWidget *parent = nullptr);
    ~TFrameDBProcesses() override;

    // Everything else a view offers (RefreshView, GetSelectedSpid, the handlers, ServerInfo,
    // FrameServerTitleBar1, FrameCurrentProcessInfo) is the shared view's.

    TFrameTwinGrids *FrameDBGrids = nullptr;

protected:
    const TGridColumns &GroupColumns() const override { return DatabaseGridColumns(); }
    void SetGroupSortKey(TSortKey key) override;
    void FillGroupGrid(TStringTable *grid) override;
    int FindGroup(const std::vector<std::string> &key) const override;
    void FillGroupSessions(const std::vector<std::string> &key, TStringTable *grid) override;

private:
    std::unique_ptr<Ui::TFrameDBProcesses> ui;
};
