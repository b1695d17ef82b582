// Reading the desktop's pixels from the X server named by DISPLAY (the screen grab of the SDL
// driver when SDL runs on X11).
#pragma once

#include <cstdint>

// Reads width x height pixels of the root window at x, y into `out` as 0xFFRRGGBB; what lies
// outside the root window is black. False when the X server cannot be reached or refuses.
bool X11GrabScreen(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* out);
