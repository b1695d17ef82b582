// Reading a PNG that the player wrote (a headless snapshot, SaveSnapshot) back as pixels, through
// cairo, which tests use as an independent PNG reader.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

// The picture as 0xRRGGBB pixels, row by row; empty when the file is not a width x height PNG.
inline std::vector<uint32_t> ReadPngPixels(const std::string& path, int width, int height) {
    std::vector<uint32_t> pixels;
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS && cairo_image_surface_get_width(png) == width &&
        cairo_image_surface_get_height(png) == height) {
        cairo_surface_flush(png);
        const uint8_t* data = cairo_image_surface_get_data(png);
        const int stride = cairo_image_surface_get_stride(png);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                pixels.push_back(reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFF);
    }
    cairo_surface_destroy(png);
    return pixels;
}
