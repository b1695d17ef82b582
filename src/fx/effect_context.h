// The record of one running transition effect, the contract of the step routines that draw the
// effect types, and the drawing operations the step routines use. Step routines draw only through
// these operations, so that one routine works on the display, in an off-screen target and inside
// a layer. Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;
struct qzLayer;
struct qzEffectContext;

// Effect modes: what the effect shows or hides.
enum {
    QZ_EFFECT_BGPIC = 1,
    QZ_EFFECT_BRUSH = 3,
    QZ_EFFECT_TEXTOBJECT = 8,
    QZ_EFFECT_BGPICPART = 13,
    QZ_EFFECT_SHOWLAYER = 22,
    QZ_EFFECT_HIDELAYER = 25,
    QZ_EFFECT_REMOVELAYER = 26,
};

// Type numbers besides the named ones.
enum { QZ_EFFECT_TYPE_COUNT = 140, QZ_EFFECT_RANDOM = 140, QZ_EFFECT_RANDOMPARAMETER = -1 };

// Speeds as scripts give them; any other value is a step size.
enum { QZ_EFFECT_NORMALSPEED = -1, QZ_EFFECT_FASTSPEED = -2, QZ_EFFECT_SLOWSPEED = -3 };

// Phases of a step routine.
enum { QZ_EFFECT_PHASE_SETUP = 0, QZ_EFFECT_PHASE_NEXT = 1, QZ_EFFECT_PHASE_RENDER = 2 };

// EffectBlit flags.
enum : uint32_t {
    EFFECTBLIT_MASKVISIBLE = 1,  // copy the source mask with MASKVISIBLE instead of a plain copy
    EFFECTBLIT_BLEND = 2,        // colour through the source mask or alpha channel
    EFFECTBLIT_ERASE = 4,        // copy nothing: clear the destination mask or alpha channel
    EFFECTBLIT_NOPRESENT = 8,    // do not present the rectangle
    EFFECTBLIT_NORECORD = 16,    // leave the context's effectMask / effectAlpha alone
    EFFECTBLIT_PRESENTBOUNDS = 32,
    EFFECTBLIT_ERASESET = 64,  // erasing fills with 255 / sets the mask instead
};

// A step routine: phase 0 sets up (done is null), phase 1 draws the next frame and writes 1 into
// *done on the frame that completes the picture, phase 2 renders frame `current` from scratch.
// Returns 0 or an error code.
typedef int (*qzEffectStepFn)(qzEffectContext* context, int32_t* done);
// Releases what a step routine keeps in its state block (not the block itself); completed is 1
// after a normal end, 0 when the effect was cancelled.
typedef void (*qzEffectFreeFn)(qzEffectContext* context, int32_t completed);

struct qzEffectContext {
    VmState* vm;
    qzLayer* layer;    // the layer the effect animates, or null
    qzBitMap* target;  // where direct drawing goes; null: the display
    qzEffectStepFn step;
    qzEffectFreeFn freeState;
    int32_t mode;       // QZ_EFFECT_...
    int32_t type;       // 0..139; 140 random (113 is treated as 140)
    qzObjectId object;  // in the layer modes {layer position from 1, null}
    int32_t x, y;       // screen position of the effect area's top-left corner
    int32_t speed;      // as given; after set-up the step size per frame
    int32_t givenSpeed;
    int32_t parameter;                  // -1 asks for a random value
    int32_t width, height;              // the effect area
    int32_t screenWidth, screenHeight;  // the BGPic on display: the clipping size on the display
    int32_t undoType;
    int32_t undoLevel;
    qzBitMap* image;      // the new picture, of the area's size
    qzBitMap* oldImage;   // what lay under the area before the effect (owned), for compositing types
    qzBitMap* oldScreen;  // DisplayTransitionFX: the screen before the new BGPic (owned)
    qzBitMap* imageMask;
    qzBitMap* imageAlpha;
    int32_t layerPrepared;
    int32_t savedPartX, savedPartY;
    int32_t savedLayerX, savedLayerY;
    void* oldBGPic;  // the BGPic on display when a DisplayTransitionFX began
    int32_t ownsImage, ownsMask, ownsAlpha;
    int32_t sourceX, sourceY;  // DisplayBGPicPartFX
    int32_t layersOption;
    int32_t hide;
    uint32_t bltFlags;  // the SafeBlt flags of direct drawing
    int32_t scaled;     // the display is autoscaled
    int32_t async;
    int32_t repeat;  // set by the driver in the caller's template: start again
    int32_t abandoned;
    int32_t viaLayer;  // draw into the layer's own bitmaps (1) or straight onto the display (0)
    int32_t forceRealtimeLayers;
    int32_t restoreVisibility, deleteInsertedLayer;
    int32_t* useCount;       // the shown object's use counter, raised by one, or null
    int32_t bgpicX, bgpicY;  // 99999 when not given
    int32_t bgpicEmu;
    void* emuBGPic;
    void* state;  // the step routine's state block (owned, freed with free)
    qzBitMap* effectMask;
    qzBitMap* effectAlpha;
    int32_t phase;
    int32_t current;  // frames drawn so far
    int32_t total;    // frames, set in the set-up phase
    int32_t replaying;
    int32_t rebuilding;
    int32_t finished;
    int32_t decorated;
    int32_t opacity;  // 0..254, written each frame by the opacity-driving types
    int32_t noBorderFade;
    int32_t bufferedDisplay;
    int32_t forcedAsync;
    int32_t scrollType;
    // The layer's current state bitmaps (own, resized and filtered copies, each bitmap, mask,
    // alpha) put aside while the effect's own bitmaps stand in their place.
    qzBitMap* savedStateBitmaps[9];
    // The colour bitmap PrepareEffectLayer gave the layer: while the layer's current state still
    // holds it, the state's bitmaps are the effect's.
    qzBitMap* preparedBitmap;
};

