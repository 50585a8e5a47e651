#include "TFormAbout.h"

// Placeholder until the dialog is built: the main window shows it modally.
TFormAbout::TFormAbout(QWidget *parent) : QDialog(parent) {}
TFormAbout::~TFormAbout() = default;
