// The frame limiter: VWait's wait for the next frame where the display adapter has no frame wait
// of its own. The frames-per-second limit is the graphics library's setting (SetFPSLimit).
#pragma once

#include <cstdint>

#include "platform/os_time.h"

// The limit; 0 or less sets 60 (the start value).
void SetFrameRateLimit(int32_t fps);
int32_t GetFrameRateLimit();

// Waits for the rest of the frame since *lastFrame (monotonic time): when less than a second and
// less than 1000000 / fps microseconds have passed, for (1000000 / fps - elapsed) / 1000 whole
// milliseconds, through wait (OsDelay when null; its non-zero result ends the wait and is
// returned). Then *lastFrame becomes the time after the wait.
int LimitFrameRate(qzTimeVal* lastFrame, int (*wait)(void* data, int32_t ms), void* data);
