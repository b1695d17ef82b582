#include "gfx/quantize.h"

#include <cstring>

#include "gfx/channel_access.h"
#include "gfx/pixel_format.h"
#include "platform/os_alloc.h"

namespace {

// Histogram cells: 32 red x 64 green x 32 blue counters, later the inverse colour map.
const int kRedCells = 32, kGreenCells = 64, kBlueCells = 32;
const size_t kHistogramCells = (size_t)kRedCells * kGreenCells * kBlueCells;
// Weighted distances: red counts twice, green three times, blue once.
const int kRedScale = 2, kGreenScale = 3, kBlueScale = 1;

inline size_t Cell(int r, int g, int b) { return ((size_t)r * kGreenCells + g) * kBlueCells + b; }

struct ColorBox {
    int r0, r1, g0, g1, b0, b1;
    long long volume;
    long colorCount;
};

struct QuantState {
    uint16_t* histogram;
    int colorCount;
    int red[256], green[256], blue[256];
};

uint32_t RawPixel(const qzQuantJob* job, const uint8_t* p) {
    if (job->bytesPerPixel == 3) return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
    if (job->bytesPerPixel == 4) return pixel_access::Load32(p);
    return pixel_access::Load16(p);
}

const uint8_t* PixelAt(const qzQuantJob* job, int x, int y) {
    int bpp = job->bytesPerPixel == 3 || job->bytesPerPixel == 4 ? job->bytesPerPixel : 2;
    return (const uint8_t*)job->pixels + ((size_t)y * job->rowLength + x) * bpp;
}

// Exact pass: distinct raw values in order of first appearance. Returns false (leaving the job
// alone) when there are more than the wanted count.
bool ExactPalette(qzQuantJob* job) {
    int wanted = job->colors;
    if (wanted > 256) wanted = 256;
    uint32_t list[256];
    int count = 0;
    for (int y = 0; y < job->height; y++)
        for (int x = 0; x < job->width; x++) {
            uint32_t v = RawPixel(job, PixelAt(job, x, y));
            if (count > 0 && v == list[0]) continue;
            int i = 1;
            while (i < count && list[i] != v) i++;
            if (i < count) continue;
            if (count >= wanted) return false;
            list[count++] = v;
        }
    uint8_t* out = job->indices;
    for (int y = 0; y < job->height; y++)
        for (int x = 0; x < job->width; x++) {
            uint32_t v = RawPixel(job, PixelAt(job, x, y));
            int i = 0;
            while (list[i] != v) i++;
            *out++ = (uint8_t)i;
        }
    job->transparentIndex = -1;
    for (int i = 0; i < count; i++) {
        job->palette[i] = ConvertPixelToARGB(list[i], job->format, 0);
        if (job->transparent != -1 && job->palette[i] == (uint32_t)job->transparent) job->transparentIndex = i;
    }
    job->colors = count;
    job->success = 1;
    return true;
}

void UpdateColorBox(QuantState* st, ColorBox* box) {
    const uint16_t* h = st->histogram;
    auto any = [&](int r0, int r1, int g0, int g1, int b0, int b1) {
        for (int r = r0; r <= r1; r++)
            for (int g = g0; g <= g1; g++)
                for (int b = b0; b <= b1; b++)
                    if (h[Cell(r, g, b)]) return true;
        return false;
    };
    int r0 = box->r0, r1 = box->r1, g0 = box->g0, g1 = box->g1, b0 = box->b0, b1 = box->b1;
    if (r1 > r0) {
        while (r0 < r1 && !any(r0, r0, g0, g1, b0, b1)) r0++;
        while (r1 > r0 && !any(r1, r1, g0, g1, b0, b1)) r1--;
    }
    if (g1 > g0) {
        while (g0 < g1 && !any(r0, r1, g0, g0, b0, b1)) g0++;
        while (g1 > g0 && !any(r0, r1, g1, g1, b0, b1)) g1--;
    }
    if (b1 > b0) {
        while (b0 < b1 && !any(r0, r1, g0, g1, b0, b0)) b0++;
        while (b1 > b0 && !any(r0, r1, g0, g1, b1, b1)) b1--;
    }
    box->r0 = r0, box->r1 = r1, box->g0 = g0, box->g1 = g1, box->b0 = b0, box->b1 = b1;
    long long dr = (long long)(r1 - r0) * 8 * kRedScale;
    long long dg = (long long)(g1 - g0) * 4 * kGreenScale;
    long long db = (long long)(b1 - b0) * 8 * kBlueScale;
    box->volume = dr * dr + dg * dg + db * db;
    long n = 0;
    for (int r = r0; r <= r1; r++)
        for (int g = g0; g <= g1; g++)
            for (int b = b0; b <= b1; b++)
                if (h[Cell(r, g, b)]) n++;
    box->colorCount = n;
}

int MedianCut(QuantState* st, ColorBox* boxes, int count, int wanted) {
    while (count < wanted) {
        ColorBox* pick = nullptr;
        if (count * 2 <= wanted) {
            long best = 0;
            for (int i = 0; i < count; i++)
                if (boxes[i].colorCount > best && boxes[i].volume > 0) best = boxes[i].colorCount, pick = &boxes[i];
        } else {
            long long best = 0;
            for (int i = 0; i < count; i++)
                if (boxes[i].volume > best) best = boxes[i].volume, pick = &boxes[i];
        }
        if (!pick) break;
        ColorBox* nb = &boxes[count];
        *nb = *pick;
        int r = (pick->r1 - pick->r0) * 8 * kRedScale;
        int g = (pick->g1 - pick->g0) * 4 * kGreenScale;
        int b = (pick->b1 - pick->b0) * 8 * kBlueScale;
        if (b > (r > g ? r : g)) {
            int mid = (pick->b0 + pick->b1) / 2;
            pick->b1 = mid, nb->b0 = mid + 1;
        } else if (r <= g) {
            int mid = (pick->g0 + pick->g1) / 2;
            pick->g1 = mid, nb->g0 = mid + 1;
        } else {
            int mid = (pick->r0 + pick->r1) / 2;
            pick->r1 = mid, nb->r0 = mid + 1;
        }
        UpdateColorBox(st, pick);
        UpdateColorBox(st, nb);
        count++;
    }
    return count;
}

void BoxColor(QuantState* st, const ColorBox* box, int index) {
    long long total = 0, rt = 0, gt = 0, bt = 0;
    for (int r = box->r0; r <= box->r1; r++)
        for (int g = box->g0; g <= box->g1; g++)
            for (int b = box->b0; b <= box->b1; b++) {
                long long n = st->histogram[Cell(r, g, b)];
                if (!n) continue;
                total += n;
                rt += n * (r * 8 + 4);
                gt += n * (g * 4 + 2);
                bt += n * (b * 8 + 4);
            }
    if (total == 0 || box->r0 > box->r1) {
        st->red[index] = st->green[index] = st->blue[index] = 255;
        return;
    }
    st->red[index] = (int)((rt + total / 2) / total);
    st->green[index] = (int)((gt + total / 2) / total);
    st->blue[index] = (int)((bt + total / 2) / total);
}

// Inverse colour map: the update box of 4 x 8 x 4 cells around a cell is filled with the nearest
// palette colour of each cell, among the colours that can be nearest anywhere in the box.
const int kBoxRed = 4, kBoxGreen = 8, kBoxBlue = 4;

int NearbyColors(const QuantState* st, int minR, int minG, int minB, uint8_t* list) {
    int maxR = minR + 24, maxG = minG + 28, maxB = minB + 24;
    int centre[3] = {(minR + maxR) >> 1, (minG + maxG) >> 1, (minB + maxB) >> 1};
    int lo[3] = {minR, minG, minB}, hi[3] = {maxR, maxG, maxB};
    const int scale[3] = {kRedScale, kGreenScale, kBlueScale};
    const int* comp[3] = {st->red, st->green, st->blue};
    long long minDist[256];
    long long minMax = 0x7FFFFFFF;
    for (int i = 0; i < st->colorCount; i++) {
        long long mind = 0, maxd = 0;
        for (int c = 0; c < 3; c++) {
            int x = comp[c][i];
            long long t;
            if (x < lo[c]) {
                t = (long long)(x - lo[c]) * scale[c];
                mind += t * t;
                t = (long long)(x - hi[c]) * scale[c];
                maxd += t * t;
            } else if (x > hi[c]) {
                t = (long long)(x - hi[c]) * scale[c];
                mind += t * t;
                t = (long long)(x - lo[c]) * scale[c];
                maxd += t * t;
            } else {
                t = (long long)(x <= centre[c] ? x - hi[c] : x - lo[c]) * scale[c];
                maxd += t * t;
            }
        }
        minDist[i] = mind;
        if (maxd < minMax) minMax = maxd;
    }
    int n = 0;
    for (int i = 0; i < st->colorCount; i++)
        if (minDist[i] <= minMax) list[n++] = (uint8_t)i;
    return n;
}

void BestColors(const QuantState* st, int minR, int minG, int minB, int count, const uint8_t* list, uint8_t* best) {
    const int stepR = 8 * kRedScale, stepG = 4 * kGreenScale, stepB = 8 * kBlueScale;
    long long bestDist[kBoxRed * kBoxGreen * kBoxBlue];
    for (long long& d : bestDist) d = 0x7FFFFFFF;
    for (int i = 0; i < count; i++) {
        int c = list[i];
        long long incR = (long long)(minR - st->red[c]) * kRedScale;
        long long dist0 = incR * incR;
        long long incG = (long long)(minG - st->green[c]) * kGreenScale;
        dist0 += incG * incG;
        long long incB = (long long)(minB - st->blue[c]) * kBlueScale;
        dist0 += incB * incB;
        incR = incR * (2 * stepR) + stepR * stepR;
        incG = incG * (2 * stepG) + stepG * stepG;
        incB = incB * (2 * stepB) + stepB * stepB;
        long long* bp = bestDist;
        uint8_t* cp = best;
        long long xr = incR;
        for (int ir = 0; ir < kBoxRed; ir++) {
            long long dist1 = dist0, xg = incG;
            for (int ig = 0; ig < kBoxGreen; ig++) {
                long long dist2 = dist1, xb = incB;
                for (int ib = 0; ib < kBoxBlue; ib++) {
                    if (dist2 < *bp) {
                        *bp = dist2;
                        *cp = (uint8_t)c;
                    }
                    dist2 += xb;
                    xb += 2 * stepB * stepB;
                    bp++, cp++;
                }
                dist1 += xg;
                xg += 2 * stepG * stepG;
            }
            dist0 += xr;
            xr += 2 * stepR * stepR;
        }
    }
}

void FillInverseColorMap(QuantState* st, int r, int g, int b) {
    r = r / kBoxRed * kBoxRed, g = g / kBoxGreen * kBoxGreen, b = b / kBoxBlue * kBoxBlue;
    int minR = r * 8 + 4, minG = g * 4 + 2, minB = b * 8 + 4;
    uint8_t list[256], best[kBoxRed * kBoxGreen * kBoxBlue];
    int n = NearbyColors(st, minR, minG, minB, list);
    BestColors(st, minR, minG, minB, n, list, best);
    const uint8_t* bp = best;
    for (int ir = 0; ir < kBoxRed; ir++)
        for (int ig = 0; ig < kBoxGreen; ig++)
            for (int ib = 0; ib < kBoxBlue; ib++) st->histogram[Cell(r + ir, g + ig, b + ib)] = (uint16_t)(*bp++ + 1);
}

void ClearColorHistogram(uint16_t* histogram) { std::memset(histogram, 0, kHistogramCells * sizeof(uint16_t)); }

}  // namespace

