#include "ScreenPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace kivra {
namespace {

void MoveToCentre(QWidget *window) {
    const QWidget *parent = window->parentWidget();
    const QScreen *screen = parent ? parent->window()->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

// Places its window once more at its first show, before the platform maps it, unless the window
// was moved elsewhere since; then goes.
class TCentreAtFirstShow : public QObject {
public:
    explicit TCentreAtFirstShow(QWidget *window) : QObject(window), Placed(window->pos()) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Show && watched == parent()) {
            auto *window = static_cast<QWidget *>(watched);
            if (window->pos() == Placed) MoveToCentre(window);
            window->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QPoint Placed;
};

}  // namespace

void CentreOnScreen(QWidget *window) {
    if (!window) return;
    MoveToCentre(window);
    if (!window->isVisible()) new TCentreAtFirstShow(window);
}

}  // namespace kivra
