// The global allocation functions of the player's test binary take part in the
// allocation-failure test mode through a check installed here.
#pragma once

#include <cstddef>

// Asked before every `new`: non-zero fails it (std::bad_alloc, or null for the nothrow forms).
// Null, the start value, lets every `new` through uncounted.
void SetNewAllocCheck(int (*check)(std::size_t size));
