#include "display/display_refresh.h"

#include "display/display.h"
#include "display/display_links.h"
#include "display/display_present.h"
#include "display/double_buffer.h"

int RefreshDisplay(VmState* state, qzDisplay* display, uint32_t flags) {
    if (!display || !display->bgpic) return 0;
    FillDisplayBorders(display);
    if (!display->doubleBuffer && !display->doubleBufferHardware) {
        qzBitMap* bitmap = GetBGPicDisplayBitmap(state, display, display->bgpic);
        PresentDisplayBuffer(display, bitmap, 0, 0, display->bgpic->width, display->bgpic->height,
                             (flags & ~QZ_REFRESH_CURRENTHOOK) | 9);
    } else {
        int error = PresentDoubleBuffer(state, display, flags);
        if (error) return error;
    }
    DisplayLinks().redrawVideosOnDisplay(display);
    return 0;
}
