#pragma once
// The folder picker: a modal folder browser owned by a window, with a title, starting nowhere in
// particular. It goes through one replaceable function (by default
// QFileDialog::getExistingDirectory), so tests can answer it. The chosen folder's full path comes
// back in the platform's own form, however long; a cancelled browser gives an empty text.
//
// Threads: main thread.

#include <QString>

#include <functional>

class QWidget;

namespace kivra {

using FolderPickerHandler = std::function<QString(QWidget *owner, const QString &title)>;

QString BrowseForFolder(QWidget *owner, const QString &title);

// Installs a handler (an empty one restores the real browser); returns the previous one.
FolderPickerHandler SetFolderPickerHandler(FolderPickerHandler handler);

}  // namespace kivra
