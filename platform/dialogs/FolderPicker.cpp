#include "FolderPicker.h"

#include <QDir>
#include <QFileDialog>

#include "ReplaceableFunction.h"

namespace kivra {
namespace {

ReplaceableFunction<QString(QWidget *, const QString &)> g_handler;

QString RealBrowser(QWidget *owner, const QString &title) {
    const QString path =
        QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
    return path.isEmpty() ? QString() : QDir::toNativeSeparators(path);
}

}  // namespace

QString BrowseForFolder(QWidget *owner, const QString &title) {
    const FolderPickerHandler handler = g_handler.Get();
    return handler ? handler(owner, title) : RealBrowser(owner, title);
}

FolderPickerHandler SetFolderPickerHandler(FolderPickerHandler handler) {
    return g_handler.Set(std::move(handler));
}

}  // namespace kivra
