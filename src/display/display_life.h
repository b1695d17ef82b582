// The life of a display: creating the record with its own picture and buffers, opening it in its
// mode (window, full screen, fake full screen, desktop) with its backdrop, realising the window,
// closing and freeing it, making it current, the start-up displays and the clean-up at exit.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;
struct qzDisplay;

// CloseDisplayCore mode bits.
enum {
    QZ_CLOSE_KEEPOBJECTS = 1,  // a re-open follows: hardware brushes and double buffering are kept
    QZ_CLOSE_NOMODERESTORE = 2,
    QZ_CLOSE_FREEBACKDROP = 4,
    QZ_CLOSE_NOFADE = 8,
};

// OpenDisplayCore mode word bits.
enum {
    QZ_OPEN_OWNMONITOR = 1,     // switched on its own monitor: the monitor follows the window
    QZ_OPEN_STARTUP = 2,        // the first display opened at start-up
    QZ_OPEN_SWITCH = 4,         // an open display changes between window and full screen
    QZ_OPEN_MONITORCHANGE = 8,  // the monitor changed while in full screen
};

// CreateDisplay's body: a display of the identifier (automatic handles included) with the
// options of the table at tableIndex (0: none). A display of the same number is freed first.
// 0 with *out set, or an error (nothing is left behind).
int CreateDisplayCore(VmState* state, const qzObjectId& id, int tableIndex, qzDisplay** out);
// Opens the display in its mode. 0 or an error.
int OpenDisplayCore(VmState* state, qzDisplay* display, int modeWord);
// Creates the window or screen. 0 or an error.
int RealizeDisplay(VmState* state, qzDisplay* display, int activate, int restoreObjects);
// Closes the window or screen; oldCopy (optional) gives the settings of the window being closed.
int CloseDisplayCore(VmState* state, qzDisplay* display, const qzDisplay* oldCopy, int mode);
// Removes a display; with report 0 a missing one is no error. 0 or an error (then the display
// stays in the list).
int FreeDisplayCore(VmState* state, const qzObjectId& id, int report);
// Frees what the record owns.
void FreeDisplayContents(VmState* state, qzDisplay* display, int atShutdown);
// The clean-up at exit: every display closed and freed, menus and the library's bitmaps freed.
void FreeAllDisplaysAtExit(VmState* state);
// Frees the backdrop display, picture and brush that a full-screen display made.
void FreeBackfillObjects(VmState* state, qzDisplay* display);
// Makes the display current (and its picture the current picture); an open display's window is
// activated unless noActivate.
int MakeDisplayCurrent(VmState* state, qzDisplay* display, int noActivate);
// Start-up: opens every display that is closed and not created hidden; the current display
// becomes the first active one. 0 or an error.
int OpenStartupDisplays(VmState* state);
// When the first display opens: objects made before any display are made for the display.
int PrepareObjectsForDisplay(VmState* state, qzDisplay* display);
// The least update that brings a display to the options of the table: SetDisplayAttributes and
// the switch of a display's picture. 0 or an error.
int ApplyDisplayAttributes(VmState* state, int tableIndex, qzDisplay* display, int noRefresh);
// The library's bitmap that holds the desktop grab of a "desktop" display.
qzBitMap** DesktopGrabSlot();
