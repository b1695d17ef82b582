// Shadow directions: the eight compass directions in which a shadow falls from what casts it
// (layers, text, shapes), and the offset of each in units of the shadow size (x grows to the
// right, y downwards).
#pragma once

#include <cstdint>

enum {
    QZ_SHDWNORTH = 0,
    QZ_SHDWNORTHEAST = 1,
    QZ_SHDWEAST = 2,
    QZ_SHDWSOUTHEAST = 3,
    QZ_SHDWSOUTH = 4,
    QZ_SHDWSOUTHWEST = 5,
    QZ_SHDWWEST = 6,
    QZ_SHDWNORTHWEST = 7,
};

// The unit offsets of directions 0..7.
inline constexpr int8_t kShadowStepX[8] = {0, 1, 1, 1, 0, -1, -1, -1};
inline constexpr int8_t kShadowStepY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
