// The program's icon (eight sizes, 16 to 128 pixels) and the 70x30 logo
// of the main window, built into the program.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tw {

QIcon ProgramIcon();
// The icon's image closest to `size` pixels square.
QPixmap ProgramIconImage(int size);
QPixmap LogoImage();
// The logo for a screen of that many device pixels per logical pixel.
QPixmap LogoImage(qreal device_pixel_ratio);

}  // namespace tw
