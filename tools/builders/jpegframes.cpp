#include "builders/jpegframes.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <stdexcept>

std::vector<std::uint8_t> MakeJpegFrame(int width, int height, int seed, int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            row[static_cast<std::size_t>(x) * 3] =
                static_cast<JSAMPLE>((x * 255 / width + seed * 40) & 0xFF);
            row[static_cast<std::size_t>(x) * 3 + 1] =
                static_cast<JSAMPLE>((y * 255 / height) & 0xFF);
            row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<JSAMPLE>((seed * 97) & 0xFF);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + outSize);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}
