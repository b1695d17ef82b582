// Presentation: copying rectangles of a display's buffers to its window (through a shared scaled
// buffer when the display scales and the back end does not), drawing directly on a display, the
// letterbox strips, display hooks that mirror every drawing operation for plugins, pending video
// frames, and the frame wait.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;
struct qzDisplay;
struct qzDisplayHook;

// Presentation flags.
enum : uint32_t {
    QZ_PRESENT_WHOLEPICTURE = 1,  // the source is a whole scaled picture
    QZ_PRESENT_BYPASS = 16,       // straight to the built-in back end, no hooks
    QZ_PRESENT_NOVIDEOMASK = 32,
    QZ_PRESENT_NOHOOKS = 64,
    QZ_PRESENT_WHILEHIDDEN = 128,
    QZ_PRESENT_SCALEDHERE = 0x100,
};

// Hook messages.
enum {
    QZ_HOOKMSG_PRESENT = 0,   // 14 words: source, kind, width, height, row length, format, mask, mask row
                              // bytes, sx, sy, dx, dy, width, height
    QZ_HOOKMSG_RECTFILL = 1,  // x, y, width, height, colour
    QZ_HOOKMSG_LINE = 2,      // x1, y1, x2, y2, colour
    QZ_HOOKMSG_PIXEL = 3,     // x, y, colour
    QZ_HOOKMSG_RESIZE = 4,    // width, height
    QZ_HOOKMSG_VWAIT = 5,
};
enum { QZ_HOOKSOURCE_PIXELS = 1, QZ_HOOKSOURCE_VIDEO = 2, QZ_HOOKSOURCE_ADAPTER = 3 };

typedef void (*qzDisplayHookCallback)(qzDisplayHook* hook, int32_t code, const intptr_t* message, void* userData);

// One hook of a display, in the order of attachment.
struct qzDisplayHook {
    qzDisplayHook* next;
    qzDisplayHookCallback callback;
    void* userData;
    int32_t foreign;  // the callback is not called
    int32_t visited;
    int32_t wantsVWait;
    qzDisplay* display;
};

// A video frame waiting for the main thread: appended by the video engine under the display's
// repaint mutex.
struct qzPendingRepaint {
    qzPendingRepaint* next;
    void* video;
    qzBitMap* frame;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    void* layer;  // the video's layer, null when it plays directly on the display
};

// Copies the rectangle of the source to the display; with a scaled size the whole source is shown
// at that size (only the rectangle's part where the back end scales).
void PresentDisplayRect(const qzBitMap* source, int32_t sx, int32_t sy, qzDisplay* display, int32_t dx, int32_t dy,
                        int32_t width, int32_t height, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags,
                        const qzBitMap* mask, const qzBitMap* alpha);
// Shows a rectangle of the display's back buffer: scaled when the display auto-scales.
void PresentDisplayBuffer(qzDisplay* display, const qzBitMap* buffer, int32_t x, int32_t y, int32_t width,
                          int32_t height, uint32_t flags);
// Deletes the shared scaled buffer (shutdown).
void FreeScaledPresentationBuffer();
// The shared scaled buffer's size (0 x 0 when none).
void GetScaledPresentationBufferSize(int32_t* width, int32_t* height);

// Drawing directly on an open display, then the hook message. Colours 0xRRGGBB.
void DisplayRectFill(qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour);
void DisplayWritePixel(qzDisplay* display, int32_t x, int32_t y, uint32_t colour);
void DisplayLine(qzDisplay* display, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
// Fills each non-empty letterbox strip with black.
void FillDisplayBorders(qzDisplay* display);

// Sends a message to every hook of the display (only the hook being refreshed when one is named);
// a callback may remove or add hooks.
void SendDisplayHookMessage(qzDisplay* display, int32_t code, const intptr_t* message);
void NotifyDisplayHooksResize(qzDisplay* display, int32_t width, int32_t height);
// Host services: a hook on the display of the identifier. tags: {1, out width}, {2, out height},
// {3, wants VWait}, ended by tag 0. Null when refused.
struct qzHookTag {
    uint32_t tag;
    intptr_t value;
};
qzDisplayHook* AddDisplayHook(VmState* state, const qzObjectId& displayId, qzDisplayHookCallback callback,
                              void* userData, const qzHookTag* tags, int foreign);
void RemoveDisplayHook(qzDisplayHook* hook);
void RefreshHookDisplay(VmState* state, qzDisplayHook* hook);
int AdapterResizeDisplay(VmState* state, qzDisplayHook* hook, int32_t width, int32_t height);
void FreeDisplayHooks(qzDisplay* display);

// Drains every display's pending video frames (main thread). 0 or the first error.
int FlushPendingDisplayRepaints(VmState* state);
// Frees a display's pending frames under its repaint mutex.
void DropPendingRepaints(qzDisplay* display);

// The frame wait of VWait: the adapter's, or the frame-rate limit; then the hooks that asked.
int WaitDisplayVBlank(VmState* state, qzDisplay* display, int32_t force);
// The frame-rate limit (the graphics library's frames per second): only for an open display or
// with force; shows what was drawn, waits (handling events) for the rest of the frame interval
// since the display's last frame, then stamps the frame time. 0 or an error of the wait.
int LimitDisplayFrameRate(VmState* state, qzDisplay* display, int32_t force);
// Waits the milliseconds while handling events: the adapter's Sleep when it has one, else the
// platform's wait that pumps events. 0 or an error of the wait.
int SleepWithEvents(VmState* state, int32_t milliseconds);
// Stamps the display's frame time (monotonic).
void StampDisplayFrame(qzDisplay* display);
