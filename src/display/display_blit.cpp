#include "display/display_blit.h"

#include "display/display.h"
#include "display/display_present.h"
#include "display/layer_system.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/blit_display.h"
#include "gfx/clip_region.h"

namespace {

void* CurrentForBlit() { return CurrentDisplay(); }

void DescribeForBlit(void* handle, qzBlitDisplayInfo* out) {
    const qzDisplay* display = static_cast<const qzDisplay*>(handle);
    out->outputBitmap = display->outputBitmap;
    out->outputMask = display->outputMask;
    out->outputAlpha = display->outputAlpha;
    out->outputKind = display->outputKind;
    out->doubleBuffer = display->doubleBuffer;
    out->hardwareDoubleBuffer = display->doubleBufferHardware;
    out->layersOn = display->layersEnabled;
    out->firstBuffer = display->displayBuffer;
    out->secondBuffer = display->secondBuffer;
    out->scaling = display->autoScale;
    out->scaledWidth = display->scaledWidth;
    out->scaledHeight = display->scaledHeight;
    out->inRefreshBlock = display->refreshBlock;
    // The drawing target: a selected object's bitmap, else the shown picture's buffer.
    const qzBitMap* target = display->outputKind != QZ_TYPE_DISPLAY && display->outputBitmap ? display->outputBitmap
                                                                                             : display->displayBuffer;
    if (target) {
        out->targetWidth = target->width;
        out->targetHeight = target->height;
    } else if (display->bgpic) {
        out->targetWidth = display->bgpic->width;
        out->targetHeight = display->bgpic->height;
    }
    // The clip region of what drawing addresses: on the current display the drawing target (a
    // selected object's record, else the shown picture), on another its shown picture.
    const qzBGPic* drawn = display == CurrentDisplay() ? CurrentBGPic() : display->bgpic;
    out->clipRegion = drawn ? static_cast<const qzClipRegion*>(drawn->clipRegion) : nullptr;
}

void PresentForBlit(const qzBitMap* source, int sx, int sy, void* display, int dx, int dy, int width, int height,
                    int scaledWidth, int scaledHeight, uint32_t flags, const qzBitMap* mask, const qzBitMap* alpha) {
    PresentDisplayRect(source, sx, sy, static_cast<qzDisplay*>(display), dx, dy, width, height, scaledWidth,
                       scaledHeight, flags, mask, alpha);
}

// SafeBlt's layer redraws go to the layer system through the display links (the picture's own
// pixels while no layer system is linked).
void RedrawForBlit(VmState* state, void* handle, qzBitMap* dst, int x, int y, int width, int height, int pass) {
    qzDisplay* display = static_cast<qzDisplay*>(handle);
    if (!dst || !display->bgpic) return;
    RedrawPictureLayers(state, display, display->bgpic, dst, x, y, width, height, pass);
}

const qzBlitDisplayHooks kHooks = {
    .currentDisplay = CurrentForBlit,
    .describe = DescribeForBlit,
    .presentRect = PresentForBlit,
};

}  // namespace

void InstallDisplayBlitHooks() {
    SetBlitDisplayHooks(&kHooks);
    SetBlitLayerRedrawHook(RedrawForBlit);
}

void RemoveDisplayBlitHooks() {
    SetBlitDisplayHooks(nullptr);
    SetBlitLayerRedrawHook(nullptr);
}
