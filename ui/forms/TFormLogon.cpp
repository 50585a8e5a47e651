#include "TFormLogon.h"

#include "ui_TFormLogon.h"

#include "ConnectionCommands.h"
#include "ExceptionDisplay.h"
#include "ModalDialog.h"
#include "TFormServerList.h"
#include "TKnownServers.h"

#include <QEvent>

TFormLogon::TFormLogon(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TFormLogon>()) {
    using kivra::Guarded;
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->cboxServer, QOverload<int>::of(&QComboBox::activated), this,
            Guarded([this] { cboxServerSelect(); }));
    connect(ui->btnLogon, &QPushButton::clicked, this, Guarded([this] { btnLogonClick(); }));
    connect(ui->Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
    connect(ui->Button3, &QPushButton::clicked, this, Guarded([this] { Button3Click(); }));
    // "Help" (Button4) has no action.
}

TFormLogon::~TFormLogon() = default;

void TFormLogon::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    kivra::RunGuarded([this] {
        ui->editLogonID->setFocus();
        FormActivate();
    });
}

void TFormLogon::changeEvent(QEvent *event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        kivra::RunGuarded([this] { FormActivate(); });
}

void TFormLogon::PresetServer(const std::string &server) {
    if (server.empty()) return;
    ui->cboxServer->setEditText(QString::fromStdString(server));
    LoadSavedLogon();
}

void TFormLogon::LoadSavedLogon() {
    const stSavedLogon logon =
        TKnownServers::ReadSavedLogon(ui->cboxServer->currentText().toStdString());
    if (!logon.KeyExists) return;
    if (logon.HasUseWindowsNT) ui->cboxNTAuthentication->setChecked(logon.UseWindowsNT);
    ui->editLogonID->setText(logon.HasUserID ? QString::fromStdString(logon.UserID) : QString());
    ui->editPassword->clear();
    ui->cboxSavePassword->setChecked(false);
    if (logon.HasPassword) {
        ui->editPassword->setText(QString::fromStdString(logon.Password));
        ui->cboxSavePassword->setChecked(true);
    }
}

void TFormLogon::FormActivate() {
    QComboBox *combo = ui->cboxServer;
    const QString typed = combo->currentText();
    bool added = false;
    for (const std::string &name : TKnownServers::ListKnownServers()) {
        const QString text = QString::fromStdString(name);
        if (combo->findText(text, Qt::MatchFixedString) >= 0) continue;  // any letter case
        combo->addItem(text);
        added = true;
    }
    if (added) {
        // Adding items never changes what the box shows.
        combo->setCurrentIndex(-1);
        combo->setEditText(typed);
    }
    std::string server;
    if (combo->currentText().isEmpty() && TKnownServers::ReadDefaultServer(server)) {
        combo->setEditText(QString::fromStdString(server));
        LoadSavedLogon();
    }
}

void TFormLogon::cboxServerSelect() { LoadSavedLogon(); }

void TFormLogon::btnLogonClick() {
    if (!MainForm) return;
    const std::string server = ui->cboxServer->currentText().toStdString();
    const bool windowsAuth = ui->cboxNTAuthentication->isChecked();
    const std::string userId = ui->editLogonID->text().toStdString();
    const std::string password = ui->editPassword->text().toStdString();
    if (!MainForm->ConnectToServer(server, windowsAuth, userId, password)) return;
    // The server is connected: the dialog closes even when the logon could not be saved.
    kivra::RunGuarded([&] {
        TKnownServers::SaveLogon(server, windowsAuth, userId, ui->cboxSavePassword->isChecked(),
                                 password);
    });
    accept();
}

void TFormLogon::Button1Click() {
    auto dialog = std::make_unique<TFormServerList>(this);
    dialog->LogonForm = this;
    kivra::ShowModal(dialog.get());
}

void TFormLogon::Button3Click() { reject(); }
