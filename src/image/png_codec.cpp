// libpng glue. Library errors long-jump back to the function that set the jump point; those
// functions keep only plain data in their frames and mark what they change after it volatile.
#include "image/png_codec.h"

#include <csetjmp>
#include <cstring>

#include <png.h>

#include "base/error_codes.h"
#include "image/image_out_file.h"
#include "image/image_pixels.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace {

// The I/O and error state of one call: the file and the jump buffer.
struct PngIo {
    qzVfsFile* file;
    jmp_buf jump;
    int shortWrite;
};

void PngErrorFn(png_structp png, png_const_charp) {
    if (!png) return;
    PngIo* io = static_cast<PngIo*>(png_get_error_ptr(png));
    longjmp(io->jump, 1);
}

void PngWarningFn(png_structp, png_const_charp) {}

void PngReadFn(png_structp png, png_bytep data, size_t length) {
    PngIo* io = static_cast<PngIo*>(png_get_io_ptr(png));
    if (VfsRead(io->file, data, length) != length) png_error(png, "Read error!");
}

void PngWriteFn(png_structp png, png_bytep data, size_t length) {
    PngIo* io = static_cast<PngIo*>(png_get_io_ptr(png));
    if (VfsWrite(io->file, data, length) != length) {
        io->shortWrite = 1;
        png_error(png, "Write error!");
    }
}

void PngFlushFn(png_structp png) {
    PngIo* io = static_cast<PngIo*>(png_get_io_ptr(png));
    VfsFlush(io->file);
}

// Writes the image into an open file; 0, ERR_MEM or ERR_WRITE.
int WritePngStream(qzVfsFile* file, const qzPngSaveRequest* request) {
    PngIo io = {file, {}, 0};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &io, PngErrorFn, PngWarningFn);
    if (!png) return ERR_MEM;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return ERR_MEM;
    }
    if (setjmp(io.jump)) {
        png_destroy_write_struct(&png, &info);
        return io.shortWrite ? ERR_WRITE : ERR_MEM;
    }
    png_set_write_fn(png, &io, PngWriteFn, PngFlushFn);
    const int colourType = request->alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    png_set_IHDR(png, info, static_cast<png_uint_32>(request->width), static_cast<png_uint_32>(request->height), 8,
                 colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // The words are stored as the bytes blue, green, red, alpha: libpng swaps them into RGB(A)
    // order and, for RGB, drops the fourth byte, so rows go out without a copy of our own.
    png_set_bgr(png);
    if (!request->alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
    const uint8_t* row = reinterpret_cast<const uint8_t*>(request->pixels);
    for (int y = 0; y < request->height; ++y, row += request->stride) png_write_row(png, row);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return 0;
}

}  // namespace

void LoadPNG(qzVfsFile* file, int infoOnly, int* outWidth, int* outHeight, uint32_t** outPixels, int* outAlpha,
             int* outError) {
    *outError = 0;
    PngIo io = {file, {}, 0};
    uint32_t* volatile pixels = nullptr;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &io, PngErrorFn, PngWarningFn);
    if (!png) {
        *outError = ERR_MEM;
        return;
    }
    png_infop info = png_create_info_struct(png);
    png_infop endInfo = info ? png_create_info_struct(png) : nullptr;
    if (!info || !endInfo) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        *outError = ERR_MEM;
        return;
    }
    if (setjmp(io.jump)) {
        png_destroy_read_struct(&png, &info, &endInfo);
        OsFree(pixels);
        *outError = ERR_LOADPICTURE2;
        return;
    }
    png_set_read_fn(png, &io, PngReadFn);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (trns) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    // Rows are decoded straight into the pixel words: blue, green, red and alpha (or a zero
    // filler) in memory are 0xAARRGGBB on this machine.
    png_set_bgr(png);
    const bool alpha = trns || (colourType & PNG_COLOR_MASK_ALPHA) != 0;
    if (!alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (infoOnly) {
        *outWidth = static_cast<int>(width);
        *outHeight = static_cast<int>(height);
        *outAlpha = png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB_ALPHA;
        png_destroy_read_struct(&png, &info, &endInfo);
        return;
    }
    int rc = CheckImageSize(width, height);
    if (!rc && png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) rc = ERR_LOADPICTURE2;
    if (!rc) pixels = AllocImagePixels(width, height, 0, &rc);
    if (rc) {
        png_destroy_read_struct(&png, &info, &endInfo);
        *outError = rc;
        return;
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, reinterpret_cast<png_bytep>(pixels + size_t{y} * width), nullptr);
    }
    png_read_end(png, endInfo);
    *outAlpha = png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB_ALPHA;
    png_destroy_read_struct(&png, &info, &endInfo);
    *outPixels = pixels;
    *outWidth = static_cast<int>(width);
    *outHeight = static_cast<int>(height);
}

void SavePNG(qzPngSaveRequest* request) {
    request->error = 0;
    if (!request->pixels || request->width < 1 || request->height < 1) {
        request->error = ERR_MEM;
        return;
    }
    qzImageOutFile out;
    int rc = OpenImageOutFile(request->name, &out);
    if (!rc) rc = WritePngStream(out.file, request);
    if (!rc) {
        rc = CommitImageOutFile(&out, request->name);
    } else if (out.file) {
        AbortImageOutFile(&out);
    }
    request->error = rc;
}
