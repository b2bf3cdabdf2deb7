#include "graphics/dibimage.h"

#include <QImage>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// Header fields, by their offset in the 40-byte header.
constexpr std::size_t kSize = 0;
constexpr std::size_t kWidth = 4;
constexpr std::size_t kHeight = 8;
constexpr std::size_t kPlanesAndBits = 12;
constexpr std::size_t kSizeImage = 20;
constexpr std::size_t kColoursUsed = 32;

std::size_t strideOf(std::uint64_t width, int bits) {
    return static_cast<std::size_t>((width * static_cast<std::uint64_t>(bits) + 31) / 32 * 4);
}

// ---- libjpeg glue: plain C structures only, as control may leave through
// a long jump.

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Delivers the frame's bytes from memory, 4096 at a time.
struct MemorySource {
    jpeg_source_mgr pub;
    const JOCTET* data;
    std::size_t size;
    std::size_t position;
};

constexpr std::size_t kChunkSize = 4096;
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void initSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<MemorySource*>(cinfo->src);
    if (source->position >= source->size) {
        if (source->size == 0)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A truncated frame decodes as far as its data goes.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->pub.next_input_byte = kEndOfImage;
        source->pub.bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    const std::size_t n = std::min(kChunkSize, source->size - source->position);
    source->pub.next_input_byte = source->data + source->position;
    source->pub.bytes_in_buffer = n;
    source->position += n;
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
    auto* source = reinterpret_cast<MemorySource*>(cinfo->src);
    if (count <= 0)
        return;
    const auto n = static_cast<std::size_t>(count);
    if (n <= source->pub.bytes_in_buffer) {
        source->pub.next_input_byte += n;
        source->pub.bytes_in_buffer -= n;
        return;
    }
    // Past the chunk at hand: on from the data, the next read fills again.
    const std::size_t beyond = n - source->pub.bytes_in_buffer;
    source->position += std::min(beyond, source->size - source->position);
    source->pub.bytes_in_buffer = 0;
}

void termSource(j_decompress_ptr) {}

} // namespace

int SourceColumn(int dx, float fx) {
    const float product = static_cast<float>(dx) * fx;
    return static_cast<int>(std::floor(product));
}

int SourceRow(int dy, float fy, int height) {
    const float product = static_cast<float>(dy + 1) * fy;
    return std::min(static_cast<int>(std::ceil(product)) - 1, height - 1);
}

DibImage::DibImage(const std::uint8_t* data, std::size_t size, Type type) {
    if (type == Type::Jpeg)
        DecodeJpeg(data, size);
}

