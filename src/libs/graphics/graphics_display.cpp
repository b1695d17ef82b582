// The graphics commands that work on the current display: its clip region, the frame wait, the
// colours it shows, the palette pens of its picture, refresh blocks and snapshots.
#include <memory>
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_monitors.h"
#include "display/display_present.h"
#include "display/display_refresh.h"
#include "display/draw_target.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/blit_display.h"
#include "gfx/pixel_format.h"
#include "image/image_save.h"
#include "libs/graphics/graphics.h"
#include "libs/graphics/graphics_commands.h"
#include "platform/os_bitmap.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Snapshot kinds.
enum { SNAPWINDOW = 0, SNAPDISPLAY = 1, SNAPDESKTOP = 2 };

int PushNumber(VmState* state, double value) {
    VmPushNumber(state, value);
    return 1;
}

}  // namespace

int GfxSetClipRegion(VmState* state) {
    qzObjectId id = {0, nullptr};
    if (VmType(state, 1) != VM_TNIL) GetObjectIdArg(&id, state, 1);
    if (DrawTargetIsChannel()) return ERR_WRONGUSAGE;
    if (!id.pointer && (id.number == 0 || id.number == -1)) return SetDrawTargetClipRegion(nullptr);
    return SetDrawTargetClipRegion(CheckClipRegion(state, id, 0));
}

int GfxVWait(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    return display ? WaitDisplayVBlank(state, display, 0) : 0;
}

int GfxGetRealColor(VmState* state) {
    const uint32_t colour = static_cast<uint32_t>(VmCheckInteger(state, 1));
    const qzDisplay* display = CurrentDisplay();
    const int format = display && display->displayBuffer
                           ? (int)QueryBitMapAttr(display->displayBuffer, BMATTR_PIXELFORMAT)
                           : OsGetScreenPixelFormat();
    switch (GetPixelFormatDepth(format)) {
    case 15: return PushNumber(state, colour & 0xF8F8F8);
    case 16: return PushNumber(state, colour & 0xF8FCF8);
    default: return PushNumber(state, colour);
    }
}

int GfxGetPen(VmState* state) {
    int32_t index = VmCheckInteger(state, 1);
    index = index < 0 ? 0 : index > 255 ? 255 : index;
    const qzBGPic* pic = CurrentBGPic();
    if (!pic || !pic->palette) return PushNumber(state, 4294967295.0);
    return PushNumber(state, pic->palette[index]);
}

int GfxBeginRefresh(VmState* state) {
    const bool force = VmGetTop(state) >= 1 && VmCheckInteger(state, 1) != 0;
    qzDisplay* display = CurrentDisplay();
    if (!display) return 0;
    if (!force && !display->autoScale && !display->layerScale) return 0;
    int rc = CheckOutputIsDisplay(true);
    if (rc) return rc;
    if (display->refreshBlock) return ERR_WRONGUSAGE;
    display->refreshBlock = 1;
    return 0;
}

int GfxEndRefresh(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    if (!display) return 0;
    display->refreshBlock = 0;
    return RefreshDisplay(state, display, 0);
}

int GfxSaveSnapshot(VmState* state) {
    const char* file = VmCheckString(state, 1);
    const int32_t type = VmOptInteger(state, 2, SNAPWINDOW);
    const int32_t format = VmOptInteger(state, 3, IMGFMT_BMP);
    int quality = 90, colours = 256, dither = 0;
    ReadSaveQualityOptions(state, 4, &quality, &colours, &dither);
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_WRONGUSAGE;
    qzBitMap* bitmap = nullptr;  // shown by the display: not ours
    qzBitMap* grabbed = nullptr;
    int32_t width = 0, height = 0;
    int rc = 0;
    switch (type) {
    case SNAPDISPLAY:
        if (display->doubleBufferHardware || !display->bgpic) return ERR_WRONGUSAGE;
        bitmap = GetBGPicDisplayBitmap(state, display, display->bgpic);
        if (!bitmap) return ERR_WRONGUSAGE;
        width = bitmap->width;
        height = bitmap->height;
        break;
    case SNAPDESKTOP: {
        int32_t x = 0, y = 0;
        rc = GetDisplayMonitorRect(display, &x, &y, &width, &height);
        if (!rc) rc = GrabDisplayPixels(display, x, y, width, height, &grabbed);
        break;
    }
    case SNAPWINDOW:
        if (display->state != QZ_DISPSTATE_OPEN) return ERR_CLOSEDDISPLAY;
        width = display->width + display->borderHorizontal;
        height = display->height + display->borderVertical;
        rc = GrabDisplayPixels(display, display->x - display->borderLeft, display->y - display->borderTop, width,
                               height, &grabbed);
        break;
    default: return ERR_WRONGUSAGE;
    }
    // The grabbed pixels go also when saving runs out of memory and unwinds through here.
    std::unique_ptr<qzBitMap, void (*)(qzBitMap*)> grabbedOwner(grabbed, DeleteBitMap);
    if (rc) return rc;
    if (grabbed) {
        bitmap = grabbed;
        width = grabbed->width;
        height = grabbed->height;
    }
    return SaveBitMapAsImage(format, bitmap, width, height, file, nullptr, -1, nullptr, quality, colours, dither, 0);
}
