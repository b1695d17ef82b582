// The brush commands on single pixels, on a brush's transparency (key colour, mask, alpha
// channel), on whole pixel arrays in script tables, and on the desktop. The commands that change
// a brush check their arguments first and then look it up as the filters do.
#include <vector>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_monitors.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/channel_ops.h"
#include "gfx/kernels_color.h"
#include "gfx/position.h"
#include "image/brush.h"
#include "image/brush_pixels.h"
#include "image/brush_transform.h"
#include "libs/brush/brush_process_commands.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// A pixel position of the brush; position constants place a single pixel inside it.
int32_t PixelX(int32_t x, const qzBrush* brush) { return ResolveXPosition(x, 1, brush->width, 0); }
int32_t PixelY(int32_t y, const qzBrush* brush) { return ResolveYPosition(y, 1, brush->height, 0); }

bool Inside(const qzBrush* brush, int32_t x, int32_t y) {
    return x >= 0 && y >= 0 && x < brush->width && y < brush->height;
}

// Inverts every byte of a mask's or alpha channel's rows.
int InvertChannel(qzBitMap* channel) {
    BitMapLock lock(channel, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    InvertBytes(static_cast<uint8_t*>(lock.info.pixels), lock.info.height, lock.info.rowLength);
    return 0;
}

}  // namespace

qzBrush* CheckChangedBrush(VmState* state, const qzObjectId& id) {
    return CheckBrushForChange(state, id, QZ_FINDBRUSH_NOVECTOR);
}

int OnBrushAlone(VmState* state, int (*change)(qzBrush* brush)) {
    VmCheckArgCount(state, 1, 1, 0, 0);
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return change(CheckChangedBrush(state, id));
}

int BrushSetBrushTransparency(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t colour = VmCheckInteger(state, 2);
    qzBrush* brush = CheckChangedBrush(state, id);
    return SetBrushKeyColor(brush, colour);
}

int BrushDeleteMask(VmState* state) {
    return OnBrushAlone(state, [](qzBrush* brush) {
        DeleteBrushMask(brush);
        return 0;
    });
}

int BrushDeleteAlphaChannel(VmState* state) {
    return OnBrushAlone(state, [](qzBrush* brush) {
        DeleteBrushAlpha(brush);
        return 0;
    });
}

int BrushInvertMask(VmState* state) {
    return OnBrushAlone(state,
                        [](qzBrush* brush) { return brush->mask ? InvertChannel(brush->mask) : ERR_WRONGUSAGE; });
}

int BrushInvertAlphaChannel(VmState* state) {
    return OnBrushAlone(state,
                        [](qzBrush* brush) { return brush->alpha ? InvertChannel(brush->alpha) : ERR_WRONGUSAGE; });
}

int BrushChangeBrushTransparency(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t kind = VmCheckInteger(state, 2);
    if (kind != QZ_TRANSPARENCY_NONE && kind != QZ_TRANSPARENCY_MASK && kind != QZ_TRANSPARENCY_ALPHA)
        return ERR_WRONGUSAGE;
    qzBrush* brush = CheckChangedBrush(state, id);
    return ChangeBrushTransparencyKind(brush, kind);
}

int BrushReduceAlphaChannel(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const double level = CheckPercentArg(state, 2, 255, 0, nullptr);
    // A negative level would turn the bytes into garbage: refused like one above 255.
    if (!(level >= 0 && level <= 255)) return ERR_WRONGUSAGE;
    qzBrush* brush = CheckChangedBrush(state, id);
    if (!brush->alpha) return ERR_WRONGUSAGE;
    return ScaleAlphaChannel(brush->alpha, brush->alpha, brush->height, (int)level);
}

int BrushReadBrushPixel(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    int32_t x = VmCheckInteger(state, 2);
    int32_t y = VmCheckInteger(state, 3);
    qzBrush* brush = CheckBrush(state, id, QZ_FINDBRUSH_NOVECTOR);
    x = PixelX(x, brush);
    y = PixelY(y, brush);
    if (!Inside(brush, x, y)) {
        VmPushNumber(state, 4294967295.0);
        VmPushNumber(state, -1);
        return 2;
    }
    int32_t transparency = -1;
    const uint32_t colour = ReadBrushPixelAt(brush, x, y, &transparency);
    VmPushNumber(state, colour);
    VmPushNumber(state, transparency);
    return 2;
}

int BrushWriteBrushPixel(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t x = VmCheckInteger(state, 2);
    const int32_t y = VmCheckInteger(state, 3);
    const uint32_t colour = (uint32_t)VmCheckInteger(state, 4);
    const int32_t value = VmOptInteger(state, 5, -1);
    qzBrush* brush = CheckChangedBrush(state, id);
    if (Inside(brush, x, y)) WriteBrushPixelAt(brush, x, y, colour, value);
    return 0;
}

