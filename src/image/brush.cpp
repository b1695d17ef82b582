#include "image/brush.h"

#include <new>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/copy_bitmap.h"
#include "gfx/image_source.h"
#include "image/output_select.h"
#include "platform/os_alloc.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "vm/vm.h"

namespace {

qzObjectHeader* brushList = nullptr;
int LayersShow(const qzObjectId& id) { return FindLayerUsingObject(QZ_LAYER_BRUSH, id, nullptr, nullptr, nullptr); }

// Every layer that shows the brush `from` shows the brush record `to` from now on.
void Retarget(const qzObjectId& from, qzBrush* to) { RetargetLayersToObject(QZ_LAYER_BRUSH, from, to); }

bool HardwareAllowed() { return AdapterOffersVideoBitMaps() && !IsVideoRecording(); }

void DeleteBrushBitmaps(qzBrush* brush) {
    DeleteBitMap(brush->bitmap);
    DeleteMaskBitMap(brush->mask);
    DeleteAlphaBitMap(brush->alpha);
    brush->bitmap = brush->mask = brush->alpha = nullptr;
}

void DestroyBrush(VmState* state, qzBrush* brush) {
    if (brush->source) FreeImageSource(brush->source);
    DeleteBrushBitmaps(brush);
    OsFree(brush->savedpixels);
    FreeObjectDataList(state, brush->header.data);
    delete brush;
}

// Unlinks and destroys every brush for which the test answers true.
template <typename Test>
void DestroyBrushesWhere(VmState* state, Test test) {
    qzObjectHeader* h = brushList;
    while (h) {
        qzObjectHeader* next = h->next;
        qzBrush* brush = reinterpret_cast<qzBrush*>(h);
        if (test(brush)) {
            RemoveObjectFromList(&brushList, h);
            DestroyBrush(state, brush);
        }
        h = next;
    }
}

// Gives the layers that show the brush a private copy, so that what they show stays as it is.
int DetachBrushFromLayers(VmState* state, qzBrush* brush) {
    if (!LayersShow(brush->header.id)) return 0;
    qzBrush* copy = nullptr;
    const qzObjectId automatic = {0, QZ_AUTO_ID};
    int error = CopyBrushRecord(state, brush, automatic, brush->hardware, &brush->displayid, &copy);
    if (error) return error;
    copy->layeronly = 1;
    Retarget(brush->header.id, copy);
    return 0;
}

}  // namespace

qzBrush* FirstBrush() { return reinterpret_cast<qzBrush*>(brushList); }
qzObjectHeader** BrushListHead() { return &brushList; }

int LayersShowBrush(const qzBrush* brush) { return LayersShow(brush->header.id); }

int FindBrush(VmState* state, const qzObjectId& id, qzBrush** out, int flags) {
    *out = nullptr;
    for (qzBrush* brush = FirstBrush(); brush; brush = NextBrush(brush)) {
        if (!SameObjectId(brush->header.id, id)) continue;
        if (brush->layeronly && !(flags & QZ_FINDBRUSH_LAYERONLY)) continue;
        if ((flags & QZ_FINDBRUSH_NOVECTOR) && brush->type == QZ_IMAGETYPE_VECTOR) return ERR_BRUSHTYPE;
        if (brush->hardware && !(flags & QZ_FINDBRUSH_HARDWARE)) return ERR_HWBRUSH;
        if (!brush->bitmap && brush->source && !brush->savedpixels) {
            int error = PrepareBrushBitmaps(brush);
            if (error) return error;
        }
        if (flags & QZ_FINDBRUSH_MODIFY) {
            if (brush->locked) return ERR_LOCKEDOBJ;
            if (!(flags & QZ_FINDBRUSH_NODETACH)) {
                int error = DetachBrushFromLayers(state, brush);
                if (error) return error;
            }
        }
        *out = brush;
        return 0;
    }
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDBRUSH;
}

