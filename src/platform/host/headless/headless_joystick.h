// The headless driver's game controllers: none until a test sets them.
#pragma once

#include <vector>

#include "platform/host/joystick.h"

const qzJoystickSource* HeadlessJoystickSource();
// The devices the next scan finds, with their current readings (later calls change the
// readings of devices already found).
void HeadlessSetJoysticks(const std::vector<qzJoystickReading>& devices);
