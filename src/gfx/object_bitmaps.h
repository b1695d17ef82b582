// The bitmaps of script objects that the graphics core and the libraries read: a raster brush's
// bitmap, mask and alpha channel, and those of one frame of a sprite or an anim and of a text
// object. The code that owns each kind installs its lookup; without a lookup every id is unknown.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;

constexpr int32_t QZ_TYPE_BRUSH_OBJECT = 3;
constexpr int32_t QZ_TYPE_SPRITE_OBJECT = 32;
constexpr int32_t QZ_TYPE_ANIM_OBJECT = 4;
constexpr int32_t QZ_TYPE_TEXT_OBJECT = 8;

struct qzObjectBitmaps {
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;   // null when the object has none
    qzBitMap* alpha = nullptr;  // null when the object has none
    int32_t width = 0;
    int32_t height = 0;
    int32_t frames = 1;     // a sprite's or an anim's frame count
    int32_t keyColor = -1;  // the transparent colour a copy of the bitmaps keeps, -1 none
};

// Looks the object up and fills *out for the 1-based frame (brushes and text objects have one).
// 0, the lookup's error (ERR_FINDARRAY, ERR_FINDBRUSH, ERR_FINDSPRITE, ERR_FINDANIM or
// ERR_FINDTEXTOBJECT with the number as error argument, a vector brush's ERR_BRUSHTYPE), or
// ERR_ANIMFRAME for a frame outside the object.
typedef int (*qzObjectBitmapsFn)(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out);
void SetBrushBitmapsHook(qzObjectBitmapsFn hook);
void SetSpriteBitmapsHook(qzObjectBitmapsFn hook);
// Installed by the anim code and by the text-object code.
void SetAnimFrameBitmapsHook(qzObjectBitmapsFn hook);
void SetTextObjectBitmapsHook(qzObjectBitmapsFn hook);

int GetBrushBitmaps(VmState* state, const qzObjectId& id, qzObjectBitmaps* out);
int GetSpriteFrameBitmaps(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out);
int GetAnimFrameBitmaps(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out);
int GetTextObjectBitmaps(VmState* state, const qzObjectId& id, qzObjectBitmaps* out);
