#pragma once
// TFrameAllProcesses: the "All Processes" view: every session of the bound server, sorted by a
// click on a column title, with the detail pane of the highlighted row.
//
// Main thread only. The model is borrowed.

#include <QWidget>

class TDBServerInfo;
class TFrameProcessInfo;
class TFrameServerTitleBar;

class TFrameAllProcesses : public QWidget {
    Q_OBJECT
public:
    explicit TFrameAllProcesses(QWidget *parent = nullptr);
    ~TFrameAllProcesses() override;

    void RefreshView();      // without a server: emptied
    int GetSelectedSpid();   // -1 when no session is highlighted

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    TFrameServerTitleBar *FrameServerTitleBar1 = nullptr;
    TFrameProcessInfo *FrameCurrentProcessInfo = nullptr;
};
