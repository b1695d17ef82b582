#include "display/layer_transform.h"

#include <cmath>

#include "display/draw_tags.h"
#include "gfx/trig_tables.h"

double ReduceDegrees(double angle) {
    if (!std::isfinite(angle)) return 0;
    double reduced = std::fmod(angle, 360.0);
    if (reduced < 0) reduced += 360.0;
    return reduced >= 360.0 ? 0 : reduced;
}

void RotateMatrixByDegrees(double matrix[4], double angle) {
    const double reduced = ReduceDegrees(angle);
    if (reduced == 0) return;
    const double degrees = 360.0 - reduced;
    double c, s;
    if (degrees == std::floor(degrees)) {
        const int whole = int(degrees);
        if (whole % 90 == 0) {
            // Quarter turns are exact: noise in a zero entry would move the bounds by a pixel.
            static const double kCos[4] = {1, 0, -1, 0}, kSin[4] = {0, 1, 0, -1};
            c = kCos[(whole / 90) % 4];
            s = kSin[(whole / 90) % 4];
        } else {
            c = DegreeCosTable()[whole];
            s = DegreeSinTable()[whole];
        }
    } else {
        const double t = degrees * M_PI / 180.0;
        c = std::cos(t);
        s = std::sin(t);
    }
    const double a = matrix[0], b = matrix[1], cc = matrix[2], d = matrix[3];
    matrix[0] = a * c - b * s;
    matrix[1] = a * s + b * c;
    matrix[2] = cc * c - d * s;
    matrix[3] = cc * s + d * c;
}

void ComputeScaleRotateMatrix(qzTransformTags* t, int32_t targetWidth, int32_t targetHeight, int32_t sourceWidth,
                              int32_t sourceHeight, double scaleX, double scaleY, double angle) {
    if (targetWidth == 0) targetWidth = sourceWidth;
    if (targetHeight == 0) targetHeight = sourceHeight;
    if ((targetWidth == sourceWidth && targetHeight == sourceHeight) || sourceWidth < 1 || sourceHeight < 1) {
        t->matrix[0] = scaleX;
        t->matrix[3] = scaleY;
    } else {
        t->matrix[0] = double(targetWidth) / sourceWidth;
        t->matrix[3] = double(targetHeight) / sourceHeight;
    }
    t->matrix[1] = t->matrix[2] = 0;
    RotateMatrixByDegrees(t->matrix, angle);
}

void RestoreLayerMatrix(qzTransformTags* t, int32_t sourceWidth, int32_t sourceHeight) {
    if (t->hasusermatrix) {
        for (int i = 0; i < 4; i++) t->matrix[i] = t->usermatrix[i];
        return;
    }
    ComputeScaleRotateMatrix(t, t->width, t->height, sourceWidth, sourceHeight, t->scalex, t->scaley, t->rotate);
}

namespace {

bool SameSign(double a, double b) { return (a < 0) == (b < 0); }

// The first whole degree whose cosine has the sign of first and at which first / cos equals
// second / sin (second negated with flip) within 0.0001: the scale, or false. The ratios are
// compared as products, so that the quarter turns (a zero cosine or sine) are found too.
bool FindDegree(double first, double second, bool flip, double* scale) {
    const double* sine = DegreeSinTable();
    const double* cosine = DegreeCosTable();
    if (flip) second = -second;
    for (int i = 0; i <= 360; i++) {
        const double c = cosine[i], s = sine[i];
        if (std::fabs(first) > 1e-9 && !SameSign(c, first)) continue;
        const double candidate = std::fabs(c) >= std::fabs(s) ? first / c : second / s;
        if (std::fabs(first - candidate * c) <= 0.0001 && std::fabs(second - candidate * s) <= 0.0001) {
            *scale = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace

void DecomposeLayerMatrix(qzTransformTags* t) {
    const double a = t->matrix[0], b = t->matrix[1], c = t->matrix[2], d = t->matrix[3];
    if (b == 0 && c == 0) return;
    t->notrotscale = 1;
    double scaleX = 0, scaleY = 0;
    if (!FindDegree(a, b, false, &scaleX)) return;
    t->decompscalex = scaleX;
    if (!FindDegree(d, c, true, &scaleY)) return;
    t->decompscaley = scaleY;
    if (std::fabs(scaleX - scaleY) <= 0.01) t->notrotscale = 0;
}

void ScaleRectForDisplay(int32_t* x, int32_t* y, int32_t* width, int32_t* height, double scaleX, double scaleY) {
    const double x1 = std::round(*x * scaleX), y1 = std::round(*y * scaleY);
    const double x2 = std::round((double(*x) + *width - 1) * scaleX);
    const double y2 = std::round((double(*y) + *height - 1) * scaleY);
    *x = int32_t(x1);
    *y = int32_t(y1);
    *width = int32_t(x2 - x1 + 1);
    *height = int32_t(y2 - y1 + 1);
}
