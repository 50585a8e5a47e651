// The families of pictures that make_pictures draws. Each draws its pictures and writes them into
// `folder` (ui/resources/images, or ui/resources/icons for the program's icon), returning false
// when a file could not be written. Main thread, after QGuiApplication is made.
#pragma once

#include <QDir>

namespace pictures {

// StateGrey.bmp, StateRed.bmp, StateYellow.bmp, StateGreen.bmp (StatePictures.cpp)
bool DrawStateImages(const QDir &folder);
// TitleBarLeft.bmp, TitleBarMiddle.bmp, TitleBarRight.bmp (TitleBarPictures.cpp)
bool DrawTitleBar(const QDir &folder);
// LogonBanner.bmp, ToolConnect.png, ToolKillProc.png, ToolKillGroup.png, ToolProperties.png
// (ProgramPictures.cpp)
bool DrawProgramPictures(const QDir &folder);
// ServerListBanner.bmp, AboutPicture.bmp (DialogPictures.cpp)
bool DrawDialogPictures(const QDir &folder);
// GraphClose.jpg, GraphEnlarge.jpg, GraphRestore.jpg (TilePictures.cpp)
bool DrawTileImages(const QDir &folder);
// kivrawatch-SIZE.png at the icon theme's sizes, into the icons folder (AppIcon.cpp)
bool DrawAppIcon(const QDir &folder);

}  // namespace pictures
