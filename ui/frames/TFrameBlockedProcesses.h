#pragma once
// TFrameBlockedProcesses: the "Locks" view: the sessions of the bound server that wait for
// another session, in the session grid (ordered by the all-sessions sort key; no sort of its
// own), with two detail panes below: the highlighted blocked session and the session blocking it.
//
// The selection is a row number, as in the all-sessions view; a selection made in the left grid
// moves the highlight only, and the panes follow at the next refresh. A row past the end shows
// no session. The splitter positions are not kept.
//
// Main thread only. ServerInfo is borrowed; while it is nullptr the view is empty and its clicks
// do nothing.

#include "TStringGrid.h"

#include <QWidget>

#include <memory>

class TDBServerInfo;
class TFrameProcessInfo;
class TFrameServerTitleBar;
class TFrameTwinGrids;

namespace Ui {
class TFrameBlockedProcesses;
}

class TFrameBlockedProcesses : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDesignPanesHeight = 528;     // both panes with their splitter
    static constexpr int kDesignBlockingHeight = 264;  // the lower pane

    explicit TFrameBlockedProcesses(QWidget *parent = nullptr);
    ~TFrameBlockedProcesses() override;

    void RefreshView();  // without a server: emptied

    void SetupProcessGrid();
    void RefreshProcessGrid();
    void ShowSelectedProcesses();

    // Handler of the right grid's OnSelectCell (the left grid keeps the twin grids' own).
    void FrameBlockedProcessesGridssgRightSelectCell(TStringGrid *Sender, int ACol, int ARow,
                                                     bool &CanSelect);

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    TFrameServerTitleBar *FrameServerTitleBar1 = nullptr;
    TFrameProcessInfo *FrameBlockedProcess = nullptr;
    TFrameProcessInfo *FrameBlockingProcess = nullptr;
    TFrameTwinGrids *FrameBlockedProcessesGrids = nullptr;

private:
    std::unique_ptr<Ui::TFrameBlockedProcesses> ui;
};
