#pragma once
// TFrameAllProcesses: the "All Processes" view: every session of the bound server in the session
// grid, sorted by a click on a column title, with the detail pane of the highlighted row below a
// splitter whose position is kept in the settings store ("...\Kivrawatch\AllProcesses").
//
// The selection is a row number (the grid's SelectedRow): a refill keeps the number and the pane
// shows whichever session now stands there; a row past the end shows no session.
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
class TStoredSplitterLayout;

namespace Ui {
class TFrameAllProcesses;
}

class TFrameAllProcesses : public QWidget {
    Q_OBJECT
public:
    static constexpr const char *kLayoutKey = "\\SOFTWARE\\Vornix\\Kivrawatch\\AllProcesses";
    static constexpr int kDesignDetailHeight = 262;

    explicit TFrameAllProcesses(QWidget *parent = nullptr);
    ~TFrameAllProcesses() override;

    void RefreshView();     // without a server: emptied
    int GetSelectedSpid();  // the highlighted session; -1 when none is highlighted

    void SetupProcessGrid();
    void RefreshProcessGrid();
    void ShowSelectedProcess();

    // Handlers (both grids of FrameProcessGrids; the splitter).
    void FrameProcessGridssgRightSelectCell(TStringGrid *Sender, int ACol, int ARow,
                                            bool &CanSelect);
    void FrameProcessGridssgRightMouseDown(TStringGrid *Sender, Qt::MouseButton Button,
                                           Qt::KeyboardModifiers Shift, int X, int Y);
    void Splitter1Moved();

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    TFrameServerTitleBar *FrameServerTitleBar1 = nullptr;
    TFrameProcessInfo *FrameCurrentProcessInfo = nullptr;
    TFrameTwinGrids *FrameProcessGrids = nullptr;
    TStoredSplitterLayout *Layout = nullptr;

private:
    std::unique_ptr<Ui::TFrameAllProcesses> ui;
};
