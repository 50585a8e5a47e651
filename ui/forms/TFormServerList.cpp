#include "TFormServerList.h"

// Placeholder until the dialog is built: the logon dialog sets LogonForm and shows it.
TFormServerList::TFormServerList(QWidget *parent) : QDialog(parent) {}
TFormServerList::~TFormServerList() = default;
