#pragma once
// The gradient of a progress bar: colour stops spread over the bar's full
// length, shown only over the part the position fills, each section filled
// with solid bands stepping from one stop's colour to the next.

#include <QColor>
#include <QRect>

#include <vector>

class QPainter;

struct Band {
    int start; // x of the first pixel
    int end;   // x past the last pixel
    QColor colour;
};

// The bands that paint the filled part [area.left, area.left + filled) of a
// bar over area. fewColours: a device of fewer than 256 colours, where each
// section is one solid band.
std::vector<Band> GradientBands(const QRect& area, int filled, const std::vector<QColor>& stops,
                                bool fewColours = false);

// Fills the bands over the height of area.
void PaintBands(QPainter& painter, const QRect& area, const std::vector<Band>& bands);
