// Scan-line flood fill of colour pixels.
#pragma once

#include <cstdint>

struct qzFloodFillJob {
    void* pixels;       // the whole buffer
    int width, height;  // the fill area: left .. left + width - 1 by top .. top + height - 1,
    int rowLength;      //   which must lie inside the buffer
    uint32_t boundary;
    uint32_t fill;
    int left, top;
};
// Fills from x, y: each run is painted left and right up to the boundary colour (pixels that
// already have the fill colour are painted over), and every run of the rows above and below that
// is neither boundary- nor fill-coloured is filled in turn. The 32-bit member compares
// (pixel AND compareMask), the 16-bit member whole pixels. A seed outside the area or on the
// boundary colour does nothing. Pending runs are kept on a heap stack, so large areas cannot
// overflow the call stack. Returns 0, or ERR_MEM when that stack could not grow (the fill stops).
int FloodFill32(const qzFloodFillJob* job, int x, int y, uint32_t compareMask);
int FloodFill16(const qzFloodFillJob* job, int x, int y);
