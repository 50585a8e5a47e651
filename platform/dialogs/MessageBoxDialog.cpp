#include "MessageBoxDialog.h"

#include "MessageBoxHook.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include <cstdio>

namespace kivra {
namespace {

constexpr unsigned kButtonMask = 0x0F;
constexpr unsigned kIconMask = 0xF0;

QMessageBox::StandardButtons ButtonsFor(unsigned flags) {
    switch (flags & kButtonMask) {
    case MB_OKCANCEL: return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_YESNO: return QMessageBox::Yes | QMessageBox::No;
    default: return QMessageBox::Ok;
    }
}

QMessageBox::Icon IconFor(unsigned flags) {
    switch (flags & kIconMask) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONWARNING: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

int ResultFor(int button) {
    switch (button) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDOK;
    }
}

int ShowOnGuiThread(const std::string &text, const std::string &caption, unsigned flags) {
    QMessageBox box(IconFor(flags), QString::fromStdString(caption), QString::fromStdString(text),
                    ButtonsFor(flags), QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    const QMessageBox::StandardButton escape = (flags & kButtonMask) == MB_YESNO ? QMessageBox::No
                                               : (flags & kButtonMask) == MB_OKCANCEL
                                                   ? QMessageBox::Cancel
                                                   : QMessageBox::Ok;
    box.setEscapeButton(escape);
    box.setDefaultButton((flags & kButtonMask) == MB_YESNO ? QMessageBox::Yes : QMessageBox::Ok);
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    return clicked ? ResultFor(box.standardButton(clicked)) : ResultFor(escape);
}

}  // namespace

int CautiousAnswer(unsigned flags) {
    switch (flags & kButtonMask) {
    case MB_OKCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    default: return IDOK;
    }
}

int ShowMessageBoxDialog(const std::string &text, const std::string &caption, unsigned flags) {
    QPointer<QApplication> app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app) {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        return CautiousAnswer(flags);
    }
    if (QThread::currentThread() == app->thread()) return ShowOnGuiThread(text, caption, flags);
    int result = CautiousAnswer(flags);
    QMetaObject::invokeMethod(
        app, [&] { result = ShowOnGuiThread(text, caption, flags); }, Qt::BlockingQueuedConnection);
    return result;
}

void InstallMessageBoxDialog() { SetMessageBoxHandler(&ShowMessageBoxDialog); }

}  // namespace kivra
