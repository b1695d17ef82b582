// The brush commands that make, save, copy and free brushes.
#include <string>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_kinds.h"
#include "display/layer_list.h"
#include "display/layer_source.h"
#include "display/object_types.h"
#include "display/picture.h"
#include "gfx/bitmap_lock.h"
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
constexpr int32_t kLayer = 22;
// The transparent colour of a copy whose source has a mask but names no colour.
constexpr int32_t kMaskKey = 0x123456;

// What a copy is made of: a region of the source's bitmaps.
struct LinkSource {
    const qzBitMap* bitmap = nullptr;
    const qzBitMap* mask = nullptr;
    const qzBitMap* alpha = nullptr;
    int32_t x = 0, y = 0, width = 0, height = 0;
    int32_t key = QZ_NOTRANSPARENCY;
};

void TakeObjectBitmaps(const qzObjectBitmaps& bitmaps, LinkSource* out) {
    out->bitmap = bitmaps.bitmap;
    out->mask = bitmaps.mask;
    out->alpha = bitmaps.alpha;
    out->width = bitmaps.width;
    out->height = bitmaps.height;
    out->key = bitmaps.keyColor >= 0 ? bitmaps.keyColor : bitmaps.mask ? kMaskKey : QZ_NOTRANSPARENCY;
}

// The current content of a layer of the current background picture (by position or name): its
// filtered or resized copy, its own bitmaps, or the part of the object it shows; for an anim
// layer the given 1-based frame.
int LayerContent(VmState* state, int index, int32_t frame, LinkSource* out) {
    int error = CheckLayerOutput(CurrentDisplay());
    if (error) return error;
    const qzBGPic* pic = CurrentBGPic();
    qzLayer* layer = GetLayerByPosition(pic, CheckLayerArg(state, index, pic));
    if (!layer) return ERR_LAYERRANGE;
    qzLayerState* st = layer->display;
    qzLayerSource source;
    error = GetLayerSourceBitmaps(state, layer, st, 1, 1, layer->type == QZ_LAYER_ANIM ? frame - 1 : -1, &source);
    if (error) return error;
    out->bitmap = source.trio.bitmap;
    out->mask = source.trio.mask;
    out->alpha = source.trio.alpha;
    const qzLayerShownRect shown = LayerShownRect(layer, st, source);
    out->x = shown.x;
    out->y = shown.y;
    out->width = shown.width;
    out->height = shown.height;
    out->key = out->mask ? kMaskKey : QZ_NOTRANSPARENCY;
    return 0;
}

