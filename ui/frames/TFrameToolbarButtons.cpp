#include "TFrameToolbarButtons.h"

#include "ui_TFrameToolbarButtons.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace {

// The button's image, and a lighter one for the hot state under the pointer.
QIcon ButtonIcon(const QString &path) {
    const QPixmap normal(path);
    QPixmap hot(normal.size());
    hot.fill(Qt::transparent);
    {
        QPainter p(&hot);
        p.drawPixmap(0, 0, normal);
        p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        p.fillRect(hot.rect(), QColor(255, 255, 255, 70));
    }
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(hot, QIcon::Active);
    return icon;
}

}  // namespace

TFrameToolbarButtons::TFrameToolbarButtons(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameToolbarButtons>()) {
    ui->setupUi(this);
    ToolButtonConnect = ui->ToolButtonConnect;
    ToolButtonKillProc = ui->ToolButtonKillProc;
    ToolButtonKillGroup = ui->ToolButtonKillGroup;
    ToolButtonProperties = ui->ToolButtonProperties;
    ToolButtonConnect->setIcon(ButtonIcon(QStringLiteral(":/images/ToolConnect.png")));
    ToolButtonKillProc->setIcon(ButtonIcon(QStringLiteral(":/images/ToolKillProc.png")));
    ToolButtonKillGroup->setIcon(ButtonIcon(QStringLiteral(":/images/ToolKillGroup.png")));
    ToolButtonProperties->setIcon(ButtonIcon(QStringLiteral(":/images/ToolProperties.png")));
}

TFrameToolbarButtons::~TFrameToolbarButtons() = default;

void TFrameToolbarButtons::SetButtonWidth(int width) {
    for (QToolButton *button :
         {ToolButtonConnect, ToolButtonKillProc, ToolButtonKillGroup, ToolButtonProperties})
        button->setFixedWidth(width);
}
