// The engine's two picture slots and the conversion of a decoded frame into one: 32-bit frames
// are copied (or swapped with the slot when the sizes match) or scaled; planar YUV frames are
// converted at the target size.
#include <cstring>
#include <utility>

#include "base/error_codes.h"
#include "base/pixel_format_codes.h"
#include "gfx/yuv_convert.h"
#include "platform/os_alloc.h"
#include "video/video_engine.h"

namespace {

constexpr int32_t kRowSlack = 64;

// Scales ARGB words into the slot; nearest or smooth, on the engine's tables.
void ScaleIntoSlot(qzVideoEngine* e, const uint32_t* src, int32_t srcRowLength, qzVideoPicture* slot, int smooth) {
    if (smooth && GrowScaleTables(&e->scaleTables, e->dstWidth, e->dstHeight) != 0) return;
    qzScaleJob job = {};
    job.srcPixels = src;
    job.dstPixels = slot->pixels;
    job.srcWidth = e->srcWidth;
    job.srcHeight = e->srcHeight;
    job.dstWidth = e->dstWidth;
    job.dstHeight = e->dstHeight;
    job.srcRowLength = srcRowLength;
    job.dstRowLength = e->dstWidth;
    job.smooth = smooth;
    job.pixelFormat = PIXFMT_ARGB32;
    job.bytesPerPixel = 4;
    if (smooth) AttachScaleTables(&job, &e->scaleTables);
    ScalePixels(&job);
}

}  // namespace

int AllocVideoPictures(qzVideoEngine* e) {
    size_t words = (static_cast<size_t>(e->dstWidth) + kRowSlack) * static_cast<size_t>(e->dstHeight);
    for (qzVideoPicture& p : e->pictures) {
        OsFree(p.pixels);
        p = qzVideoPicture{};
        p.pixels = static_cast<uint32_t*>(OsAlloc(words * 4, 0));
        if (!p.pixels) {
            FreeVideoPictures(e);
            return ERR_MEM;
        }
        std::memset(p.pixels, 0, words * 4);
        p.rowLength = e->dstWidth + kRowSlack;
    }
    return 0;
}

void FreeVideoPictures(qzVideoEngine* e) {
    for (qzVideoPicture& p : e->pictures) {
        OsFree(p.pixels);
        p = qzVideoPicture{};
    }
}

void FillVideoPicture(qzVideoEngine* e, qzVideoPicture* slot) {
    const bool sameSize = e->srcWidth == e->dstWidth && e->srcHeight == e->dstHeight;
    if (e->frames32) {
        int32_t srcRowLength = static_cast<int32_t>(e->rowBytes[0] / 4);
        if (srcRowLength < e->srcWidth) srcRowLength = e->srcWidth;
        if (sameSize) {
            // The rows are copied rather than the buffers swapped: the slot buffer is sized for the
            // target, the decoder's for the source with its own row slack.
            for (int32_t r = 0; r < e->srcHeight; r++)
                std::memcpy(slot->pixels + static_cast<size_t>(r) * e->dstWidth,
                            e->spare + static_cast<size_t>(r) * srcRowLength, static_cast<size_t>(e->srcWidth) * 4);
        } else {
            ScaleIntoSlot(e, e->spare, srcRowLength, slot, e->smooth);
        }
        slot->rowLength = e->dstWidth;
        return;
    }
    int pitches[3] = {static_cast<int>(e->rowBytes[0]), static_cast<int>(e->rowBytes[1]),
                      static_cast<int>(e->rowBytes[2])};
    qzYuvJob job = {};
    job.planes = e->planes;
    job.pitches = pitches;
    job.srcWidth = e->srcWidth;
    job.srcHeight = e->srcHeight;
    job.dstWidth = e->dstWidth;
    job.dstHeight = e->dstHeight;
    job.dstStride = e->dstWidth;
    job.pixelFormat = PIXFMT_ARGB32;
    job.bytesPerPixel = 4;
    if (!e->planes[0] || !e->planes[1] || !e->planes[2]) return;
    if (sameSize) {
        job.dstPixels = slot->pixels;
        ConvertYUVToPixels(&job);
    } else if (!e->smooth) {
        job.dstPixels = slot->pixels;
        ScaleYUVToPixels(&job);
    } else {
        // Smooth: converted at the source size first, then scaled with interpolation.
        if (!e->scaleBuffer) {
            size_t words = static_cast<size_t>(e->srcWidth) * static_cast<size_t>(e->srcHeight);
            e->scaleBuffer = static_cast<uint32_t*>(OsAlloc(words * 4, 0));
            if (!e->scaleBuffer) return;
        }
        job.dstPixels = e->scaleBuffer;
        job.dstStride = e->srcWidth;
        ConvertYUVToPixels(&job);
        ScaleIntoSlot(e, e->scaleBuffer, e->srcWidth, slot, 1);
    }
    slot->rowLength = e->dstWidth;
}
