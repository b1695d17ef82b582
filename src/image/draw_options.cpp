#include "image/draw_options.h"

#include <cmath>

#include "display/display.h"
#include "display/layer_transform.h"
#include "gfx/transform_bitmap.h"

void BuildScaleRotateMatrix(double scaleX, double scaleY, double angle, double matrix[4]) {
    matrix[0] = scaleX;
    matrix[1] = 0;
    matrix[2] = 0;
    matrix[3] = scaleY;
    RotateMatrixByDegrees(matrix, angle);
}

namespace {

int32_t TruncAtLeastOne(double v) {
    if (!(v >= 1)) return 1;
    if (v > 2147483647.0) return 2147483647;
    return (int32_t)v;
}

}  // namespace

void GetTransformedSize(const double matrix[4], int32_t w, int32_t h, int32_t* outW, int32_t* outH) {
    if (matrix[1] == 0 && matrix[2] == 0 && matrix[0] >= 0 && matrix[3] >= 0) {
        if (matrix[0] == 1 && matrix[3] == 1) {
            *outW = w;
            *outH = h;
            return;
        }
        const qzDisplay* display = CurrentDisplay();
        if (display && display->layerScale && display->scaledWidth > 0 && display->scaledHeight > 0 &&
            matrix[0] == display->scaleX && matrix[3] == display->scaleY && display->bgpic &&
            display->bgpic->width == w && display->bgpic->height == h) {
            *outW = display->scaledWidth;
            *outH = display->scaledHeight;
            return;
        }
        *outW = TruncAtLeastOne(std::trunc((double)w * matrix[0]));
        *outH = TruncAtLeastOne(std::trunc((double)h * matrix[3]));
        return;
    }
    int width = 0, height = 0;
    GetMatrixBounds(w, h, matrix, &width, &height);
    *outW = width < 1 ? 1 : width;
    *outH = height < 1 ? 1 : height;
}
