#pragma once
// TFrameUserProcesses: the "User Processes" view: one row per user of the bound server (a login
// from one network address), the sessions of the selected user below, and the detail pane of the
// selected session. The selected user is followed by login and address across refills; the
// selected session stays on its row number. Panel heights are kept under
// "...\Kivrawatch\UserProcesses".
//
// The splitter between the users and the sessions is the first handle of Splitters, the one above
// the detail pane the second; both save the layout when let go.
//
// Main thread only. ServerInfo is borrowed; while it is nullptr the view is empty and its clicks
// do nothing.

#include "TFrameGroupProcesses.h"

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TFrameUserProcesses;
}

class TFrameUserProcesses : public TFrameGroupProcesses {
    Q_OBJECT
public:
    static constexpr const char *kLayoutKey = "\\SOFTWARE\\Vornix\\Kivrawatch\\UserProcesses";
    static constexpr int kDesignUsersHeight = 217;
    static constexpr int kDesignDetailHeight = 264;

    explicit TFrameUserProcesses(QWidget *parent = nullptr);
    ~TFrameUserProcesses() override;

    // Everything else a view offers (RefreshView, GetSelectedSpid, the handlers, ServerInfo,
    // FrameServerTitleBar1, FrameCurrentProcessInfo) is the shared view's.

    TFrameTwinGrids *FrameUserGrids = nullptr;

protected:
    const TGridColumns &GroupColumns() const override { return UserGridColumns(); }
    void SetGroupSortKey(TSortKey key) override;
    void FillGroupGrid(TStringTable *grid) override;
    int FindGroup(const std::vector<std::string> &key) const override;
    void FillGroupSessions(const std::vector<std::string> &key, TStringTable *grid) override;

private:
    std::unique_ptr<Ui::TFrameUserProcesses> ui;
};
