// Joysticks: the axis scaling with its widening range, the nine directions, and JoyDir, JoyFire
// and CountJoysticks over the headless driver's devices.
#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "libs/event/event_lib.h"
#include "platform/host/headless/headless_joystick.h"
#include "platform/host/joystick.h"
#include "support/commands.h"

namespace event_joystick_test {

namespace {

TEST(Joystick, AxisScalingWidensItsRange) {
    int32_t lo = 0, hi = 255;
    EXPECT_EQ(ScaleJoystickAxis(128, &lo, &hi), 3);  // 3.9 toward zero
    EXPECT_EQ(ScaleJoystickAxis(0, &lo, &hi), -1000);
    EXPECT_EQ(ScaleJoystickAxis(255, &lo, &hi), 1000);
    EXPECT_EQ(ScaleJoystickAxis(300, &lo, &hi), 1000);
    EXPECT_EQ(hi, 300);
    EXPECT_LT(ScaleJoystickAxis(255, &lo, &hi), 1000);
    int32_t same = 7, also = 7;
    EXPECT_EQ(ScaleJoystickAxis(7, &same, &also), 0);
}

TEST(Joystick, Directions) {
    const struct {
        int32_t x, y;
        int direction;
    } rows[] = {
        {0, -501, 0},   {501, -501, 1}, {501, 0, 2},     {501, 501, 3},  {0, 501, 4},
        {-501, 501, 5}, {-501, 0, 6},   {-501, -501, 7}, {500, -500, 8}, {0, 0, 8},
    };
    for (const auto& r : rows) EXPECT_EQ(JoystickDirection(r.x, r.y), r.direction) << r.x << "," << r.y;
}

TEST(Joystick, Commands) {
    MacFreeJoysticks();
    qzJoystickReading pad = {1, 1, 255, 0, 255, 128, 0, 255, 0x5};
    qzJoystickReading stick = {1, 0, 0, 0, 255, 0, 0, 0, 0};
    HeadlessSetJoysticks({pad, stick});
    qztest::Commands vm{&qzEventLibrary};
    EXPECT_EQ(vm.Run("CountJoysticks"), "2");
    EXPECT_EQ(vm.Run("JoyDir", {0}), "2");
    EXPECT_EQ(vm.Run("JoyDir", {1}), "6");
    EXPECT_EQ(vm.Run("JoyFire", {0}), "1");
    EXPECT_EQ(vm.Run("JoyFire", {0, 2}), "0");
    EXPECT_EQ(vm.Run("JoyFire", {0, 3}), "1");
    EXPECT_EQ(vm.Run("JoyFire", {0, 0}), "5");
    EXPECT_EQ(vm.Run("JoyFire", {0, 33}), "ERR " + std::to_string(ERR_WRONGUSAGE));
    EXPECT_EQ(vm.Run("JoyDir", {2}), "ERR " + std::to_string(ERR_NOJOYATPORT));
    // Devices attached after the first scan are not seen.
    HeadlessSetJoysticks({pad, stick, pad});
    EXPECT_EQ(vm.Run("CountJoysticks"), "2");
    MacFreeJoysticks();
    HeadlessSetJoysticks({});
    EXPECT_EQ(vm.Run("JoyDir", {0}), "ERR " + std::to_string(ERR_NOJOYATPORT));
    MacFreeJoysticks();
}

}  // namespace

}  // namespace event_joystick_test
