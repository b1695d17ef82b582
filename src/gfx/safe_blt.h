// SafeBlt: the one routine through which images reach a display. It clips the rectangle, honours
// the clip region (rectangular or shaped), composes on-screen sprites and layers, keeps the
// selected output's mask and alpha channel in step, mirrors into the display's second buffer when
// the display scales, and presents the changed rectangle. Displays, sprites, layers and the video
// recorder are reached through the hooks of gfx/blit_display.h. Main thread only.
#pragma once

#include <cstdint>

struct VmState;
struct qzBitMap;
struct qzClipRegion;

// SafeBlt flags.
enum : uint32_t {
    SAFEBLT_NOCLIP = 1,        // ignore the clip region
    SAFEBLT_NOSPRITES = 2,     // do not compose on-screen sprites
    SAFEBLT_FIRSTBUFFER = 4,   // without a destination: draw into the first buffer (layers off)
    SAFEBLT_REDRAWLAYERS = 8,  // without a destination and with layers on: redraw them and present
    SAFEBLT_TARGETONLY = 16,   // may use the fallback display; draw only into the destination
    SAFEBLT_NOPRESENT = 32,
    SAFEBLT_FORCEFIRSTBUFFER = 64,  // without a destination: the first buffer, layers or not
    SAFEBLT_HARDWARE = 128,         // present straight through the hardware double buffer
};

// Copies the width x height rectangle at sx, sy of src (srcWidth x srcHeight; through its mask or
// alpha channel when given, each of src's geometry) to dx, dy of dst (dstWidth x dstHeight), or,
// with no dst, to the current display's target chosen by the flags.
void SafeBlt(VmState* state, const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
             int srcWidth, int srcHeight, int dstWidth, int dstHeight, uint32_t flags, const qzBitMap* mask,
             const qzBitMap* alpha, const qzClipRegion* clipRegion);

// PresentBitMapRect flags.
enum : uint32_t {
    PRESENT_SCALED = 1,     // a whole buffer: shown at the display's scaled size when it has one
    PRESENT_RECORDING = 2,  // 2 and 4: present even while the video recorder takes presentation
    PRESENT_RECORDING2 = 4,
    PRESENT_INREFRESH = 128,  // present even inside a BeginRefresh block
};
// Presents a rectangle of a bitmap on a display (see the flags).
void PresentBitMapRect(const qzBitMap* bitmap, int sx, int sy, void* display, int dx, int dy, int width, int height,
                       uint32_t flags);
// Presents a rectangle of the display after a change that may touch on-screen sprites (transition
// effects): with sprites in it the layers are redrawn into the second buffer and that is shown,
// else the first buffer is shown.
void RedrawAndRefreshRect(VmState* state, int sx, int sy, void* display, int dx, int dy, int width, int height);

// The scratch buffer behind temporary masks and alpha channels of shaped clip regions (shared
// with the clip regions of the graphics library): made or grown to at least `bytes`. Null when
// out of memory.
uint8_t* SafeBltScratch(int64_t bytes);
// Frees it (the graphics clean-up at exit).
void FreeSafeBltScratch();
