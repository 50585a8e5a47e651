#include "TFrameProcessInfo.h"

#include "ui_TFrameProcessInfo.h"

#include "DBServerInfoSource.h"
#include "DateTimeText.h"
#include "ExceptionDisplay.h"
#include "GridColumns.h"
#include "MessageBoxHook.h"
#include "TFrameTwinGrids.h"

#include <QCheckBox>
#include <QEvent>
#include <QTabBar>

namespace {
constexpr int kFontPixels = 11;
constexpr int kLowestKillableSpid = 11;  // sessions 1 to 10 belong to the server

QString Text(const std::string &s) { return QString::fromStdString(s); }

QString WithDelta(int value, int delta) {
    return QString::number(value) + QStringLiteral(" (") + QString::number(delta) +
           QStringLiteral(")");
}
}  // namespace

TFrameProcessInfo::TFrameProcessInfo(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameProcessInfo>()) {
    ui->setupUi(this);
    QFont paneFont(QStringLiteral("Verdana"));
    paneFont.setPixelSize(kFontPixels);
    setFont(paneFont);
    for (QPlainTextEdit *memo : {ui->MemoCommandText, ui->MemoFNGetSQL}) {
        QFont courier(QStringLiteral("Courier"));
        courier.setStyleHint(QFont::TypeWriter);
        courier.setPixelSize(kFontPixels + 2);
        memo->setFont(courier);
    }

    FrameThreadGrids = ui->FrameThreadGrids;
    LabelSPID = ui->LabelSPID;
    LabelSQLUser = ui->LabelSQLUser;
    LabelWIndowsUser = ui->LabelWIndowsUser;
    LabelDatabase = ui->LabelDatabase;
    LabelStatus = ui->LabelStatus;
    LabelCommand = ui->LabelCommand;
    LabelProgram = ui->LabelProgram;
    LabelHost = ui->LabelHost;
    LabelLoginTime = ui->LabelLoginTime;
    LabelLastBatch = ui->LabelLastBatch;
    LabelCPU = ui->LabelCPU;
    LabelMemory = ui->LabelMemory;
    LabelPhysicalIO = ui->LabelPhysicalIO;
    LabelThreads = ui->LabelThreads;
    LabelCommandType = ui->LabelCommandType;
    LabelCommandInformation = ui->LabelCommandInformation;
    MemoCommandText = ui->MemoCommandText;
    MemoFNGetSQL = ui->MemoFNGetSQL;
    CheckBoxPause1 = ui->CheckBoxPause1;
    CheckBoxPause2 = ui->CheckBoxPause2;
    ButtonKillProcess = ui->ButtonKillProcess;
    TabSetProcess = ui->TabSetProcess;
    PanelCommand = ui->PanelCommand;
    PanelFNGetSQL = ui->PanelFNGetSQL;
    PanelThreads = ui->PanelThreads;

    TabSetProcess->addTab(QStringLiteral("DBCC INPUTBUFFER"));
    TabSetProcess->addTab(QStringLiteral("fn_get_sql()"));
    TabSetProcess->addTab(QStringLiteral("Threads"));
    TabSetProcess->setCurrentIndex(0);
    PanelCommand->setVisible(true);
    PanelFNGetSQL->setVisible(false);
    PanelThreads->setVisible(false);
    for (QCheckBox *box : {CheckBoxPause1, CheckBoxPause2}) box->resize(box->sizeHint());

    using kivra::Guarded;
    connect(TabSetProcess, &QTabBar::currentChanged, this,
            Guarded([this](int tab) { TabSetProcessChange(tab); }));
    for (QCheckBox *box : {CheckBoxPause1, CheckBoxPause2})
        connect(box, &QCheckBox::toggled, this, Guarded([this, box] { CheckBoxPause1Click(box); }));
    connect(ButtonKillProcess, &QPushButton::clicked, this,
            Guarded([this] { ButtonKillProcessClick(); }));
    ui->PanelCommandText->installEventFilter(this);
    PanelFNGetSQL->installEventFilter(this);

    SetupThreadGrid();
}

