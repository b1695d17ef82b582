// Planar YUV 4:2:0 (studio-range BT.601) to RGB pixels of the 14 colour formats, at the frame's
// own size or resized with nearest sampling in the same pass. Pure computation on caller
// memory with no hidden state: the video refresh thread calls these.
#pragma once

#include <cstdint>

struct qzYuvJob {
    const uint8_t* const* planes;  // Y, U (Cb), V (Cr)
    const int* pitches;            // bytes per row of the three planes
    void* dstPixels;
    int srcWidth, srcHeight;
    int dstWidth, dstHeight;  // read by ScaleYUVToPixels
    int dstStride;            // destination row length in pixels
    int pixelFormat;          // 0..13
    int bytesPerPixel;        // 2, 3 or 4; read by ConvertYUVToPixels
};

// R, G, B of one sample triple, each divided as in C (toward zero) and clamped to 0..255.
void YuvToRgb(int y, int u, int v, int* r, int* g, int* b);

// Source size to source size. A format outside 0..13, or a bytes-per-pixel value that does not
// match the format, writes nothing.
void ConvertYUVToPixels(const qzYuvJob* job);
// Source size to destination size, nearest sampling; the bytes per pixel follow the format.
void ScaleYUVToPixels(const qzYuvJob* job);
