// The position constants that every drawing command understands, and sizes that keep an aspect
// ratio.
#include <cmath>
#include <cstdlib>

#include "libs/graphics/draw_target.h"
#include "libs/graphics/graphics.h"

namespace {

// How far from a constant a coordinate still counts as that constant plus an offset.
constexpr int32_t kBand = 4999;

struct Place {
    int32_t constant;
    int kind;  // 0 start (0), 1 centre, 2 end (W - w), 3 before (-w), 4 after (W)
};
const Place kXPlaces[] = {{QZ_PLACE_CENTER, 1}, {QZ_PLACE_LEFT, 0}, {QZ_PLACE_RIGHT, 2}, {QZ_PLACE_LEFTOUT, 3},
                          {QZ_PLACE_RIGHTOUT, 4}};
const Place kYPlaces[] = {{QZ_PLACE_CENTER, 1}, {QZ_PLACE_TOP, 0}, {QZ_PLACE_BOTTOM, 2}, {QZ_PLACE_TOPOUT, 3},
                          {QZ_PLACE_BOTTOMOUT, 4}};

template <size_t N>
int32_t Resolve(const Place (&places)[N], int32_t value, int32_t size, int32_t containerSize, double anchor,
                bool horizontal) {
    for (const Place& p : places) {
        const int64_t offset = (int64_t)value - p.constant;
        if (offset < -kBand || offset > kBand) continue;
        int64_t origin = 0, extent = containerSize;
        if (containerSize == 0) {
            const qzAxisExtent target = DrawTargetExtent(horizontal);
            origin = target.origin;
            extent = target.size;
        }
        int64_t place = 0;
        switch (p.kind) {
        case 1: place = (extent - size) / 2; break;  // C++ division truncates toward zero
        case 2: place = extent - size; break;
        case 3: place = -(int64_t)size; break;
        case 4: place = extent; break;
        default: break;
        }
        const double lean = std::trunc((double)size * anchor);
        const double result = (double)(place + origin + offset) + (std::isfinite(lean) ? lean : 0);
        if (result > INT32_MAX) return INT32_MAX;
        if (result < INT32_MIN) return INT32_MIN;
        return (int32_t)result;
    }
    return value;
}

}  // namespace

int32_t ResolveXPosition(int32_t x, int32_t size, int32_t containerSize, double anchor) {
    return Resolve(kXPlaces, x, size, containerSize, anchor, true);
}

int32_t ResolveYPosition(int32_t y, int32_t size, int32_t containerSize, double anchor) {
    return Resolve(kYPlaces, y, size, containerSize, anchor, false);
}
