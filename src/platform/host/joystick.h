// Game controllers behind JoyDir, JoyFire and CountJoysticks: the devices are found once, on the
// first call, and read on demand (there is no event-driven input). Each device has an X and a Y
// axis and up to 32 buttons; the axes are scaled to -1000..1000 over the range the device states,
// widened by every reading outside it, and turned into one of nine directions.
#pragma once

#include <cstdint>

// Directions: 0 up, 1 up-right, 2 right, 3 down-right, 4 down, 5 down-left, 6 left, 7 up-left,
// 8 centre.
enum { QZ_JOY_UP = 0, QZ_JOY_RIGHT = 2, QZ_JOY_DOWN = 4, QZ_JOY_LEFT = 6, QZ_JOY_CENTRE = 8 };

// What a driver reads of a device.
struct qzJoystickReading {
    int32_t hasX;
    int32_t hasY;
    int32_t x, xMin, xMax;  // the reading and the range the device states
    int32_t y, yMin, yMax;
    uint32_t buttons;  // bit n: button n + 1 pressed (the first 32 buttons)
};

// A driver's devices. scan finds them (once): 0 with *count, or ERR_JOYSTICK. read fills the
// reading of device index (0 from the first found): 1, or 0 when there is no such device.
struct qzJoystickSource {
    int (*scan)(int* count);
    int (*read)(int index, qzJoystickReading* reading);
    void (*release)();
};

// The number of devices (scanning once): 0, ERR_JOYSTICK or ERR_MEM.
int MacEnumerateJoysticks(int* count);
// Reads device index: its direction and its button mask (either may be null). 0, or
// ERR_NOJOYATPORT when there is no such device (also when none was found), ERR_JOYSTICK.
int MacReadJoystick(int index, int* direction, uint32_t* buttons);
// Forgets the devices (shutdown); the next call scans again.
void MacFreeJoysticks();

// The scaling and direction rules, for one axis reading with its widening range, and for the
// scaled x and y (positive y is down).
int32_t ScaleJoystickAxis(int32_t value, int32_t* minimum, int32_t* maximum);
int JoystickDirection(int32_t x, int32_t y);
