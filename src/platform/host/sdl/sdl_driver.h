// The SDL2 host driver: real windows, input, pointers, the screen saver and the audio device
// through SDL2. It also runs under SDL_VIDEODRIVER=dummy (no screen) and under Xvfb, and its
// audio under any of SDL's audio drivers (SDL_AUDIODRIVER, "disk" writing a file).
#pragma once

#include "platform/host/host.h"

const qzHostDriver* SdlHostDriver();

// The audio device operations of the driver (sdl_audio.cpp).
int SdlOpenAudio(qzHostAudioFill fill, void* user, int32_t* rate, std::string* message);
void SdlCloseAudio();
