// How the blitters see displays. The display code sits above the graphics core, so it describes
// its displays through the hooks installed here: which display is current, what SafeBlt and the
// primitives read of it, and how a rectangle reaches its window. The on-screen sprite test, the
// layer redraw and the video recorder are hooks of their own, installed by the code that owns them.
// Every hook is null until installed, and then the blitters behave as if there were no display,
// no sprites, no layers and no recorder. Main thread only.
#pragma once

#include <cstdint>

struct VmState;
struct qzBitMap;
struct qzClipRegion;

// Output kinds (the object type of what drawing goes to).
enum {
    OUTPUT_BGPIC = 1,
    OUTPUT_BRUSH = 3,
    OUTPUT_DISPLAY = 21,
    OUTPUT_MASK = 28,
    OUTPUT_ALPHACHANNEL = 30,
};

// What the blitters read of a display and of its current drawing target.
struct qzBlitDisplayInfo {
    // The current selection: its bitmap, mask and alpha channel, and its kind (OUTPUT_*).
    qzBitMap* outputBitmap = nullptr;
    qzBitMap* outputMask = nullptr;
    qzBitMap* outputAlpha = nullptr;
    int32_t outputKind = OUTPUT_DISPLAY;
    int32_t doubleBuffer = 0;          // the display is double-buffering
    int32_t hardwareDoubleBuffer = 0;  // through the display adapter's double buffer
    int32_t layersOn = 0;
    qzBitMap* firstBuffer = nullptr;   // the shown picture
    qzBitMap* secondBuffer = nullptr;  // the picture composed with its layers
    int32_t scaling = 0;               // the display shows its picture at the scaled size
    int32_t scaledWidth = 0;
    int32_t scaledHeight = 0;
    int32_t inRefreshBlock = 0;  // between BeginRefresh and EndRefresh
    int32_t targetWidth = 0;     // the current drawing target's size
    int32_t targetHeight = 0;
    // The current drawing target's clip region, null when it has none: it limits every drawing
    // into the output (gfx/clip_region.h).
    const qzClipRegion* clipRegion = nullptr;
};

struct qzBlitDisplayHooks {
    // The display that drawing addresses, null when none.
    void* (*currentDisplay)();
    // Fills *out for the display.
    void (*describe)(void* display, qzBlitDisplayInfo* out);
    // Copies a rectangle of a bitmap to the display's window; with a scaled size the whole bitmap
    // is shown at that size. Mask and alpha channel (either may be null) shape the copy.
    void (*presentRect)(const qzBitMap* source, int sx, int sy, void* display, int dx, int dy, int width, int height,
                        int scaledWidth, int scaledHeight, uint32_t flags, const qzBitMap* mask, const qzBitMap* alpha);
};
void SetBlitDisplayHooks(const qzBlitDisplayHooks* hooks);
const qzBlitDisplayHooks* GetBlitDisplayHooks();

// 1 when the rectangle (inclusive corners) meets an on-screen sprite of the current drawing target.
typedef int (*qzSpriteTouchFn)(int x1, int y1, int x2, int y2);
void SetBlitSpriteHook(qzSpriteTouchFn hook);
qzSpriteTouchFn GetBlitSpriteHook();

// Redraws a rectangle of the display's picture and its visible layers into dst: pass 0 a whole
// redraw, 1 and 2 the passes before and after a source is drawn into the second buffer.
typedef void (*qzLayerRedrawFn)(VmState* state, void* display, qzBitMap* dst, int x, int y, int width, int height,
                                int pass);
void SetBlitLayerRedrawHook(qzLayerRedrawFn hook);
qzLayerRedrawFn GetBlitLayerRedrawHook();

// What the blitters call (each answers as described above when its hook is missing).
void* BlitCurrentDisplay();
// Fills *out for the display (null: the current one); false when there is none.
bool DescribeBlitDisplay(void* display, qzBlitDisplayInfo* out);
void BlitPresentRect(const qzBitMap* source, int sx, int sy, void* display, int dx, int dy, int width, int height,
                     int scaledWidth, int scaledHeight, uint32_t flags, const qzBitMap* mask, const qzBitMap* alpha);
int BlitTouchesSprites(int x1, int y1, int x2, int y2);
void BlitRedrawLayers(VmState* state, void* display, qzBitMap* dst, int x, int y, int width, int height, int pass);

// The fallback display: a record with nothing but an output kind of OUTPUT_BRUSH that SafeBlt
// makes current for one call that has a destination of its own (flag 16) while no display is.
// It exists from SetBlitFallbackDisplay(true) (the graphics library's registration) until
// SetBlitFallbackDisplay(false).
void SetBlitFallbackDisplay(bool exists);
bool BlitFallbackDisplayExists();
// While SafeBlt runs on the fallback record, BlitCurrentDisplay answers it.
void* BlitFallbackDisplay();
void SetBlitFallbackCurrent(bool current);
