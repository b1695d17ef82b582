// The `display` command library: creating, opening, closing and freeing displays, their options
// and attributes, title, visibility, position, size, activation and selection, display modes and
// monitors, and menus.
#pragma once

#include "runtime/library.h"

struct VmState;

// The "display" library: its commands, constants and the display and picture lists; at shutdown
// every display (stage QZ_STAGE_CLOSE_DISPLAYS) and every background picture (QZ_STAGE_BGPICS).
extern const qzLibraryDescriptor qzDisplayLibrary;

// Start-up: opens the displays that the directives created (after the directive run). 0 or an
// error code.
int OpenStartupDisplaysStep(VmState* state);

// Command handlers, shared inside the library.
int DispCreateDisplay(VmState* state);
int DispOpenDisplay(VmState* state);
int DispCloseDisplay(VmState* state);
int DispFreeDisplay(VmState* state);
int DispSetDisplayAttributes(VmState* state);
int DispSetTitle(VmState* state);
int DispShowDisplay(VmState* state);
int DispHideDisplay(VmState* state);
int DispMoveDisplay(VmState* state);
int DispActivateDisplay(VmState* state);
int DispSelectDisplay(VmState* state);
int DispChangeDisplaySize(VmState* state);
int DispChangeDisplayMode(VmState* state);
int DispGetDisplayModes(VmState* state);
int DispGetMonitors(VmState* state);
int DispCreateMenu(VmState* state);
int DispFreeMenu(VmState* state);
int DispSelectMenuItem(VmState* state);
int DispDeselectMenuItem(VmState* state);
int DispIsMenuItemSelected(VmState* state);
int DispDisableMenuItem(VmState* state);
int DispEnableMenuItem(VmState* state);
int DispIsMenuItemDisabled(VmState* state);
