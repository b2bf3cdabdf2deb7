#pragma once
#include "resources/bitmaps.h"

#include <QPixmap>

// A picture of the resources as a pixmap; null when there is no such picture.
QPixmap BitmapPixmap(int id);
QPixmap IconPixmap(int id);
