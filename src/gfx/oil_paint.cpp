#include "gfx/oil_paint.h"

#include <cstring>

#include "gfx/channel_access.h"
#include "gfx/convolve.h"
#include "gfx/tone_filters.h"
#include "platform/os_alloc.h"

namespace {

// The window of pixel (x, y) is the w x w block of the edge-extended copy whose top-left is
// (x, y). Each pixel's intensity bin is computed once over the copy; the histogram then slides
// along the row: the column leaving the window is taken out and the entering one added. Which
// pixel wins depends on the scan order of the full window (row by row, the first to reach a new
// highest count), so the winner is found by rescanning only the window cells of the bins that
// reach the highest count.
template <typename Pixel>
void OilPaint(const qzOilPaintJob* job) {
    if (!job || !job->pixels || job->width < 1 || job->height < 1) return;
    int w = GetKernelWidth2D(job->radius, 0.5);
    int stride = 0;
    Pixel* ext;
    if constexpr (sizeof(Pixel) == 4)
        ext = ExtendEdges32((const uint32_t*)job->pixels, job->width, job->height, job->stride, w, nullptr, &stride);
    else
        ext = ExtendEdges16((const uint16_t*)job->pixels, job->width, job->height, job->stride, w, nullptr, &stride);
    if (!ext) return;
    size_t ew = (size_t)job->width + w, eh = (size_t)job->height + w;
    uint8_t* bins = (uint8_t*)OsAlloc(ew * eh, 0);
    if (!bins) {
        OsFree(ext);
        return;
    }
    int rgb[3];
    for (size_t y = 0; y < eh; y++)
        for (size_t x = 0; x < ew; x++) {
            Pixel p = ext[y * stride + x];
            if constexpr (sizeof(Pixel) == 4)
                UnpackPixel32(job->format, p, rgb);
            else
                UnpackPixel16(job->format, p, rgb);
            bins[y * ew + x] = (uint8_t)((int)PixelIntensity(rgb[0], rgb[1], rgb[2]) & 255);
        }
    int histogram[256], seen[256];
    std::memset(seen, 0, sizeof(seen));
    for (int y = 0; y < job->height; y++) {
        std::memset(histogram, 0, sizeof(histogram));
        for (int v = 0; v < w; v++)
            for (int u = 0; u < w; u++) histogram[bins[(y + v) * ew + u]]++;
        Pixel* out = (Pixel*)job->pixels + (size_t)y * job->stride;
        for (int x = 0; x < job->width; x++) {
            if (x > 0)
                for (int v = 0; v < w; v++) {
                    const uint8_t* row = bins + (y + v) * ew;
                    histogram[row[x - 1]]--;
                    histogram[row[x + w - 1]]++;
                }
            int best = 0;
            for (int i = 0; i < 256; i++)
                if (histogram[i] > best) best = histogram[i];
            // Replay the row-by-row scan: the first cell whose bin count reaches `best` is the
            // one at which the running maximum last rose.
            int wv = 0, wu = 0;
            bool found = false;
            for (int v = 0; v < w && !found; v++) {
                const uint8_t* row = bins + (y + v) * ew + x;
                for (int u = 0; u < w; u++) {
                    if (++seen[row[u]] == best) {
                        wv = v, wu = u;
                        found = true;
                        break;
                    }
                }
            }
            // Clear the counts of the replayed cells for the next pixel.
            for (int v = 0; v <= wv; v++) {
                const uint8_t* row = bins + (y + v) * ew + x;
                int end = v < wv ? w : wu + 1;
                for (int u = 0; u < end; u++) seen[row[u]] = 0;
            }
            out[x] = ext[(size_t)(y + wv) * stride + x + wu];
        }
    }
    OsFree(bins);
    OsFree(ext);
}

}  // namespace

void OilPaintPixels32(const qzOilPaintJob* job) { OilPaint<uint32_t>(job); }
void OilPaintPixels16(const qzOilPaintJob* job) { OilPaint<uint16_t>(job); }
