// Drawing shared by the ripple and swirl frames: every destination pixel is taken from a source
// point that the frame computes, either copied (with its mask bit and alpha byte), cross-faded
// with a second image, or shown through an alpha map.
#pragma once

#include <cstdint>
#include <cstring>

#include "gfx/channel_access.h"
#include "gfx/mask_bits.h"
#include "platform/os_alloc.h"

struct qzWaveDraw {
    const uint8_t* source;
    int sourceRowLength;
    const uint8_t* second;
    int secondRowLength;
    uint8_t* destination;
    int destRowLength;
    int width;
    int height;
    int format;
    int fade;  // 0..255
    int fadeOut;
    const uint8_t* alphaMap;
    int alphaMapBytesPerRow;
    uint8_t* destAlpha;
    int destAlphaBytesPerRow;
    const uint8_t* alphaSource;  // alpha bytes copied with the pixels, or null
    int alphaSourceBytesPerRow;
    uint8_t* destMask;
    int destMaskBytesPerRow;
    const uint8_t* maskSource;  // mask bits copied with the pixels, or null
    int maskSourceBytesPerRow;
};

// Copies that stand in for a null source: the destination's pixels, mask and alpha channel as
// they were before the frame. `ok` is false when a copy could not be made.
struct qzWaveSourceCopies {
    uint8_t* pixels = nullptr;
    uint8_t* mask = nullptr;
    uint8_t* alpha = nullptr;
    bool ok = true;
    qzWaveSourceCopies() = default;
    qzWaveSourceCopies(const qzWaveSourceCopies&) = delete;
    qzWaveSourceCopies& operator=(const qzWaveSourceCopies&) = delete;
    ~qzWaveSourceCopies() {
        OsFree(pixels);
        OsFree(mask);
        OsFree(alpha);
    }
    static uint8_t* Copy(const uint8_t* from, size_t bytes, bool* ok) {
        if (!from || bytes == 0) return nullptr;
        uint8_t* p = (uint8_t*)OsAlloc(bytes, 0);
        if (!p) {
            *ok = false;
            return nullptr;
        }
        std::memcpy(p, from, bytes);
        return p;
    }
    // Fills the draw's source, mask source and alpha source from copies of the destination
    // when the caller gave no source.
    void Prepare(qzWaveDraw* d, int bytesPerPixel) {
        if (d->source) return;
        size_t rows = (size_t)d->height;
        pixels = Copy(d->destination, rows * d->destRowLength * bytesPerPixel, &ok);
        d->source = pixels;
        d->sourceRowLength = d->destRowLength;
        if (!d->maskSource && d->destMask) {
            mask = Copy(d->destMask, rows * d->destMaskBytesPerRow, &ok);
            d->maskSource = mask;
            d->maskSourceBytesPerRow = d->destMaskBytesPerRow;
        }
        if (!d->alphaSource && d->destAlpha) {
            alpha = Copy(d->destAlpha, rows * d->destAlphaBytesPerRow, &ok);
            d->alphaSource = alpha;
            d->alphaSourceBytesPerRow = d->destAlphaBytesPerRow;
        }
    }
};

// The colour bytes of a 4-byte pixel of the format (an unknown format is read as format 10).
inline uint32_t WaveColourBytes32(int format) { return format == 11 || format == 12 ? 0xFFFFFF00u : 0x00FFFFFFu; }

// WaveCrossFade of 4-byte pixels on the bytes in place: per byte s2 + (((s1 - s2) * fade) >> 8),
// computed as (s2 * (256 - fade) + s1 * fade) >> 8 in 16-bit fields two bytes at a time, whatever
// the channel order; the byte that is not a colour becomes 0. For a fade of 0..255.
inline uint32_t WaveCrossFadeBytes(uint32_t s1, uint32_t s2, uint32_t fade, uint32_t keep) {
    const uint32_t inverse = 256 - fade;
    const uint32_t rb = (((s2 & 0x00FF00FF) * inverse + (s1 & 0x00FF00FF) * fade) >> 8) & 0x00FF00FF;
    const uint32_t ag = (((s2 >> 8) & 0x00FF00FF) * inverse + ((s1 >> 8) & 0x00FF00FF) * fade) & 0xFF00FF00;
    return (rb | ag) & keep;
}