qzBrush* CheckBrush(VmState* state, const qzObjectId& id, int flags) {
    qzBrush* brush = nullptr;
    if (int error = FindBrush(state, id, &brush, flags)) VmFailCommand(state, error);
    return brush;
}

qzBrush* CheckBrush(VmState* state, int index, int flags) {
    qzObjectId id;
    GetObjectIdArg(&id, state, index);
    return CheckBrush(state, id, flags);
}

int AddBrush(const qzObjectId& id, int32_t type, int32_t width, int32_t height, int32_t sourcestride,
             int32_t transformedvector, qzImageSource* source, qzBitMap* bitmap, int32_t transparentcolor,
             qzBitMap* mask, qzBitMap* alpha, const qzObjectId* displayid, qzBrush** out) {
    qzBrush* brush = new (std::nothrow) qzBrush{};
    if (!brush) return ERR_MEM;
    brush->type = type;
    brush->width = width;
    brush->height = height;
    brush->sourcestride = sourcestride;
    brush->transformedvector = transformedvector;
    brush->source = source;
    brush->bitmap = bitmap;
    brush->transparentcolor = transparentcolor;
    brush->mask = mask;
    brush->alpha = alpha;
    brush->srcwidth = width;
    brush->srcheight = height;
    if (displayid) brush->displayid = *displayid;
    AddObjectToList(&brushList, &brush->header, QZ_TYPE_BRUSH_KIND, id);
    if (out) *out = brush;
    return 0;
}

int CreateBlankBrush(const qzObjectId& id, int32_t width, int32_t height, uint32_t color, int withMask, int withAlpha,
                     int clear, int nofill, int hardware, const qzObjectId* displayid, qzBrush** out) {
    const uint32_t rgb = color & 0xFFFFFF;
    if (hardware && HardwareAllowed()) {
        const int64_t count = (int64_t)width * height;
        uint32_t* pixels = static_cast<uint32_t*>(OsAlloc(count * 4, 0));
        if (pixels) {
            const uint32_t value = rgb | (clear ? 0u : 0xFF000000u);
            for (int64_t i = 0; i < count; i++) pixels[i] = value;
            qzBitMap* bitmap = nullptr;
            int error = CreateBitMapFromARGB(pixels, QZ_NO_KEY_COLOR, width, height, width, 1,
                                             (withMask || withAlpha) ? 9 : 8, nullptr, &bitmap, nullptr, nullptr);
            OsFree(pixels);
            if (!error && bitmap) {
                qzBrush* brush = nullptr;
                error = AddBrush(id, QZ_IMAGETYPE_RASTER, width, height, width, 0, nullptr, bitmap, QZ_NOTRANSPARENCY,
                                 nullptr, nullptr, displayid, &brush);
                if (error) {
                    DeleteBitMap(bitmap);
                    return error;
                }
                brush->hardware = 1;
                brush->hardwareflags = (withMask ? QZ_HWBRUSH_MASK : 0) | (withAlpha ? QZ_HWBRUSH_ALPHA : 0);
                if (out) *out = brush;
                return 0;
            }
        }
    }
    qzBitMap* bitmap = CreateBitMap(width, height, 0, nullptr);
    if (!bitmap) return ERR_BITMAP;
    if (!nofill) FillBitMapRect(bitmap, 0, 0, width, height, rgb);
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    int32_t key = QZ_NOTRANSPARENCY;
    if (withMask) {
        mask = CreateMaskBitMap(bitmap, width, height, 1, nullptr, 0);
        if (!mask) {
            DeleteBitMap(bitmap);
            return ERR_ALLOCMASK;
        }
        if (!clear) FillMaskRect(mask, 0, 0, width, height, 0);
        key = QZ_BLANKBRUSH_KEY;
    }
    if (withAlpha) {
        alpha = CreateAlphaBitMap(width, height, 1, nullptr, 0);
        if (!alpha) {
            DeleteBitMap(bitmap);
            DeleteMaskBitMap(mask);
            return ERR_ALLOCALPHA;
        }
        if (!clear) FillAlphaRect(alpha, 0, 0, width, height, 255);
    }
    int error =
        AddBrush(id, QZ_IMAGETYPE_RASTER, width, height, width, 0, nullptr, bitmap, key, mask, alpha, displayid, out);
    if (error) {
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
    }
    return error;
}

