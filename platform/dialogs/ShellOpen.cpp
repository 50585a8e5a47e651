#include "ShellOpen.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>

#include "ReplaceableFunction.h"

namespace kivra {
namespace {

ReplaceableFunction<bool(const QUrl &)> g_handler;

}  // namespace

bool ShellOpen(const QUrl &target) {
    const ShellOpenHandler handler = g_handler.Get();
    return handler ? handler(target) : QDesktopServices::openUrl(target);
}

ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler) {
    return g_handler.Set(std::move(handler));
}

QString HelpFilePath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("kivrawatch.chm"));
}

bool OpenHelpFile() { return ShellOpen(QUrl::fromLocalFile(HelpFilePath())); }

QUrl HomePageUrl() { return QUrl(QStringLiteral("https://www.kivrawatch.example/")); }

bool OpenHomePage() { return ShellOpen(HomePageUrl()); }

}  // namespace kivra