// extent / normalDivisor, fastDivisor or slowDivisor for the three speed constants, the speed
// itself otherwise; at least 1.
int GetEffectStepSize(int speed, int extent, int normalDivisor, int fastDivisor, int slowDivisor);
// 1 when distance < 1; else ceiling(distance / stepSize), plus 1 unless exact.
int GetEffectStepCount(int distance, int stepSize, int exact);
// The type classes the driver consults.
int IsEffectLayerSafe(int type);
int EffectDrivesOpacity(int type);
int IsEffectFrameRendered(int type);

// The blit of layer drawing (see EFFECTBLIT_*).
void EffectBlit(const qzBitMap* src, int sx, int sy, qzBitMap* dst, qzBitMap* dstMask, qzBitMap* dstAlpha, int dx,
                int dy, int w, int h, int srcWidth, int srcHeight, int dstWidth, int dstHeight, const qzBitMap* srcMask,
                const qzBitMap* srcAlpha, qzEffectContext* context, uint32_t flags);
// Brings a rectangle of the effect's layer to the screen.
void PresentEffectRect(qzEffectContext* context, const qzBitMap* bitmap, int sx, int sy, int dx, int dy, int w, int h,
                       int srcWidth, int srcHeight, const qzBitMap* mask, const qzBitMap* alpha, uint32_t flags);
// Fills a rectangle of the area's coordinates (layer) or the screen's (display) with a colour.
void FillEffectRect(qzEffectContext* context, int x, int y, int w, int h, uint32_t colour, uint32_t flags);
// Clips a blit rectangle to both bitmaps: a negative source coordinate moves the destination and
// shrinks the size, a negative destination coordinate moves the source, then the size is cut to
// both. False when nothing is left to draw.
bool ClipEffectBlit(int& sx, int& sy, int& dx, int& dy, int& w, int& h, int srcWidth, int srcHeight, int dstWidth,
                    int dstHeight);
// A blit clipped to both bitmaps.
void ClippedBlit(const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int w, int h, int srcWidth,
                 int srcHeight, int dstWidth, int dstHeight);
// The screen under a rectangle (the BGPic on display and its visible layers) into dst.
void GrabScreenRect(qzEffectContext* context, qzBitMap* dst, int x, int y, int w, int h);
// The layer's current picture; a part or video layer's visible part is copied out (owned).
int GetLayerEffectImage(qzEffectContext* context, qzLayer* layer, qzBitMap** image, qzBitMap** mask, qzBitMap** alpha,
                        int32_t* width, int32_t* height, int32_t* ownsImage, int32_t* ownsMask, int32_t* ownsAlpha);
// bgpicemu effects: refreshes oldImage (bit 1) and image (bit 2) when their pictures changed.
int RefreshEmuBuffers(qzEffectContext* context, int which);

// Helpers every step routine uses.
// Copies the band (bx, by, bw, bh) of the area from `image`: into the layer state with viaLayer,
// else onto the screen at (x + bx, y + by).
void CopyEffectBand(qzEffectContext* context, int bx, int by, int bw, int bh);
// The layer flags of the step contract: 4 when hiding, plus 8 when replaying, decorated or
// buffered.
uint32_t EffectLayerFlags(const qzEffectContext* context);
// At the start of a phase 1 call: the layer counts as shown while the effect runs.
void ShowEffectLayer(qzEffectContext* context);
// At the end of a phase 1 call: adds 1 to current and presents the frame by the presentation
// rule (nothing while replaying).
void EndEffectFrame(qzEffectContext* context);
// Allocates the zero-filled state block of `bytes` (ERR_MEM when that fails).
int AllocEffectState(qzEffectContext* context, int64_t bytes);

// The layer an effect animates.
// 1 when the layer has a border or shadow, a transformation or a transformed extent.
int IsEffectLayerDecorated(const qzLayer* layer);
// 1 when the layer is drawn as its own pixels: not decorated, opaque, no filter.
int IsEffectLayerPlain(const qzLayer* layer);
// Gives the layer's current state bitmaps of the area size for the effect to draw into (saving
// what stood there and the source offset of a part or video layer): a bitmap, and a mask or an
// alpha channel by the picture and the type, with effectMask or effectAlpha for asynchronous
// effects. They start empty, or as the whole picture when hiding. 0, ERR_BITMAP, ERR_ALLOCMASK
// or ERR_ALLOCALPHA (nothing changed then).
int PrepareEffectLayer(qzEffectContext* context);
// Frees the bitmaps PrepareEffectLayer made and puts back what it saved. When the layer got new
// content meanwhile (its own bitmaps replaced, the effect's freed with them), the new content
// stays and what was saved goes.
void RestoreEffectLayer(qzEffectContext* context);
// Copies the picture into bitmap and makes alpha from the picture's mask (255 where set), its
// alpha channel, or 255 everywhere.
void InitEffectAlpha(const qzEffectContext* context, qzBitMap* bitmap, qzBitMap* alpha);