int CopyBrushRecord(VmState* state, const qzBrush* brush, const qzObjectId& newId, int hardware,
                    const qzObjectId* displayid, qzBrush** out) {
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    const int asVideo = hardware && HardwareAllowed();
    if (brush->bitmap) {
        int error = CopyBitMap(brush->bitmap, brush->mask, brush->alpha, 0, 0, brush->width, brush->height, asVideo,
                               &bitmap, brush->mask ? &mask : nullptr, brush->alpha ? &alpha : nullptr);
        if (error) return error;
    }
    // The copied bitmaps go on every way out until the new brush takes them, also when copying
    // the data raises an error or runs out of memory and unwinds through here.
    MadeBitMaps made{bitmap, mask, alpha};
    qzObjectDataNode* data = nullptr;
    if (brush->header.data) {
        int error = CopyObjectDataList(state, brush->header.data, &data);
        if (error) return error;
    }
    qzBrush* copy = nullptr;
    int error = AddBrush(newId, brush->type, brush->width, brush->height, brush->sourcestride, brush->transformedvector,
                         brush->source, bitmap, brush->transparentcolor, mask, alpha, displayid, &copy);
    if (error) {
        FreeObjectDataList(state, data);
        return error;
    }
    made.bitmap = made.mask = made.alpha = nullptr;
    if (brush->source) RetainImageSource(brush->source);
    copy->header.data = data;
    copy->loader = brush->loader;
    copy->loaderinfo = brush->loaderinfo;
    copy->srcx = brush->srcx;
    copy->srcy = brush->srcy;
    copy->srcwidth = brush->srcwidth;
    copy->srcheight = brush->srcheight;
    if (asVideo) {
        copy->hardware = 1;
        copy->display = brush->display;
        copy->hardwareflags =
            brush->hardware ? brush->hardwareflags : (mask ? QZ_HWBRUSH_MASK : 0) | (alpha ? QZ_HWBRUSH_ALPHA : 0);
    }
    if (out) *out = copy;
    return 0;
}

int BrushIsSelectedOutput(const qzBrush* brush) { return ObjectIsSelectedOutput(QZ_SELECT_BRUSH, brush->header.id); }

int DeleteBrush(VmState* state, const qzObjectId& id, int reportNotFound) {
    for (qzBrush* b = FirstBrush(); b; b = NextBrush(b))
        if (!b->layeronly && SameObjectId(b->header.id, id) && BrushIsSelectedOutput(b)) return ERR_MODIFYABR;
    qzBrush* brush = nullptr;
    int error = FindBrush(state, id, &brush, QZ_FINDBRUSH_MODIFY | QZ_FINDBRUSH_NODETACH | QZ_FINDBRUSH_HARDWARE);
    if (error) return (reportNotFound || error == ERR_LOCKEDOBJ) ? error : 0;
    if (LayersShow(brush->header.id)) {
        // Still shown: the brush gives up its identifier and lives on until no layer shows it.
        Retarget(brush->header.id, brush);
        brush->header.id = {0, brush};
        brush->layeronly = 1;
        return 0;
    }
    RemoveObjectFromList(&brushList, &brush->header);
    DestroyBrush(state, brush);
    return 0;
}

void FreeBrushForReuse(VmState* state, const qzObjectId& id) {
    if (!IsAutoObjectId(id) && !id.pointer) DeleteBrush(state, id, 0);
}

