#include "TFormProperties.h"

#include "ui_TFormProperties.h"

#include "EIdProtocolReplyError.h"
#include "EIdSocketError.h"
#include "ExceptionDisplay.h"
#include "FolderPicker.h"
#include "MessageBoxHook.h"
#include "ScreenPlacement.h"
#include "TFormMain.h"
#include "TRegistry.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>

namespace {

const char *const kMainKey = "\\SOFTWARE\\Vornix\\Kivrawatch";
const char *const kAlertsKey = "\\SOFTWARE\\Vornix\\Kivrawatch\\Alerts";
const char *const kLoggingKey = "\\SOFTWARE\\Vornix\\Kivrawatch\\Logging";
const QChar kMaskBlank = QLatin1Char('_');

// A whole number as the framework's text-to-integer conversion reads it: blanks before it, an
// optional sign, decimal digits, nothing after them, within 32 bits.
int StrToInt(const QString &text) {
    const std::string s = text.toStdString();
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    const char *start = s.c_str() + i;
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(start, &end, 10);
    const bool digits = i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) ||
                                         ((s[i] == '-' || s[i] == '+') && i + 1 < s.size() &&
                                          std::isdigit(static_cast<unsigned char>(s[i + 1]))));
    if (!digits || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        throw std::invalid_argument("'" + s + "' is not a valid integer value");
    return static_cast<int>(value);
}

}  // namespace

