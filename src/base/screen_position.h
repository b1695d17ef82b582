// The script's centring value: a window position that means "centred on the screen", and a
// panning position that means "between the speakers". Displays and the sound library both read it.
#pragma once

#include <cstdint>

constexpr int32_t QZ_POS_CENTER = -100000;
