#include "display/display_monitors.h"

#include <algorithm>

#include "base/error_codes.h"
#include "display/display.h"

int32_t CountMonitors() {
    std::vector<qzMonitorRect> monitors;
    return GetMonitorRects(&monitors) ? int32_t(monitors.size()) : 0;
}

int32_t GetMonitorOfDisplay(const qzDisplay* display) {
    std::vector<qzMonitorRect> monitors;
    if (!GetMonitorRects(&monitors)) return 0;
    const int64_t left = display->x, top = display->y;
    const int64_t right = left + display->width + display->borderHorizontal;
    const int64_t bottom = top + display->height + display->borderVertical;
    int32_t found = 0;
    for (size_t i = 0; i < monitors.size(); i++) {
        const qzMonitorRect& m = monitors[i];
        if (left < int64_t(m.x) + m.width && right > m.x && top < int64_t(m.y) + m.height && bottom > m.y)
            found = int32_t(i);
    }
    return found;
}

int GetDisplayMonitorRect(const qzDisplay* display, int32_t* x, int32_t* y, int32_t* width, int32_t* height) {
    *x = *y = *width = *height = 0;
    std::vector<qzMonitorRect> monitors;
    if (!GetMonitorRects(&monitors) || display->monitor < 0 || size_t(display->monitor) >= monitors.size())
        return ERR_GETMONITORINFO;
    const qzMonitorRect& m = monitors[size_t(display->monitor)];
    *x = m.x;
    *y = m.y;
    *width = m.width;
    *height = m.height;
    return 0;
}

int IsDisplayUnobstructed(const qzDisplay* display) {
    if (display->backfillDisplay || display->resourceMonitor) return 0;
    if (display->fullScreen) return 1;
    int32_t monitor = GetMonitorOfDisplay(display);
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d != display && d->fullScreen && d->monitor == monitor) return 0;
    return 1;
}

int GetSortedDisplayModes(int32_t monitor, std::vector<qzModeSize>* out) {
    out->clear();
    if (!GetMonitorModes(monitor, out) || out->empty()) return ERR_NODISPMODES;
    // Ascending by width, then by height (count - 1 bubble passes).
    const size_t n = out->size();
    for (size_t pass = 0; pass + 1 < n; pass++) {
        for (size_t i = 0; i + 1 < n - pass; i++) {
            qzModeSize& a = (*out)[i];
            qzModeSize& b = (*out)[i + 1];
            if (a.width > b.width || (a.width == b.width && a.height > b.height)) std::swap(a, b);
        }
    }
    return 0;
}
