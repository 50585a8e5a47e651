#pragma once
// TFrameDBProcesses: the "Databases" view: the databases of the bound server, the sessions of the
// selected database and the detail pane of the selected session.
//
// Main thread only. The model is borrowed.

#include <QWidget>

class TDBServerInfo;
class TFrameProcessInfo;
class TFrameServerTitleBar;

class TFrameDBProcesses : public QWidget {
    Q_OBJECT
public:
    explicit TFrameDBProcesses(QWidget *parent = nullptr);
    ~TFrameDBProcesses() override;

    void RefreshView();      // without a server: emptied
    int GetSelectedSpid();   // -1 when no session is selected

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    TFrameServerTitleBar *FrameServerTitleBar1 = nullptr;
    TFrameProcessInfo *FrameCurrentProcessInfo = nullptr;
};
