// The bitmaps of a script object as code outside its owner reads them: a raster brush's bitmap,
// mask and alpha channel, and those of one frame of a sprite or an anim and of a text object; and
// the object types that have them. The owner of each type answers for its objects through its row
// of display/object_types.h.
#pragma once

#include <cstdint>

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
