#include "platform/png_write.h"

#include <png.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace {

void PngError(png_structp png, png_const_charp) { longjmp(png_jmpbuf(png), 1); }

void PngWarning(png_structp, png_const_charp) {}

// Writes the image to an open stream; no C++ object with a destructor lives across the jump.
bool WriteStream(FILE* stream, const uint32_t* pixels, int32_t width, int32_t height, int32_t rowPixels,
                 const uint8_t* alpha, uint8_t* row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    const int channels = alpha ? 4 : 3;
    png_init_io(png, stream);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; y++) {
        const uint32_t* from = pixels + int64_t(y) * rowPixels;
        uint8_t* to = row;
        for (int32_t x = 0; x < width; x++) {
            uint32_t p = from[x];
            *to++ = uint8_t(p >> 16);
            *to++ = uint8_t(p >> 8);
            *to++ = uint8_t(p);
            if (channels == 4) *to++ = alpha[int64_t(y) * width + x];
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePngFile(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height, int32_t rowPixels,
                  const uint8_t* alpha) {
    if (!pixels || width < 1 || height < 1 || rowPixels < width) return false;
    std::vector<uint8_t> row(size_t(width) * 4);
    std::string temporary = path + ".partial";
    FILE* stream = std::fopen(temporary.c_str(), "wb");
    if (!stream) return false;
    bool ok = WriteStream(stream, pixels, width, height, rowPixels, alpha, row.data());
    ok = std::fclose(stream) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    unlink(temporary.c_str());
    return false;
}
