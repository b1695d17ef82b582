// What the SDL driver does through X11 itself when SDL runs on X11: reading the desktop's pixels
// (the screen grab) and telling the window manager which of a window's boxes and functions it
// offers.
#pragma once

#include <cstdint>

struct SDL_Window;

// Reads width x height pixels of the root window at x, y into `out` as 0xFFRRGGBB; what lies
// outside the root window is black. False when the X server cannot be reached or refuses.
bool X11GrabScreen(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* out);

// Tells the window manager what the user may do with the window (the Motif window-manager hints
// that most window managers follow): move it unless QZ_DISPLAYFLAG_FIXED, resize and maximise it
// with QZ_DISPLAYFLAG_SIZEABLE, minimise it unless QZ_DISPLAYFLAG_NOHIDE, close it unless
// QZ_DISPLAYFLAG_NOCLOSE; decorations as the window has them (none when borderless). Nothing when
// SDL does not run on X11.
void X11SetWindowFunctions(SDL_Window* window, uint32_t displayFlags);
