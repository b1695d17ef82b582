// Position constants: coordinates that place an object of a size inside a container (centred,
// at an edge, just outside an edge), each with an offset of up to 4999 either way.
#pragma once

#include <cstdint>

enum : int32_t {
    QZ_POSITION_CENTER = -100000,
    QZ_POSITION_LEFT = -90000,
    QZ_POSITION_RIGHT = -80000,
    QZ_POSITION_TOP = -70000,
    QZ_POSITION_BOTTOM = -60000,
    QZ_POSITION_LEFTOUT = -50000,
    QZ_POSITION_RIGHTOUT = -40000,
    QZ_POSITION_TOPOUT = -30000,
    QZ_POSITION_BOTTOMOUT = -20000,
};

// The position of an object of size w (h) in a container of size W (H) starting at origin: for
// a constant, its place + origin + trunc(w * anchor) + the offset; any other value unchanged.
// A constant of the other axis is no constant here.
int32_t ResolveXPosition(int32_t x, int32_t w, int32_t containerWidth, double anchor, int32_t origin = 0);
int32_t ResolveYPosition(int32_t y, int32_t h, int32_t containerHeight, double anchor, int32_t origin = 0);
// True when the value is one of that axis's constants (offset included).
bool IsXPositionConstant(int32_t x);
bool IsYPositionConstant(int32_t y);
