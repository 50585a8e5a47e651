// make_pictures: draws every committed picture of the user interface anew, into the resource
// folder it is given (ui/resources): the views' and dialogs' pictures into images/, the program's
// icon into icons/. Built and run by `cmake --build build --target pictures`; the normal build
// neither builds nor runs it, since the pictures are committed.
#include "Pictures.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char **argv) {
    // Painting text needs a platform plugin, no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures RESOURCE-FOLDER (ui/resources)\n");
        return 2;
    }
    const QDir resources(QString::fromLocal8Bit(argv[1]));
    const QDir images(resources.filePath(QStringLiteral("images")));
    const QDir icons(resources.filePath(QStringLiteral("icons")));
    const bool ok = pictures::DrawStateImages(images) && pictures::DrawTitleBar(images) &&
                    pictures::DrawProgramPictures(images) && pictures::DrawDialogPictures(images) &&
                    pictures::DrawTileImages(images) && pictures::DrawAppIcon(icons);
    return ok ? 0 : 1;
}
