// The brush commands that make, save, copy and free brushes.
#include <string>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/picture.h"
#include "gfx/object_bitmaps.h"
#include "gfx/copy_bitmap.h"
#include "image/brush.h"
#include "image/brush_load.h"
#include "image/image_save.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "runtime/arg_check.h"
#include "runtime/linked_file.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Source kinds of GetBrushLink and ConvertToBrush.
constexpr int32_t kBGPic = 1;
constexpr int32_t kBrush = 3;
constexpr int32_t kSprite = 32;

// The test-and-copy body shared by GetBrushLink and ConvertToBrush.
int LinkToBrush(VmState* state, const qzObjectId& dest, int32_t type, const qzObjectId& source, int32_t frame) {
    if (type == kBrush && !IsAutoObjectId(dest) && SameObjectId(dest, source)) return ERR_WRONGUSAGE;
    const qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int32_t width = 0, height = 0, key = QZ_NOTRANSPARENCY;
    if (type == kBrush) {
        qzBrush* brush = nullptr;
        int error = FindBrush(state, source, &brush, QZ_FINDBRUSH_NOVECTOR);
        if (error) return error;
        bitmap = brush->bitmap;
        mask = brush->mask;
        alpha = brush->alpha;
        width = brush->width;
        height = brush->height;
        key = brush->transparentcolor;
    } else if (type == kBGPic) {
        qzBGPic* pic = nullptr;
        int error = FindBGPic(state, source, &pic, 0);
        if (error) return error;
        bitmap = pic->scaledBitmap ? pic->scaledBitmap : pic->bitmap;
        mask = pic->scaledBitmap ? pic->scaledMask : pic->mask;
        alpha = pic->scaledBitmap ? pic->scaledAlpha : pic->alpha;
        width = pic->scaledWidth > 0 ? pic->scaledWidth : pic->width;
        height = pic->scaledHeight > 0 ? pic->scaledHeight : pic->height;
        key = pic->transparentColor;
    } else if (type == kSprite) {
        qzObjectBitmaps frameBitmaps;
        int error = GetSpriteFrameBitmaps(state, source, frame, &frameBitmaps);
        if (error) return error;
        bitmap = frameBitmaps.bitmap;
        mask = frameBitmaps.mask;
        alpha = frameBitmaps.alpha;
        width = frameBitmaps.width;
        height = frameBitmaps.height;
        if (mask) key = 0x123456;
    } else {
        return ERR_WRONGUSAGE;
    }
    if (!bitmap) return ERR_WRONGUSAGE;
    qzBitMap *copy = nullptr, *copyMask = nullptr, *copyAlpha = nullptr;
    int error = CopyBitMap(bitmap, mask, alpha, 0, 0, width, height, 0, &copy, mask ? &copyMask : nullptr,
                           alpha ? &copyAlpha : nullptr);
    if (error) return error;
    FreeBrushForReuse(state, dest);
    qzBrush* brush = nullptr;
    error = AddBrush(dest, QZ_IMAGETYPE_RASTER, width, height, width, 0, nullptr, copy, key, copyMask, copyAlpha,
                     nullptr, &brush);
    if (error) {
        DeleteBitMap(copy);
        DeleteMaskBitMap(copyMask);
        DeleteAlphaBitMap(copyAlpha);
        return error;
    }
    return PushNewObjectHandle(state, dest, &brush->header);
}

}  // namespace

int BrushCreateBrush(VmState* state) {
    VmCheckArgCount(state, 3, 5, 0, 0);
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    const int32_t width = VmCheckInteger(state, 2);
    const int32_t height = VmCheckInteger(state, 3);
    const uint32_t color = (uint32_t)VmOptInteger(state, 4, 0);
    int32_t alpha = 0, mask = 0, clear = 0, hardware = 0;
    qzObjectId display = {0, nullptr};
    if (VmGetTop(state) >= 5) {
        VmCheckTable(state, 5);
        GetTableFieldBool(state, 5, "alphachannel", &alpha, nullptr);
        GetTableFieldBool(state, 5, "mask", &mask, nullptr);
        GetTableFieldBool(state, 5, "clear", &clear, nullptr);
        GetTableFieldBool(state, 5, "hardware", &hardware, nullptr);
        GetTableFieldObjectId(state, 5, "display", &display, nullptr);
    }
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    if (alpha && mask) return ERR_WRONGUSAGE;
    FreeBrushForReuse(state, id);
    qzBrush* brush = nullptr;
    int error = CreateBlankBrush(id, width, height, color, mask, alpha, clear, 0, hardware, &display, &brush);
    if (error) return error;
    if (brush->hardware) brush->display = CurrentDisplay();
    return PushNewObjectHandle(state, id, &brush->header);
}

