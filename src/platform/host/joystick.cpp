#include "platform/host/joystick.h"

#include <cstring>
#include <vector>

#include "base/error_codes.h"
#include "platform/host/headless/headless_joystick.h"
#include "platform/host/host.h"
#include "platform/host/sdl/sdl_joystick.h"

namespace {

// The range each device's axes have widened to, in discovery order.
struct AxisRanges {
    bool known = false;
    int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

bool gScanned = false;
int gCount = 0;
std::vector<AxisRanges> gRanges;

const qzJoystickSource* Source() {
    const qzHostDriver* driver = HostDriver();
    if (driver && std::strcmp(driver->name, "sdl") == 0) return SdlJoystickSource();
    return HeadlessJoystickSource();
}

int Scan() {
    if (gScanned) return 0;
    int count = 0;
    int error = Source()->scan(&count);
    if (error) return error;
    try {
        gRanges.assign(static_cast<size_t>(count), AxisRanges{});
    } catch (...) {
        return ERR_MEM;
    }
    gCount = count;
    gScanned = true;
    return 0;
}

}  // namespace

int32_t ScaleJoystickAxis(int32_t value, int32_t* minimum, int32_t* maximum) {
    if (value < *minimum) *minimum = value;
    if (value > *maximum) *maximum = value;
    if (*maximum == *minimum) return 0;
    const int64_t span = int64_t(*maximum) - *minimum;
    return static_cast<int32_t>(static_cast<double>((int64_t(value) - *minimum) * 2000) / static_cast<double>(span) -
                                1000.0);
}

int JoystickDirection(int32_t x, int32_t y) {
    if (x > 500) return y < -500 ? 1 : y > 500 ? 3 : 2;
    if (x < -500) return y < -500 ? 7 : y > 500 ? 5 : 6;
    return y < -500 ? 0 : y > 500 ? 4 : 8;
}

int MacEnumerateJoysticks(int* count) {
    int error = Scan();
    if (error) return error;
    if (count) *count = gCount;
    return 0;
}

int MacReadJoystick(int index, int* direction, uint32_t* buttons) {
    int error = Scan();
    if (error) return error;
    qzJoystickReading reading = {};
    if (index < 0 || index >= gCount || !Source()->read(index, &reading)) return ERR_NOJOYATPORT;
    AxisRanges& ranges = gRanges[static_cast<size_t>(index)];
    if (!ranges.known) {
        ranges.xMin = reading.xMin;
        ranges.xMax = reading.xMax;
        ranges.yMin = reading.yMin;
        ranges.yMax = reading.yMax;
        ranges.known = true;
    }
    const int32_t x = reading.hasX ? ScaleJoystickAxis(reading.x, &ranges.xMin, &ranges.xMax) : 0;
    const int32_t y = reading.hasY ? ScaleJoystickAxis(reading.y, &ranges.yMin, &ranges.yMax) : 0;
    if (direction) *direction = JoystickDirection(x, y);
    if (buttons) *buttons = reading.buttons;
    return 0;
}

void MacFreeJoysticks() {
    if (gScanned) Source()->release();
    gScanned = false;
    gCount = 0;
    gRanges.clear();
}
