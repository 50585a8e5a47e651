#pragma once
// TFrameProcessInfo: the session detail pane under a session grid: one session (SPID) of the bound
// server with its identity, counters and their change since the previous poll, and three tabs:
// its input buffer ("DBCC INPUTBUFFER"), its current statement ("fn_get_sql()") and its threads.
// Kill Process ends the session after a confirmation.
//
// The views call ShowProcess after every refill with the SPID of their selected row. The input
// buffer and the statement are fetched for a new SPID always, for the same SPID again only while
// their tab shows and the pause is off, since each fetch is a batch on the server's connection.
// A pane whose view is hidden in its window (another tab of the client area is shown) fetches
// nothing: its captions and threads follow every refresh, its texts wait until the client area
// shows the view and calls ShowPendingTexts, which fetches them by the same rules at once.
//
// Main thread only. ServerInfo is borrowed (set by the client area, with the three SPIDs -1);
// while it is nullptr the pane shows nothing and touches no model.

#include <QWidget>

#include <memory>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabBar;
class TDBServerInfo;
class TFrameTwinGrids;

namespace Ui {
class TFrameProcessInfo;
}

class TFrameProcessInfo : public QWidget {
    Q_OBJECT
    // The caption of the grey title bar (" Session Information" unless the view sets another).
    Q_PROPERTY(QString title READ Title WRITE setTitle)
public:
    static constexpr double kEarliestLoginTime = 38000.0;  // 14 January 2004: older is no time

    explicit TFrameProcessInfo(QWidget *parent = nullptr);
    ~TFrameProcessInfo() override;

    void ShowProcess(int spid);  // below 1 (or no server): the pane is emptied
    void ShowInputBuffer(int spid);
    void ShowStatementText(int spid);
    // The texts of CurrentSpid that ShowProcess left unfetched while the pane was hidden.
    void ShowPendingTexts();

    // Handlers.
    void TabSetProcessChange(int newTab);
    void CheckBoxPause1Click(QCheckBox *sender);  // both pause boxes
    void ButtonKillProcessClick();
    void PanelCommandTextResize();

    QString Title() const;
    void setTitle(const QString &title);

    TDBServerInfo *ServerInfo = nullptr;  // not owned
    int CurrentSpid = -1;                 // the session shown; -1 none
    int InputBufferSpid = -1;             // whose input buffer MemoCommandText holds
    int StatementSpid = -1;               // whose statement MemoFNGetSQL holds

    TFrameTwinGrids *FrameThreadGrids = nullptr;
    QLabel *LabelSPID = nullptr, *LabelSQLUser = nullptr, *LabelWIndowsUser = nullptr,
           *LabelDatabase = nullptr, *LabelStatus = nullptr, *LabelCommand = nullptr,
           *LabelProgram = nullptr, *LabelHost = nullptr, *LabelLoginTime = nullptr,
           *LabelLastBatch = nullptr, *LabelCPU = nullptr, *LabelMemory = nullptr,
           *LabelPhysicalIO = nullptr, *LabelThreads = nullptr, *LabelCommandType = nullptr,
           *LabelCommandInformation = nullptr;
    QPlainTextEdit *MemoCommandText = nullptr, *MemoFNGetSQL = nullptr;
    QCheckBox *CheckBoxPause1 = nullptr, *CheckBoxPause2 = nullptr;
    QPushButton *ButtonKillProcess = nullptr;
    QTabBar *TabSetProcess = nullptr;
    QWidget *PanelCommand = nullptr, *PanelFNGetSQL = nullptr, *PanelThreads = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SetupThreadGrid();
    // No widget between the pane and its window is hidden (the window itself need not be shown).
    bool ShownInWindow() const;
    void PlacePauseBox(QWidget *panel, QCheckBox *box, QLabel *line);

    std::unique_ptr<Ui::TFrameProcessInfo> ui;
    bool TextsPending = false;  // ShowProcess skipped the texts of CurrentSpid while hidden
};
