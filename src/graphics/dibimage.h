#pragma once
// One picture as a packed device-independent bitmap: a 40-byte header, a
// palette of blue-green-red-zero entries, then the pixel rows bottom-up,
// each padded to a multiple of 4 bytes; 24-bit pixels are blue, green, red.
// A JPEG frame decodes into it, and it draws itself scaled into a painter.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QImage;
class QPainter;
class QRect;

class DibImage {
public:
    static constexpr std::size_t kHeaderSize = 40;
    enum class Type { Jpeg = 1 };
    // A frame is refused before anything is allocated for it when its
    // pixels would take more than this, or when it declares more pixels
    // than its bytes could describe (kPixelsPerByte each).
    static constexpr std::size_t kMaxPixelBytes = 64u << 20;
    static constexpr std::uint64_t kPixelsPerByte = 1024;

    DibImage() = default;
    // Decodes the bytes at once; the caller keeps them. An image that does
    // not decode stays empty.
    DibImage(const std::uint8_t* data, std::size_t size, Type type);

    bool IsValid() const { return !m_block.empty(); }
    // Makes the block for a picture of that size, the depth rounded to 1, 4,
    // 8 or 24 bits, the palette zero-filled. False when it cannot be had.
    bool Create(int width, int height, int bitsPerPixel);
    void Release();

    // Draws the picture stretched over the destination, nearest neighbour,
    // computing only the part inside the painter's clip. 1 when something
    // was drawn, 0 otherwise.
    int Draw(QPainter* painter, int x, int y, int w, int h) const;
    int Draw(QPainter* painter, const QRect& destination) const;

    int Width() const;
    int Height() const;
    int BitCount() const;
    int PaletteSize() const;
    std::size_t Stride() const;
    // The header, palette and pixels as one block.
    const std::vector<std::uint8_t>& Block() const { return m_block; }
    // Palette entry i as 0xAARRGGBB with alpha 255.
    std::uint32_t PaletteColour(int i) const;
    // Row r of the pixel memory (row 0 is the bottom of the picture).
    std::uint8_t* Row(int r);
    const std::uint8_t* Row(int r) const;
    // The colour of the pixel at column x, row y counted from the top.
    std::uint32_t Pixel(int x, int y) const;
    // The picture, top row first, as a 32-bit image.
    QImage ToImage() const;
    const std::string& LastError() const { return m_lastError; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }

private:
    bool DecodeJpeg(const std::uint8_t* data, std::size_t size);
    std::uint32_t Field(std::size_t offset) const;
    void SetField(std::size_t offset, std::uint32_t value);

    std::vector<std::uint8_t> m_block;
    std::string m_lastError;
    bool m_enabled = true;
};

// The nearest-neighbour source of destination column dx and row dy (counted
// from the destination's top-left corner) when a W x H picture is stretched
// over w x h: column floor(dx * W/w), row ceil((dy + 1) * H/h) - 1 limited to
// H - 1, with single-precision factors and products.
int SourceColumn(int dx, float fx);
int SourceRow(int dy, float fy, int height);