TFrameProcessInfo::~TFrameProcessInfo() = default;

QString TFrameProcessInfo::Title() const { return ui->Label1->text(); }
void TFrameProcessInfo::setTitle(const QString &title) { ui->Label1->setText(title); }

void TFrameProcessInfo::SetupThreadGrid() {
    FrameThreadGrids->SetupColumns(ThreadGridColumns(), -1);
}

void TFrameProcessInfo::ShowProcess(int spid) {
    if (spid < 1 || !ServerInfo) {
        FrameThreadGrids->Clear();
        for (QLabel *label :
             {LabelSPID, LabelSQLUser, LabelWIndowsUser, LabelDatabase, LabelStatus, LabelCommand,
              LabelProgram, LabelHost, LabelLoginTime, LabelLastBatch, LabelCPU, LabelMemory,
              LabelPhysicalIO, LabelThreads, LabelCommandType, LabelCommandInformation})
            label->clear();
        MemoCommandText->clear();
        MemoFNGetSQL->clear();
        if (spid >= 1) spid = -1;  // no server: no session either
        CurrentSpid = InputBufferSpid = StatementSpid = spid;
        TextsPending = false;
        return;
    }

    ServerInfo->FillThreadGrid(spid, FrameThreadGrids->sgRight->Table());
    FrameThreadGrids->SyncGrids();

    std::string login, ntLogin, database, status, command, program, host;
    int cpu = 0, cpuDelta = 0, mem = 0, memDelta = 0, io = 0, ioDelta = 0, threads = 0,
        threadsDelta = 0;
    TDateTime loginTime = 0, lastBatch = 0;
    const bool found = ServerInfo->GetProcessDetails(spid, login, ntLogin, database, status,
                                                     command, program, host, cpu, cpuDelta, mem,
                                                     memDelta, io, ioDelta, threads, threadsDelta,
                                                     loginTime, lastBatch);
    LabelSPID->setText(QString::number(spid));
    LabelSQLUser->setText(Text(login));
    LabelWIndowsUser->setText(Text(ntLogin));
    LabelDatabase->setText(Text(database));
    LabelStatus->setText(Text(status));
    LabelCommand->setText(Text(command));
    LabelProgram->setText(Text(program));
    LabelHost->setText(Text(host));
    // A session gone since the grid was filled has no counters or times to show.
    QString loginText, batchText;
    if (found && loginTime > kEarliestLoginTime) {
        try {
            loginText = Text(kivra::DateTimeToStr(loginTime));
        } catch (const std::exception &) {
            loginText.clear();
        }
    }
    if (found && lastBatch > 0.0) batchText = Text(kivra::DateTimeToStr(lastBatch));
    LabelLoginTime->setText(loginText);
    LabelLastBatch->setText(batchText);
    LabelCPU->setText(found ? WithDelta(cpu, cpuDelta) : QString());
    LabelMemory->setText(found ? WithDelta(mem, memDelta) : QString());
    LabelPhysicalIO->setText(found ? WithDelta(io, ioDelta) : QString());
    LabelThreads->setText(found ? WithDelta(threads, threadsDelta) : QString());

    TextsPending = !ShownInWindow();
    if (!TextsPending) {
        ShowInputBuffer(spid);
        ShowStatementText(spid);
    }
    CurrentSpid = spid;
}

bool TFrameProcessInfo::ShownInWindow() const {
    for (const QWidget *w = this; w && !w->isWindow(); w = w->parentWidget())
        if (w->isHidden()) return false;
    return true;
}

void TFrameProcessInfo::ShowPendingTexts() {
    if (!TextsPending) return;
    TextsPending = false;
    ShowInputBuffer(CurrentSpid);
    ShowStatementText(CurrentSpid);
}

