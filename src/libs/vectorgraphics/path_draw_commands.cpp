// DrawPath, the path layers' row and the outline engine as the anti-aliased outline renderer of
// the draw library shapes' direct pass.

#include "libs/draw/draw.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vector/outline_shapes.h"
#include "vector/path_render.h"
#include "vector/path_style.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int VgDrawPath(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t x = VmTruncateNumber(VmCheckNumber(state, 2));
    const int32_t y = VmTruncateNumber(VmCheckNumber(state, 3));
    const uint32_t color = OptColorArg(state, 4, 0);  // RGB with a transparency byte on top
    const int optionsIndex = VmGetTop(state) >= 5 ? 5 : 0;
    return DrawPathInternal(state, id, x, y, color, optionsIndex);
}

void InstallPathDrawing(bool on) {
    InstallPathLayerKind(on);
    SetShapeOutlineRenderer(on ? RenderShapeOutline : nullptr);
}
