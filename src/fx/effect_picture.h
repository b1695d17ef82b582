// Drawing shared by the step routines that composite a picture over a background each frame:
// one rectangle through the picture's mask or alpha channel without flicker, the line
// displacement from one picture into another, and the state of the roll and wallpaper types.
#pragma once

#include <cstdint>

struct qzBitMap;
struct qzDisplaceJob;
struct qzEffectContext;

// Without viaLayer: composes the rectangle (sx, sy, w, h) of background and then of picture
// (through mask and alpha) in scratch (at least w x h), then copies scratch to target at dx, dy,
// clipped to screenWidth x screenHeight, with bltFlags and the shown picture's clip region. With
// viaLayer: the rectangle of picture goes into the layer's bitmaps at dx - x, dy - y through
// EffectBlit with layerFlags (plus EFFECTBLIT_NOPRESENT while replaying or on a buffered display).
void DrawEffectPicturePart(const qzBitMap* picture, int32_t sx, int32_t sy, qzBitMap* target, int32_t dx, int32_t dy,
                           int32_t w, int32_t h, int32_t pictureWidth, int32_t pictureHeight, int32_t screenWidth,
                           int32_t screenHeight, uint32_t bltFlags, uint32_t layerFlags, const qzBitMap* background,
                           const qzBitMap* mask, qzBitMap* scratch, const qzBitMap* alpha, qzEffectContext* context);

// Runs DisplaceLines from source into destination with the pixel pointers, row lengths and pixel
// size of the two bitmaps filled into the request (whose offset table the caller filled). Does
// nothing when either bitmap cannot be locked.
void DisplaceEffectLines(const qzBitMap* source, qzBitMap* destination, qzDisplaceJob* request);

// The state block of the roll and wallpaper types begins with this record.
struct qzRollStateHead {
    qzBitMap* bitmaps[2];
    qzBitMap* mask;
    qzBitMap* alpha;
    void* buffer;  // allocated with malloc
};
// Frees what the record holds (not the block).
void FreeRollState(qzEffectContext* context, int32_t completed);
