// Bringing a display up to date: its letterbox strips, the picture with its layers (or the
// double buffer) presented as a whole, then the videos that play on it.
#pragma once

#include <cstdint>

struct VmState;
struct qzDisplay;

// RefreshDisplay flags.
enum : uint32_t {
    QZ_REFRESH_CURRENTHOOK = 2,    // only the hook being refreshed hears of it
    QZ_REFRESH_WHILEHIDDEN = 128,  // present also a display that is not shown
};

int RefreshDisplay(VmState* state, qzDisplay* display, uint32_t flags);
