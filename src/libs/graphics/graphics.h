// The `graphics` command library: colour arithmetic, frame pacing, mouse pointers, clip regions,
// asynchronous draw objects, the position constants every drawing command understands, refresh
// blocks, snapshots, the generic GetAttribute query and the resource-monitor text. It owns three
// object lists (clip regions, pointer images, async draw objects) and the runtime mask mode and
// alpha intensity that SafeBlt reads (gfx/draw_modes.h).
#pragma once

#include <cstdint>
#include <string>

#include "base/object_id.h"
#include "display/positions.h"
#include "gfx/clip_region.h"
#include "runtime/library.h"
#include "runtime/object_registry.h"

struct VmState;
struct qzBitMap;

// The "graphics" library.
extern const qzLibraryDescriptor qzGraphicsLibrary;

// Object types of the library's lists.
constexpr int32_t QZ_TYPE_POINTER = 36;
constexpr int32_t QZ_TYPE_ASYNCDRAW = 37;

// ---- Position constants (their values: gfx/position.h; resolved: display/positions.h) ----
constexpr int32_t QZ_KEEPASPRAT = 100000;

// ---- Object lookups ---------------------------------------------------------------------
enum {
    QZ_FINDGFX_LOCK = 1,     // lock the object for a command (ERR_LOCKEDOBJ when locked)
    QZ_FINDGFX_PENDING = 2,  // also find free-pending objects
};
// 0 with *out set, ERR_FINDARRAY for a bad handle, else ERR_FINDCLIPREGION / ERR_FINDPOINTER /
// ERR_FINDASYNCDRAW (the number as error argument), or ERR_LOCKEDOBJ.
int FindClipRegion(const qzObjectId& id, qzClipRegion** out, int options);
// FindClipRegion for a command: the region, or the command fails (VmFailCommand) with
// FindClipRegion's error.
qzClipRegion* CheckClipRegion(VmState* state, const qzObjectId& id, int options);
// Pushes an identifier back: the number, or the handle as light userdata.
void PushObjectId(VmState* state, const qzObjectId& id);

// ---- Clip regions -----------------------------------------------------------------------
// A copy of the region transformed by a 2x2 matrix about the anchor (fractions of its size), for
// the layer renderer: a shaped region's mask is transformed, a rectangular one becomes shaped under
// rotation or shear and is scaled otherwise; with placeByMatrix the position moves too; with
// useDisplayScale the matrix is the current display's scale factors. Negative positions are trimmed.
// The record is the caller's (DeleteClipRegionRecord, gfx/clip_region.h), not in the list; null
// when out of memory.
qzClipRegion* TransformClipRegion(const qzClipRegion* region, double anchorX, double anchorY, const double matrix[4],
                                  int placeByMatrix, int useDisplayScale);
// Frees the free-pending regions that no layer uses any more (called before layer changes).
void FreeTemporaryClipRegions();

// ---- Asynchronous draw objects ----------------------------------------------------------
enum { ADF_FX = 0, ADF_MOVEOBJECT = 1, ADF_ANIM = 2 };
// Event operations of an async draw object.
enum {
    ADEVENT_FRAMECOUNT = 2,  // data: int32_t* number of frames
    ADEVENT_CURFRAME = 3,    // data: int32_t* current frame
    ADEVENT_SKIPTO = 4,      // data: frame number (intptr_t)
    ADEVENT_UPDATE = 5,      // update the display
    ADEVENT_LAYER = 6,       // data: void** the layer drawn into
    ADEVENT_POLL = 7,        // data: int32_t* set non-zero to stop
    ADEVENT_LAYERFRAME = 8,  // data 1 begin, 0 end a layered frame
};
struct qzAsyncDraw;
typedef int (*qzAsyncDrawFn)(void* userData, int32_t* finished);
typedef void (*qzAsyncFinishFn)(void* userData, int32_t finished);
typedef void (*qzAsyncFreeFn)(void* userData, int32_t completed, int32_t completed2);
typedef int (*qzAsyncEventFn)(int operation, intptr_t data, void* userData);
struct qzAsyncDraw {
    qzObjectHeader header;
    void* display;     // the current display when it was made
    int32_t kind;      // ADF_*
    int32_t finished;  // written by the draw function
    qzAsyncDrawFn draw;
    qzAsyncDrawFn second;  // kept for the owner
    qzAsyncFinishFn finish;
    qzAsyncFreeFn free;
    qzAsyncEventFn event;
    void* userData;
};
// Appends an object with an automatic identifier (its handle). 0 or ERR_MEM.
int CreateAsyncDraw(int kind, qzAsyncDrawFn draw, qzAsyncDrawFn second, qzAsyncFinishFn finish, qzAsyncFreeFn free,
                    qzAsyncEventFn event, void* userData, qzAsyncDraw** out);
int FindAsyncDraw(const qzObjectId& id, qzAsyncDraw** out);
// Frees every object (free function with completed 0).
void FreeAllAsyncDraws();
// 1 when an object draws on the display.
int IsAsyncDrawDisplay(const void* display);
// The first non-zero poll answer of the transition-effect objects, else 0.
int PollAsyncDraws();
// Sends the event to every object.
void BroadcastAsyncDrawEvent(int operation, intptr_t data);
// 1 when an object draws into the layer.
int IsAsyncDrawBitMap(const void* layer);
// One frame of the object, or with cancel its end: finished and freed as a completed object. 0 or
// the draw function's error.
int RenderAsyncDrawFrame(VmState* state, qzAsyncDraw* object, bool cancel);
// Frees the object as one that did not complete.
void CancelAsyncDraw(qzAsyncDraw* object);

// ---- Pointers ---------------------------------------------------------------------------
enum { STDPTR_SYSTEM = 0, STDPTR_BUSY = 1, STDPTR_CUSTOM = 2 };
struct qzPointerImage {
    qzObjectHeader header;
    int32_t width, height;
    void* cursor;         // the display back end's pointer
    int32_t kind;         // STDPTR_*
    int32_t freePending;  // freed while a display shows it
};

// ---- Runtime attributes -----------------------------------------------------------------
// Tag 4: the runtime mask mode; tag 6: the alpha intensity. Other tags are not the library's.
int GetGfxRuntimeAttr(VmState* state, uint32_t tag, void* out);
int SetGfxRuntimeAttr(VmState* state, uint32_t tag, intptr_t value);

// ---- Saving -----------------------------------------------------------------------------
// The quality options of a saving command at argIndex: a table with "quality", "colors" and
// "dither" (each optional), or a number taken as the quality. A missing argument leaves the
// caller's values.
void ReadSaveQualityOptions(VmState* state, int argIndex, int* quality, int* colours, int* dither);

// ---- Resource monitor -------------------------------------------------------------------
// The counts of every object kind, one "name value" line each, then every plugin type.
std::string BuildResourceMonitorText();

// ---- Clean-up ---------------------------------------------------------------------------
// At exit: the image cache, the scale tables, every clip region, pointer image and async draw
// object, the SafeBlt scratch buffer and the fallback display.
void FreeGraphicsObjects(VmState* state);
