// What the platform's event loop and the event queue ask of the display code: drawing a display
// again, re-opening it in another mode, following a window's new size, whether a display may go
// full screen, the pending video frames and the size-event rule of scaled displays.
#pragma once

#include <cstdint>

struct VmState;
struct qzDisplay;

void LinkedRefreshDisplay(VmState* state, qzDisplay* display);
int LinkedReopenDisplay(VmState* state, qzDisplay* display, int32_t mode, int32_t width, int32_t height);
int LinkedResizeDisplay(VmState* state, qzDisplay* display, int32_t width, int32_t height);
int LinkedDisplayUnobstructed(qzDisplay* display);
void LinkedFlushPendingRepaints(VmState* state);
int LinkedDisplayBlocksSizeEvents(qzDisplay* display);
