#pragma once
// Opening a document or an address with the desktop: the help file and the product home page.
// The opening goes through one replaceable function (by default QDesktopServices::openUrl), so
// tests see what would be opened and open nothing. As with the shell, the result is only
// information: a missing file or browser shows nothing here.
//
// Threads: main thread.

#include <QString>
#include <QUrl>

#include <functional>

namespace kivra {

using ShellOpenHandler = std::function<bool(const QUrl &target)>;

// Opens target with the desktop's application for it; true when it was handed over.
bool ShellOpen(const QUrl &target);

// Installs a handler (an empty one restores QDesktopServices::openUrl); returns the previous.
ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler);

// The help file: "kivrawatch.chm" in the folder of the program's own executable.
QString HelpFilePath();
bool OpenHelpFile();

// The product home page.
QUrl HomePageUrl();
bool OpenHomePage();

}  // namespace kivra
