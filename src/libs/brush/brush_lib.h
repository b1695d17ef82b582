// The `brush` command library: creating, loading, saving, copying and freeing brushes, drawing
// them with the standard drawing options, and changing their geometry. It owns the brush list
// (object type 3) and the defaults of the standard drawing options.
#pragma once

#include "runtime/library.h"

struct VmState;

// The "brush" library: its commands, constants and the brush list; at shutdown every brush
// (stage QZ_STAGE_BRUSHES).
extern const qzLibraryDescriptor qzBrushLibrary;

// Other code reads a raster brush's bitmaps and collision object through its row of
// display/object_types.h: 0, ERR_FINDARRAY, ERR_FINDBRUSH with the number as error argument, or a
// vector brush's ERR_BRUSHTYPE.

// Command handlers, shared inside the library.
int BrushCreateBrush(VmState* state);
int BrushLoadBrush(VmState* state);
int BrushSaveBrush(VmState* state);
int BrushCopyBrush(VmState* state);
int BrushGetBrushLink(VmState* state);
int BrushConvertToBrush(VmState* state);
int BrushFreeBrush(VmState* state);
int BrushScaleBrush(VmState* state);
int BrushRotateBrush(VmState* state);
int BrushTransformBrush(VmState* state);
int BrushFlipBrush(VmState* state);
int BrushCropBrush(VmState* state);
int BrushTrimBrush(VmState* state);
int BrushRasterizeBrush(VmState* state);
int BrushDisplayBrush(VmState* state);
int BrushDisplayBrushPart(VmState* state);
int BrushDisplayBGPicPart(VmState* state);
int BrushSelectBrush(VmState* state);
int BrushSelectMask(VmState* state);
int BrushSelectAlphaChannel(VmState* state);
int BrushSetMaskMode(VmState* state);
int BrushSetAlphaIntensity(VmState* state);
int BrushBeginDoubleBuffer(VmState* state);
int BrushFlip(VmState* state);
int BrushEndDoubleBuffer(VmState* state);
int BrushCreateGradientBrush(VmState* state);
int BrushCreateTexturedBrush(VmState* state);
