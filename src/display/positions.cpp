#include "display/positions.h"

#include "display/draw_target.h"
#include "gfx/position.h"

// A constant against a container size of 0 is placed in the current drawing target (its clip
// region when it has one); other values and sizes go to the shared resolver as they are.
int32_t ResolveXPosition(int32_t x, int32_t size, int32_t containerSize, double anchor) {
    if (containerSize != 0 || !IsXPositionConstant(x)) return ResolveXPosition(x, size, containerSize, anchor, 0);
    const qzAxisExtent target = DrawTargetExtent(true);
    return ResolveXPosition(x, size, target.size, anchor, target.origin);
}

int32_t ResolveYPosition(int32_t y, int32_t size, int32_t containerSize, double anchor) {
    if (containerSize != 0 || !IsYPositionConstant(y)) return ResolveYPosition(y, size, containerSize, anchor, 0);
    const qzAxisExtent target = DrawTargetExtent(false);
    return ResolveYPosition(y, size, target.size, anchor, target.origin);
}
