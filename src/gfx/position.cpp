#include "gfx/position.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr int32_t kBand = 4999;

// The constant that value lies within kBand of, with the offset; false when none of the list.
bool MatchConstant(int32_t value, const int32_t* constants, int count, int32_t* constant, int32_t* offset) {
    for (int i = 0; i < count; i++) {
        const int64_t difference = int64_t(value) - constants[i];
        if (difference >= -kBand && difference <= kBand) {
            *constant = constants[i];
            *offset = static_cast<int32_t>(difference);
            return true;
        }
    }
    return false;
}

int32_t Place(int64_t result, int32_t w, double anchor, int32_t origin, int32_t offset) {
    // In doubles, so that a huge or non-finite anchor cannot overflow the conversion.
    const double lean = std::trunc(static_cast<double>(w) * anchor);
    const double value = static_cast<double>(result + origin + offset) + (std::isfinite(lean) ? lean : 0);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

const int32_t kXConstants[] = {QZ_POSITION_CENTER, QZ_POSITION_LEFT, QZ_POSITION_RIGHT, QZ_POSITION_LEFTOUT,
                               QZ_POSITION_RIGHTOUT};
const int32_t kYConstants[] = {QZ_POSITION_CENTER, QZ_POSITION_TOP, QZ_POSITION_BOTTOM, QZ_POSITION_TOPOUT,
                               QZ_POSITION_BOTTOMOUT};

}  // namespace

int32_t ResolveXPosition(int32_t x, int32_t w, int32_t containerWidth, double anchor, int32_t origin) {
    int32_t constant = 0, offset = 0;
    if (!MatchConstant(x, kXConstants, 5, &constant, &offset)) return x;
    int64_t result = 0;
    switch (constant) {
    case QZ_POSITION_CENTER: result = (int64_t(containerWidth) - w) / 2; break;
    case QZ_POSITION_LEFT: result = 0; break;
    case QZ_POSITION_RIGHT: result = int64_t(containerWidth) - w; break;
    case QZ_POSITION_LEFTOUT: result = -int64_t(w); break;
    default: result = containerWidth; break;
    }
    return Place(result, w, anchor, origin, offset);
}

int32_t ResolveYPosition(int32_t y, int32_t h, int32_t containerHeight, double anchor, int32_t origin) {
    int32_t constant = 0, offset = 0;
    if (!MatchConstant(y, kYConstants, 5, &constant, &offset)) return y;
    int64_t result = 0;
    switch (constant) {
    case QZ_POSITION_CENTER: result = (int64_t(containerHeight) - h) / 2; break;
    case QZ_POSITION_TOP: result = 0; break;
    case QZ_POSITION_BOTTOM: result = int64_t(containerHeight) - h; break;
    case QZ_POSITION_TOPOUT: result = -int64_t(h); break;
    default: result = containerHeight; break;
    }
    return Place(result, h, anchor, origin, offset);
}

bool IsXPositionConstant(int32_t x) {
    int32_t constant = 0, offset = 0;
    return MatchConstant(x, kXConstants, 5, &constant, &offset);
}

bool IsYPositionConstant(int32_t y) {
    int32_t constant = 0, offset = 0;
    return MatchConstant(y, kYConstants, 5, &constant, &offset);
}
