// The program's images: every action and tool button takes its picture from a freedesktop
// icon theme found through Qt's theme look-up, or from the copies bundled with the program,
// in the four sizes the settings MenuImageSize and BtnImageSize choose between.
#pragma once

#include <QIcon>
#include <QString>

class QMenu;
class QWidget;

// The image size of a MenuImageSize or BtnImageSize setting: 0 16, 1 24, 2 32, 3 48 pixels;
// 0 for any other value (the caller then leaves its images alone).
int ImageListSize(int Setting);
// The same for the crop trees, whose smallest images are 20 pixels.
int TreeImageSize(int Setting);

// The icon-theme name that stands for an action or button name (the objectName); names not
// known here are taken as icon-theme names themselves.
QString ActionIconName(const QString &Name);
// The image of an action, button or icon-theme name, with a picture of each of the four
// sizes; an unknown name gives the generic image.
QIcon ActionIcon(const QString &Name);
// Gives every action of Window (its own and its children's) that has no image yet the
// image of its name; actions added by any part of the window are covered, and so are the
// tool-bar buttons without an action of their own whose name has a picture here.
void GiveActionIcons(QWidget *Window);
// Menus of Window draw their images at Size pixels.
void SetMenuImageSize(QMenu *Menu, int Size);