TFormProperties::TFormProperties(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TFormProperties>()) {
    ui->setupUi(this);
    setFixedSize(395, 319);
    kivra::CentreOnScreen(this);
    ui->TabControl1->setCurrentIndex(0);

    IdSMTPTest.Port = 25;
    IdSMTPTest.AuthenticationType = atNone;
    IdMsgTest.Subject = "Kivrawatch Test Message";
    IdMsgTest.Body = {"This is a test message from Kivrawatch"};

    using kivra::Guarded;
    connect(ui->TrackBarRefresh, &QSlider::valueChanged, this,
            Guarded([this] { TrackBarRefreshChange(); }));
    connect(ui->TabControl1, &QTabWidget::currentChanged, this,
            Guarded([this] { TabControl1Change(); }));
    connect(ui->CheckBoxEnableEmail, &QCheckBox::toggled, this,
            Guarded([this] { CheckBoxEnableEmailClick(); }));
    connect(ui->ComboBoxAuthenticate, &QComboBox::currentIndexChanged, this,
            Guarded([this] { ComboBoxAuthenticateChange(); }));
    connect(ui->CheckBoxEnableLogging, &QCheckBox::toggled, this,
            Guarded([this] { CheckBoxEnableLoggingClick(); }));
    connect(ui->Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
    connect(ui->ButtonTestEmail, &QPushButton::clicked, this,
            Guarded([this] { ButtonTestEmailClick(); }));
    connect(ui->ButtonApply, &QPushButton::clicked, this, Guarded([this] { ButtonApplyClick(); }));
    connect(ui->Button4, &QPushButton::clicked, this, Guarded([this] { Button4Click(); }));
    connect(ui->Button5, &QPushButton::clicked, this, Guarded([this] { Button5Click(); }));
    // Button6 ("Help") has no action.

    TrackBarRefreshChange();
}

TFormProperties::~TFormProperties() = default;

// ---- Filling --------------------------------------------------------------------------------

void TFormProperties::SetMainForm(TFormMain *main) {
    MainForm = main;
    const int panel = main ? main->InitialPanel : -1;
    ui->ComboBoxInitialPanel->setCurrentIndex(
        panel >= 0 && panel < ui->ComboBoxInitialPanel->count() ? panel : -1);
}

void TFormProperties::SetRefreshInterval(int seconds) {
    ui->TrackBarRefresh->setValue(seconds);  // the bar keeps it within its range
    TrackBarRefreshChange();
}

void TFormProperties::SetEmailAlerts(stEmailAlerts alerts) {
    ui->CheckBoxEnableEmail->setChecked(alerts.EmailAlerts);
    ui->CheckBoxCPUUsage->setChecked(alerts.CPUUsage);
    ui->EditCPUUsageRefreshes->setText(QString::number(alerts.CPUUsageRefresh));
    ui->EditCPUUsageValue->setText(QString::number(alerts.CPUUsageValue));
    ui->CheckBoxServerResponse->setChecked(alerts.ServerResponse);
    ui->EditRespAlertRefreshes->setText(QString::number(alerts.ServerResponseRefresh));
    ui->EditRespAlertValue->setText(QString::number(alerts.ServerResponseValue));
    ui->CheckBoxServerDisconnect->setChecked(alerts.ServerDisconnect);
    ui->EditAlertEmailAddress->setText(QString::fromStdString(alerts.AlertEmails));
    ui->EditSMTPHost->setText(QString::fromStdString(alerts.SMTPHost));
    ui->EditFromEmail->setText(QString::fromStdString(alerts.FromEmail));
    ui->EditUserID->setText(QString::fromStdString(alerts.SMTPUser));
    ui->EditPassword->setText(QString::fromStdString(alerts.SMTPPassword));
    const int type = alerts.SMTPAuthenticationType;
    ui->ComboBoxAuthenticate->setCurrentIndex(
        type >= 0 && type < ui->ComboBoxAuthenticate->count() ? type : -1);
    UpdateEmailControls();
}

void TFormProperties::SetLogging(stLogging logging) {
    ui->CheckBoxServerStatisicsLog->setChecked(logging.ServerLogging);
    ui->CheckBoxSessionStatisicsLog->setChecked(logging.SessionLogging);
    ui->EditLoggingDirectory->setText(QString::fromStdString(logging.LoggingDirectory));
    SetLogEveryText(logging.RefreshCount);
    ui->CheckBoxEnableLogging->setChecked(logging.Logging);
    CheckBoxEnableLoggingClick();
}

QString TFormProperties::LogEveryText() const {
    QString digits;
    for (const QChar c : ui->MaskEditServerStatusRefresh->displayText())
        if (c != kMaskBlank) digits += c;
    return digits.rightJustified(3, QLatin1Char(' '));
}

void TFormProperties::SetLogEveryText(int value) {
    // Digits to the right, blanks before them, as the field shows a stored number.
    ui->MaskEditServerStatusRefresh->setText(QString::number(value).rightJustified(3, kMaskBlank));
}

// ---- Rules ----------------------------------------------------------------------------------

void TFormProperties::TrackBarRefreshChange() {
    const int position = ui->TrackBarRefresh->value();
    ui->LabelRefresh->setText(position == 0   ? QStringLiteral("No Refresh")
                              : position == 1 ? QStringLiteral("Every Second")
                                              : QString::number(position) + " Seconds");
}

void TFormProperties::TabControl1Change() {
    const int tab = ui->TabControl1->currentIndex();
    ui->Panel1->setVisible(tab == 0);
    ui->Panel2->setVisible(tab == 1);
    ui->Panel3->setVisible(tab == 2);
}

void TFormProperties::UpdateEmailControls() {
    const bool on = ui->CheckBoxEnableEmail->isChecked();
    const bool logOn = on && ui->ComboBoxAuthenticate->currentText() != QLatin1String("None");
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->CheckBoxServerDisconnect, ui->CheckBoxServerResponse, ui->CheckBoxCPUUsage,
             ui->LabelAlertEmailAddress, ui->LabelSMTPHost, ui->LabelFromEmail,
             ui->EditAlertEmailAddress, ui->EditSMTPHost, ui->EditFromEmail, ui->ButtonTestEmail,
             ui->LabelNoRefreshes, ui->LabelEmailValue, ui->EditRespAlertRefreshes,
             ui->EditCPUUsageRefreshes, ui->EditCPUUsageValue, ui->EditRespAlertValue,
             ui->LabelEmailAuthentication, ui->ComboBoxAuthenticate})
        w->setEnabled(on);
    for (QWidget *w : std::initializer_list<QWidget *>{ui->LabelUserID, ui->LabelPassword,
                                                       ui->EditUserID, ui->EditPassword})
        w->setEnabled(logOn);
}

