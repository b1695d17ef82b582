// The clock wipe (type 97): a hand sweeps clockwise from the middle of the top edge, and the wedge
// it passes reveals the picture. Also the work the shape effects share (clock wipe, star, sun):
// a mask of the shape revealed so far, through which the picture is drawn over the old picture.
#pragma once

#include "fx/effect_context.h"
#include "gfx/polygon.h"

int StepClockWipe(qzEffectContext* context, int32_t* done);
void FreeClockWipeState(qzEffectContext* context, int32_t completed);

// For each pixel of a width x height area: where the mask bit is set, destination = 0 (clear) or
// the source value; where it is clear, destination = the source value (clear) or 0. A null source
// counts as 255 everywhere.
void MaskAlphaChannel(const qzBitMap* mask, qzBitMap* destinationAlpha, const qzBitMap* sourceAlpha, int32_t width,
                      int32_t height, int clear);

// The work bitmaps of a shape effect, all of the area's size.
struct qzShapeWork {
    qzBitMap* bitmap;  // colour: where a part is composed over the old picture
    qzBitMap* mask;    // the shape revealed so far
    qzBitMap* alpha;   // the picture's alpha inside the shape; only when a shown picture has alpha
};
// Makes them: 0, ERR_BITMAP, ERR_ALLOCMASK or ERR_ALLOCALPHA.
int CreateShapeWork(const qzEffectContext* context, qzShapeWork* work);
void FreeShapeWork(qzShapeWork* work);
// Empties the shape mask and the alpha work channel.
void ClearShapeWork(const qzEffectContext* context, qzShapeWork* work);
// The start of rendering a step from scratch: a hidden layer gets its whole picture back, a shown
// one is emptied (both left alone while the layer is being rebuilt), and the shape is emptied.
void RestartShapeRender(qzEffectContext* context, qzShapeWork* work);
// The picture of step 0 from scratch: the whole area through the empty shape (on the display,
// the old picture).
void DrawEmptyShape(qzEffectContext* context, qzShapeWork* work);
// Adds a closed polygon (already inside the area) to the shape mask. A polygon flat on one row
// still fills the run of that row between its points.
int FillShapePolygon(qzBitMap* mask, const qzPoint* points, int count);
// Brings the rectangle (rx, ry, rw, rh) of the area up to date with the shape: hiding a layer
// takes the shape out of the layer's mask or alpha channel; otherwise the picture is drawn through
// the shape over the old picture (layerFlags for the layer blit).
void DrawShapeWork(qzEffectContext* context, qzShapeWork* work, int32_t rx, int32_t ry, int32_t rw, int32_t rh,
                   uint32_t layerFlags);
// Clips the closed outline of n points at `in` to the area, against its four edges in turn, the
// passes writing into `in` and `out` by turns (each buffer holds 16 times the outline: a pass may
// at most double it); returns the point count and sets *result to the buffer that holds them.
int ClipShapeOutline(const qzEffectContext* context, qzPoint* in, qzPoint* out, int n, qzPoint** result);
// One step of a shape that grows by the effect's step (its speed) each frame from step + 10 (star,
// sun). drawFrame draws the shape of *size into the work mask and the picture through it, and
// answers 1 on the last frame. The render phase draws the picture of the current step from
// scratch; a frame draws the next size and shows it, and sets *done on the last frame.
int StepGrowingShape(qzEffectContext* context, qzShapeWork* work, int32_t* size,
                     int (*drawFrame)(qzEffectContext* context, uint32_t extraFlags), int32_t* done);
