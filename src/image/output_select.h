// Output selection: redirecting the drawing of the current display into a brush, a brush's mask
// or alpha channel, a background picture, an anim frame or a layer, and back to the display.
//
// While an object is selected the display's output kind says what drawing writes (3 a colour
// bitmap, 28 a mask, 30 an alpha channel, 1 layers inserted into a background picture), its output
// words point at the target's bitmaps, and the current background picture is the display's select
// record: a picture-shaped record holding the target's size, bitmaps and clip region.
//
// Every drawing routine that writes into a redirected output calls UpdateSelectedOutput before it
// draws: the first call looks the selected object up for modification (so that layers showing it
// keep their own copy), creates a missing mask or alpha channel for mask and alpha output, points
// the output words at the object's current bitmaps and marks the selection modified; later calls
// return at once. Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;
struct qzDisplay;
struct qzLayer;

// Kinds of object that can be selected.
enum : int32_t {
    QZ_SELECT_BGPIC = 1,
    QZ_SELECT_BRUSH = 3,
    QZ_SELECT_ANIM = 4,
    QZ_SELECT_LAYER = 22,
};

// Output kinds (the display's outputKind).
enum : int32_t {
    QZ_OUTPUT_BGPICLAYERS = 1,
    QZ_OUTPUT_BITMAP = 3,
    QZ_OUTPUT_DISPLAY = 21,
    QZ_OUTPUT_MASK = 28,
    QZ_OUTPUT_ALPHA = 30,
};

// Select modes.
enum : int32_t {
    QZ_SELMODE_NORMAL = 0,
    QZ_SELMODE_COMBO = 1,   // drawing into a brush also writes its mask and alpha channel
    QZ_SELMODE_LAYERS = 2,  // background pictures: drawing inserts layers into the picture
};

// Room of the rectangle list that collects what drawing changes while a picture is drawn into
// in layers mode or while the display is double-buffered; a list that fills up stands for the
// whole picture.
constexpr int32_t QZ_OUTPUT_RECTS = 1024;

// Selects the object (kind QZ_SELECT_*, id; frame 1-based for anim frames and anim layers, 0
// none; for a layer id.number is its position in the displayed picture) as the output of the
// current display, as outputKind (QZ_OUTPUT_BITMAP, _MASK or _ALPHA). mode and extra as SelectBrush
// takes them. Selecting what is selected already changes nothing. A previous selection is ended
// first; double buffering is parked until the selection ends. 0 or an error, returned before
// anything changes (except the end of the previous selection).
int SelectOutputObject(VmState* state, int32_t kind, const qzObjectId& id, int32_t outputKind, int32_t frame,
                       int32_t mode, int32_t extra);
// Selects a background picture in layers mode: every draw inserts a layer into it and records the
// layer's bounds in the display's rectangle list until EndSelectOutput refreshes them. id null is
// the picture the current display shows. 0, ERR_NOLAYERS, ERR_SELECTBGPIC, ERR_MEM or the lookup's
// error.
int SelectBGPicLayers(VmState* state, const qzObjectId* id);
// Ends the selection on the display: drawing goes to the display again (or, when the selection
// parked double buffering, to the double buffer); a picture drawn into in layers mode has its
// collected rectangles refreshed unless noRefresh; a picture or layer that was drawn into shows
// the drawing. 0 (also when nothing is selected).
int EndSelectOutput(VmState* state, qzDisplay* display, int noRefresh);
// Called by drawing code before it draws into a redirected output (see above). 0, ERR_ALLOCMASK,
// ERR_ALLOCALPHA, ERR_WRONGUSAGE, or the error of looking the object up again.
int UpdateSelectedOutput(VmState* state);

// 1 when the display's output is redirected into an object (not the display, not double buffering).
int OutputIsSelected(const qzDisplay* display);
// 1 when some display draws into the object of that kind (QZ_SELECT_*) and identifier: its bitmap,
// mask or alpha channel is selected.
int ObjectIsSelectedOutput(int32_t kind, const qzObjectId& id);

// An anim frame's bitmap slots as a selection's target, so that drawing can write into the frame
// and a missing mask or alpha channel can be created in place.
struct qzSelectFrame {
    qzBitMap** bitmap;
    qzBitMap** mask;
    qzBitMap** alpha;
    int32_t width;
    int32_t height;
};

// What selection needs of the layer library: a layer whose content is drawn from parameters
// (text, shapes, vector paths) is given content of pixels before it is drawn into, so that the
// drawing lasts when the layer is rendered again. 0 or an error, which refuses the selection. The
// layer library installs it; null leaves such layers as they are.
typedef int (*qzSelectLayerRasterizer)(VmState* state, qzLayer* layer);
void SetSelectLayerRasterizer(qzSelectLayerRasterizer rasterize);
qzSelectLayerRasterizer GetSelectLayerRasterizer();

// Installs (on) or removes the display links through which the display code ends selections.
void InstallOutputSelectLinks(bool on);