int BrushLoadBrush(VmState* state) {
    VmCheckArgCount(state, 2, 5, 0, 0);
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    std::string file = ResolveLinkedFileArg(state, 2, 0, nullptr);
    qzLoadBrushOptions options;
    std::string loaders, adapters;
    if (VmType(state, 3) == VM_TTABLE) {
        int32_t transparency = -1, value = 0;
        int found = 0;
        GetTableFieldInt(state, 3, "transparency", &transparency, &found);
        options.transparentColor = found ? (transparency & 0xFFFFFF) : -1;
        GetTableFieldBool(state, 3, "loadalpha", &value, nullptr) && (options.loadAlpha = value != 0);
        value = 0;
        GetTableFieldBool(state, 3, "loadtransparency", &value, nullptr) && (options.loadTransparency = value != 0);
        GetTableFieldInt(state, 3, "globalalpha", &options.globalAlpha, nullptr);
        GetTableFieldInt(state, 3, "x", &options.x, nullptr);
        GetTableFieldInt(state, 3, "y", &options.y, nullptr);
        GetTableFieldInt(state, 3, "width", &options.width, nullptr);
        GetTableFieldInt(state, 3, "height", &options.height, nullptr);
        int32_t flag = 0;
        if (GetTableFieldBool(state, 3, "hardware", &flag, nullptr)) options.hardware = flag != 0;
        GetTableFieldIntOrPercent(state, 3, "scalewidth", 1, &options.scaleWidth, nullptr);
        GetTableFieldIntOrPercent(state, 3, "scaleheight", 1, &options.scaleHeight, nullptr);
        flag = 0;
        if (GetTableFieldBool(state, 3, "smoothscale", &flag, nullptr)) options.smooth = flag != 0;
        GetTableFieldObjectId(state, 3, "display", &options.display, nullptr);
        if (GetTableFieldString(state, 3, "loader", nullptr, 0, &loaders, nullptr)) options.loaderList = loaders.c_str();
        if (GetTableFieldString(state, 3, "adapter", nullptr, 0, &adapters, nullptr))
            options.adapterList = adapters.c_str();
    } else if (VmGetTop(state) >= 3 && VmType(state, 3) != VM_TNIL) {
        const int32_t key = VmCheckInteger(state, 3);
        options.transparentColor = key == -1 ? -1 : (key & 0xFFFFFF);
    }
    options.file = file.c_str();
    qzBrush* brush = nullptr;
    int error = LoadBrushFile(state, id, options, &brush);
    if (error) return error;
    return PushNewObjectHandle(state, id, &brush->header);
}

int BrushSaveBrush(VmState* state) {
    VmCheckArgCount(state, 2, 5, 0, 0);
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    std::string file = VmCheckString(state, 2);
    const int32_t color = VmOptInteger(state, 3, 0);
    const int32_t format = VmOptInteger(state, 4, IMGFMT_BMP);
    int quality = 90, colours = 256, dither = 0;
    ReadSaveQualityOptions(state, 5, &quality, &colours, &dither);
    qzBrush* brush = nullptr;
    int error = FindBrush(state, id, &brush, QZ_FINDBRUSH_HARDWARE | QZ_FINDBRUSH_NOVECTOR);
    if (error == ERR_BRUSHTYPE) error = FindBrush(state, id, &brush, QZ_FINDBRUSH_HARDWARE);
    if (error) return error;
    return SaveBitMapAsImage(format, brush->bitmap, brush->width, brush->height, file.c_str(), brush->mask,
                             color & 0xFFFFFF, brush->alpha, quality, colours, dither, brush->hardware);
}

int BrushCopyBrush(VmState* state) {
    VmCheckArgCount(state, 2, 3, 0, 0);
    qzObjectId source, dest;
    GetObjectIdArg(&source, state, 1);
    GetNumericIdArg(&dest, state, 2);
    int32_t hardware = -1;
    qzObjectId display = {0, nullptr};
    int displayGiven = 0;
    if (VmGetTop(state) >= 3) {
        VmCheckTable(state, 3);
        GetTableFieldBool(state, 3, "hardware", &hardware, nullptr);
        GetTableFieldObjectId(state, 3, "display", &display, &displayGiven);
    }
    if (!IsAutoObjectId(dest) && SameObjectId(source, dest)) return ERR_WRONGUSAGE;
    qzBrush* brush = nullptr;
    int error = FindBrush(state, source, &brush, QZ_FINDBRUSH_HARDWARE);
    if (error) return error;
    if (brush->hardware && hardware == 0) return ERR_WRONGUSAGE;
    const int asHardware = brush->hardware || hardware == 1;
    if (asHardware && !displayGiven) display = brush->hardware ? brush->displayid : qzObjectId{0, nullptr};
    // The copy is made before the destination number is freed: the source may be that brush.
    const qzObjectId automatic = {0, QZ_AUTO_ID};
    qzBrush* copy = nullptr;
    error = CopyBrushRecord(state, brush, automatic, asHardware, asHardware ? &display : nullptr, &copy);
    if (error) return error;
    if (asHardware && copy->hardware && !copy->display) copy->display = CurrentDisplay();
    FreeBrushForReuse(state, dest);
    if (IsAutoObjectId(dest)) return PushNewObjectHandle(state, dest, &copy->header);
    copy->header.id = dest;
    return 0;
}

int BrushGetBrushLink(VmState* state) {
    VmCheckArgCount(state, 3, 4, 0, 0);
    qzObjectId dest, source;
    GetNumericIdArg(&dest, state, 1);
    const int32_t type = VmCheckInteger(state, 2);
    GetObjectIdArg(&source, state, 3);
    const int32_t frame = VmOptInteger(state, 4, 1);
    return LinkToBrush(state, dest, type, source, frame);
}

int BrushConvertToBrush(VmState* state) {
    VmCheckArgCount(state, 3, 4, 0, 0);
    const int32_t type = VmCheckInteger(state, 1);
    qzObjectId source, dest;
    GetObjectIdArg(&source, state, 2);
    GetNumericIdArg(&dest, state, 3);
    const int32_t frame = VmOptInteger(state, 4, 1);
    return LinkToBrush(state, dest, type, source, frame);
}

int BrushFreeBrush(VmState* state) {
    VmCheckArgCount(state, 1, 1, 0, 0);
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    return DeleteBrush(state, id, 1);
}
