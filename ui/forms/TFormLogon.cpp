#include "TFormLogon.h"

#include <QComboBox>

// Placeholder until the logon dialog is built.
TFormLogon::TFormLogon(QWidget *parent) : QDialog(parent), cboxServer(new QComboBox(this)) {
    cboxServer->setObjectName(QStringLiteral("cboxServer"));
    cboxServer->setEditable(true);
}

TFormLogon::~TFormLogon() = default;

void TFormLogon::PresetServer(const std::string &server) {
    if (!server.empty()) cboxServer->setEditText(QString::fromStdString(server));
}
