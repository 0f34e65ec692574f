// The program's pictures, painted in code: the logo (166 x 60), the banner
// of the splash screen and About box (380 x 71), the splash strip (380 x 10,
// orange at both ends and yellow in the middle) and the application icon
// (16, 32 and 48 px).
#pragma once

#include <QIcon>
#include <QPixmap>

namespace ui {

QPixmap logoPicture();
QPixmap bannerPicture();
QPixmap stripPicture();
QIcon applicationIcon();

}  // namespace ui
