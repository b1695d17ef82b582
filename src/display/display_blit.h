// How the blitters of the graphics core see the display code's displays: the current display,
// what SafeBlt reads of a display and of its drawing target, presentation, and the layer redraw
// (gfx/blit_display.h).
#pragma once

// Installed by the display library's state set-up, removed when it ends.
void InstallDisplayBlitHooks();
void RemoveDisplayBlitHooks();
