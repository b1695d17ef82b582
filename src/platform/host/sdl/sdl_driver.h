// The SDL2 host driver: real windows, input, pointers and the screen saver through SDL2. It also
// runs under SDL_VIDEODRIVER=dummy (no screen) and under Xvfb.
#pragma once

#include "platform/host/host.h"

const qzHostDriver* SdlHostDriver();
