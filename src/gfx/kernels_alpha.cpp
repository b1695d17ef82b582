#include "gfx/kernels_alpha.h"

#include <algorithm>

#include "gfx/mask_bits.h"

void ScaleAlphaBytesByLevel(const uint8_t* src, uint8_t* dst, int level, int width, int height) {
    if (width < 1 || height < 1) return;
    uint32_t l = (uint32_t)std::clamp(level, 0, 255);
    int64_t n = (int64_t)width * height;
    for (int64_t i = 0; i < n; i++) dst[i] = (uint8_t)(src[i] * l / 255);
}

void ApplyClipMask(const qzClipMaskJob* job) {
    int width = job->width, height = job->height;
    if (width < 1 || height < 1) return;
    int64_t rx = (int64_t)job->dx - job->regionX, ry = (int64_t)job->dy - job->regionY;
    for (int j = 0; j < height; j++) {
        const uint8_t* clip = RowAt(job->regionMask, ry + j, job->regionBytesPerRow);
        uint8_t* t = RowAt(job->temporary, job->sy + j, job->temporaryBytesPerRow);
        if (job->srcAlpha) {
            const uint8_t* a = RowAt(job->srcAlpha, job->sy + j, job->srcAlphaBytesPerRow);
            for (int i = 0; i < width; i++) t[job->sx + i] = GetMaskBit(clip, rx + i) ? a[job->sx + i] : 0;
        } else {
            const uint8_t* m = job->srcMask ? RowAt(job->srcMask, job->sy + j, job->temporaryBytesPerRow) : nullptr;
            for (int i = 0; i < width; i++) {
                int bit = GetMaskBit(clip, rx + i);
                if (m) bit &= GetMaskBit(m, (int64_t)job->sx + i);
                PutMaskBit(t, (int64_t)job->sx + i, bit);
            }
        }
    }
}

void CombineAlphaRect(const qzAlphaRectJob* job) {
    int width = job->width, height = job->height;
    if (width < 1 || height < 1) return;
    int mode = job->mode;
    int level = std::clamp(job->level, 0, 255);
    uint8_t constant = (uint8_t)job->level;
    for (int j = 0; j < height; j++) {
        const uint8_t* s = RowAt(job->src, job->srcY + j, job->srcBytesPerRow) + job->srcX;
        uint8_t* d = RowAt(job->dst, job->dstY + j, job->dstBytesPerRow) + job->dstX;
        for (int i = 0; i < width; i++) {
            uint32_t sv = s[i], dv = d[i];
            switch (mode) {
            case 1:
                if (sv) d[i] = (uint8_t)sv;
                break;
            case 2:
                if (sv) d[i] = (uint8_t)(255 - sv);
                break;
            case 3:
                if (sv) d[i] = 255;
                break;
            case 4:
                if (sv) d[i] = (uint8_t)(level * sv / 255);
                break;
            case 5:
                if (sv && dv) d[i] = (uint8_t)(255 - sv);
                break;
            case 6:
                if (sv) d[i] = constant;
                break;
            case 7: d[i] = (sv && dv) ? (uint8_t)sv : 0; break;
            case 8:
                if (sv == 255) d[i] = 255;
                break;
            case 9:
                if (sv == 255)
                    d[i] = 255;
                else if (sv)
                    d[i] = (uint8_t)std::min<uint32_t>(255, (sv * 255 + (255 - sv) * dv + 127) / 255);
                break;
            default: d[i] = (uint8_t)sv; break;
            }
        }
    }
}

void AlphaRectToMask(const uint8_t* alpha, uint8_t* mask, int ax, int ay, int mx, int my, int alphaBytesPerRow,
                     int maskBytesPerRow, int width, int height, int mode) {
    if (width < 1 || height < 1 || mode < 0 || mode == 4 || mode > 5) return;
    for (int j = 0; j < height; j++) {
        const uint8_t* a = RowAt(alpha, ay + j, alphaBytesPerRow) + ax;
        uint8_t* m = RowAt(mask, my + j, maskBytesPerRow);
        for (int i = 0; i < width; i++) {
            bool visible = a[i] == 255;
            int64_t x = (int64_t)mx + i;
            switch (mode) {
            case 0:
            case 2: PutMaskBit(m, x, visible); break;
            case 1: PutMaskBit(m, x, !visible); break;
            case 3:
                if (visible) PutMaskBit(m, x, !GetMaskBit(m, x));
                break;
            case 5:
                if (visible) SetMaskBit(m, x);
                break;
            }
        }
    }
}
