#include "graphics/dibimage.h"

#include "builders/jpegframes.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

std::uint32_t rgb(int r, int g, int b) {
    return 0xFF000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
           static_cast<std::uint32_t>(b);
}

std::uint32_t headerField(const DibImage& image, std::size_t offset) {
    std::uint32_t v = 0;
    std::memcpy(&v, image.Block().data() + offset, 4); // little-endian host
    return v;
}

TEST(DibImageDecoding, ColourFramesAreBlueGreenRedAndBottomUp) {
    // Width 21: 63 bytes of pixels a row, padded to 64.
    const auto bytes = MakeJpegFrame(21, 13, 3);
    const DibImage image(bytes.data(), bytes.size(), DibImage::Type::Jpeg);
    ASSERT_TRUE(image.IsValid());
    EXPECT_EQ(image.BitCount(), 24);
    EXPECT_EQ(image.PaletteSize(), 0);
    EXPECT_EQ(image.Stride(), 64u);
    EXPECT_EQ(headerField(image, 0), 40u);
    EXPECT_EQ(headerField(image, 4), 21u);
    EXPECT_EQ(headerField(image, 8), 13u);
    EXPECT_EQ(headerField(image, 12), 1u | 24u << 16);
    EXPECT_EQ(headerField(image, 20), 64u * 13);
    EXPECT_EQ(image.Block().size(), 40u + 64 * 13);
    const PlainJpeg ref = DecodeJpegPlainly(bytes);
    ASSERT_EQ(ref.components, 3);
    for (int y = 0; y < 13; ++y) {
        // Row 0 in memory is the picture's bottom row, stored blue first.
        const std::uint8_t* row = image.Row(12 - y);
        for (int x = 0; x < 21; ++x) {
            const std::uint8_t* want = ref.at(x, y);
            ASSERT_EQ(row[x * 3], want[2]) << x << "," << y;
            ASSERT_EQ(row[x * 3 + 1], want[1]);
            ASSERT_EQ(row[x * 3 + 2], want[0]);
            ASSERT_EQ(image.Pixel(x, y), rgb(want[0], want[1], want[2]));
        }
    }
}

TEST(DibImageDecoding, GreyFramesUseAGreyPaletteAndCmykFramesAreConverted) {
    const auto grey = MakeTestPatternFrame(30, 21, 7, FrameColours::Grey);
    const DibImage greyImage(grey.data(), grey.size(), DibImage::Type::Jpeg);
    ASSERT_TRUE(greyImage.IsValid());
    EXPECT_EQ(greyImage.BitCount(), 8);
    EXPECT_EQ(greyImage.PaletteSize(), 256);
    EXPECT_EQ(greyImage.Stride(), 32u);
    for (int i : {0, 1, 128, 255})
        EXPECT_EQ(greyImage.PaletteColour(i), rgb(i, i, i));
    const PlainJpeg greyRef = DecodeJpegPlainly(grey);
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(greyImage.Row(20 - y)[x], greyRef.at(x, y)[0]);
    }

    const auto cmyk =
        EncodeJpegFrame(9, 7, FrameColours::Cmyk, 90, [](int x, int y, std::uint8_t* c) {
            c[0] = static_cast<std::uint8_t>(x * 28);
            c[1] = static_cast<std::uint8_t>(y * 36);
            c[2] = 200;
            c[3] = static_cast<std::uint8_t>(100 + x * 10);
        });
    const DibImage cmykImage(cmyk.data(), cmyk.size(), DibImage::Type::Jpeg);
    ASSERT_TRUE(cmykImage.IsValid());
    EXPECT_EQ(cmykImage.BitCount(), 24);
    const PlainJpeg cmykRef = DecodeJpegPlainly(cmyk);
    ASSERT_EQ(cmykRef.components, 4);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 9; ++x) {
            const std::uint8_t* c = cmykRef.at(x, y);
            ASSERT_EQ(cmykImage.Pixel(x, y),
                      rgb(c[0] * c[3] / 255, c[1] * c[3] / 255, c[2] * c[3] / 255));
        }
    }
}

// A frame's start-of-frame header patched to another size.
std::vector<std::uint8_t> withSize(std::vector<std::uint8_t> bytes, int width, int height) {
    for (std::size_t i = 0; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = static_cast<std::uint8_t>(height >> 8);
            bytes[i + 6] = static_cast<std::uint8_t>(height);
            bytes[i + 7] = static_cast<std::uint8_t>(width >> 8);
            bytes[i + 8] = static_cast<std::uint8_t>(width);
            return bytes;
        }
    }
    ADD_FAILURE() << "no start-of-frame marker";
    return bytes;
}

TEST(DibImageDecoding, DamagedAndHostileFramesLeaveTheImageEmpty) {
    const auto good = MakeJpegFrame(64, 48, 1);
    EXPECT_FALSE(DibImage(nullptr, 0, DibImage::Type::Jpeg).IsValid());
    const DibImage empty(good.data(), 0, DibImage::Type::Jpeg);
    EXPECT_FALSE(empty.IsValid());
    EXPECT_EQ(empty.LastError(), "Empty input file");
    const std::vector<std::uint8_t> text{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'};
    EXPECT_FALSE(DibImage(text.data(), text.size(), DibImage::Type::Jpeg).IsValid());

    // A header declaring the largest size there is, or a size its bytes
    // could never describe, is refused before anything is allocated.
    const auto huge = withSize(good, 65500, 65500);
    const DibImage hugeImage(huge.data(), huge.size(), DibImage::Type::Jpeg);
    EXPECT_FALSE(hugeImage.IsValid());
    EXPECT_NE(hugeImage.LastError().find("refused"), std::string::npos) << hugeImage.LastError();
    const auto large = withSize(good, 4000, 3000); // 48 MB of pixels from 2 KB
    EXPECT_FALSE(DibImage(large.data(), large.size(), DibImage::Type::Jpeg).IsValid());

    // A truncated frame decodes as far as its data goes.
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + good.size() * 2 / 3);
    const DibImage truncated(cut.data(), cut.size(), DibImage::Type::Jpeg);
    ASSERT_TRUE(truncated.IsValid());
    EXPECT_EQ(truncated.Width(), 64);
    const DibImage whole(good.data(), good.size(), DibImage::Type::Jpeg);
    EXPECT_EQ(truncated.Pixel(0, 0), whole.Pixel(0, 0)); // the top came through
}