template <typename Pixel>
inline Pixel WaveCrossFade(int format, Pixel s1, Pixel s2, int fade) {
    if constexpr (sizeof(Pixel) == 4)
        if (fade >= 0 && fade <= 255) return WaveCrossFadeBytes(s1, s2, (uint32_t)fade, WaveColourBytes32(format));
    int a[3], b[3], o[3];
    if constexpr (sizeof(Pixel) == 4) {
        UnpackPixel32(format, s1, a);
        UnpackPixel32(format, s2, b);
    } else {
        UnpackPixel16(format, s1, a);
        UnpackPixel16(format, s2, b);
    }
    for (int i = 0; i < 3; i++) o[i] = b[i] + (((a[i] - b[i]) * fade) >> 8);
    if constexpr (sizeof(Pixel) == 4)
        return PackPixel32(format, o[0], o[1], o[2]);
    else
        return PackPixel16(format, o[0], o[1], o[2]);
}

enum WaveDrawMode { WAVE_COPY, WAVE_COPY_PLANES, WAVE_CROSSFADE, WAVE_ALPHA_MAP };

// One frame in one drawing mode, so that the pixel loop carries no mode tests.
template <typename Pixel, WaveDrawMode Mode, typename SourcePoint>
void DrawWaveRows(const qzWaveDraw& d, SourcePoint sourcePoint) {
    const Pixel* src = (const Pixel*)d.source;
    const Pixel* second = (const Pixel*)d.second;
    // Each 4-byte format holds the three colour bytes in some order and writes alpha 0: with a
    // fade of 0..255 the mix is the same on the word's bytes in place.
    const bool bytewise = d.fade >= 0 && d.fade <= 255;
    const uint32_t keep = WaveColourBytes32(d.format);
    for (int y = 0; y < d.height; y++) {
        Pixel* out = (Pixel*)d.destination + (size_t)y * d.destRowLength;
        for (int x = 0; x < d.width; x++) {
            int sx, sy;
            sourcePoint(x, y, &sx, &sy);
            Pixel s1 = src[(size_t)sy * d.sourceRowLength + sx];
            if constexpr (Mode == WAVE_ALPHA_MAP) {
                int a = d.alphaMap[(size_t)sy * d.alphaMapBytesPerRow + sx];
                uint8_t* da = d.destAlpha ? d.destAlpha + (size_t)y * d.destAlphaBytesPerRow + x : nullptr;
                if (a != 0) {
                    out[x] = s1;
                    if (da) *da = (uint8_t)(d.fadeOut ? a * (255 - d.fade) / 255 : d.fade * a / 255);
                } else if (da) {
                    *da = 0;
                }
            } else if constexpr (Mode == WAVE_CROSSFADE) {
                const Pixel s2 = second[(size_t)sy * d.secondRowLength + sx];
                if constexpr (sizeof(Pixel) == 4)
                    out[x] = bytewise ? WaveCrossFadeBytes(s1, s2, (uint32_t)d.fade, keep)
                                      : WaveCrossFade<Pixel>(d.format, s1, s2, d.fade);
                else
                    out[x] = WaveCrossFade<Pixel>(d.format, s1, s2, d.fade);
            } else {
                out[x] = s1;
                if constexpr (Mode == WAVE_COPY_PLANES) {
                    if (d.destMask && d.maskSource)
                        PutMaskBit(RowAt(d.destMask, y, d.destMaskBytesPerRow), x,
                                   GetMaskBit(RowAt(d.maskSource, sy, d.maskSourceBytesPerRow), sx));
                    if (d.destAlpha && d.alphaSource)
                        d.destAlpha[(size_t)y * d.destAlphaBytesPerRow + x] =
                            d.alphaSource[(size_t)sy * d.alphaSourceBytesPerRow + sx];
                }
            }
        }
    }
}

// Draws one frame: sourcePoint(x, y, &sx, &sy) gives each pixel's source point inside the image.
// Through an alpha map the source pixel is shown at the faded map value; with a second image
// the two are cross-faded; otherwise the source pixel is copied with its mask bit and alpha.
template <typename Pixel, typename SourcePoint>
void DrawWaveFrame(const qzWaveDraw& d, SourcePoint sourcePoint) {
    if (d.alphaMap)
        DrawWaveRows<Pixel, WAVE_ALPHA_MAP>(d, sourcePoint);
    else if (d.second)
        DrawWaveRows<Pixel, WAVE_CROSSFADE>(d, sourcePoint);
    else if ((d.destMask && d.maskSource) || (d.destAlpha && d.alphaSource))
        DrawWaveRows<Pixel, WAVE_COPY_PLANES>(d, sourcePoint);
    else
        DrawWaveRows<Pixel, WAVE_COPY>(d, sourcePoint);
}
