#pragma once
// TFrameServerGraphsSmall: one server's graph tile (485 x 203): name bar, times, uptime and five
// small charts of the last 120 polls, any of which can be enlarged. Created and freed by the tile
// panel; the main window sets its owner, slot and model right after creation.
//
// Main thread only. The model is borrowed.

#include "TDateTime.h"
#include <string>
#include <QWidget>

class TDBServerInfo;
class TFormMain;

class TFrameServerGraphsSmall : public QWidget {
    Q_OBJECT
public:
    explicit TFrameServerGraphsSmall(QWidget *parent = nullptr);
    ~TFrameServerGraphsSmall() override;

    void SetServerName(const std::string &name);
    void SetOwner(TFormMain *owner, int slot);
    void SetStartTime(TDateTime value);
    void SetHighlight(bool selected);
    void RefreshGraphs();

    std::string ServerName;
    TDBServerInfo *ServerInfo = nullptr;  // not owned; set before the first refresh
    int LargeChart = -1;                  // -1 none, 0..4 the enlarged chart
    int Slot = 0;                         // connection slot = entry in the panel's table
    TFormMain *MainForm = nullptr;
    bool Highlighted = false;
};
