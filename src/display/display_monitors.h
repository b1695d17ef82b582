// Monitors as the display code sees them: how many there are, which one a display lies on, the
// rectangle of a display's monitor, whether a display may go full screen now, and the sorted
// screen sizes of a monitor.
#pragma once

#include <cstdint>
#include <vector>

#include "display/display_adapter_calls.h"

struct qzDisplay;

int32_t CountMonitors();
// The last monitor whose rectangle meets the display's rectangle, 0 when none.
int32_t GetMonitorOfDisplay(const qzDisplay* display);
// The rectangle of the display's monitor. 0, or ERR_GETMONITORINFO (outputs 0).
int GetDisplayMonitorRect(const qzDisplay* display, int32_t* x, int32_t* y, int32_t* width, int32_t* height);
// 0 for a backdrop or resource-monitor display, 1 for a full-screen one, else 0 when another
// full-screen display uses the monitor the display lies on, else 1.
int IsDisplayUnobstructed(const qzDisplay* display);
// The screen sizes of a monitor, ascending by width then height. 0 or ERR_NODISPMODES.
int GetSortedDisplayModes(int32_t monitor, std::vector<qzModeSize>* out);
