// The SDL2 host driver: real windows, input, pointers, the screen saver and the audio device
// through SDL2. It also runs under SDL_VIDEODRIVER=dummy (no screen) and under Xvfb, and its
// audio under any of SDL's audio drivers (SDL_AUDIODRIVER, "disk" writing a file).
#pragma once

#include "platform/host/host.h"

const qzHostDriver* SdlHostDriver();

// The audio device operations of the driver (sdl_audio.cpp).
int SdlOpenAudio(qzHostAudioFill fill, void* user, int32_t* rate, std::string* message);
void SdlCloseAudio();

struct SDL_Window;

// ---- Shared inside the driver ----

// The SDL window of an open host window, or null.
SDL_Window* SdlWindowOf(const qzHostWindow* window);

// Dialogs and the clipboard (sdl_dialogs.cpp).
int SdlDialog(const qzHostDialog& dialog, qzHostDialogAnswer* answer, std::string* message);
int SdlClipboardRead(int withData, qzHostClipboard* out);
int SdlClipboardWrite(const qzHostClipboard& contents);
// True while a clipboard change that SDL reports is one the player made itself.
bool SdlClipboardChangeIsOwn();
