// A display's size and scaling: letterboxing a picture that keeps its proportions, the drag and
// size regions at display scale, resizing a display (its picture, its output size, its window),
// and the buffers and scaled size set up when a display's buffers are built.
#pragma once

#include <cstdint>

#include "runtime/applet_records.h"

struct VmState;
struct qzBGPic;
struct qzDisplay;

// Fits the picture into available x available: with "keepproportions" and an opaque picture the
// scaled size keeps the picture's aspect ratio and the rest becomes black strips; otherwise the
// scaled size is the available size and there are no strips.
void ComputeLetterbox(qzDisplay* display, const qzBGPic* pic, int32_t availableWidth, int32_t availableHeight);
// The script's regions scaled by the display's factors into the working lists, corner-exact.
void ScaleDisplayRegions(qzDisplay* display);
// Cuts regions to the display's size.
void ClipDisplayRegions(const qzDisplay* display, qzRegion* regions, int32_t count);
// The default drag region {0, 0, width, 15} and size region {width - 10, height - 10, 10, 10}
// where the script gave none, then both lists clipped to the display.
void ApplyDefaultRegions(qzDisplay* display);
// Resizes and moves the window (unless sizeUnchanged) and hands it the regions.
void ApplyDisplayGeometry(qzDisplay* display, int sizeUnchanged);

// A position that may hold a position constant (gfx/position.h), resolved against a container of
// `container` pixels for an object of `size` pixels, with no anchor.
int32_t ResolveDisplayX(int32_t x, int32_t size, int32_t container);
int32_t ResolveDisplayY(int32_t y, int32_t size, int32_t container);

// Resizes the display: setPictureSize 1 changes the picture's size (the script's size), 0 only
// the output size the picture is scaled to. x and y (position constants allowed, KEEPPOSITION
// keeps) place the window when the picture size changes. 0 or the first error.
int ResizeDisplay(VmState* state, qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height,
                  int setPictureSize, int smooth, int noPresent, int noHookNotice);
// Builds the display's buffers and sets up its scaled size. 0 or an error.
int SetupDisplayBuffers(VmState* state, qzDisplay* display);
// width x height with a size of KEEPASPRAT (100000) following the source's aspect ratio, a
// fraction of .5 or more rounding up. 0, ERR_BADDIMENSIONS for a size of 0 or less (given or
// kept), ERR_WRONGUSAGE when both keep the aspect ratio.
int ApplyKeepAspectSize(int32_t sourceWidth, int32_t sourceHeight, int32_t* width, int32_t* height);
