// The bitmaps of script objects that the graphics core and the graphics library read: a raster
// brush's bitmap, mask and alpha channel, and those of one frame of a sprite. The brush and sprite
// code install the lookups; without a lookup every id is unknown.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;

constexpr int32_t QZ_TYPE_BRUSH_OBJECT = 3;
constexpr int32_t QZ_TYPE_SPRITE_OBJECT = 32;

struct qzObjectBitmaps {
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;   // null when the object has none
    qzBitMap* alpha = nullptr;  // null when the object has none
    int32_t width = 0;
    int32_t height = 0;
    int32_t frames = 1;         // a sprite's frame count
};

// Looks the object up and fills *out for the 1-based frame (brushes have one). 0, the lookup's
// error (ERR_FINDARRAY, ERR_FINDBRUSH, ERR_FINDSPRITE with the number as error argument, a vector
// brush's ERR_BRUSHTYPE), or ERR_ANIMFRAME for a frame outside the object.
typedef int (*qzObjectBitmapsFn)(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out);
void SetBrushBitmapsHook(qzObjectBitmapsFn hook);
void SetSpriteBitmapsHook(qzObjectBitmapsFn hook);

int GetBrushBitmaps(VmState* state, const qzObjectId& id, qzObjectBitmaps* out);
int GetSpriteFrameBitmaps(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out);
