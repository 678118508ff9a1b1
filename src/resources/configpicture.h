// The product picture of the configuration form's About page.
#pragma once

#include <QPixmap>

// Drawn at the given size in logical pixels, sharp on high-dpi screens.
QPixmap ConfigFormPicture(int width, int height, qreal devicePixelRatio);