void ReplaceBrushBitmaps(qzBrush* brush, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int32_t width,
                         int32_t height) {
    DeleteBrushBitmaps(brush);
    brush->bitmap = bitmap;
    brush->mask = mask;
    brush->alpha = alpha;
    brush->width = width;
    brush->height = height;
    if (brush->hardware && !(bitmap && bitmap->video)) {
        brush->hardware = 0;
        brush->hardwareflags = 0;
        brush->displayid = {0, nullptr};
        brush->display = nullptr;
    }
}

void FreeOrphanedBrushes(VmState* state) {
    DestroyBrushesWhere(state, [](const qzBrush* brush) { return brush->layeronly && !LayersShow(brush->header.id); });
}

void FreeAllBrushes(VmState* state) {
    while (brushList) {
        qzBrush* brush = reinterpret_cast<qzBrush*>(brushList);
        brushList = brushList->next;
        DestroyBrush(state, brush);
    }
}

int PrepareBrushBitmaps(qzBrush* brush) {
    if (!brush->source) return 0;
    int sourceWidth = 0, sourceHeight = 0;
    GetImageSourceSize(brush->source, &sourceWidth, &sourceHeight);
    const uint32_t* pixels = GetImageSourcePixels(brush->source);
    if (!pixels || brush->srcx < 0 || brush->srcy < 0 || brush->srcwidth < 1 || brush->srcheight < 1 ||
        (int64_t)brush->srcx + brush->srcwidth > sourceWidth || (int64_t)brush->srcy + brush->srcheight > sourceHeight)
        return ERR_BITMAP;
    const int stride = brush->source->rowLength > 0 ? brush->source->rowLength : sourceWidth;
    const uint32_t* start = pixels + (int64_t)brush->srcy * stride + brush->srcx;
    const uint32_t key = brush->transparentcolor >= 0 ? (uint32_t)brush->transparentcolor : QZ_NO_KEY_COLOR;
    const int hardware = brush->hardware && HardwareAllowed();
    // The alpha channel was made when the brush was loaded; a video bitmap takes the pixels' own.
    const int alphaMode = brush->alpha && brush->source->hasAlpha ? 2 : 0;
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    int error = CreateBitMapFromARGB(start, key, brush->srcwidth, brush->srcheight, stride, hardware, alphaMode,
                                     nullptr, &bitmap, &mask, nullptr);
    if (error) return error;
    brush->bitmap = bitmap;
    brush->mask = mask;
    brush->width = brush->srcwidth;
    brush->height = brush->srcheight;
    if (!hardware || !bitmap->video) {
        brush->hardware = 0;
        brush->hardwareflags = 0;
    } else if (!brush->display) {
        brush->display = CurrentDisplay();
    }
    if (brush->type == QZ_IMAGETYPE_RASTER || brush->hardware) {
        FreeImageSource(brush->source);
        brush->source = nullptr;
        brush->type = QZ_IMAGETYPE_RASTER;
    }
    return 0;
}

int RecreateBrushBitmaps(VmState*, int forceSoftware, int keepHardware) {
    for (qzBrush* brush = FirstBrush(); brush; brush = NextBrush(brush)) {
        if (brush->bitmap || !brush->source) continue;
        if (!HardwareAllowed() || forceSoftware) brush->hardware = 0;
        if (brush->hardware && keepHardware) continue;
        if (brush->hardware)
            brush->hardwareflags =
                (brush->transparentcolor >= 0 ? QZ_HWBRUSH_MASK : 0) | (brush->alpha ? QZ_HWBRUSH_ALPHA : 0);
        int error = PrepareBrushBitmaps(brush);
        if (error) return error;
    }
    return 0;
}