void ReadQuantPixel(const uint8_t* p, int format, int out[3]) {
    if (format == 8) {
        out[0] = p[0], out[1] = p[1], out[2] = p[2];
    } else if (format == 9) {
        out[0] = p[2], out[1] = p[1], out[2] = p[0];
    } else if (format >= 10 && format <= 13) {
        UnpackPixelAt(p, 4, format, out);
    } else if (format >= 0 && format <= 7) {
        UnpackPixelAt(p, 2, format, out);
    } else {
        out[0] = out[1] = out[2] = 0;
    }
}

namespace {

inline int MapCell(QuantState* st, int r, int g, int b) {
    uint16_t* cell = &st->histogram[Cell(r >> 3, g >> 2, b >> 3)];
    if (*cell == 0) FillInverseColorMap(st, r >> 3, g >> 2, b >> 3);
    return *cell - 1;
}

void MapPixels(qzQuantJob* job, QuantState* st, int transparentIndex) {
    int tr = -1, tg = -1, tb = -1;
    if (job->transparent != -1) {
        tr = (job->transparent >> 16) & 255, tg = (job->transparent >> 8) & 255, tb = job->transparent & 255;
    }
    uint8_t* out = job->indices;
    for (int y = 0; y < job->height; y++)
        for (int x = 0; x < job->width; x++) {
            int c[3];
            ReadQuantPixel(PixelAt(job, x, y), job->format, c);
            if (c[0] == tr && c[1] == tg && c[2] == tb)
                *out++ = (uint8_t)transparentIndex;
            else
                *out++ = (uint8_t)MapCell(st, c[0], c[1], c[2]);
        }
}

// Floyd-Steinberg, every row left to right. Errors are kept x16 in 16-bit values; the error row
// holds, per column, what the row below receives; cur/below/belowPrev carry along the row.
bool DitherPixels(qzQuantJob* job, QuantState* st, int transparentIndex) {
    int limitTable[511];
    int* limit = limitTable + 255;
    for (int k = 0; k <= 255; k++) {
        int v = k < 16 ? k : (k < 48 ? 16 + (k - 16) / 2 : 32);
        limit[k] = v, limit[-k] = -v;
    }
    size_t rowEntries = ((size_t)job->width + 2) * 3;
    int16_t* errors = (int16_t*)OsAlloc(rowEntries * sizeof(int16_t), 1);
    if (!errors) return false;
    int tr = -1, tg = -1, tb = -1;
    if (job->transparent != -1) {
        tr = (job->transparent >> 16) & 255, tg = (job->transparent >> 8) & 255, tb = job->transparent & 255;
    }
    const int* pal[3] = {st->red, st->green, st->blue};
    uint8_t* out = job->indices;
    for (int y = 0; y < job->height; y++) {
        int cur[3] = {0, 0, 0}, below[3] = {0, 0, 0}, belowPrev[3] = {0, 0, 0};
        int16_t* ep = errors;
        for (int x = 0; x < job->width; x++, ep += 3) {
            int c[3];
            ReadQuantPixel(PixelAt(job, x, y), job->format, c);
            if (c[0] == tr && c[1] == tg && c[2] == tb) {
                *out++ = (uint8_t)transparentIndex;
                ep[0] = ep[1] = ep[2] = 0;
                continue;
            }
            int v[3];
            for (int k = 0; k < 3; k++) {
                int e = limit[(cur[k] + ep[3 + k] + 8) >> 4];
                int t = c[k] + e;
                v[k] = t < 0 ? 0 : (t > 255 ? 255 : t);
            }
            int index = MapCell(st, v[0], v[1], v[2]);
            *out++ = (uint8_t)index;
            for (int k = 0; k < 3; k++) {
                int err = v[k] - pal[k][index];
                ep[k] = (int16_t)(belowPrev[k] + 3 * err);
                belowPrev[k] = below[k] + 5 * err;
                below[k] = err;
                cur[k] = 7 * err;
            }
        }
        ep[0] = (int16_t)belowPrev[0], ep[1] = (int16_t)belowPrev[1], ep[2] = (int16_t)belowPrev[2];
    }
    OsFree(errors);
    return true;
}

}  // namespace