void TFrameProcessInfo::ShowInputBuffer(int spid) {
    if (!ServerInfo || spid < 1) return;
    if (PanelCommand->isHidden() && spid == InputBufferSpid) return;
    if (CheckBoxPause1->isChecked() && spid == InputBufferSpid) return;
    std::string eventType;
    const std::string text = ServerInfo->GetInputBuffer(spid, eventType);
    LabelCommandType->setText(Text(eventType));
    MemoCommandText->setPlainText(Text(text));
    InputBufferSpid = spid;
}

void TFrameProcessInfo::ShowStatementText(int spid) {
    if (!ServerInfo || spid < 1) return;
    if (PanelFNGetSQL->isHidden() && spid == StatementSpid) return;
    if (CheckBoxPause1->isChecked() && spid == StatementSpid) return;
    std::string objectName, encrypted;
    int stmtStart = 0, stmtEnd = 0;  // a lost connection sets none of the outputs
    const std::string text =
        ServerInfo->GetStatementText(spid, objectName, encrypted, stmtStart, stmtEnd);
    MemoFNGetSQL->setPlainText(Text(text));
    StatementSpid = spid;
    QString line = QStringLiteral("Object: ") + Text(objectName) + QStringLiteral("  (") +
                   QString::number(stmtStart) + QStringLiteral(":") + QString::number(stmtEnd) +
                   QStringLiteral(")");
    if (encrypted == "Y") line += QStringLiteral("  <Encrypted>");
    LabelCommandInformation->setText(line);
}

void TFrameProcessInfo::TabSetProcessChange(int newTab) {
    PanelCommand->setVisible(newTab == 0);
    PanelFNGetSQL->setVisible(newTab == 1);
    PanelThreads->setVisible(newTab == 2);
}

void TFrameProcessInfo::CheckBoxPause1Click(QCheckBox *sender) {
    if (!sender->isChecked()) {
        ShowInputBuffer(CurrentSpid);
        ShowStatementText(CurrentSpid);
    }
    // The other box follows, which runs this handler once more for it; the two always agree.
    QCheckBox *other = sender == CheckBoxPause1 ? CheckBoxPause2 : CheckBoxPause1;
    other->setChecked(sender->isChecked());
}

void TFrameProcessInfo::ButtonKillProcessClick() {
    if (!ServerInfo || CurrentSpid < kLowestKillableSpid) return;
    // The session and server asked about are the ones killed, whatever a refresh during the
    // question shows; a server unbound or changed meanwhile is left alone.
    const int spid = CurrentSpid;
    TDBServerInfo *server = ServerInfo;
    const int answer = kivra::ApplicationMessageBox(
        "Do you really want to kill process " + std::to_string(spid) + "?", "Kill Process Confirm",
        kivra::MB_YESNO | kivra::MB_ICONQUESTION);
    if (answer != kivra::IDYES || ServerInfo != server) return;
    server->KillProcess(spid);
}

void TFrameProcessInfo::PlacePauseBox(QWidget *panel, QCheckBox *box, QLabel *line) {
    box->move(qMax(0, panel->width() - box->width()), box->y());
    line->resize(qMax(0, box->x() - line->x()), line->height());
}

void TFrameProcessInfo::PanelCommandTextResize() {
    PlacePauseBox(ui->PanelCommandText, CheckBoxPause1, LabelCommandType);
    CheckBoxPause2->move(CheckBoxPause1->x(), CheckBoxPause2->y());
    LabelCommandInformation->resize(qMax(0, CheckBoxPause2->x() - LabelCommandInformation->x()),
                                    LabelCommandInformation->height());
}

bool TFrameProcessInfo::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Resize)
        kivra::RunGuarded([&] {
            if (watched == ui->PanelCommandText) PanelCommandTextResize();
            // The statement tab may be the one shown while the window is resized.
            else if (watched == PanelFNGetSQL)
                PlacePauseBox(PanelFNGetSQL, CheckBoxPause2, LabelCommandInformation);
        });
    return QWidget::eventFilter(watched, event);
}
