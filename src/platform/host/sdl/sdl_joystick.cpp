#include "platform/host/sdl/sdl_joystick.h"

#include <SDL.h>

#include <vector>

#include "base/error_codes.h"

namespace {

std::vector<SDL_Joystick*> gJoysticks;
bool gSubsystem = false;

int Scan(int* count) {
    *count = 0;
    if (!gSubsystem) {
        if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return ERR_JOYSTICK;
        gSubsystem = true;
    }
    const int devices = SDL_NumJoysticks();
    // Room for every device before the first is opened: a list that grew while a device was
    // open could run out of memory and lose it.
    if (devices > 0) gJoysticks.reserve(gJoysticks.size() + static_cast<size_t>(devices));
    for (int i = 0; i < devices; i++) {
        // A device that cannot be opened is skipped.
        if (SDL_Joystick* joystick = SDL_JoystickOpen(i)) gJoysticks.push_back(joystick);
    }
    *count = static_cast<int>(gJoysticks.size());
    return 0;
}

int Read(int index, qzJoystickReading* reading) {
    if (index < 0 || static_cast<size_t>(index) >= gJoysticks.size()) return 0;
    SDL_Joystick* joystick = gJoysticks[static_cast<size_t>(index)];
    SDL_JoystickUpdate();
    const int axes = SDL_JoystickNumAxes(joystick);
    *reading = qzJoystickReading{};
    reading->xMin = reading->yMin = -32768;
    reading->xMax = reading->yMax = 32767;
    if (axes > 0) {
        reading->hasX = 1;
        reading->x = SDL_JoystickGetAxis(joystick, 0);
    }
    if (axes > 1) {
        reading->hasY = 1;
        reading->y = SDL_JoystickGetAxis(joystick, 1);
    }
    const int buttons = SDL_JoystickNumButtons(joystick);
    for (int b = 0; b < buttons && b < 32; b++)
        if (SDL_JoystickGetButton(joystick, b)) reading->buttons |= 1u << b;
    return 1;
}

void Release() {
    for (SDL_Joystick* joystick : gJoysticks) SDL_JoystickClose(joystick);
    gJoysticks.clear();
    if (gSubsystem) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    gSubsystem = false;
}

const qzJoystickSource kSource = {Scan, Read, Release};

}  // namespace

const qzJoystickSource* SdlJoystickSource() { return &kSource; }