void TFormProperties::CheckBoxEnableEmailClick() { UpdateEmailControls(); }

void TFormProperties::ComboBoxAuthenticateChange() {
    const bool logOn = ui->ComboBoxAuthenticate->currentText() != QLatin1String("None");
    for (QWidget *w : std::initializer_list<QWidget *>{ui->EditUserID, ui->EditPassword,
                                                       ui->LabelUserID, ui->LabelPassword})
        w->setEnabled(logOn);
}

void TFormProperties::CheckBoxEnableLoggingClick() {
    const bool on = ui->CheckBoxEnableLogging->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->CheckBoxServerStatisicsLog, ui->CheckBoxSessionStatisicsLog,
             ui->EditLoggingDirectory, ui->LabelDir, ui->LabelServerStatsLeft,
             ui->LabelServerStatsRight, ui->MaskEditServerStatusRefresh,
             ui->LabelSessoinStatsMoreInfo, ui->Button1})
        w->setEnabled(on);
}

// ---- Commands -------------------------------------------------------------------------------

void TFormProperties::Button1Click() {
    const QString folder =
        kivra::BrowseForFolder(this, QStringLiteral("Select Logging Directory!"));
    // A cancelled picker keeps the folder as it was.
    if (!folder.isEmpty()) ui->EditLoggingDirectory->setText(folder);
}

void TFormProperties::ButtonTestEmailClick() {
    IdSMTPTest.Host = ui->EditSMTPHost->text().toStdString();
    if (ui->ComboBoxAuthenticate->currentText() != QLatin1String("None")) {
        IdSMTPTest.AuthenticationType = atLogin;
        IdSMTPTest.Username = ui->EditUserID->text().toStdString();
        IdSMTPTest.Password = ui->EditPassword->text().toStdString();
    } else {
        IdSMTPTest.AuthenticationType = atNone;
    }
    IdMsgTest.Recipients = ui->EditAlertEmailAddress->text().toStdString();
    IdMsgTest.FromAddress = ui->EditFromEmail->text().toStdString();
    IdMsgTest.SenderAddress = IdMsgTest.FromAddress;

    // Whatever happens, the session ends with the test.
    struct SessionEnd {
        TIdSMTP &Smtp;
        ~SessionEnd() { Smtp.Disconnect(); }
    } end{IdSMTPTest};
    try {
        IdSMTPTest.Connect(kTestConnectTimeoutMs);
        IdSMTPTest.Send(IdMsgTest);
    } catch (const EIdProtocolReplyError &e) {
        kivra::ApplicationMessageBox(e.what(), "Error", kivra::MB_OK);
    } catch (const EIdSocketError &e) {
        kivra::ApplicationMessageBox(e.what(), "Error", kivra::MB_OK);
    }
}

void TFormProperties::ButtonApplyClick() {
    kivra::RunGuarded([this] { ApplySettings(); });
}

void TFormProperties::Button4Click() {
    if (kivra::RunGuarded([this] { ApplySettings(); })) close();
}

void TFormProperties::Button5Click() { close(); }

