#pragma once
// TFrameEventLog: the event-log view: a titled grid of logs above a second grid. Stacked hidden
// in the client area; no tab shows it and nothing fills it.
//
// Main thread only.

#include <QWidget>

class TFrameEventLog : public QWidget {
    Q_OBJECT
public:
    explicit TFrameEventLog(QWidget *parent = nullptr);
    ~TFrameEventLog() override;
};
