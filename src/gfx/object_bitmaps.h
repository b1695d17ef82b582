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
    // Set when the bitmaps were made for the caller (a frame decoded on demand): they belong to
    // the caller, who hands them back with ReleaseObjectBitmaps. Null: they belong to the object.
    void (*release)(qzObjectBitmaps* self) = nullptr;
};

// Frees bitmaps that were made for the caller and empties *bitmaps; the object's own bitmaps
// are left alone. Every reader of qzObjectBitmaps calls it when done with them.
inline void ReleaseObjectBitmaps(qzObjectBitmaps* bitmaps) {
    if (auto release = bitmaps->release) {
        bitmaps->release = nullptr;
        release(bitmaps);
    }
    *bitmaps = qzObjectBitmaps();
}

// Calls ReleaseObjectBitmaps at the end of a scope, also when an error unwinds through it.
struct qzObjectBitmapsRelease {
    qzObjectBitmaps* bitmaps;
    explicit qzObjectBitmapsRelease(qzObjectBitmaps* b) : bitmaps(b) {}
    ~qzObjectBitmapsRelease() { ReleaseObjectBitmaps(bitmaps); }
    qzObjectBitmapsRelease(const qzObjectBitmapsRelease&) = delete;
    qzObjectBitmapsRelease& operator=(const qzObjectBitmapsRelease&) = delete;
};
