#include "gfx/kernels_flip.h"

#include <algorithm>
#include <cstring>

#include "gfx/mask_bits.h"

template <typename Pixel>
static void FlipColourPixels(const qzFlipJob* job) {
    Pixel* base = static_cast<Pixel*>(job->pixels);
    int width = job->width, height = job->height;
    if (job->direction == 0) {
        for (int j = 0; j < height / 2; j++)
            std::swap_ranges(base + (int64_t)j * job->rowLength, base + (int64_t)j * job->rowLength + width,
                             base + (int64_t)(height - 1 - j) * job->rowLength);
    } else {
        for (int j = 0; j < height; j++)
            std::reverse(base + (int64_t)j * job->rowLength, base + (int64_t)j * job->rowLength + width);
    }
}

void FlipPixels(const qzFlipJob* job) {
    int width = job->width, height = job->height;
    if (width < 1 || height < 1) return;
    if (job->pixels) {
        if (job->bytesPerPixel == 4)
            FlipColourPixels<uint32_t>(job);
        else if (job->bytesPerPixel == 2)
            FlipColourPixels<uint16_t>(job);
    }
    if (job->direction == 0) {
        for (int j = 0; j < height / 2; j++) {
            if (job->mask)
                std::swap_ranges(RowAt(job->mask, j, job->maskBytesPerRow),
                                 RowAt(job->mask, j, job->maskBytesPerRow) + job->maskBytesPerRow,
                                 RowAt(job->mask, height - 1 - j, job->maskBytesPerRow));
            if (job->alpha)
                std::swap_ranges(RowAt(job->alpha, j, job->alphaBytesPerRow),
                                 RowAt(job->alpha, j, job->alphaBytesPerRow) + width,
                                 RowAt(job->alpha, height - 1 - j, job->alphaBytesPerRow));
        }
        return;
    }
    for (int j = 0; j < height; j++) {
        if (job->alpha) {
            uint8_t* a = RowAt(job->alpha, j, job->alphaBytesPerRow);
            std::reverse(a, a + width);
        }
        if (job->mask) {
            // Bits x and width - 1 - x exchange in place; the padding bits stay where they are.
            uint8_t* m = RowAt(job->mask, j, job->maskBytesPerRow);
            for (int x = 0; x < width / 2; x++) {
                int left = GetMaskBit(m, x), right = GetMaskBit(m, width - 1 - x);
                PutMaskBit(m, x, right);
                PutMaskBit(m, width - 1 - x, left);
            }
        }
    }
}

template <typename Pixel>
static void Pixelate(const qzPixelateJob* job) {
    int width = job->width, height = job->height, n = job->cellSize;
    if (width < 1 || height < 1 || n < 1) return;
    const Pixel* src = static_cast<const Pixel*>(job->srcPixels);
    Pixel* dst = static_cast<Pixel*>(job->dstPixels);
    for (int cy = 0; cy < height; cy += n) {
        int cellHeight = std::min(n, height - cy);
        for (int cx = 0; cx < width; cx += n) {
            int cellWidth = std::min(n, width - cx);
            Pixel colour = src[(int64_t)cy * job->srcRowLength + cx];
            // Visibility of the cell: from the source mask, else the source alpha, else visible.
            int visible = 1;
            int alphaValue = -1;
            if (job->srcMask) {
                visible = GetMaskBit(RowAt(job->srcMask, cy, job->srcMaskBytesPerRow), cx);
            } else if (job->srcAlpha) {
                alphaValue = RowAt(job->srcAlpha, cy, job->srcAlphaBytesPerRow)[cx];
                visible = alphaValue != 0;
            }
            for (int y = cy; y < cy + cellHeight; y++) {
                if (visible) {
                    Pixel* d = dst + (int64_t)y * job->dstRowLength + cx;
                    std::fill_n(d, cellWidth, colour);
                }
                if (job->srcMask && job->dstMask) {
                    uint8_t* m = RowAt(job->dstMask, y, job->dstMaskBytesPerRow);
                    for (int x = cx; x < cx + cellWidth; x++) PutMaskBit(m, x, visible);
                } else if (!job->srcMask && job->srcAlpha && job->dstAlpha) {
                    std::memset(RowAt(job->dstAlpha, y, job->dstAlphaBytesPerRow) + cx, alphaValue, (size_t)cellWidth);
                }
            }
        }
    }
}

void PixelatePixels32(const qzPixelateJob* job) { Pixelate<uint32_t>(job); }

void PixelatePixels16(const qzPixelateJob* job) { Pixelate<uint16_t>(job); }
