#pragma once
// TFrameServerBigGraphs: the "Server Graphs" view (design size 1032 x 716): the selected server's
// five large charts of the last 120 polls (CPU, response time, sessions and users, network,
// physical IO) and its information panel (name, current server time, start time, running time,
// and while the connection is lost a "Server Disconnected" warning with a Reconnect button).
//
// Axis rule at each refresh: response time, physical IO and network follow the data once the
// history's largest value (over the chart's series) reaches 500, otherwise they are fixed at 500;
// sessions and users follow the data from 100 on, otherwise fixed at 100; CPU stays at 100.
//
// Without a bound server (ServerInfo nullptr) a refresh shows the design state: lines at 0,
// design axes and captions, warning and Reconnect hidden, title bar empty; the Reconnect click
// does nothing. The view never touches a model that is not bound.
//
// Main thread only. The model is borrowed: whoever deletes it binds another server (or nullptr)
// first.

#include <QWidget>

#include <memory>

namespace Ui {
class TFrameServerBigGraphs;
}

class TDBServerInfo;
class TFrameBigChart;
class TFrameServerTitleBar;

class TFrameServerBigGraphs : public QWidget {
    Q_OBJECT
public:
    explicit TFrameServerBigGraphs(QWidget *parent = nullptr);
    ~TFrameServerBigGraphs() override;

    void SetServer(TDBServerInfo *server);  // nullptr unbinds
    void RefreshGraphs();                   // without a server: the design state again

    // The charts' and the information panel's places for the frame's size.
    void FrameResize();

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    TFrameServerTitleBar *FrameServerTitleBar1 = nullptr;
    TFrameBigChart *ChartCPU = nullptr;
    TFrameBigChart *ChartResponse = nullptr;
    TFrameBigChart *ChartSessions = nullptr;
    TFrameBigChart *ChartPhysicalIO = nullptr;
    TFrameBigChart *ChartNetworkIO = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void btnAttemptReconnectClick();
    void ShowDesignState();

    std::unique_ptr<Ui::TFrameServerBigGraphs> ui;
};
