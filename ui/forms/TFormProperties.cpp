#include "TFormProperties.h"

// Placeholder until the dialog is built: the declared operations are what the main window calls.
TFormProperties::TFormProperties(QWidget *parent) : QDialog(parent) {}
TFormProperties::~TFormProperties() = default;

void TFormProperties::SetMainForm(TFormMain *mainForm) { MainForm = mainForm; }
void TFormProperties::SetRefreshInterval(int) {}
void TFormProperties::SetEmailAlerts(stEmailAlerts) {}
void TFormProperties::SetLogging(stLogging) {}
