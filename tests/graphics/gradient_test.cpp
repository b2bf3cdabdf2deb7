#include "graphics/gradient.h"
#include "graphics/memorydc.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

// The colour the bands give pixel x; invalid where no band lies.
QColor colourAt(const std::vector<Band>& bands, int x) {
    for (const Band& b : bands) {
        if (x >= b.start && x < b.end)
            return b.colour;
    }
    return {};
}

TEST(Gradient, APixelsColourDependsOnItsPlaceNotOnThePosition) {
    const QRect area(10, 0, 300, 8);
    const std::vector<QColor> stops{QColor(0, 0, 0), QColor(255, 0, 0), QColor(255, 255, 255)};
    const auto short_ = GradientBands(area, 100, stops);
    const auto long_ = GradientBands(area, 290, stops);
    for (int x = 10; x < 110; ++x)
        ASSERT_EQ(colourAt(short_, x), colourAt(long_, x)) << x;
    // The bands cover exactly the filled part, in order, without gaps.
    int next = area.left();
    for (const Band& b : long_) {
        ASSERT_EQ(b.start, next);
        ASSERT_LT(b.start, b.end);
        next = b.end;
    }
    EXPECT_EQ(next, area.left() + 290);
    // Sections meet at a third of the length: black to red, red to white.
    EXPECT_EQ(colourAt(long_, 10), QColor(0, 0, 0));
    EXPECT_EQ(colourAt(long_, 10 + 150), QColor(255, 0, 0));
    EXPECT_GT(colourAt(long_, 10 + 289).green(), 220); // near the white end
    EXPECT_TRUE(GradientBands(area, 0, stops).empty());
}

TEST(Gradient, BandsStepByTheLargestChannelDifference) {
    // Channel differences 4: four bands of 25 pixels over a section of 100.
    const QRect area(0, 0, 100, 5);
    const auto bands = GradientBands(area, 100, {QColor(10, 20, 30), QColor(14, 20, 26)});
    ASSERT_EQ(bands.size(), 4u);
    EXPECT_EQ(bands[1].start, 25);
    EXPECT_EQ(bands[1].colour, QColor(11, 20, 29));
    EXPECT_EQ(bands[3].colour, QColor(13, 20, 27));
    // More colours than pixels: one band per pixel; few colours: one band.
    EXPECT_EQ(GradientBands(QRect(0, 0, 7, 5), 7, {Qt::black, Qt::white}).size(), 7u);
    EXPECT_EQ(GradientBands(area, 60, {Qt::black, Qt::white}, true).size(), 1u);
    EXPECT_EQ(GradientBands(area, 60, {Qt::black, Qt::white}, true)[0].end, 60);
}

TEST(MemoryDC, DrawsInTargetCoordinatesAndTransfersOnce) {
    QImage target(100, 80, QImage::Format_RGB32);
    target.fill(Qt::white);
    {
        QPainter painter(&target);
        MemoryDC buffer(painter, QRect(20, 10, 50, 40));
        buffer.Painter().fillRect(QRect(0, 0, 100, 80), Qt::blue);
        buffer.Painter().fillRect(QRect(30, 20, 5, 5), Qt::red);
        EXPECT_EQ(target.pixel(30, 20), qRgb(255, 255, 255)); // nothing seen yet
    }
    EXPECT_EQ(target.pixel(30, 20), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(20, 10), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(69, 49), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(70, 50), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(19, 10), qRgb(255, 255, 255));

    QPainter painter(&target);
    painter.setClipRect(QRect(5, 6, 7, 8));
    EXPECT_EQ(MemoryDC::ClipBox(painter), QRect(5, 6, 7, 8));
}

} // namespace
