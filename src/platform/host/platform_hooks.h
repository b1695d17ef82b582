// Small platform services and the hooks where a platform may do work at fixed points of the
// player's life. On this platform most hooks have nothing to do; they answer as the callers
// expect, so that loading never aborts and start-up goes ahead.
#pragma once

#include <cstdarg>
#include <cstdint>

struct qzDisplay;

// Start of main: 0, or an error code that stops the player.
int OsInitPlatform();
// At shutdown and after the display adapter changed.
void OsPlatformCheckpoint();
// The do-nothing entry point (console debugging in release builds, and the stand-in for plugin
// entry points marked as not callable): 0.
intptr_t OsCallNothing(...);
// A display's input state is reset.
void OsResetInputState(qzDisplay* display);
// Start-up, before the banner: 0, or an error code that stops start-up.
int MacStartupHook();
// Start-up, before the plugins load: 0, or an error code that stops start-up.
int PrePluginHook();
// Loading progress: 1 when the user aborted loading.
int LoadProgressAborted();
// Before the start-up displays open: 1 to go ahead.
int OpenStartupDisplaysQuery();
// Shutdown, before the libraries are freed.
void ShutdownHook();
// Display attributes were applied.
void MacDisplayHook(qzDisplay* display);
// The display library asks before the start-up displays open and on display queries: 0.
int MacOpenStartupHook();
int MacDisplayQueryHook(qzDisplay* display);
// Whether the window system accepts a display at x, y: 1.
int MacCheckDisplayGeometry(qzDisplay* display, int32_t x, int32_t y);
// Clipboard-change events come from the event loop itself: 0.
int MacUpdateClipboardWatch(qzDisplay* display);

// Message ports: this platform has none. MacCreatePort fails with ERR_CREATEPORT; MacSendMessage
// fails with ERR_FINDPORT, the port's name being the error argument.
int MacCreatePort(const char* name);
int MacSendMessage(const char* port, const char* message);
// The next message that arrived at the player's port (a block the caller frees with OsFree: the
// port name, a NUL, the message text), or null. Without ports there is never one.
char* PollPortMessage();

// Formatted console output for plugins (a vprintf). The number of characters written.
int HostVprintf(const char* format, va_list args);
