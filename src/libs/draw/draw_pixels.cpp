// The pixel commands of the draw library: Plot, ReadPixel and Cls on the current output (a
// display or background picture, a selected brush, mask or alpha channel).
#include <algorithm>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_links.h"
#include "display/display_pixels.h"
#include "display/display_refresh.h"
#include "gfx/bitmap_lock.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/blit.h"
#include "gfx/blit_display.h"
#include "gfx/channel_ops.h"
#include "gfx/clip_region.h"
#include "gfx/draw_modes.h"
#include "gfx/safe_blt.h"
#include "image/output_select.h"
#include "libs/draw/draw.h"
#include "libs/graphics/graphics.h"
#include "runtime/arg_check.h"
#include "vector/draw_shape.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The colour mixed over the old pixel with weight 255 - transparency.
uint32_t MixColors(uint32_t old, uint32_t color, int weight) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int o = (int)((old >> shift) & 255), c = (int)((color >> shift) & 255);
        out |= (uint32_t)((c * weight + o * (255 - weight) + 127) / 255) << shift;
    }
    return out;
}

void WriteAlphaValue(qzBitMap* alpha, int x, int y, int value) {
    BitMapLock lock(alpha, 0);
    if (!lock.ok || x < 0 || y < 0 || x >= lock.info.width || y >= lock.info.height) return;
    ((uint8_t*)lock.info.pixels)[(size_t)y * lock.info.rowLength + x] = (uint8_t)std::clamp(value, 0, 255);
}

int ReadAlphaValue(const qzBitMap* alpha, int x, int y) {
    BitMapLock lock(alpha, LOCKF_READONLY);
    if (!lock.ok || x < 0 || y < 0 || x >= lock.info.width || y >= lock.info.height) return 0;
    return ((const uint8_t*)lock.info.pixels)[(size_t)y * lock.info.rowLength + x];
}

// Inside the output and where its clip region lets drawing reach.
bool Inside(const qzBlitDisplayInfo& info, int x, int y) {
    return ClipAllowsPixel(info.clipRegion, info.targetWidth, info.targetHeight, x, y);
}

}  // namespace

int DrawPlot(VmState* state) {
    const int32_t sx = VmCheckInteger(state, 1), sy = VmCheckInteger(state, 2);
    const uint32_t color = OptColorArg(state, 3, 0);
    // A selected brush, mask or alpha channel is looked up again before the first draw into it.
    if (int error = UpdateSelectedOutput(state)) return error;
    qzBlitDisplayInfo info;
    if (!DescribeBlitDisplay(nullptr, &info)) return 0;
    if (info.outputKind == OUTPUT_DISPLAY && info.layersOn) return ERR_LAYERSUPPORT2;
    const int x = ResolveXPosition(sx, 1, 0, 0), y = ResolveYPosition(sy, 1, 0, 0);
    if (!Inside(info, x, y) || BlitTouchesSprites(x, y, x, y)) return 0;
    const int opacity = 255 - (int)(color >> 24);
    const uint32_t rgb = color & 0xFFFFFF;
    const qzDrawModes& modes = DrawModes();
    switch (info.outputKind) {
    case OUTPUT_DISPLAY: {
        qzBitMap* buffer = info.firstBuffer;
        if (!buffer) return 0;
        const uint32_t pixel = MixColors(ReadBitMapPixel(buffer, x, y, 0), rgb, opacity);
        WriteBitMapPixel(buffer, x, y, pixel, 0);
        const bool mirror = info.scaling && info.scaledWidth && info.scaledHeight && info.secondBuffer;
        if (mirror) WriteBitMapPixel(info.secondBuffer, x, y, pixel, 0);
        // A video that plays at the point keeps its picture there; the buffers have the pixel.
        auto* display = static_cast<qzDisplay*>(BlitCurrentDisplay());
        const bool underVideo = display && DisplayLinks().isPointInPlayingVideo(display, int32_t(x * display->scaleX),
                                                                                int32_t(y * display->scaleY));
        if (!underVideo)
            PresentBitMapRect(mirror ? info.secondBuffer : buffer, x, y, display, x, y, 1, 1, PRESENT_SCALED);
        return 0;
    }
    case OUTPUT_MASK:
        if (info.outputMask) WriteBitMapPixel(info.outputMask, x, y, (uint32_t)modes.maskMode, 1);
        return 0;
    case OUTPUT_ALPHACHANNEL:
        if (info.outputAlpha)
            WriteAlphaValue(info.outputAlpha, x, y, modes.alphaIntensity != -1 ? modes.alphaIntensity : opacity);
        return 0;
    default: {
        // A brush or background picture: a kept alpha channel takes the opacity, else the colour
        // is mixed into the pixel.
        if (info.outputBitmap) {
            const uint32_t pixel =
                info.outputAlpha ? rgb : MixColors(ReadBitMapPixel(info.outputBitmap, x, y, 0), rgb, opacity);
            WriteBitMapPixel(info.outputBitmap, x, y, pixel, 0);
        }
        if (info.outputMask) WriteBitMapPixel(info.outputMask, x, y, MASKVANILLACOPY, 1);
        if (info.outputAlpha) WriteAlphaValue(info.outputAlpha, x, y, opacity);
        return 0;
    }
    }
}