std::uint32_t DibImage::Field(std::size_t offset) const {
    const std::uint8_t* b = m_block.data() + offset;
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

void DibImage::SetField(std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        m_block[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

int DibImage::Width() const {
    return IsValid() ? static_cast<int>(Field(kWidth)) : 0;
}

int DibImage::Height() const {
    return IsValid() ? static_cast<int>(Field(kHeight)) : 0;
}

int DibImage::BitCount() const {
    return IsValid() ? static_cast<int>(Field(kPlanesAndBits) >> 16) : 0;
}

int DibImage::PaletteSize() const {
    return IsValid() ? static_cast<int>(Field(kColoursUsed)) : 0;
}

std::size_t DibImage::Stride() const {
    return IsValid() ? strideOf(static_cast<std::uint64_t>(Width()), BitCount()) : 0;
}

void DibImage::Release() {
    m_block.clear();
    m_block.shrink_to_fit();
}

bool DibImage::Create(int width, int height, int bitsPerPixel) {
    Release();
    if (width <= 0 || height <= 0)
        return false;
    int bits = 24;
    int palette = 0;
    if (bitsPerPixel <= 1) {
        bits = 1;
        palette = 2;
    } else if (bitsPerPixel <= 4) {
        bits = 4;
        palette = 16;
    } else if (bitsPerPixel <= 8) {
        bits = 8;
        palette = 256;
    }
    const std::uint64_t stride = strideOf(static_cast<std::uint64_t>(width), bits);
    const std::uint64_t pixels = stride * static_cast<std::uint64_t>(height);
    if (pixels > kMaxPixelBytes)
        return false;
    try {
        m_block.assign(kHeaderSize + static_cast<std::size_t>(palette) * 4 +
                           static_cast<std::size_t>(pixels),
                       0);
    } catch (const std::bad_alloc&) {
        Release();
        return false;
    }
    SetField(kSize, kHeaderSize);
    SetField(kWidth, static_cast<std::uint32_t>(width));
    SetField(kHeight, static_cast<std::uint32_t>(height));
    SetField(kPlanesAndBits, 1u | static_cast<std::uint32_t>(bits) << 16);
    SetField(kSizeImage, static_cast<std::uint32_t>(pixels));
    SetField(kColoursUsed, static_cast<std::uint32_t>(palette));
    return true;
}

std::uint8_t* DibImage::Row(int r) {
    return m_block.data() + kHeaderSize + static_cast<std::size_t>(PaletteSize()) * 4 +
           static_cast<std::size_t>(r) * Stride();
}

const std::uint8_t* DibImage::Row(int r) const {
    return m_block.data() + kHeaderSize + static_cast<std::size_t>(PaletteSize()) * 4 +
           static_cast<std::size_t>(r) * Stride();
}

std::uint32_t DibImage::PaletteColour(int i) const {
    const std::uint8_t* p = m_block.data() + kHeaderSize + static_cast<std::size_t>(i) * 4;
    return 0xFF000000u | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

std::uint32_t DibImage::Pixel(int x, int y) const {
    const std::uint8_t* row = Row(Height() - 1 - y);
    switch (BitCount()) {
    case 24: {
        const std::uint8_t* p = row + static_cast<std::size_t>(x) * 3;
        return 0xFF000000u | static_cast<std::uint32_t>(p[2]) << 16 |
               static_cast<std::uint32_t>(p[1]) << 8 | p[0];
    }
    case 8:
        return PaletteColour(row[x]);
    case 4:
        return PaletteColour((row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F);
    default:
        return PaletteColour((row[x / 8] >> (7 - x % 8)) & 1);
    }
}

QImage DibImage::ToImage() const {
    if (!IsValid())
        return {};
    QImage image(Width(), Height(), QImage::Format_RGB32);
    for (int y = 0; y < Height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < Width(); ++x)
            out[x] = Pixel(x, y);
    }
    return image;
}

bool DibImage::DecodeJpeg(const std::uint8_t* data, std::size_t size) {
    Release();
    // Between setjmp and the end, only plain locals: a long jump out of the
    // library skips destructors.
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ErrorManager error;
    std::memset(&error, 0, sizeof error);
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = errorExit;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        Release();
        m_lastError = error.message;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    auto* source = static_cast<MemorySource*>((*cinfo.mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, sizeof(MemorySource)));
    source->pub.init_source = initSource;
    source->pub.fill_input_buffer = fillInput;
    source->pub.skip_input_data = skipInput;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = termSource;
    source->pub.next_input_byte = nullptr;
    source->pub.bytes_in_buffer = 0;
    source->data = data;
    source->size = data != nullptr ? size : 0;
    source->position = 0;
    cinfo.src = &source->pub;

    jpeg_read_header(&cinfo, TRUE);
    jpeg_calc_output_dimensions(&cinfo);
    const std::uint64_t width = cinfo.output_width;
    const std::uint64_t height = cinfo.output_height;
    const int components = cinfo.out_color_components;
    // A header may declare up to 65,500 x 65,500 pixels: refuse a picture
    // too large to hold, or far larger than the bytes could describe,
    // before the library or this image allocates for it.
    const int bits = components == 1 ? 8 : 24;
    if (strideOf(width, bits) * height > kMaxPixelBytes ||
        width * height > kPixelsPerByte * static_cast<std::uint64_t>(size) || components < 1) {
        std::snprintf(error.message, sizeof error.message,
                      "Frame of %llu x %llu pixels refused for its %zu bytes",
                      static_cast<unsigned long long>(width),
                      static_cast<unsigned long long>(height), size);
        std::longjmp(error.jump, 1);
    }
    jpeg_start_decompress(&cinfo);
    if (!Create(static_cast<int>(width), static_cast<int>(height), 8 * components)) {
        std::snprintf(error.message, sizeof error.message, "Out of memory");
        std::longjmp(error.jump, 1);
    }
    if (components == 1) {
        std::uint8_t* palette = m_block.data() + kHeaderSize;
        for (int i = 0; i < 256; ++i) {
            palette[i * 4] = palette[i * 4 + 1] = palette[i * 4 + 2] =
                static_cast<std::uint8_t>(i);
        }
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * components;
    JSAMPARRAY line = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                 JPOOL_IMAGE, static_cast<JDIMENSION>(rowBytes), 1);
    const std::size_t stride = Stride();
    while (cinfo.output_scanline < cinfo.output_height) {
        // The picture's top row is the last row in memory.
        std::uint8_t* row = Row(static_cast<int>(height - 1 - cinfo.output_scanline));
        if (jpeg_read_scanlines(&cinfo, line, 1) != 1)
            break;
        const JSAMPLE* in = line[0];
        if (components == 4) {
            for (std::size_t x = 0; x < width; ++x, in += 4) {
                const unsigned k = in[3];
                row[x * 3] = static_cast<std::uint8_t>(in[2] * k / 255);
                row[x * 3 + 1] = static_cast<std::uint8_t>(in[1] * k / 255);
                row[x * 3 + 2] = static_cast<std::uint8_t>(in[0] * k / 255);
            }
        } else if (components == 3) {
            // Red, green, blue in; blue, green, red out.
            for (std::size_t x = 0; x < width; ++x, in += 3) {
                row[x * 3] = in[2];
                row[x * 3 + 1] = in[1];
                row[x * 3 + 2] = in[0];
            }
        } else {
            std::memcpy(row, in, std::min(rowBytes, stride));
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

int DibImage::Draw(QPainter* painter, const QRect& destination) const {
    return Draw(painter, destination.left(), destination.top(), destination.width(),
                destination.height());
}

int DibImage::Draw(QPainter* painter, int x, int y, int w, int h) const {
    if (!IsValid() || painter == nullptr || w <= 0 || h <= 0 || !m_enabled)
        return 0;
    const int W = Width();
    const int H = Height();
    if (w == W && h == H) {
        painter->drawImage(x, y, ToImage());
        return 1;
    }
    // The clip box in the painter's coordinates: its clip, else the device.
    QRect clip;
    if (painter->hasClipping()) {
        clip = painter->clipBoundingRect().toAlignedRect();
    } else if (painter->device() != nullptr) {
        const QRect device(0, 0, painter->device()->width(), painter->device()->height());
        clip = painter->worldTransform().inverted().mapRect(device);
    }
    const int left = std::clamp(x, clip.left(), clip.left() + clip.width());
    const int right = std::clamp(x + w, clip.left(), clip.left() + clip.width());
    const int top = std::clamp(y, clip.top(), clip.top() + clip.height());
    const int bottom = std::clamp(y + h, clip.top(), clip.top() + clip.height());
    if (left >= right || top >= bottom)
        return 1;
    const float fx = static_cast<float>(W) / static_cast<float>(w);
    const float fy = static_cast<float>(H) / static_cast<float>(h);
    std::vector<int> columns(static_cast<std::size_t>(right - left));
    for (int vx = left; vx < right; ++vx)
        columns[static_cast<std::size_t>(vx - left)] = std::min(SourceColumn(vx - x, fx), W - 1);
    QImage visible(right - left, bottom - top, QImage::Format_RGB32);
    const bool trueColour = BitCount() == 24;
    for (int vy = top; vy < bottom; ++vy) {
        const int sourceRow = SourceRow(vy - y, fy, H);
        const std::uint8_t* row = Row(H - 1 - sourceRow);
        auto* out = reinterpret_cast<QRgb*>(visible.scanLine(vy - top));
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const int c = columns[i];
            if (trueColour) {
                const std::uint8_t* p = row + static_cast<std::size_t>(c) * 3;
                out[i] = 0xFF000000u | static_cast<QRgb>(p[2]) << 16 |
                         static_cast<QRgb>(p[1]) << 8 | p[0];
            } else {
                out[i] = Pixel(c, sourceRow);
            }
        }
    }
    painter->drawImage(left, top, visible);
    return 1;
}
