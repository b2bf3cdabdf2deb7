#pragma once
#include "resources/bitmaps.h"

#include <QImage>
#include <QPixmap>

// A picture of the resources as a pixmap; null when there is no such picture.
QPixmap BitmapPixmap(int id);
QPixmap IconPixmap(int id);
// The icon as an image, for programs without a display (icon files).
QImage IconImage(int id);