void MedianCutQuantize(qzQuantJob* job) {
    job->success = 0;
    job->transparentIndex = -1;
    if (job->width < 1 || job->height < 1) {
        job->colors = 0;
        job->success = 1;
        return;
    }
    // The pixel format must name pixels of the job's size, or pixels would be read across
    // their neighbours (and past the end of the buffer).
    int stride = job->bytesPerPixel == 3 || job->bytesPerPixel == 4 ? job->bytesPerPixel : 2;
    if (GetPixelFormatBytes(job->format) != stride || !job->pixels || !job->indices || !job->palette) return;
    if (job->colors < 1) job->colors = 1;
    if (ExactPalette(job)) return;

    bool hasTransparent = job->transparent != -1;
    int limit = (!hasTransparent && !job->spareEntry) ? 256 : 255;
    int wanted = job->colors > limit ? limit : job->colors;

    QuantState* st = (QuantState*)OsAlloc(sizeof(QuantState), 1);
    ColorBox* boxes = (ColorBox*)OsAlloc(sizeof(ColorBox) * (size_t)wanted, 1);
    if (st) st->histogram = (uint16_t*)OsAlloc(kHistogramCells * sizeof(uint16_t), 1);
    if (!st || !boxes || !st->histogram) {
        if (st) OsFree(st->histogram);
        OsFree(st);
        OsFree(boxes);
        return;
    }
    int tr = -1, tg = -1, tb = -1;
    if (hasTransparent) {
        tr = (job->transparent >> 16) & 255, tg = (job->transparent >> 8) & 255, tb = job->transparent & 255;
    }
    for (int y = 0; y < job->height; y++)
        for (int x = 0; x < job->width; x++) {
            int c[3];
            ReadQuantPixel(PixelAt(job, x, y), job->format, c);
            if (c[0] == tr && c[1] == tg && c[2] == tb) continue;
            uint16_t* cell = &st->histogram[Cell(c[0] >> 3, c[1] >> 2, c[2] >> 3)];
            if (++*cell == 0) *cell = 65535;
        }
    boxes[0] = ColorBox{0, kRedCells - 1, 0, kGreenCells - 1, 0, kBlueCells - 1, 0, 0};
    UpdateColorBox(st, &boxes[0]);
    int count = MedianCut(st, boxes, 1, wanted);
    for (int i = 0; i < count; i++) BoxColor(st, &boxes[i], i);
    st->colorCount = count;
    int transparentIndex = -1;
    if (hasTransparent) transparentIndex = count;
    ClearColorHistogram(st->histogram);

    bool ok = true;
    if (job->dither)
        ok = DitherPixels(job, st, transparentIndex);
    else
        MapPixels(job, st, transparentIndex);
    if (ok) {
        int total = count;
        for (int i = 0; i < count; i++)
            job->palette[i] = (uint32_t)st->red[i] << 16 | (uint32_t)st->green[i] << 8 | (uint32_t)st->blue[i];
        if (hasTransparent) {
            job->palette[total++] = (uint32_t)job->transparent & 0xFFFFFF;
            job->transparentIndex = transparentIndex;
        } else if (job->spareEntry) {
            job->palette[total++] = 0;
        }
        job->colors = total;
        job->success = 1;
    }
    OsFree(st->histogram);
    OsFree(st);
    OsFree(boxes);
}
