// The brush commands that change a brush's geometry in place.
#include <cmath>

#include "base/error_codes.h"
#include "display/display_scale.h"
#include "image/brush.h"
#include "image/brush_transform.h"
#include "image/draw_options.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int BrushScaleBrush(VmState* state) {
    qzBrush* brush = CheckBrushForChange(state, 1, QZ_FINDBRUSH_HARDWARE);
    int32_t width = CheckSizeArg(state, 2, brush->width);
    int32_t height = CheckSizeArg(state, 3, brush->height);
    const int smooth = VmOptInteger(state, 4, 0) != 0;
    int error = ApplyKeepAspectSize(brush->width, brush->height, &width, &height);
    if (error) return error;
    return ScaleBrushCore(brush, width, height, smooth);
}

int BrushRotateBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const double angle = VmCheckNumber(state, 2);
    const double scaleX = VmOptNumber(state, 3, 1.0);
    const double scaleY = VmOptNumber(state, 4, 1.0);
    const int smooth = VmOptInteger(state, 5, 0) != 0;
    if (scaleX == 0 || scaleY == 0) return ERR_WRONGUSAGE;
    double matrix[4];
    BuildScaleRotateMatrix(scaleX, scaleY, angle, matrix);
    return TransformBrushCore(state, id, matrix, smooth);
}

int BrushTransformBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const double matrix[4] = {VmCheckNumber(state, 2), VmCheckNumber(state, 3), VmCheckNumber(state, 4),
                              VmCheckNumber(state, 5)};
    const int smooth = VmOptInteger(state, 6, 0) != 0;
    if (matrix[0] == 0 || matrix[3] == 0) return ERR_WRONGUSAGE;
    return TransformBrushCore(state, id, matrix, smooth);
}

int BrushFlipBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t direction = VmCheckInteger(state, 2);
    qzBrush* brush = CheckBrushForChange(state, id, QZ_FINDBRUSH_NOVECTOR);
    return FlipBrushCore(brush, direction != 0);
}

int BrushCropBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    int32_t x = VmCheckInteger(state, 2);
    int32_t y = VmCheckInteger(state, 3);
    const int32_t width = VmCheckInteger(state, 4);
    const int32_t height = VmCheckInteger(state, 5);
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    qzBrush* brush = CheckBrushForChange(state, id, QZ_FINDBRUSH_NOVECTOR);
    x = ResolveXPosition(x, width, brush->width, 0);
    y = ResolveYPosition(y, height, brush->height, 0);
    return CropBrushCore(brush, x, y, width, height);
}

int BrushTrimBrush(VmState* state) {
    qzBrush* brush = CheckBrushForChange(state, 1, QZ_FINDBRUSH_NOVECTOR);
    int32_t left = 0, top = 0;
    int error = TrimBrushCore(brush, &left, &top);
    if (error) return error;
    VmPushNumber(state, left);
    VmPushNumber(state, top);
    return 2;
}

int BrushRasterizeBrush(VmState* state) {
    qzBrush* brush = CheckBrushForChange(state, 1, 0);
    return RasterizeBrushCore(brush);
}