TEST(DibImageCreate, RoundsTheDepthAndRefusesWhatIsTooLarge) {
    DibImage image;
    const std::pair<int, int> depths[] = {{0, 1}, {1, 1},  {2, 4},   {4, 4},  {5, 8},
                                          {8, 8}, {9, 24}, {24, 24}, {32, 24}};
    const int palettes[] = {2, 2, 16, 16, 256, 256, 0, 0, 0};
    for (std::size_t i = 0; i < std::size(depths); ++i) {
        ASSERT_TRUE(image.Create(3, 2, depths[i].first));
        EXPECT_EQ(image.BitCount(), depths[i].second) << depths[i].first;
        EXPECT_EQ(image.PaletteSize(), palettes[i]);
        EXPECT_EQ(image.Stride() % 4, 0u);
        EXPECT_GE(image.Stride() * 8, 3u * image.BitCount());
    }
    EXPECT_FALSE(image.Create(65500, 65500, 24));
    EXPECT_FALSE(image.IsValid());
    EXPECT_FALSE(image.Create(0, 10, 24));
}

// An image whose pixel at (x, y) tells its place: blue x, green y, red the
// high bits of both.
DibImage placeImage(int width, int height) {
    DibImage image;
    EXPECT_TRUE(image.Create(width, height, 24));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.Row(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            row[x * 3] = static_cast<std::uint8_t>(x);
            row[x * 3 + 1] = static_cast<std::uint8_t>(y);
            row[x * 3 + 2] = static_cast<std::uint8_t>((x >> 8) | (y >> 8) << 4);
        }
    }
    return image;
}

TEST(DibImageDrawing, StretchesByTheNearestNeighbourRule) {
    const DibImage frame = placeImage(720, 486);
    QImage target(160, 120, QImage::Format_RGB32);
    target.fill(Qt::black);
    {
        QPainter painter(&target);
        EXPECT_EQ(frame.Draw(&painter, 0, 0, 160, 120), 1);
    }
    // The factors are 4.5 and 4.05 (as single-precision floats).
    EXPECT_EQ(SourceColumn(3, 4.5f), 13);
    EXPECT_EQ(SourceRow(0, 486.0f / 120.0f, 486), 4);
    EXPECT_EQ(SourceRow(119, 486.0f / 120.0f, 486), 485);
    for (int dy = 0; dy < 120; ++dy) {
        const int sy =
            static_cast<int>(std::ceil(static_cast<float>(dy + 1) * (486.0f / 120.0f))) - 1;
        for (int dx = 0; dx < 160; ++dx) {
            const int sx = static_cast<int>(std::floor(static_cast<float>(dx) * 4.5f));
            ASSERT_EQ(target.pixel(dx, dy), frame.Pixel(sx, std::min(sy, 485))) << dx << "," << dy;
        }
    }
}

TEST(DibImageDrawing, OnlyTheVisiblePartIsDrawnAndExactSizesAreCopied) {
    const DibImage frame = placeImage(40, 30);
    QImage target(50, 40, QImage::Format_RGB32);
    const QRgb untouched = qRgb(1, 2, 3);
    target.fill(untouched);
    {
        QPainter painter(&target);
        painter.setClipRect(QRect(10, 5, 30, 20));
        // The destination starts left of and above the clip.
        EXPECT_EQ(frame.Draw(&painter, -20, -10, 80, 60), 1);
    }
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 50; ++x) {
            const bool inside = x >= 10 && x < 40 && y >= 5 && y < 25;
            if (!inside) {
                ASSERT_EQ(target.pixel(x, y), untouched) << x << "," << y;
                continue;
            }
            // Columns and rows count from the destination's corner.
            const int sx = SourceColumn(x + 20, 0.5f);
            const int sy = SourceRow(y + 10, 0.5f, 30);
            ASSERT_EQ(target.pixel(x, y), frame.Pixel(sx, sy)) << x << "," << y;
        }
    }

    QImage exact(40, 30, QImage::Format_RGB32);
    {
        QPainter painter(&exact);
        EXPECT_EQ(frame.Draw(&painter, QRect(0, 0, 40, 30)), 1);
    }
    EXPECT_EQ(exact, frame.ToImage());

    DibImage nothing;
    DibImage disabled = placeImage(4, 4);
    disabled.SetEnabled(false);
    QPainter painter(&exact);
    EXPECT_EQ(nothing.Draw(&painter, 0, 0, 10, 10), 0);
    EXPECT_EQ(disabled.Draw(&painter, 0, 0, 10, 10), 0);
    EXPECT_EQ(frame.Draw(&painter, 0, 0, 0, 10), 0);
    EXPECT_EQ(frame.Draw(nullptr, 0, 0, 10, 10), 0);
}

} // namespace
