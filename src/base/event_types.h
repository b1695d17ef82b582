// The built-in engine event types: what the window-system back end and the other producers post
// to the event queue. Types from QZ_EVENT_FIRSTPLUGIN up are handed out to plugins.
#pragma once

#include <cstdint>

enum : int32_t {
    QZ_EVENT_LEFTMOUSE = 1,   // x, y, 1 pressed / 0 released
    QZ_EVENT_RIGHTMOUSE = 2,  // x, y, pressed
    QZ_EVENT_KEY = 3,         // 1 down or repeat / 0 up, 0, engine key code
    QZ_EVENT_MOVEWINDOW = 4,
    QZ_EVENT_SIZEWINDOW = 5,  // the newest supersedes the queued ones
    QZ_EVENT_INACTIVEWINDOW = 6,
    QZ_EVENT_CLOSEWINDOW = 7,
    QZ_EVENT_ACTIVEWINDOW = 8,
    QZ_EVENT_HIDEWINDOW = 9,   // minimised
    QZ_EVENT_SHOWWINDOW = 10,  // restored
    QZ_EVENT_WHEELUP = 11,
    QZ_EVENT_WHEELDOWN = 12,
    QZ_EVENT_MODESWITCH = 13,  // full-screen toggle request
    QZ_EVENT_DROPFILE = 14,    // x, y, 0; user data: the dropped paths
    QZ_EVENT_CLIPBOARD = 15,
    QZ_EVENT_MIDMOUSE = 16,  // x, y, pressed
    QZ_EVENT_MENUSELECT = 26,
    QZ_EVENT_FIRSTPLUGIN = 28,
};
