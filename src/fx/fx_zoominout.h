// Zoom in (type 118) and zoom out (type 119), in two halves. Zoom in shrinks the old content to a
// point in the centre of the area over a border colour (the effect's parameter, black by
// default) and then grows the new picture from the centre; zoom out magnifies the centre of the
// old content until one point fills the area, then shows an ever larger centre part of the new
// picture until the whole picture is visible.
#pragma once

#include "fx/effect_context.h"

int StepZoomInOutEffect(qzEffectContext* context, int32_t* done);

// The centred rectangle of progress s (0 .. 2 x the longer side) in an area of w x h: its
// longer side falls from the area's to 1 and rises again.
void ZoomInOutRect(int32_t w, int32_t h, int32_t s, int32_t* x, int32_t* y, int32_t* rectWidth, int32_t* rectHeight);
