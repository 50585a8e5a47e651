#pragma once
// TFrameServerBigGraphs: the "Server Graphs" view: the selected server's five large charts and its
// information panel with the Reconnect button. Without a bound server it shows its design state.
//
// Main thread only. The model is borrowed.

#include <QWidget>

class TDBServerInfo;
class TFrameServerTitleBar;

class TFrameServerBigGraphs : public QWidget {
    Q_OBJECT
public:
    explicit TFrameServerBigGraphs(QWidget *parent = nullptr);
    ~TFrameServerBigGraphs() override;

    void SetServer(TDBServerInfo *server);  // nullptr unbinds
    void RefreshGraphs();                    // without a server: the design captions again

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    TFrameServerTitleBar *FrameServerTitleBar1 = nullptr;
};
