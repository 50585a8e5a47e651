#pragma once
// TFrameEventLog: the event-log view: a titled grid of logs (log number, archive date, file size)
// above a second, larger grid, with a splitter between them. The list grid is drawn in bands with
// the selected row highlighted, every cell right-aligned. Stacked hidden in the client area; no
// tab shows it and nothing fills it.
//
// Main thread only.

#include "TStringGrid.h"

#include <QWidget>

#include <memory>

namespace Ui {
class TFrameEventLog;
}

class TFrameEventLog : public QWidget {
    Q_OBJECT
public:
    explicit TFrameEventLog(QWidget *parent = nullptr);
    ~TFrameEventLog() override;

    // Draws one cell of StringGrid1, the title row included.
    void StringGrid1DrawCell(TStringGrid *Sender, int ACol, int ARow, const QRect &Rect,
                             TGridDrawState State);
    // A cell below the title row selects its row; always allowed.
    void StringGrid1SelectCell(TStringGrid *Sender, int ACol, int ARow, bool &CanSelect);

    int SelectedRow = 1;  // the highlighted row of StringGrid1

private:
    std::unique_ptr<Ui::TFrameEventLog> ui;
};
