// The SDL driver's audio device: SDL's default output, opened for 32-bit float stereo at the
// device's own rate, with SDL's audio thread pulling the mixed sound through a callback.
#include <SDL.h>

#include <cstdio>

#include "base/error_codes.h"
#include "platform/host/sdl/sdl_driver.h"

namespace {

SDL_AudioDeviceID gDevice = 0;
qzHostAudioFill gFill = nullptr;
void* gUser = nullptr;

void Callback(void*, Uint8* stream, int length) {
    int frames = length / static_cast<int>(2 * sizeof(float));
    SDL_memset(stream, 0, static_cast<size_t>(length));
    gFill(gUser, reinterpret_cast<float*>(stream), frames);
}

}  // namespace

int SdlOpenAudio(qzHostAudioFill fill, void* user, int32_t* rate, std::string* message) {
    if (gDevice) {
        *message = "the audio device is open already";
        return ERR_OPENAUDIO;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        *message = std::string("SDL: ") + SDL_GetError();
        return ERR_OPENAUDIO;
    }
    SDL_AudioSpec want;
    SDL_zero(want);
    // The device's own rate is taken when it differs from the one asked for.
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = Callback;
    SDL_AudioSpec have;
    gFill = fill;
    gUser = user;
    gDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (!gDevice) {
        // The subsystem is ended before the message is made, which may run out of memory and
        // unwind through here.
        char reason[256];
        std::snprintf(reason, sizeof reason, "%s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        gFill = nullptr;
        gUser = nullptr;
        *message = std::string("SDL: ") + reason;
        return ERR_OPENAUDIO;
    }
    *rate = have.freq;
    SDL_PauseAudioDevice(gDevice, 0);
    return 0;
}

void SdlCloseAudio() {
    if (!gDevice) return;
    // Closing waits for a running callback; none runs afterwards.
    SDL_CloseAudioDevice(gDevice);
    gDevice = 0;
    gFill = nullptr;
    gUser = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
