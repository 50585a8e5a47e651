#pragma once
// TFrameProcessInfo: the session detail pane under a session grid: one session of the bound
// server with its input buffer, statement and threads, and its Kill Process button.
//
// Main thread only. The model is borrowed.

#include <QWidget>

class TDBServerInfo;

class TFrameProcessInfo : public QWidget {
    Q_OBJECT
public:
    explicit TFrameProcessInfo(QWidget *parent = nullptr);
    ~TFrameProcessInfo() override;

    void ShowProcess(int spid);  // below 1 (or no server): the pane is emptied

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    int CurrentSpid = -1;
    int InputBufferSpid = -1;
    int StatementSpid = -1;
};
