#include "TFrameServerList.h"

#include "ui_TFrameServerList.h"

#include "ConnectionCommands.h"
#include "ExceptionDisplay.h"

#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Fixed item heights; the active list's entries are drawn by the frame.
class ServerListDelegate : public QStyledItemDelegate {
public:
    ServerListDelegate(TFrameServerList *frame, int itemHeight, bool ownerDrawn, QObject *parent)
        : QStyledItemDelegate(parent), Frame(frame), ItemHeight(itemHeight),
          OwnerDrawn(ownerDrawn) {}

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), ItemHeight);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        if (!OwnerDrawn) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        painter->save();
        kivra::RunGuarded(
            [&] { Frame->ListBoxServerListDrawItem(painter, index.row(), option.rect); });
        painter->restore();
    }

private:
    TFrameServerList *Frame;
    int ItemHeight;
    bool OwnerDrawn;
};

QFont VerdanaPixels(int pixels) {
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(pixels);
    return font;
}

// The row under a point of the list's viewport; -1 below the last entry.
int RowAt(QListWidget *list, const QPoint &pos) {
    QListWidgetItem *item = list->itemAt(pos);
    return item ? list->row(item) : -1;
}

}  // namespace

TFrameServerList::TFrameServerList(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameServerList>()) {
    ui->setupUi(this);
    ListBoxServerList = ui->ListBoxServerList;
    ListBoxAllServers = ui->ListBoxAllServers;
    Disconnect1 = ui->Disconnect1;
    puConnectToServer = ui->puConnectToServer;
    ConnectwithPrompt1 = ui->ConnectwithPrompt1;
    Removefromlist1 = ui->Removefromlist1;

    ListBoxServerList->setFont(VerdanaPixels(13));
    ListBoxServerList->setItemDelegate(
        new ServerListDelegate(this, kActiveItemHeight, true, ListBoxServerList));
    ListBoxAllServers->setFont(VerdanaPixels(11));
    ListBoxAllServers->setItemDelegate(
        new ServerListDelegate(this, kKnownItemHeight, false, ListBoxAllServers));
    ui->Splitter1->setStretchFactor(0, 1);
    ui->Splitter1->setStretchFactor(1, 0);
    ui->Splitter1->setSizes({height() - 321, 321});

    PopupMenuActiveServers = new QMenu(this);
    PopupMenuActiveServers->setObjectName(QStringLiteral("PopupMenuActiveServers"));
    PopupMenuActiveServers->addAction(Disconnect1);
    PopupMenuAllServers = new QMenu(this);
    PopupMenuAllServers->setObjectName(QStringLiteral("PopupMenuAllServers"));
    PopupMenuAllServers->addAction(puConnectToServer);
    PopupMenuAllServers->addAction(ConnectwithPrompt1);
    PopupMenuAllServers->addSeparator()->setObjectName(QStringLiteral("N1"));
    PopupMenuAllServers->addAction(Removefromlist1);

    using kivra::Guarded;
    connect(Disconnect1, &QAction::triggered, this, Guarded([this] { Disconnect1Click(); }));
    connect(puConnectToServer, &QAction::triggered, this,
            Guarded([this] { puConnectToServerClick(); }));
    connect(ConnectwithPrompt1, &QAction::triggered, this,
            Guarded([this] { ConnectwithPrompt1Click(); }));
    connect(Removefromlist1, &QAction::triggered, this,
            Guarded([this] { Removefromlist1Click(); }));
    connect(ListBoxServerList, &QListWidget::currentRowChanged, this, Guarded([this] {
                if (!SettingRow) ListBoxServerListClick();
            }));
    connect(ListBoxServerList, &QWidget::customContextMenuRequested, this,
            Guarded([this](QPoint pos) {
                PopupMenuActiveServers->popup(ListBoxServerList->viewport()->mapToGlobal(pos));
            }));
    connect(ListBoxAllServers, &QWidget::customContextMenuRequested, this,
            Guarded([this](QPoint pos) {
                PopupMenuAllServers->popup(ListBoxAllServers->viewport()->mapToGlobal(pos));
            }));

    ListBoxServerList->installEventFilter(this);
    ListBoxServerList->viewport()->installEventFilter(this);
    ListBoxAllServers->viewport()->installEventFilter(this);
}

TFrameServerList::~TFrameServerList() = default;

bool TFrameServerList::eventFilter(QObject *watched, QEvent *event) {
    bool consumed = false;
    kivra::RunGuarded([&] {
        if (watched == ListBoxServerList->viewport()) {
            switch (event->type()) {
            case QEvent::MouseButtonPress: {
                auto *mouse = static_cast<QMouseEvent *>(event);
                const int row = RowAt(ListBoxServerList, mouse->position().toPoint());
                ListBoxServerListMouseDown(mouse);
                // The right button's selection is the handler's; a press below the last entry
                // changes nothing.
                consumed = mouse->button() != Qt::LeftButton || row < 0;
                break;
            }
            case QEvent::MouseMove:
                ListBoxServerListMouseMove(static_cast<QMouseEvent *>(event));
                break;
            case QEvent::MouseButtonRelease: ListBoxServerListMouseUp(); break;
            case QEvent::Leave: ListBoxServerListMouseLeave(); break;
            default: break;
            }
        } else if (watched == ListBoxServerList) {
            if (event->type() == QEvent::KeyPress) ListBoxServerListKeyPress();
        } else if (watched == ListBoxAllServers->viewport()) {
            if (event->type() == QEvent::MouseButtonPress) {
                auto *mouse = static_cast<QMouseEvent *>(event);
                ListBoxAllServersMouseDown(mouse);
                consumed = mouse->button() == Qt::RightButton;
            } else if (event->type() == QEvent::MouseButtonDblClick &&
                       static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
                ListBoxAllServersDblClick();
                consumed = true;
            }
        }
    });
    return consumed || QWidget::eventFilter(watched, event);
}

