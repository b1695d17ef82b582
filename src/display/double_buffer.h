// Double buffering of a display: drawing goes into a back bitmap, and Flip copies what changed
// into the front bitmap and shows it at once, so that nothing half-drawn reaches the window. The
// software form keeps the two bitmaps and the display's rectangle list of what changed (a list that
// fills up stands for the whole picture); the hardware form lets the display-adapter plugin flip
// its own buffers. Main thread only.
#pragma once

#include <cstdint>

struct VmState;
struct qzDisplay;

// Starts double buffering on the display (hardware: ask for the adapter's hardware form). 0, or
// ERR_SELECTBRUSH, ERR_SELECTANIM, ERR_ENDDOUBLEBUFFER, ERR_SELECTMASK, ERR_SELECTALPHACHANNEL,
// ERR_SELECTBG, ERR_LAYERSOFF, ERR_BEGINREFRESH, ERR_NOSPRITES, ERR_DBTRANSWIN, ERR_VIDATTACHED,
// ERR_CLOSEDDISPLAY, the adapter's error, ERR_BITMAP or ERR_MEM; refusals change nothing.
int BeginDoubleBuffer(VmState* state, qzDisplay* display, int hardware);
// Shows the back buffer: copies the changed rectangles (all of it when the list is full) into the
// front bitmap, waits for the display's next frame when asked, presents, and empties the list.
// 0, ERR_NODOUBLEBUFFER, or the adapter's or the wait's error.
int FlipDisplay(VmState* state, qzDisplay* display, int wait);
// Presents the front bitmap (its changed rectangles, or all of it) on the display.
int FlipDoubleBuffer(VmState* state, qzDisplay* display, uint32_t presentFlags);
// Replaces the front bitmap with a black one of the size (the display was resized) and presents
// it unless noPresent; nothing under hardware double buffering or while a selection parks double
// buffering. 0 or ERR_MEM.
int AllocDoubleBufferBitmap(VmState* state, qzDisplay* display, int32_t width, int32_t height, int noPresent);
// Ends double buffering (a selection that parked it ends first); the last frame stays on the
// display. 0, ERR_NODOUBLEBUFFER, or the adapter's error.
int EndDoubleBufferCore(VmState* state, qzDisplay* display);

// The display-adapter plugin's begin and end entries with the display's handle; 0 without one.
int AdapterBeginDoubleBuffer(qzDisplay* display);
int AdapterEndDoubleBuffer(qzDisplay* display);

// Switches double buffering on for the display code (on while the library that starts it is open). Without
// it the three calls below answer 0 and do nothing.
void EnableDoubleBuffering(bool on);
// Ends double buffering when the display (or a selection that parked it) has it.
int EndDisplayDoubleBuffer(VmState* state, qzDisplay* display);
// Presents the whole front bitmap (a refresh of the display).
int PresentDoubleBuffer(VmState* state, qzDisplay* display, uint32_t presentFlags);
// AllocDoubleBufferBitmap without presenting (the display was rescaled).
int ResizeDoubleBuffer(VmState* state, qzDisplay* display, int32_t width, int32_t height);
