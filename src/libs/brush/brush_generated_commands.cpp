// CreateGradientBrush and CreateTexturedBrush: brushes generated instead of loaded.
#include "image/generated_image.h"
#include "libs/brush/brush_lib.h"
#include "runtime/arg_check.h"

int BrushCreateGradientBrush(VmState* state) { return CreateGradientObject(state, QZ_GENERATE_BRUSH); }

int BrushCreateTexturedBrush(VmState* state) { return CreateTexturedObject(state, QZ_GENERATE_BRUSH); }
