#pragma once
// TFrameBlockedProcesses: the "Locks" view: the blocked sessions of the bound server, with the
// selected blocked session and its blocker in two detail panes.
//
// Main thread only. The model is borrowed.

#include <QWidget>

class TDBServerInfo;
class TFrameProcessInfo;
class TFrameServerTitleBar;

class TFrameBlockedProcesses : public QWidget {
    Q_OBJECT
public:
    explicit TFrameBlockedProcesses(QWidget *parent = nullptr);
    ~TFrameBlockedProcesses() override;

    void RefreshView();  // without a server: emptied

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    TFrameServerTitleBar *FrameServerTitleBar1 = nullptr;
    TFrameProcessInfo *FrameBlockedProcess = nullptr;
    TFrameProcessInfo *FrameBlockingProcess = nullptr;
};
