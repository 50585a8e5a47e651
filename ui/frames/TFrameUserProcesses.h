#pragma once
// TFrameUserProcesses: the "User Processes" view: the users (a login from one network address) of
// the bound server, the sessions of the selected user and the detail pane of the selected session.
//
// Main thread only. The model is borrowed.

#include <QWidget>

class TDBServerInfo;
class TFrameProcessInfo;
class TFrameServerTitleBar;

class TFrameUserProcesses : public QWidget {
    Q_OBJECT
public:
    explicit TFrameUserProcesses(QWidget *parent = nullptr);
    ~TFrameUserProcesses() override;

    void RefreshView();      // without a server: emptied
    int GetSelectedSpid();   // -1 when no session is selected

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    TFrameServerTitleBar *FrameServerTitleBar1 = nullptr;
    TFrameProcessInfo *FrameCurrentProcessInfo = nullptr;
};
