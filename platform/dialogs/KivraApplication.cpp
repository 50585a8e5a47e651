#include "KivraApplication.h"

#include "ExceptionDisplay.h"

KivraApplication::KivraApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool KivraApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        kivra::ShowException(std::current_exception());
        return false;
    }
}