// The test-and-copy body shared by GetBrushLink and ConvertToBrush; the source object is the
// argument at sourceIndex.
int LinkToBrush(VmState* state, const qzObjectId& dest, int32_t type, int sourceIndex, int32_t frame) {
    LinkSource from;
    // A frame decoded for this copy goes when the copy is made.
    qzObjectBitmaps bitmaps;
    qzObjectBitmapsRelease release(&bitmaps);
    if (type == kLayer) {
        int error = LayerContent(state, sourceIndex, frame, &from);
        if (error) return error;
    } else {
        const qzObjectId source = CheckObjectIdArg(state, sourceIndex);
        if (type == kBrush && !IsAutoObjectId(dest) && SameObjectId(dest, source)) return ERR_WRONGUSAGE;
        if (type == kBrush) {
            qzBrush* brush = CheckBrush(state, source, QZ_FINDBRUSH_NOVECTOR);
            from.bitmap = brush->bitmap;
            from.mask = brush->mask;
            from.alpha = brush->alpha;
            from.width = brush->width;
            from.height = brush->height;
            from.key = brush->transparentcolor;
        } else if (type == kBGPic) {
            qzBGPic* pic = CheckBGPic(state, source, 0);
            from.bitmap = pic->scaledBitmap ? pic->scaledBitmap : pic->bitmap;
            from.mask = pic->scaledBitmap ? pic->scaledMask : pic->mask;
            from.alpha = pic->scaledBitmap ? pic->scaledAlpha : pic->alpha;
            from.width = pic->scaledWidth > 0 ? pic->scaledWidth : pic->width;
            from.height = pic->scaledHeight > 0 ? pic->scaledHeight : pic->height;
            from.key = pic->transparentColor;
        } else if (type == QZ_TYPE_TEXT_OBJECT || type == QZ_TYPE_SPRITE_OBJECT || type == QZ_TYPE_ANIM_OBJECT) {
            int error = GetObjectBitmaps(state, type, source, frame - 1, &bitmaps);
            if (error) return error;
            TakeObjectBitmaps(bitmaps, &from);
        } else {
            return ERR_WRONGUSAGE;
        }
    }
    if (!from.bitmap) return ERR_WRONGUSAGE;
    qzBitMap *copy = nullptr, *copyMask = nullptr, *copyAlpha = nullptr;
    int error = CopyBitMap(from.bitmap, from.mask, from.alpha, from.x, from.y, from.width, from.height, 0, &copy,
                           from.mask ? &copyMask : nullptr, from.alpha ? &copyAlpha : nullptr);
    if (error) return error;
    FreeBrushForReuse(state, dest);
    qzBrush* brush = nullptr;
    error = AddBrush(dest, QZ_IMAGETYPE_RASTER, from.width, from.height, from.width, 0, nullptr, copy, from.key,
                     copyMask, copyAlpha, nullptr, &brush);
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
    const qzObjectId id = CheckNumericIdArg(state, 1);
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
    const qzObjectId id = CheckNumericIdArg(state, 1);
    std::string file = ResolveLinkedFileArg(state, 2, 0, nullptr);
    qzLoadBrushOptions options;
    std::string loaders, adapters, cache, cachedLoad;
    if (VmType(state, 3) == VM_TTABLE) {
        int32_t transparency = -1;
        int found = 0;
        GetTableFieldInt(state, 3, "transparency", &transparency, &found);
        options.transparentColor = found ? (transparency & 0xFFFFFF) : -1;
        GetTableFieldFlag(state, 3, "loadalpha", &options.loadAlpha, nullptr);
        GetTableFieldFlag(state, 3, "loadtransparency", &options.loadTransparency, nullptr);
        GetTableFieldInt(state, 3, "globalalpha", &options.globalAlpha, nullptr);
        GetTableFieldInt(state, 3, "x", &options.x, nullptr);
        GetTableFieldInt(state, 3, "y", &options.y, nullptr);
        GetTableFieldInt(state, 3, "width", &options.width, nullptr);
        GetTableFieldInt(state, 3, "height", &options.height, nullptr);
        GetTableFieldFlag(state, 3, "hardware", &options.hardware, nullptr);
        GetTableFieldIntOrPercent(state, 3, "scalewidth", 1, &options.scaleWidth, nullptr);
        GetTableFieldIntOrPercent(state, 3, "scaleheight", 1, &options.scaleHeight, nullptr);
        GetTableFieldFlag(state, 3, "smoothscale", &options.smooth, nullptr);
        GetTableFieldObjectId(state, 3, "display", &options.display, nullptr);
        if (GetTableFieldString(state, 3, "loader", nullptr, 0, &loaders, nullptr))
            options.loaderList = loaders.c_str();
        if (GetTableFieldString(state, 3, "adapter", nullptr, 0, &adapters, nullptr))
            options.adapterList = adapters.c_str();
        if (GetTableFieldString(state, 3, "cache", nullptr, 0, &cache, nullptr) && !cache.empty())
            options.cache = cache.c_str();
        if (GetTableFieldString(state, 3, "cachedload", nullptr, 0, &cachedLoad, nullptr) && !cachedLoad.empty())
            options.cachedLoad = cachedLoad.c_str();
        GetTableFieldFlag(state, 3, "cachealpha", &options.cacheAlpha, nullptr);
    } else if (VmGetTop(state) >= 3 && VmType(state, 3) != VM_TNIL) {
        const int32_t key = VmCheckInteger(state, 3);
        options.transparentColor = key == -1 ? -1 : (key & 0xFFFFFF);
        // The five-argument form hands its two numbers to the image loader as they are.
        if (VmGetTop(state) >= 4) {
            options.loaderKeyColor = VmCheckInteger(state, 4);
            options.loaderMode = VmCheckInteger(state, 5);
        }
    }
    options.file = file.c_str();
    qzBrush* brush = nullptr;
    int error = LoadBrushFile(state, id, options, &brush);
    if (error) return error;
    return PushNewObjectHandle(state, id, &brush->header);
}

int BrushSaveBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
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
    const qzObjectId source = CheckObjectIdArg(state, 1);
    const qzObjectId dest = CheckNumericIdArg(state, 2);
    int32_t hardware = -1;
    qzObjectId display = {0, nullptr};
    int displayGiven = 0;
    if (VmGetTop(state) >= 3) {
        VmCheckTable(state, 3);
        GetTableFieldBool(state, 3, "hardware", &hardware, nullptr);
        GetTableFieldObjectId(state, 3, "display", &display, &displayGiven);
    }
    if (!IsAutoObjectId(dest) && SameObjectId(source, dest)) return ERR_WRONGUSAGE;
    qzBrush* brush = CheckBrush(state, source, QZ_FINDBRUSH_HARDWARE);
    if (brush->hardware && hardware == 0) return ERR_WRONGUSAGE;
    const int asHardware = brush->hardware || hardware == 1;
    if (asHardware && !displayGiven) display = brush->hardware ? brush->displayid : qzObjectId{0, nullptr};
    // The copy is made before the destination number is freed: the source may be that brush.
    const qzObjectId automatic = {0, QZ_AUTO_ID};
    qzBrush* copy = nullptr;
    const int error = CopyBrushRecord(state, brush, automatic, asHardware, asHardware ? &display : nullptr, &copy);
    if (error) return error;
    if (asHardware && copy->hardware && !copy->display) copy->display = CurrentDisplay();
    FreeBrushForReuse(state, dest);
    if (IsAutoObjectId(dest)) return PushNewObjectHandle(state, dest, &copy->header);
    copy->header.id = dest;
    return 0;
}

int BrushGetBrushLink(VmState* state) {
    const qzObjectId dest = CheckNumericIdArg(state, 1);
    const int32_t type = VmCheckInteger(state, 2);
    const int32_t frame = VmOptInteger(state, 4, 1);
    return LinkToBrush(state, dest, type, 3, frame);
}

int BrushConvertToBrush(VmState* state) {
    const int32_t type = VmCheckInteger(state, 1);
    const qzObjectId dest = CheckNumericIdArg(state, 3);
    const int32_t frame = VmOptInteger(state, 4, 1);
    return LinkToBrush(state, dest, type, 2, frame);
}

int BrushFreeBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return DeleteBrush(state, id, 1);
}
