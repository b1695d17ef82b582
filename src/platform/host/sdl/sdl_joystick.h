// The SDL driver's game controllers: SDL's joysticks, opened on the first scan.
#pragma once

#include "platform/host/joystick.h"

const qzJoystickSource* SdlJoystickSource();
