// What a display needs of the window system, in one place: each operation goes to the display
// adapter when a display-adapter plugin serves displays, else to the built-in back end's twin
// (platform/host/backend_window.h, backend_draw.h). The display record is read for what the operation
// needs (position, size, borders, flags, title, monitor) and receives what comes back.
#pragma once

#include <cstdint>
#include <vector>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;
struct qzDisplay;
struct qzPluginInfo;

// Display-adapter flags the display code reads.
enum : uint32_t {
    QZ_ADAPTER_NOREPLACE = 1,
    QZ_ADAPTER_SCALES = 8,          // scales in its own BltBitMap
    QZ_ADAPTER_HOOKHANDLES = 0x20,  // hook messages carry the adapter's bitmap handles
    QZ_ADAPTER_INVERTALPHA = 0x80,
    QZ_ADAPTER_SLEEP = 0x100,
    QZ_ADAPTER_VWAIT = 0x200,
    QZ_ADAPTER_MONITORS = 0x400,
    QZ_ADAPTER_GRAB = 0x800,
};

// The display-adapter plugin that serves displays, or null.
const qzPluginInfo* DisplayAdapterPlugin();
// Whether a display-adapter plugin serves displays, and its flags (0 without one).
int IsDisplayAdapterActive();
uint32_t DisplayAdapterFlags();
// Asks the adapter for one pass of its event loop: 1 when one is installed, else 0.
int ForceAdapterEventLoopIteration();
// The display a hardware bitmap is made for, where the platform binds hardware bitmaps to
// displays: the display of the identifier (the current display for number 0). 0 with *out (null
// where bitmaps are not bound to displays); ERR_HWBMCLOSEDISP for a display without a window, or
// the lookup's error.
int GetDisplayForHardwareBitmap(const qzObjectId& id, qzDisplay** out);

// Prepares the built-in back end's window system when the first displays open. 0 or an error.
int InitDisplaySystem();
// The height of the system menu bar over the display's monitor (0 where there is none).
int32_t GetMenuBarHeight(const qzDisplay* display);

// The back end's window record of a display (built-in back end only). 0 or ERR_MEM.
int AllocDisplayWindowRecord(VmState* state, qzDisplay* display);
void FreeDisplayWindowRecord(qzDisplay* display);

// Border sizes for the display's flags into the record (left, top, both totals), marked known.
int DetermineBorderSizes(qzDisplay* display);
// Opens the window or screen of the display at its x, y (content position), size, title, flags
// and monitor, with an optional shape (a mask or an alpha channel of the display's size). 0 or
// ERR_WINDOW, ERR_ALLOCALPHA.
int OpenDisplayWindow(VmState* state, qzDisplay* display, int activate, const qzBitMap* shapeMask,
                      const qzBitMap* shapeAlpha);
// Closes it (the record stays). 0 or the adapter's error.
int CloseDisplayWindow(qzDisplay* display);
// 1 while the display has a window.
int DisplayHasWindow(const qzDisplay* display);
// The window follows the record's position and size, or only its position.
void SizeMoveDisplayWindow(qzDisplay* display);
void MoveDisplayWindow(qzDisplay* display);
void UpdateDisplayTitle(qzDisplay* display);
// show 1 shows a minimised window again, 0 minimises it. 0 or an error.
int ShowHideDisplayWindow(qzDisplay* display, int show);
// flag as ActivateDisplay's: 1 raise and focus.
void ActivateDisplayWindow(qzDisplay* display, int flag);
// Hands the display's flags, handlers and drag and size regions to its window.
void UpdateDisplayWindowSettings(qzDisplay* display);
// Where the display's pixels start inside its window (the letterbox strips).
void SetDisplayDrawOffset(qzDisplay* display, int32_t x, int32_t y);
// Tells a display adapter the new size of the display's buffers.
void NotifyAdapterBufferSize(qzDisplay* display, int32_t width, int32_t height);

// The adapter's own sleep. 0.
int AdapterSleep(int32_t milliseconds);
// The adapter's frame wait. 0 or its error.
int AdapterVWait(qzDisplay* display);

// Screen modes and fades (built-in back end).
int32_t FadeDisplaysOut();
void FadeDisplaysIn(int32_t token);
int SwitchDisplayScreenMode(qzDisplay* display, int32_t width, int32_t height, int32_t depth);
int RestoreDisplayScreenMode(qzDisplay* display, int32_t monitor);
void SetFullScreenUIMode(int mode);

// Drawing on an open display: a rectangle of a bitmap (scaled to the whole scaled size when both
// are non-zero), a filled rectangle, a line, a pixel. Colours 0xRRGGBB.
void BlitToDisplayWindow(const qzBitMap* source, int32_t sx, int32_t sy, qzDisplay* display, int32_t dx, int32_t dy,
                         int32_t width, int32_t height, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags,
                         const qzBitMap* mask, const qzBitMap* alpha);
// The part of a scaled presentation of the whole source that shows the source rectangle x, y,
// width, height: the same pixels, drawn for that part only (the back end scales by nearest pixel).
void BlitScaledPartToDisplayWindow(const qzBitMap* source, int32_t x, int32_t y, int32_t width, int32_t height,
                                   qzDisplay* display, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags);
void RectFillDisplayWindow(qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour);
void LineDisplayWindow(qzDisplay* display, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
void WritePixelDisplayWindow(qzDisplay* display, int32_t x, int32_t y, uint32_t colour);
// Asks the display adapter to clear the display to the colour (0xRRGGBB) through its native
// handle. Callers make sure an adapter is installed; a display without a handle is left alone.
void AdapterClearDisplay(qzDisplay* display, uint32_t colour);

// Monitors: rectangles in the window system's order, and the screen sizes of one monitor (every
// size once). False when the list cannot be made; std::bad_alloc when memory runs out.
struct qzMonitorRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};
bool GetMonitorRects(std::vector<qzMonitorRect>* out);
struct qzModeSize {
    int32_t width;
    int32_t height;
};
bool GetMonitorModes(int32_t monitor, std::vector<qzModeSize>* out);

// Pointer, mouse and qualifiers.
void ShowHideDisplayPointer(qzDisplay* display, int show);
void MoveDisplayPointer(qzDisplay* display, int32_t x, int32_t y);
// A pointer from width x height ARGB pixels. 0 with *out, ERR_POINTERIMG or ERR_MEM.
int CreateDisplayPointer(const uint32_t* argb, int32_t width, int32_t height, int32_t hotX, int32_t hotY, void** out);
void FreeDisplayPointer(void* pointer);
// Makes the pointer the display's (null: the system arrow, or the busy pointer when the display
// shows that) and shows it.
void SetDisplayPointer(qzDisplay* display, void* pointer);
// The same with the pointer kind of platform/host/pointer.h (0 system arrow, 1 busy, 2 image);
// -1 takes the kind from the pointer.
void SetDisplayPointerOfKind(qzDisplay* display, void* pointer, int kind);
// 1 when the display's window has the keyboard focus.
int IsDisplayWindowActive(const qzDisplay* display);
// The mouse position over the display, its last known one while it is not open.
void GetDisplayMousePos(const qzDisplay* display, int32_t* x, int32_t* y);
uint32_t GetDisplayQualifiers(const qzDisplay* display);
// Reads width x height screen pixels at x, y into a new bitmap. 0 or ERR_GRABSCREEN.
int GrabDisplayPixels(const qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height, qzBitMap** out);
