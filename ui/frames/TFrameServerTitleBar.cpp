#include "TFrameServerTitleBar.h"

#include "ui_TFrameServerTitleBar.h"

#include "ExceptionDisplay.h"

TFrameServerTitleBar::TFrameServerTitleBar(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameServerTitleBar>()) {
    ui->setupUi(this);
    ui->LabelServerName->raise();
}

TFrameServerTitleBar::~TFrameServerTitleBar() = default;

void TFrameServerTitleBar::SetServerName(const std::string &text) {
    ui->LabelServerName->setText(QString::fromStdString(text));
}

QString TFrameServerTitleBar::ServerNameText() const { return ui->LabelServerName->text(); }

void TFrameServerTitleBar::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    // The name runs from its left edge (8 px) to the right cap.
    kivra::RunGuarded([this] {
        ui->LabelServerName->resize(qMax(0, width() - 16), ui->LabelServerName->height());
    });
}
