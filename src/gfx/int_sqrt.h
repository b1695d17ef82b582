// Integer square root for distance tables: floor(sqrt(v)) for every v >= 0, -1 for v < 0.
#pragma once

#include <cstdint>

int32_t IntSqrt(int32_t v);
