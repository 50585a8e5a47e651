#include "TFormServerList.h"

#include "ui_TFormServerList.h"

#include "ExceptionDisplay.h"
#include "OdbcBrowse.h"
#include "ScreenPlacement.h"
#include "TFormLogon.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

constexpr char kBrowseInput[] = "DRIVER=SQL Server";
constexpr int kItemHeight = 13;

// Shows the hourglass for its lifetime and puts back the cursor it found.
class HourglassCursor {
public:
    HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor &) = delete;
    HourglassCursor &operator=(const HourglassCursor &) = delete;
};

}  // namespace

TFormServerList::TFormServerList(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TFormServerList>()) {
    ui->setupUi(this);
    resize(325, 447);  // an outer size of 333 x 474 with the frame
    kivra::CentreOnScreen(this);
    QPalette heading = ui->StaticText1->palette();
    heading.setColor(QPalette::Window, palette().color(QPalette::Dark));
    heading.setColor(QPalette::WindowText, palette().color(QPalette::HighlightedText));
    ui->StaticText1->setPalette(heading);

    using kivra::Guarded;
    connect(ui->Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
    connect(ui->Button2, &QPushButton::clicked, this, Guarded([this] { close(); }));
    // Button3 ("Help") has no action.
    connect(ui->ListBoxServers, &QListWidget::itemDoubleClicked, this,
            Guarded([this] { ListBoxServersDblClick(); }));
}

TFormServerList::~TFormServerList() = default;

bool TFormServerList::event(QEvent *event) {
    if (event->type() == QEvent::WindowActivate) kivra::RunGuarded([this] { FormActivate(); });
    return QDialog::event(event);
}

void TFormServerList::FormActivate() {
    // Queued behind what is pending (the window's first paint among it); dropped when the dialog
    // is deleted first.
    QTimer::singleShot(0, this, kivra::Guarded([this] { BrowseServers(); }));
}

void TFormServerList::BrowseServers() {
    namespace odbc = kivra::odbc;  // this layer's calls, not the driver manager's
    HourglassCursor hourglass;
    SQLHENV environment = nullptr;
    if (odbc::SQLAllocEnv(&environment) == SQL_SUCCESS) {
        SQLHDBC connection = nullptr;
        if (odbc::SQLAllocConnect(environment, &connection) == SQL_SUCCESS) {
            auto *input = reinterpret_cast<SQLCHAR *>(const_cast<char *>(kBrowseInput));
            const SQLSMALLINT inputLength = sizeof kBrowseInput - 1;
            char answer[kOutputRoom];
            SQLSMALLINT needed = 0;
            // A first call with no room asks for the length of the answer.
            if (odbc::SQLBrowseConnect(connection, input, inputLength,
                                       reinterpret_cast<SQLCHAR *>(answer), 2, &needed) >= 0) {
                const int room = std::clamp<int>(needed, 0, kOutputRoom - 2);
                std::memset(answer, 0, static_cast<std::size_t>(room) + 2);
                SQLSMALLINT again = 0;
                odbc::SQLBrowseConnect(connection, input, inputLength,
                                       reinterpret_cast<SQLCHAR *>(answer),
                                       static_cast<SQLSMALLINT>(room + 2), &again);
                const std::size_t length = strnlen(answer, static_cast<std::size_t>(room) + 1);
                const bool cut = needed > room + 1;  // only room + 1 characters fitted
                ui->ListBoxServers->clear();
                for (const std::string &name : ServerNames(answer, length, cut)) {
                    auto *item = new QListWidgetItem(QString::fromStdString(name));
                    item->setSizeHint(QSize(0, kItemHeight));
                    ui->ListBoxServers->addItem(item);
                }
            }
            odbc::SQLDisconnect(connection);
            odbc::SQLFreeConnect(connection);
        }
        odbc::SQLFreeEnv(environment);
    }
    ui->ListBoxServers->setCurrentRow(0);
}

std::vector<std::string> TFormServerList::ServerNames(const char *answer, std::size_t n, bool cut) {
    std::vector<std::string> names;
    static constexpr char kList[] = "Server={";
    static constexpr std::size_t kListLength = sizeof kList - 1;
    if (!answer || n <= 15) return names;
    std::size_t pos = std::string::npos;
    for (std::size_t at = 0; at <= n - 15; ++at) {
        if (std::strncmp(answer + at, kList, kListLength) == 0) {
            pos = at + kListLength;
            break;
        }
    }
    if (pos == std::string::npos) return names;
    while (pos < n && answer[pos] != '}') {
        std::size_t end = pos + 1;  // the first character always belongs to the name
        while (end < n && answer[end] != ',' && answer[end] != '}') ++end;
        if (end >= n && cut) break;  // the answer ends inside this name
        names.emplace_back(answer + pos, end - pos);
        if (end >= n || answer[end] == '}') break;
        pos = end + 1;
    }
    return names;
}

void TFormServerList::AcceptSelection() {
    QListWidgetItem *item = ui->ListBoxServers->currentItem();
    if (item && item->isSelected() && LogonForm)
        LogonForm->PresetServer(item->text().toStdString());
    close();
}

void TFormServerList::Button1Click() { AcceptSelection(); }

void TFormServerList::ListBoxServersDblClick() { AcceptSelection(); }
