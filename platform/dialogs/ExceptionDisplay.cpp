#include "ExceptionDisplay.h"

#include "MessageBoxHook.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace kivra {
namespace {

std::string ApplicationTitle() {
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        return QGuiApplication::applicationDisplayName().toStdString();
    }
    return QCoreApplication::applicationName().toStdString();
}

}  // namespace

std::string ExceptionMessage(std::exception_ptr error) {
    if (!error) return std::string();
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return std::string();
    }
}

void ShowException(std::exception_ptr error) {
    if (!error) return;
    ApplicationMessageBox(ExceptionMessage(error), ApplicationTitle(), MB_OK | MB_ICONERROR);
}

bool RunGuarded(const std::function<void()> &action) {
    try {
        action();
        return true;
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

}  // namespace kivra