int SaveDisplayHardwareBrushes(qzDisplay* display) {
    for (qzBrush* brush = FirstBrush(); brush; brush = NextBrush(brush)) {
        if (!brush->hardware || !brush->bitmap || brush->display != display) continue;
        uint32_t* pixels = ReadBitMapPixelsMasked(brush->bitmap, 0, 0, brush->width, brush->height, brush->mask,
                                                  brush->alpha, QZ_NO_KEY_COLOR, 1, LOCKF_READONLY);
        if (!pixels) return ERR_MEM;
        OsFree(brush->savedpixels);
        brush->savedpixels = pixels;
        DeleteBrushBitmaps(brush);
        brush->display = nullptr;
    }
    return 0;
}

int RestoreDisplayHardwareBrushes(qzDisplay* display) {
    for (qzBrush* brush = FirstBrush(); brush; brush = NextBrush(brush)) {
        if (!brush->savedpixels) continue;
        const int mode = (brush->hardwareflags & QZ_HWBRUSH_MASK)    ? 3
                         : (brush->hardwareflags & QZ_HWBRUSH_ALPHA) ? 2
                                                                     : 1;
        const uint32_t key = brush->transparentcolor >= 0 ? (uint32_t)brush->transparentcolor : QZ_NO_KEY_COLOR;
        qzBitMap* bitmap = nullptr;
        qzBitMap* mask = nullptr;
        qzBitMap* alpha = nullptr;
        int error = CreateBitMapFromARGB(brush->savedpixels, key, brush->width, brush->height, brush->width,
                                         brush->hardware && HardwareAllowed(), mode, nullptr, &bitmap, &mask, &alpha);
        if (error) return error;
        if ((brush->hardwareflags & QZ_HWBRUSH_ALPHA) && !alpha) {
            alpha = CreateAlphaBitMapFromData(brush->savedpixels, brush->width, brush->height, brush->width);
            if (!alpha) {
                DeleteBitMap(bitmap);
                DeleteMaskBitMap(mask);
                return ERR_ALLOCALPHA;
            }
        }
        brush->bitmap = bitmap;
        brush->mask = mask;
        brush->alpha = alpha;
        brush->display = display;
        if (!bitmap->video) {
            brush->hardware = 0;
            brush->hardwareflags = 0;
            brush->displayid = {0, nullptr};
            brush->display = nullptr;
        }
        OsFree(brush->savedpixels);
        brush->savedpixels = nullptr;
    }
    return 0;
}

void FreeDisplayHardwareBrushes(VmState* state, qzDisplay* display) {
    DestroyBrushesWhere(state,
                        [display](const qzBrush* brush) { return brush->hardware && brush->display == display; });
}

int GetBrushBitmapsById(const qzObjectId& id, qzBitMap** bitmap, qzBitMap** mask, qzBitMap** alpha, int32_t* width,
                        int32_t* height) {
    for (qzBrush* brush = FirstBrush(); brush; brush = NextBrush(brush)) {
        if (brush->layeronly || !SameObjectId(brush->header.id, id)) continue;
        if (brush->hardware || brush->type == QZ_IMAGETYPE_VECTOR) return 0;
        if (!brush->bitmap && PrepareBrushBitmaps(brush)) return 0;
        *bitmap = brush->bitmap;
        *mask = brush->mask;
        *alpha = brush->alpha;
        *width = brush->width;
        *height = brush->height;
        return 1;
    }
    return 0;
}

int GetBrushARGB(VmState* state, const qzObjectId& id, qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha,
                 int32_t* outWidth, int32_t* outHeight) {
    *outBitmap = *outMask = *outAlpha = nullptr;
    qzBrush* brush = nullptr;
    int error = FindBrush(state, id, &brush, QZ_FINDBRUSH_HARDWARE);
    if (error) return error;
    if (brush->type == QZ_IMAGETYPE_VECTOR) return ERR_VECTORBRUSH;
    error = CopyBitMap(brush->bitmap, brush->mask, brush->alpha, 0, 0, brush->width, brush->height, 0, outBitmap,
                       brush->mask ? outMask : nullptr, brush->alpha ? outAlpha : nullptr);
    if (error) return error;
    *outWidth = brush->width;
    *outHeight = brush->height;
    return 0;
}
