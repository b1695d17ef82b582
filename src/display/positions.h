// The position constants that every drawing command understands, placed in the current drawing
// target when no container size is given (the constants themselves: gfx/position.h).
#pragma once

#include <cstdint>

// A coordinate within 4999 of a position constant is that constant plus an offset: the result is
// the constant's place for an object of size `size` in a container of `containerSize` (from
// origin 0) plus trunc(size * anchor) plus the offset. Other values come back unchanged. A
// container size of 0 means the current drawing target along that axis (its clip region when it
// has one).
int32_t ResolveXPosition(int32_t x, int32_t size, int32_t containerSize, double anchor);
int32_t ResolveYPosition(int32_t y, int32_t size, int32_t containerSize, double anchor);
