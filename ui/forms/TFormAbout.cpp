#include "TFormAbout.h"

#include "ui_TFormAbout.h"

#include "ExceptionDisplay.h"
#include "ScreenPlacement.h"

#include <QPushButton>

TFormAbout::TFormAbout(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TFormAbout>()) {
    ui->setupUi(this);
    setFixedSize(475, 369);
    kivra::CentreOnScreen(this);
    connect(ui->Button3, &QPushButton::clicked, this, kivra::Guarded([this] { Button3Click(); }));
}

TFormAbout::~TFormAbout() = default;

void TFormAbout::Button3Click() { close(); }
