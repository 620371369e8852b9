#pragma once

// Pictures drawn in code: the 24 x 24 picture buttons of both windows, the labelled action
// buttons of the setup window and the program icon. Each picture button icon carries its own
// greyed image for the disabled state.

#include <QIcon>
#include <QImage>
#include <QString>

class QPainter;

namespace kstbell {

inline constexpr int kPictureSize = 24;

QImage DrawSetupPicture();      // a gear
QImage DrawFindMePicture();     // a target with cross hairs
QImage DrawRefreshPicture();    // two arrows chasing each other round a circle
QImage DrawCheckMarkPicture();  // a green check mark: the setup window's apply images

inline constexpr int kActionPictureWidth = 178;
inline constexpr int kActionPictureHeight = 29;
// A raised button face with the words centred on it, kActionPictureWidth x
// kActionPictureHeight.
QImage DrawActionPicture(const QString& words);

// The greyed look of a picture: grey levels only, lightened and partly transparent.
QImage GreyedPicture(const QImage& picture);
// An icon with the picture for the normal state and its greyed form for the disabled state.
QIcon PictureIcon(const QImage& picture);

// The program icon: an alarm horn with sound waves, drawn in a box of kProgramIconUnits square
// (scale the painter for other sizes); as an image of size x size pixels; and as an icon in
// several sizes.
inline constexpr int kProgramIconUnits = 64;
void PaintProgramIcon(QPainter& painter);
QImage DrawProgramIcon(int size);
QIcon ProgramIcon();

}  // namespace kstbell
