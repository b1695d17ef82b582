// Sprite objects: numbered objects with equally sized frames (colour bitmap, optional mask,
// optional alpha channel) that float above a background picture and its layers. The sprite record
// and its list, the lookup every sprite command uses, creation from frame bitmaps or from a list
// of other sprites (a link sprite, which owns no frames), copies, scaling, flipping and freeing.
// The on-screen side lives in sprite_screen.h. Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "base/object_id.h"
#include "runtime/object_registry.h"

struct VmState;
struct qzBitMap;

constexpr int32_t QZ_TYPE_SPRITE = 32;

// One frame: the colour bitmap and, where the frame has them, its mask and alpha channel.
struct qzSpriteFrame {
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    // A frame made while objects are preloaded keeps its pixels as ARGB (alpha 0 where the mask
    // hides them, 255 elsewhere; OsAlloc) until the colour bitmap and mask are made again for the
    // display (RecreateSpriteFrames). Null otherwise.
    uint32_t* saved = nullptr;
};

struct qzSprite {
    qzObjectHeader header = {QZ_TYPE_SPRITE, {0, nullptr}, nullptr, nullptr};
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameCount = 0;
    int32_t locked = 0;             // another operation works on it: modifying commands fail
    int32_t transparentColor = -1;  // the key colour of the object the frames came from, -1 none
    // The sprites a link sprite shows, in order (their frames one after the other); empty for a
    // sprite that owns its frames.
    std::vector<qzSprite*> links;
    std::vector<qzSpriteFrame> frames;  // owned; empty for a link sprite
};

// FindSprite flags.
enum { QZ_FINDSPRITE_MODIFY = 1 };

qzSprite* FirstSprite();
qzObjectHeader** SpriteListHead();
inline qzSprite* NextSprite(const qzSprite* sprite) { return reinterpret_cast<qzSprite*>(sprite->header.next); }

// Looks a sprite up. 0 with *out set; ERR_FINDARRAY for a handle, ERR_FINDSPRITE with the number
// as error argument; ERR_LOCKEDOBJ when looked up for modification while locked.
int FindSprite(VmState* state, const qzObjectId& id, qzSprite** out, int flags);

// Appends a sprite that owns the frames given (every frame width x height). 0 or ERR_MEM (the
// frames are then left to the caller).
int AddSprite(const qzObjectId& id, int32_t width, int32_t height, const std::vector<qzSpriteFrame>& frames,
              qzSprite** out);
// Appends a link sprite of the sprites given: ERR_SPRITELINK when one of them is itself a link,
// ERR_WRONGSPRITESIZE when their sizes differ, ERR_WRONGUSAGE for an empty list, ERR_MEM.
int AddLinkSprite(const qzObjectId& id, const std::vector<qzSprite*>& links, qzSprite** out);

// Frees the sprite of the identifier: it leaves every picture it is shown on (the shown picture
// of a display redrawn without it), and a sprite that owns frames first takes every link sprite
// that uses it along. ERR_LOCKEDOBJ when it or such a link sprite is in use (always); lookup
// errors only with reportNotFound.
int DeleteSprite(VmState* state, const qzObjectId& id, int reportNotFound);
// Destroys every sprite (shutdown); the pictures' on-screen lists are emptied first.
void FreeAllSprites(VmState* state);

// Frees the frame's bitmaps and its saved pixels.
void DeleteSpriteFrame(const qzSpriteFrame& frame);
// Keeps a copy of the frame's pixels (width x height) in frame->saved. 0 or ERR_MEM.
int SaveSpriteFramePixels(qzSpriteFrame* frame, int32_t width, int32_t height);
// Every frame that keeps its pixels gets a new colour bitmap, and a new mask when it has one, made
// from them; the pixels are then freed. The alpha channels stay. 0 or the first error (the frame
// it met keeps its bitmaps and pixels).
int RecreateSpriteFrames();

// The bitmaps of a frame (counted from 0); a link sprite walks its sprites to the one that holds
// the index. False when the index is outside the frames.
bool GetSpriteFrameBitmaps(const qzSprite* sprite, int32_t index, qzSpriteFrame* out);

// 1 when the sprite is a link sprite or a link sprite uses it.
int SpriteIsLinked(const qzSprite* sprite);

// Every frame scaled to width x height (smooth or nearest) with its mask and alpha channel; the
// old bitmaps are freed only when every frame was made. 0 or the scaler's error.
int ScaleSpriteFrames(qzSprite* sprite, int32_t width, int32_t height, int smooth);
// Every frame mirrored in place with its mask and alpha channel. 0 or ERR_LOCKBMAP.
int FlipSpriteFrames(qzSprite* sprite, int vertical);
// A new sprite under newId: a link sprite shares its links, any other gets copies of every frame,
// and the object data is copied. 0 or an error; on failure nothing is left behind.
int CopySpriteRecord(VmState* state, const qzSprite* source, const qzObjectId& newId, qzSprite** out);