int DrawReadPixel(VmState* state) {
    const int32_t sx = VmCheckInteger(state, 1), sy = VmCheckInteger(state, 2);
    qzBlitDisplayInfo info;
    const bool haveOutput = DescribeBlitDisplay(nullptr, &info);
    const int x = ResolveXPosition(sx, 1, 0, 0), y = ResolveYPosition(sy, 1, 0, 0);
    if (!haveOutput || !Inside(info, x, y)) return ERR_PIXELRANGE;
    double value = 0;
    switch (info.outputKind) {
    case OUTPUT_DISPLAY: value = info.firstBuffer ? ReadBitMapPixel(info.firstBuffer, x, y, 0) : 0; break;
    case OUTPUT_MASK: value = info.outputMask ? ReadBitMapPixel(info.outputMask, x, y, 1) : 1; break;
    case OUTPUT_ALPHACHANNEL: value = info.outputAlpha ? ReadAlphaValue(info.outputAlpha, x, y) : 255; break;
    case OUTPUT_BRUSH:
        if (!info.outputBitmap) return ERR_WRONGUSAGE;
        value = ReadBitMapPixel(info.outputBitmap, x, y, 0);
        break;
    case OUTPUT_BGPIC: value = info.outputBitmap ? ReadBitMapPixel(info.outputBitmap, x, y, 0) : 0; break;
    default: value = 0; break;
    }
    VmPushNumber(state, value);
    return 1;
}

namespace {

// A display or background picture without layers shows its picture again: the picture is copied
// into the back buffer (and the second buffer) and the display is refreshed.
int ClearDisplay(VmState* state) {
    const int layersCleared = ClearOutputLayers(state);
    if (layersCleared >= 0) return layersCleared;
    qzDisplay* display = CurrentDisplay();
    if (!display) return 0;
    const qzBGPic* pic = display->bgpic;
    if (pic && pic->bitmap) {
        for (qzBitMap* buffer : {display->displayBuffer, display->secondBuffer}) {
            if (!buffer) continue;
            CopyBitmapRect(pic->bitmap, 0, 0, buffer, 0, 0, std::min(pic->bitmap->width, buffer->width),
                           std::min(pic->bitmap->height, buffer->height));
        }
    }
    return RefreshDisplay(state, display, 0);
}

}  // namespace

int DrawCls(VmState* state) {
    const uint32_t color = OptColorArg(state, 1, 0);
    if (int error = UpdateSelectedOutput(state)) return error;
    qzBlitDisplayInfo info;
    if (!DescribeBlitDisplay(nullptr, &info)) return ClearDisplay(state);
    // While the adapter double-buffers the display, drawing goes to the display's own buffer, which
    // the adapter draws: the adapter clears it.
    if (info.hardwareDoubleBuffer && info.outputBitmap && info.outputBitmap == info.firstBuffer &&
        IsDisplayAdapterActive()) {
        if (qzDisplay* display = CurrentDisplay()) AdapterClearDisplay(display, color);
        return 0;
    }
    const qzDrawModes& modes = DrawModes();
    const int w = info.targetWidth, h = info.targetHeight;
    switch (info.outputKind) {
    case OUTPUT_DISPLAY: return ClearDisplay(state);
    case OUTPUT_MASK:
        if (info.outputMask) FillMaskRect(info.outputMask, 0, 0, w, h, modes.maskMode);
        return 0;
    case OUTPUT_ALPHACHANNEL:
        if (info.outputAlpha)
            FillAlphaRect(info.outputAlpha, 0, 0, w, h, modes.alphaIntensity != -1 ? modes.alphaIntensity : 255);
        return 0;
    case OUTPUT_BGPIC: {
        // A selected background picture with layers on loses its layers.
        const int cleared = ClearOutputLayers(state);
        if (cleared >= 0) return cleared;
        [[fallthrough]];
    }
    default:
        if (info.outputBitmap) FillBitMapRect(info.outputBitmap, 0, 0, w, h, color & 0xFFFFFF);
        if (info.outputAlpha) FillAlphaRect(info.outputAlpha, 0, 0, w, h, 255);
        if (info.outputMask) FillMaskRect(info.outputMask, 0, 0, w, h, MASKVANILLACOPY);
        return 0;
    }
}