// ---- Called by the main window ---------------------------------------------------------------

void TFrameServerList::SetActiveRow(int index) {
    SettingRow = true;
    ListBoxServerList->setCurrentRow(index);
    SettingRow = false;
}

void TFrameServerList::AddActiveServer(const std::string &name) {
    ListBoxServerList->addItem(QString::fromStdString(name));
    SetActiveRow(ListBoxServerList->count() - 1);
}

void TFrameServerList::SelectActiveServer(int index) {
    SetActiveRow(index < ListBoxServerList->count() ? index : -1);
    ListBoxServerList->viewport()->update();
}

void TFrameServerList::AddKnownServer(const std::string &name) {
    const QString text = QString::fromStdString(name);
    int insertAt = ListBoxAllServers->count();
    for (int i = 0; i < ListBoxAllServers->count(); ++i) {
        const int order =
            QString::compare(ListBoxAllServers->item(i)->text(), text, Qt::CaseInsensitive);
        if (order == 0) return;
        if (order > 0 && insertAt == ListBoxAllServers->count()) insertAt = i;
    }
    ListBoxAllServers->insertItem(insertAt, text);
}

void TFrameServerList::RefreshActiveList() { ListBoxServerList->viewport()->update(); }

void TFrameServerList::RemoveActiveServer(int index) {
    if (index < 0 || index >= ListBoxServerList->count()) return;
    SettingRow = true;
    delete ListBoxServerList->takeItem(index);
    SettingRow = false;
}

// ---- Known-server commands -------------------------------------------------------------------

bool TFrameServerList::SelectedKnownServer(std::string &name) const {
    const QListWidgetItem *item = ListBoxAllServers->currentItem();
    if (!item) return false;
    name = item->text().toStdString();
    return true;
}

void TFrameServerList::ConnectSelectedServer() {
    std::string name;
    if (MainForm && SelectedKnownServer(name)) MainForm->ConnectKnownServer(name);
}

void TFrameServerList::ConnectSelectedServerWithPrompt() {
    std::string name;
    if (MainForm && SelectedKnownServer(name)) MainForm->ConnectKnownServerWithPrompt(name);
}

// ---- Handlers --------------------------------------------------------------------------------

void TFrameServerList::ListBoxServerListClick() {
    if (MainForm) MainForm->SelectServer(ListBoxServerList->currentRow());
    ListBoxServerList->viewport()->update();
}

void TFrameServerList::ListBoxServerListMouseDown(QMouseEvent *event) {
    if (event->button() == Qt::RightButton) {
        const int row = RowAt(ListBoxServerList, event->position().toPoint());
        if (row >= 0) {
            SetActiveRow(row);
            if (MainForm) MainForm->SelectServer(row);
        }
    }
    Tracking = true;
    ListBoxServerList->viewport()->update();
}

void TFrameServerList::ListBoxServerListMouseMove(QMouseEvent *event) {
    if (!Tracking) return;
    const int row = RowAt(ListBoxServerList, event->position().toPoint());
    // Each server the pointer passes over is selected once, not at every move over it.
    if (row < 0 || row == ListBoxServerList->currentRow()) return;
    SetActiveRow(row);
    ListBoxServerList->viewport()->update();
    if (MainForm) MainForm->SelectServer(row);
}

void TFrameServerList::ListBoxServerListMouseUp() { Tracking = false; }

void TFrameServerList::ListBoxServerListMouseLeave() { Tracking = false; }

void TFrameServerList::ListBoxServerListKeyPress() { ListBoxServerList->viewport()->update(); }

void TFrameServerList::ListBoxServerListDrawItem(QPainter *painter, int index, const QRect &rect) {
    const QPalette &palette = ListBoxServerList->palette();
    const bool selected = index == ListBoxServerList->currentRow();
    const bool connected = MainForm && MainForm->IsServerConnected(index);
    QColor background, text;
    if (selected) {
        background = palette.color(QPalette::Highlight);
        text = connected ? QColor(Qt::white) : QColor(Qt::red);
    } else if (connected) {
        background = palette.color(QPalette::Base);
        text = palette.color(QPalette::Text);
    } else {
        background = QColor(Qt::red);
        text = QColor(Qt::white);
    }
    painter->fillRect(rect, background);
    painter->setPen(text);
    painter->setFont(ListBoxServerList->font());
    const QListWidgetItem *item = ListBoxServerList->item(index);
    if (item)
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, item->text());
}

void TFrameServerList::Disconnect1Click() {
    const int row = ListBoxServerList->currentRow();
    if (MainForm && row >= 0) MainForm->DisconnectServer(row);
}

void TFrameServerList::ListBoxAllServersMouseDown(QMouseEvent *event) {
    if (event->button() != Qt::RightButton) return;
    const int row = RowAt(ListBoxAllServers, event->position().toPoint());
    if (row >= 0) ListBoxAllServers->setCurrentRow(row);
}

void TFrameServerList::ListBoxAllServersDblClick() { ConnectSelectedServer(); }

void TFrameServerList::puConnectToServerClick() { ConnectSelectedServer(); }

void TFrameServerList::ConnectwithPrompt1Click() { ConnectSelectedServerWithPrompt(); }

void TFrameServerList::Removefromlist1Click() {
    std::string name;
    if (!SelectedKnownServer(name)) return;
    if (MainForm) MainForm->RemoveKnownServer(name);
    delete ListBoxAllServers->takeItem(ListBoxAllServers->currentRow());
}