namespace {

// The initial-panel box's item: the one whose text the box shows, -1 for a text of none.
int InitialPanelIndex(const QComboBox *box) {
    const int index = box->currentIndex();
    if (index >= 0 && box->itemText(index) == box->currentText()) return index;
    return box->findText(box->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

}  // namespace

void TFormProperties::ApplySettings() {
    if (MainForm) {
        MainForm->SetRefreshInterval(ui->TrackBarRefresh->value());
        MainForm->InitialPanel = InitialPanelIndex(ui->ComboBoxInitialPanel);

        stEmailAlerts alerts;
        alerts.CPUUsageRefresh = StrToInt(ui->EditCPUUsageRefreshes->text());
        alerts.CPUUsageValue = StrToInt(ui->EditCPUUsageValue->text());
        alerts.ServerResponseRefresh = StrToInt(ui->EditRespAlertRefreshes->text());
        alerts.ServerResponseValue = StrToInt(ui->EditRespAlertValue->text());
        alerts.EmailAlerts = ui->CheckBoxEnableEmail->isChecked();
        alerts.CPUUsage = ui->CheckBoxCPUUsage->isChecked();
        alerts.ServerResponse = ui->CheckBoxServerResponse->isChecked();
        alerts.ServerDisconnect = ui->CheckBoxServerDisconnect->isChecked();
        alerts.AlertEmails = ui->EditAlertEmailAddress->text().toStdString();
        alerts.FromEmail = ui->EditFromEmail->text().toStdString();
        alerts.SMTPHost = ui->EditSMTPHost->text().toStdString();
        alerts.SMTPAuthenticationType = ui->ComboBoxAuthenticate->currentIndex();
        alerts.SMTPUser = ui->EditUserID->text().toStdString();
        alerts.SMTPPassword = ui->EditPassword->text().toStdString();
        MainForm->SetEmailAlerts(alerts);

        MainForm->LogSettings.Logging = ui->CheckBoxEnableLogging->isChecked();
        MainForm->LogSettings.ServerLogging = ui->CheckBoxServerStatisicsLog->isChecked();
        MainForm->LogSettings.SessionLogging = ui->CheckBoxSessionStatisicsLog->isChecked();
        MainForm->LogSettings.RefreshCount = StrToInt(LogEveryText());
        MainForm->SetLoggingDirectory(ui->EditLoggingDirectory->text().toStdString());
    } else {
        // Without a main window the numbers are still checked before anything is written.
        for (const QString &text :
             {ui->EditCPUUsageRefreshes->text(), ui->EditCPUUsageValue->text(),
              ui->EditRespAlertRefreshes->text(), ui->EditRespAlertValue->text(), LogEveryText()})
            StrToInt(text);
    }
    WriteSettings();
}

void TFormProperties::WriteSettings() {
    TRegistry reg;
    if (!reg.OpenKey(kMainKey, true)) return;
    reg.WriteInteger("RefreshInterval", ui->TrackBarRefresh->value());
    reg.WriteInteger("InitialPanel", InitialPanelIndex(ui->ComboBoxInitialPanel));
    reg.WriteBool("EmailAlerts", ui->CheckBoxEnableEmail->isChecked());
    reg.WriteBool("Logging", ui->CheckBoxEnableLogging->isChecked());
    reg.CloseKey();

    if (reg.OpenKey(kAlertsKey, true)) {
        reg.WriteBool("CPUUsage", ui->CheckBoxCPUUsage->isChecked());
        reg.WriteBool("ServerDisconnect", ui->CheckBoxServerDisconnect->isChecked());
        reg.WriteBool("ServerResponse", ui->CheckBoxServerResponse->isChecked());
        reg.WriteInteger("CPUUsageRefresh", StrToInt(ui->EditCPUUsageRefreshes->text()));
        reg.WriteInteger("CPUUsageValue", StrToInt(ui->EditCPUUsageValue->text()));
        reg.WriteInteger("ServerResponseRefresh", StrToInt(ui->EditRespAlertRefreshes->text()));
        reg.WriteInteger("ServerResponseValue", StrToInt(ui->EditRespAlertValue->text()));
        reg.WriteString("AlertEmails", ui->EditAlertEmailAddress->text().toStdString());
        reg.WriteString("FromEmail", ui->EditFromEmail->text().toStdString());
        reg.WriteString("SMTPHost", ui->EditSMTPHost->text().toStdString());
        reg.WriteString("SMTPUser", ui->EditUserID->text().toStdString());
        reg.WriteString("SMTPPassword", ui->EditPassword->text().toStdString());
        reg.WriteInteger("SMTPAuthenticationType", ui->ComboBoxAuthenticate->currentIndex());
        reg.CloseKey();
    }

    if (reg.OpenKey(kLoggingKey, true)) {
        reg.WriteString("LoggingDirectory", ui->EditLoggingDirectory->text().toStdString());
        reg.WriteInteger("RefreshCount", StrToInt(LogEveryText()));
        reg.WriteBool("ServerLogging", ui->CheckBoxServerStatisicsLog->isChecked());
        reg.WriteBool("SessionLogging", ui->CheckBoxSessionStatisicsLog->isChecked());
        reg.CloseKey();
    }
}
