// The draw state: the one record of the look of every shape (fill style, form styles, gradient,
// texture, edge, shadow, line width) that the draw library's style commands change and the shape
// renderer reads. Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "display/shadow_direction.h"
#include "runtime/applet_records.h"

// Fill styles.
enum {
    FILLNONE = 0,  // outline only
    FILLCOLOR = 1,
    FILLGRADIENT = 2,
    FILLTEXTURE = 3,
};

// Form style bits.
enum : uint32_t {
    FORM_NORMAL = 1,
    FORM_ANTIALIAS = 16,
    FORM_SHADOW = 32,
    FORM_EDGE = 64,
};

// The shape code's names of the shadow directions (display/shadow_direction.h).
enum {
    SHDW_NORTH = QZ_SHDWNORTH,
    SHDW_NORTHEAST = QZ_SHDWNORTHEAST,
    SHDW_EAST = QZ_SHDWEAST,
    SHDW_SOUTHEAST = QZ_SHDWSOUTHEAST,
    SHDW_SOUTH = QZ_SHDWSOUTH,
    SHDW_SOUTHWEST = QZ_SHDWSOUTHWEST,
    SHDW_WEST = QZ_SHDWWEST,
    SHDW_NORTHWEST = QZ_SHDWNORTHWEST,
};

struct qzDrawState {
    int32_t fillStyle = FILLNONE;
    uint32_t formStyle = FORM_NORMAL;
    qzGradient gradient = DefaultShapeGradient();  // style, first and second colour, options
    qzObjectId textureBrush = {0, nullptr};
    int32_t edgeSize = 2;
    uint32_t edgeColor = 0x0093DD;
    int32_t shadowSize = 4;
    int32_t shadowDirection = SHDW_SOUTHEAST;
    uint32_t shadowColor = 0x000000;
    int32_t lineWidth = 1;
    int32_t textureX = 0;
    int32_t textureY = 0;

    static qzGradient DefaultShapeGradient() {
        qzGradient g;
        g.style = 2;
        g.startColor = 0x0000FF;
        g.endColor = 0x000000;
        return g;
    }
};

// The process's draw state.
qzDrawState* GetDrawState();
// Puts the start values back (the draw library's registration and reset).
void ResetDrawState();

// Brings a state into its ranges, in this order: line width at least 1; shadow size and edge size
// 1..64 (compared as signed values); a shadow direction outside 0..7 becomes SHDW_SOUTHEAST and a
// fill style outside 0..3 becomes FILLNONE (compared as unsigned values).
void ClampDrawState(qzDrawState* state);
