// The draw command library: boxes, ellipses, circles, arcs, polygons, lines and points drawn by
// the shape renderer, reading pixels, clearing the output, and the commands that set the draw
// state (fill style, form style, line width).
#pragma once

#include <cstdint>

#include "display/draw_tags.h"
#include "runtime/library.h"
#include "vector/shape_outline.h"

struct VmState;

// The "draw" library: its 12 commands and its colour, fill-style and shape constants; opening
// it puts the draw state at its start values.
extern const qzLibraryDescriptor qzDrawLibrary;

// The standard draw options of a shape command's table, when it is the call's last argument,
// parsed from the global defaults for a shape of width x height: the geometry (the applied matrix
// and the anchor, fractions of the width and height) and what a layer of the shape keeps (name,
// visibility, insert position, transparency, shadow, border, filters). 0 or the parser's error.
int ReadShapeDrawTags(VmState* state, int tableIndex, int width, int height, qzTransformTags* tags,
                      qzLayerTags* layerTags);

// The rounded corners of a box from the options table at tableIndex: "roundlevel" sets all four,
// then "cornera" .. "cornerd" each one; absent fields leave corners as they are. The values are as
// given (the shape code and the path records keep them in 0 .. 100); a field of the wrong type
// raises its error.
void ReadBoxCorners(VmState* state, int tableIndex, int32_t corners[4]);

// ---- Shared between the topic files of the library (not for other callers) ----

int DrawSetFillStyle(VmState* state);
int DrawSetFormStyle(VmState* state);
int DrawSetLineWidth(VmState* state);
int DrawBox(VmState* state);
int DrawEllipse(VmState* state);
int DrawCircle(VmState* state);
int DrawArc(VmState* state);
int DrawPolygon(VmState* state);
int DrawLine(VmState* state);
int DrawPlot(VmState* state);
int DrawReadPixel(VmState* state);
int DrawCls(VmState* state);

// A colour argument: the number's low 32 bits (RGB and, in the top byte, a transparency level);
// def when the argument is absent or nil.
uint32_t OptColorArg(VmState* state, int index, uint32_t def);