int BrushFloodFill(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    int32_t x = VmCheckInteger(state, 2);
    int32_t y = VmCheckInteger(state, 3);
    const uint32_t border = (uint32_t)VmCheckInteger(state, 4);
    const uint32_t fill = (uint32_t)VmCheckInteger(state, 5);
    qzBrush* brush = CheckChangedBrush(state, id);
    x = PixelX(x, brush);
    y = PixelY(y, brush);
    if (x < 0 || y < 0) return ERR_NEGCOORDS;
    if (x >= brush->width || y >= brush->height) return ERR_COORDSRANGE;
    return FloodFillBrush(brush, x, y, border, fill);
}

int BrushBrushToRGBArray(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int inverted = VmOptInteger(state, 2, 0) != 0;
    qzBrush* brush = CheckBrush(state, id, QZ_FINDBRUSH_NOVECTOR);
    std::vector<uint32_t> pixels;
    int error = ReadBrushARGB(brush, inverted, &pixels);
    if (error) return error;
    VmCreateTable(state, pixels.size() > 0x7FFFFFFE ? 0x7FFFFFFE : (int)pixels.size(), 0);
    for (size_t i = 0; i < pixels.size(); i++) {
        VmPushNumber(state, pixels[i]);
        VmRawSetI(state, -2, (int)i);
    }
    return 1;
}

int BrushRGBArrayToBrush(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    VmCheckTable(state, 2);
    const int32_t width = VmCheckInteger(state, 3);
    const int32_t height = VmCheckInteger(state, 4);
    const int32_t kind = VmOptInteger(state, 5, QZ_TRANSPARENCY_NONE);
    const int inverted = VmOptInteger(state, 6, 0) != 0;
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    if (kind != QZ_TRANSPARENCY_NONE && kind != QZ_TRANSPARENCY_MASK && kind != QZ_TRANSPARENCY_ALPHA)
        return ERR_WRONGUSAGE;
    // Sizes no bitmap can hold are refused before the array is read.
    if ((int64_t)width * height * 4 > QZ_MAX_BITMAP_BYTES) return ERR_BITMAP;
    const int64_t count = (int64_t)width * height;
    // Entries that are absent stay black and transparent (with inverted, AA 255 is transparent).
    std::vector<uint32_t> pixels((size_t)count, inverted ? 0xFF000000u : 0u);
    for (int64_t i = 0; i < count; i++) {
        VmRawGetI(state, 2, (int)i);
        const int type = VmType(state, -1);
        if (type == VM_TNUMBER) pixels[(size_t)i] = (uint32_t)VmNumberToInteger(VmToNumber(state, -1));
        VmPop(state, 1);
        if (type != VM_TNIL && type != VM_TNUMBER) {
            SetErrorArgString("table");
            return ERR_NUMTABLEARG;
        }
    }
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int error = MakeBitmapsFromARGB(pixels.data(), width, height, kind, inverted, &bitmap, &mask, &alpha);
    if (error) return error;
    FreeBrushForReuse(state, id);
    qzBrush* brush = nullptr;
    error = AddBrush(id, QZ_IMAGETYPE_RASTER, width, height, width, 0, nullptr, bitmap,
                     mask ? QZ_BLANKBRUSH_KEY : QZ_NOTRANSPARENCY, mask, alpha, nullptr, &brush);
    if (error) {
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
        return error;
    }
    return PushNewObjectHandle(state, id, &brush->header);
}

int BrushGrabDesktop(VmState* state) {
    VmCheckArgCount(state, 1, 2, 0, 0);
    const qzObjectId id = CheckNumericIdArg(state, 1);
    const qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_GETMONITORINFO;
    int32_t monitorX = 0, monitorY = 0, monitorWidth = 0, monitorHeight = 0;
    int error = GetDisplayMonitorRect(display, &monitorX, &monitorY, &monitorWidth, &monitorHeight);
    if (error) return error;
    int32_t x = 0, y = 0, width = monitorWidth, height = monitorHeight;
    if (VmGetTop(state) >= 2) {
        VmCheckTable(state, 2);
        GetTableFieldInt(state, 2, "x", &x, nullptr);
        GetTableFieldInt(state, 2, "y", &y, nullptr);
        GetTableFieldInt(state, 2, "width", &width, nullptr);
        GetTableFieldInt(state, 2, "height", &height, nullptr);
        if (x < 0 || y < 0) return ERR_WRONGUSAGE;
        if (width > monitorWidth - x) width = monitorWidth - x;
        if (height > monitorHeight - y) height = monitorHeight - y;
        if (width < 1 || height < 1) return ERR_WRONGUSAGE;
    }
    qzBitMap* bitmap = nullptr;
    if (GrabDisplayPixels(display, monitorX + x, monitorY + y, width, height, &bitmap) != 0) return ERR_MEM;
    FreeBrushForReuse(state, id);
    qzBrush* brush = nullptr;
    error = AddBrush(id, QZ_IMAGETYPE_RASTER, width, height, width, 0, nullptr, bitmap, QZ_NOTRANSPARENCY, nullptr,
                     nullptr, nullptr, &brush);
    if (error) {
        DeleteBitMap(bitmap);
        return error;
    }
    return PushNewObjectHandle(state, id, &brush->header);
}
