#include "gfx/frame_limit.h"

namespace {

constexpr int32_t kDefaultFps = 60;
int32_t fpsLimit = kDefaultFps;

uint64_t Micros(const qzTimeVal& t) { return (uint64_t)t.seconds * 1000000u + t.microseconds; }

}  // namespace

void SetFrameRateLimit(int32_t fps) { fpsLimit = fps <= 0 ? kDefaultFps : fps; }

int32_t GetFrameRateLimit() { return fpsLimit; }

int LimitFrameRate(qzTimeVal* lastFrame, int (*wait)(void* data, int32_t ms), void* data) {
    const uint64_t now = OsMonotonicMicros(), last = Micros(*lastFrame);
    const uint64_t frame = 1000000u / (uint64_t)fpsLimit;
    int rc = 0;
    if (now >= last) {
        const uint64_t elapsed = now - last;
        if (elapsed < 1000000u && elapsed < frame) {
            const int32_t ms = (int32_t)((frame - elapsed) / 1000);
            if (wait)
                rc = wait(data, ms);
            else
                OsDelay(ms);
        }
    }
    OsGetMonotonicTime(lastFrame);
    return rc;
}
