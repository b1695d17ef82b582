// Sprites on screen: the list of shown sprites that each background picture keeps in display
// order (later ones over earlier ones), showing, moving and removing sprites, and the redraw of
// the rectangles they leave and enter. Sprites never touch the picture underneath: a rectangle
// is rebuilt from the picture (its layers included) in the display's second buffer, the sprites
// that meet it are drawn over that, and the rectangle is presented. Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBGPic;
struct qzBitMap;
struct qzClipRegion;
struct qzDisplay;
struct qzSprite;

struct qzOnScreenSprite {
    qzOnScreenSprite* next = nullptr;
    qzObjectId id = {0, nullptr};
    int32_t x = 0, y = 0, width = 0, height = 0;
    int32_t frame = 1;  // 1-based
    qzSprite* sprite = nullptr;
    // The picture's clip region when the sprite was shown; drawing asks the region list whether
    // it still exists.
    qzClipRegion* clip = nullptr;
    qzObjectId clipId = {0, nullptr};
};

// The first on-screen sprite of a picture (null when none).
qzOnScreenSprite* FirstOnScreenSprite(const qzBGPic* pic);
int32_t CountPictureSprites(const qzBGPic* pic);
// The clip region the sprite was shown with, while the script has not freed it; else null.
const qzClipRegion* OnScreenSpriteClip(const qzOnScreenSprite* node);

// 0 when sprites may be shown on the current display, else the error of what is in the way:
// a selected picture, mask or alpha channel, a brush or anim selected (while double buffering
// ERR_ENDDOUBLEBUFFER), layers on or a picture with layers.
int CheckSpriteOutput(VmState* state);

// Shows the sprite at x, y (position constants resolved against its size) with the frame (0: the
// next one, wrapping; 1-based otherwise) on the current picture, or moves it there. 0,
// ERR_ANIMFRAME, or the lookup's error.
int DrawSpriteFrame(VmState* state, const qzObjectId& id, int32_t x, int32_t y, int32_t frame);
// The sprite's node on the current picture. 0, or ERR_SPRITEONSCREEN2 for a handle,
// ERR_SPRITEONSCREEN with the number.
int FindOnScreenSprite(const qzObjectId& id, qzOnScreenSprite** out);
// Takes the sprite off the current picture and redraws where it was.
int RemoveSprite(VmState* state, const qzObjectId& id);
// Takes every sprite off the current picture: with keep, what they show becomes part of the
// display's picture first. ERR_LOCKEDOBJ when one of them is locked.
int RemoveAllSprites(VmState* state, int keep);

// The sprite leaves every picture it is shown on; the shown picture of a display is redrawn
// there (state null: no redraw, at shutdown).
void TakeSpriteOffAllPictures(VmState* state, const qzSprite* sprite);
// Frees a picture's list without redraw.
void FreeOnScreenSpriteList(VmState* state, qzBGPic* pic);

// Draws the picture's sprites that meet the rectangle into dst, each through its clip region.
void DrawPictureSprites(VmState* state, qzDisplay* display, qzBGPic* pic, qzBitMap* dst, int32_t x, int32_t y,
                        int32_t width, int32_t height);
// Rebuilds the rectangle of the display's picture with its layers and sprites in the second
// buffer and presents it.
void RefreshSpriteRect(VmState* state, qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height);
// 1 when the rectangle (inclusive corners) meets an on-screen sprite of the current drawing
// target (the current display's picture while drawing goes to the display).
int CurrentTargetHasSpriteIn(int x1, int y1, int x2, int y2);
// The count of the current display's picture.
int32_t CountCurrentSprites();
