// The anti-aliased outline renderer of the shape renderer's direct pass: ellipses, circles, pie
// wedges and rounded boxes built from the outline engine's curves (not from point lists) and
// rendered by FreeType's anti-aliasing rasteriser. Main thread only.
#pragma once

#include "vector/outline_engine.h"
#include "vector/shape_render.h"

// The outline of the job's shape in the plane's coordinates: the shape grown by half a pixel and
// the job's growth on every side, or with a line width its outline of that width (and the half
// pixel). The shape lies where the shape renderer's point list puts it: its pixel-centre geometry
// with the list's box at the job's position. False for a shape without curves or when FreeType
// fails (nothing is made then).
bool ShapeOutline(const qzShapeOutlineJob* job, qzBuiltOutline** out);

// Draws the job's coverage into its plane (each pixel keeps the larger of its value and the
// shape's coverage). The shape renderer's outline renderer; false as ShapeOutline.
bool RenderShapeOutline(const qzShapeOutlineJob* job);
