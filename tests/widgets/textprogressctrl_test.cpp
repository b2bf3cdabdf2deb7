#include "widgets/textprogressctrl.h"

#include "graphics/dibimage.h"
#include "widgets/picturecontrol.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

const QColor kBackground(200, 200, 200);
const QColor kBar(0, 0, 160);
const QColor kTextOverBar(255, 255, 0);
const QColor kTextOverBackground(200, 0, 0);

class TextProgressTest : public ::testing::Test {
protected:
    TextProgressTest() {
        bar.resize(202, 20);
        bar.background = kBackground;
        bar.barColours = {kBar, kBar};
        bar.textOverBar = kTextOverBar;
        bar.textOverBackground = kTextOverBackground;
        bar.marginLeft = bar.marginTop = bar.marginRight = bar.marginBottom = 1;
        bar.SetRange(0, 100);
    }
    QImage render() {
        QImage image(bar.size(), QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        bar.Paint(painter);
        return image;
    }
    // Whether any pixel of the columns [x0, x1) has that colour.
    static bool has(const QImage& image, int x0, int x1, const QColor& colour) {
        for (int x = x0; x < x1; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                if (image.pixelColor(x, y) == colour)
                    return true;
            }
        }
        return false;
    }

    TextProgressCtrl bar;
};

TEST_F(TextProgressTest, HalfWayFillsHalfTheBarArea) {
    bar.SetPos(50);
    const QImage image = render();
    // Margins of 1 in a client width of 202: a bar area of 200, 100 filled.
    EXPECT_EQ(bar.FilledBar().width(), 100);
    for (int x = 1; x <= 100; ++x)
        ASSERT_EQ(image.pixelColor(x, 10), kBar) << x;
    for (int x : {0, 101, 150, 201})
        EXPECT_EQ(image.pixelColor(x, 10), kBackground) << x;
    EXPECT_EQ(image.pixelColor(50, 0), kBackground); // the top margin
    EXPECT_FALSE(has(image, 0, 202, kTextOverBar));  // no text bits: no text
}

TEST_F(TextProgressTest, TheTextChangesColourWhereTheBarEnds) {
    bar.SetText("100.00 GB free of 200.00 GB", TextProgressCtrl::kTextBits);
    bar.SetPos(90);
    const QImage image = render();
    const int barEnd = 1 + bar.FilledBar().width();
    EXPECT_TRUE(has(image, 1, barEnd, kTextOverBar));
    EXPECT_FALSE(has(image, barEnd, 202, kTextOverBar));
    EXPECT_TRUE(has(image, barEnd, 201, kTextOverBackground));
    EXPECT_FALSE(has(image, 1, barEnd, kTextOverBackground));
    // The text is right-aligned: nothing of it at the far left.
    EXPECT_FALSE(has(image, 1, 20, kTextOverBar));
    bar.SetText("hidden", 0);
    EXPECT_FALSE(has(render(), 0, 202, kTextOverBar));
    EXPECT_EQ(bar.TextBits(), 0u);
}

TEST_F(TextProgressTest, AnEmptyRangeShowsTextOnlyAndAPositionOutsideShowsNothing) {
    bar.SetText("5 %", TextProgressCtrl::kTextBits);
    bar.SetRange(0, 0);
    bar.SetPos(0);
    QImage image = render();
    EXPECT_FALSE(has(image, 0, 202, kBar));
    EXPECT_TRUE(has(image, 0, 202, kTextOverBackground));
    EXPECT_FALSE(has(image, 0, 202, kTextOverBar));

    bar.SetRange(0, 100);
    bar.SetPos(101);
    image = render();
    for (int x = 0; x < 202; x += 7)
        ASSERT_EQ(image.pixelColor(x, 10), kBackground) << x;
    EXPECT_FALSE(has(image, 0, 202, kTextOverBackground));
}

TEST_F(TextProgressTest, ThePaintEventCoversEveryPixel) {
    bar.SetPos(30);
    const QImage shown = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, render());
}

TEST(PictureControl, KeepsTheLastFrameUntilErased) {
    PictureControl picture;
    picture.resize(40, 30);
    DibImage image;
    ASSERT_TRUE(image.Create(8, 6, 24));
    EXPECT_TRUE(picture.ShowImage(image));
    ASSERT_EQ(picture.Frame().size(), QSize(40, 30));
    EXPECT_EQ(picture.Frame().pixelColor(39, 29), QColor(0, 0, 0));
    const QImage shown = picture.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, picture.Frame());
    picture.Erase();
    EXPECT_TRUE(picture.Frame().isNull());
    EXPECT_FALSE(picture.ShowImage(DibImage())); // nothing to draw: grey
    EXPECT_TRUE(picture.Frame().isNull());
}

} // namespace
