#include "graphics/gradient.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace {

// Cuts section [s0, s1) from colour a to colour b into bands, keeping those
// inside the bar [b0, b1).
void addSection(std::vector<Band>& bands, int s0, int s1, const QColor& a, const QColor& b,
                int b0, int b1, bool fewColours) {
    const int length = s1 - s0;
    if (length <= 0)
        return;
    int steps = std::max({std::abs(b.red() - a.red()), std::abs(b.green() - a.green()),
                          std::abs(b.blue() - a.blue())});
    steps = std::max(std::min(steps, length), 1);
    if (fewColours)
        steps = 1;
    const float ratio = static_cast<float>(length) / static_cast<float>(steps);
    for (int k = 0; k < steps; ++k) {
        const int e0 = s0 + static_cast<int>(static_cast<float>(k) * ratio);
        const int e1 = k + 1 == steps ? s1 : s0 + static_cast<int>(static_cast<float>(k + 1) * ratio);
        if (e1 <= b0)
            continue;
        const QColor colour(a.red() + k * (b.red() - a.red()) / steps,
                            a.green() + k * (b.green() - a.green()) / steps,
                            a.blue() + k * (b.blue() - a.blue()) / steps);
        const int start = std::max(e0, b0);
        const int end = std::min(e1, b1);
        if (start < end)
            bands.push_back({start, end, colour});
        if (e1 >= b1)
            break;
    }
}

} // namespace

std::vector<Band> GradientBands(const QRect& area, int filled, const std::vector<QColor>& stops,
                                bool fewColours) {
    std::vector<Band> bands;
    const int length = area.width();
    const int b0 = area.left();
    const int b1 = area.left() + std::min(filled, length);
    if (b1 <= b0 || stops.empty())
        return bands;
    if (stops.size() == 1) {
        bands.push_back({b0, b1, stops.front()});
        return bands;
    }
    const int sections = static_cast<int>(stops.size()) - 1;
    const float ratio = static_cast<float>(length) / static_cast<float>(sections);
    for (int i = 0; i < sections; ++i) {
        const int s0 = area.left() + static_cast<int>(static_cast<float>(i) * ratio);
        const int s1 = i + 1 == sections
                           ? area.left() + length
                           : area.left() + static_cast<int>(static_cast<float>(i + 1) * ratio);
        if (s1 <= b0)
            continue;
        addSection(bands, s0, s1, stops[static_cast<std::size_t>(i)],
                   stops[static_cast<std::size_t>(i) + 1], b0, b1, fewColours);
        if (s1 >= b1)
            break;
    }
    return bands;
}

void PaintBands(QPainter& painter, const QRect& area, const std::vector<Band>& bands) {
    for (const Band& band : bands)
        painter.fillRect(QRect(band.start, area.top(), band.end - band.start, area.height()),
                         band.colour);
}
