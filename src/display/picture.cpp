// Background pictures: the list, making, finding, deleting and scaling pictures, painting fills.
#include "display/picture.h"

#include <new>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_links.h"
#include "display/display_pixels.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/layer_redraw.h"
#include "display/layer_system.h"
#include "display/object_types.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/copy_bitmap.h"
#include "gfx/gradient.h"
#include "gfx/image_source.h"
#include "gfx/scale_bitmap.h"
#include "platform/os_alloc.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "vm/vm.h"

namespace {

qzObjectHeader* pictureList = nullptr;

qzBGPic* Next(const qzBGPic* pic) { return reinterpret_cast<qzBGPic*>(pic->header.next); }

// Deletes a bitmap unless it is one of the two that stay.
void DeleteUnlessShared(qzBitMap* bitmap, const qzBitMap* keep1, const qzBitMap* keep2, int kind) {
    if (!bitmap || bitmap == keep1 || bitmap == keep2) return;
    if (kind == BITMAP_MASK)
        DeleteMaskBitMap(bitmap);
    else if (kind == BITMAP_ALPHA)
        DeleteAlphaBitMap(bitmap);
    else
        DeleteBitMap(bitmap);
}

void DestroyBGPic(VmState* state, qzBGPic* pic) {
    const qzDisplayLinks& links = DisplayLinks();
    FreePictureLayers(state, pic);
    links.freePictureButtons(state, pic);
    links.freeOnScreenSprites(state, pic);
    FreeWorkCopies(pic);
    DeleteBitMap(pic->origBitmap);
    DeleteMaskBitMap(pic->origMask);
    DeleteAlphaBitMap(pic->origAlpha);
    if (pic->source) FreeImageSource(pic->source);
    delete[] pic->palette;
    DeleteBitMap(pic->fill.texture);
    if (state) FreeObjectDataList(state, pic->header.data);
    delete pic;
}

// Paints width x height ARGB pixels (rowLength a row) with a fill's colour or gradient (textures
// go through a bitmap).
void FillPixels(uint32_t* pixels, int32_t width, int32_t height, int32_t rowLength, const qzPictureFill& fill) {
    if (fill.style == QZ_FILLGRADIENT) {
        qzGradientJob job{};
        job.pixels = pixels;
        job.bytesPerPixel = 4;
        job.pixelFormat = PIXFMT_ARGB32;
        job.width = width;
        job.height = height;
        job.rowLength = rowLength;
        job.gradient = &fill.gradient;
        RenderGradient(&job);
        for (int32_t y = 0; y < height; y++)
            for (int32_t x = 0; x < width; x++) pixels[size_t(y) * rowLength + x] |= 0xFF000000u;
        return;
    }
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++) pixels[size_t(y) * rowLength + x] = 0xFF000000u | (fill.color & 0xFFFFFF);
}

}  // namespace

void FreeWorkCopies(qzBGPic* pic) {
    DeleteUnlessShared(pic->bitmap, pic->scaledBitmap, pic->origBitmap, BITMAP_COLOR);
    DeleteUnlessShared(pic->mask, pic->scaledMask, pic->origMask, BITMAP_MASK);
    DeleteUnlessShared(pic->alpha, pic->scaledAlpha, pic->origAlpha, BITMAP_ALPHA);
    DeleteUnlessShared(pic->scaledBitmap, pic->origBitmap, nullptr, BITMAP_COLOR);
    DeleteUnlessShared(pic->scaledMask, pic->origMask, nullptr, BITMAP_MASK);
    DeleteUnlessShared(pic->scaledAlpha, pic->origAlpha, nullptr, BITMAP_ALPHA);
    pic->bitmap = pic->scaledBitmap = pic->origBitmap;
    pic->mask = pic->scaledMask = pic->origMask;
    pic->alpha = pic->scaledAlpha = pic->origAlpha;
}

// 1 when drawing is redirected into the picture: its bitmap, mask or alpha channel is selected
// (a select record names it), or layers are being inserted into it.
int IsPictureSelectedForDrawing(const qzBGPic* pic) {
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) {
        if (d->outputKind == QZ_TYPE_DISPLAY && !d->doubleBufferSelectParked) continue;
        if (d->outputKind == QZ_TYPE_BGPIC && CurrentBGPic() == pic && CurrentDisplay() == d) return 1;
        const qzBGPic* record = d->selectRecord;
        if (record && record->selectTarget[0] == QZ_TYPE_BGPIC && SameObjectId(record->header.id, pic->header.id))
            return 1;
    }
    return 0;
}

qzBGPic* FirstBGPic() { return reinterpret_cast<qzBGPic*>(pictureList); }
qzObjectHeader** BGPicListHead() { return &pictureList; }

int AddBGPic(const qzObjectId& id, int32_t type, int32_t width, int32_t height, qzImageSource* source, qzBitMap* bitmap,
             qzBitMap* mask, qzBitMap* alpha, const qzPictureFill* fill, qzBGPic** out) {
    *out = nullptr;
    qzBGPic* pic = new (std::nothrow) qzBGPic();
    if (!pic) {
        if (source) FreeImageSource(source);
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
        return ERR_MEM;
    }
    InitDoubleList(&pic->layers);
    pic->type = type;
    pic->source = source;
    pic->bitmap = pic->scaledBitmap = pic->origBitmap = bitmap;
    pic->mask = pic->scaledMask = pic->origMask = mask;
    pic->alpha = pic->scaledAlpha = pic->origAlpha = alpha;
    pic->width = pic->scaledWidth = pic->origWidth = width;
    pic->height = pic->scaledHeight = pic->origHeight = height;
    pic->sourceStride = source ? source->rowLength : 0;
    if (fill) {
        pic->fill = *fill;
        pic->fill.texture = nullptr;
    }
    AddObjectToList(&pictureList, &pic->header, QZ_TYPE_BGPIC, id);
    *out = pic;
    return 0;
}

int CreateBlankBGPic(const qzObjectId& id, int32_t width, int32_t height, uint32_t color, qzBGPic** out) {
    *out = nullptr;
    qzBitMap* bitmap = NewDisplayBitmap(width, height);
    if (!bitmap) return ERR_BITMAP;
    FillBitmapColor(bitmap, 0, 0, width, height, color);
    qzPictureFill fill;
    fill.style = QZ_FILLCOLOR;
    fill.color = color;
    fill.valid = 1;
    return AddBGPic(id, QZ_PICTURE_RASTER, width, height, nullptr, bitmap, nullptr, nullptr, &fill, out);
}

int FindBGPic(VmState* state, const qzObjectId& id, qzBGPic** out, int flags) {
    *out = nullptr;
    for (qzBGPic* pic = FirstBGPic(); pic; pic = Next(pic)) {
        if (!SameObjectId(pic->header.id, id)) continue;
        if (pic->layerOnly && !(flags & QZ_FINDPIC_LAYERONLY)) continue;
        if (flags & QZ_FINDPIC_MODIFY) {
            if (pic->locked) return ERR_LOCKEDOBJ;
            if (!(flags & QZ_FINDPIC_NODETACH)) {
                int error = DisplayLinks().detachPictureFromLayers(state, pic);
                if (error) return error;
            }
        }
        *out = pic;
        return 0;
    }
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDBGPIC;
}

qzBGPic* CheckBGPic(VmState* state, const qzObjectId& id, int flags) {
    qzBGPic* pic = nullptr;
    if (int error = FindBGPic(state, id, &pic, flags)) VmFailCommand(state, error);
    return pic;
}

qzBGPic* CheckBGPic(VmState* state, int index, int flags) {
    return CheckBGPic(state, CheckObjectIdArg(state, index), flags);
}

int DeleteBGPic(VmState* state, const qzObjectId& id, int reportNotFound) {
    qzBGPic* pic = nullptr;
    // Looked up without side effects first: the selection check needs the record.
    for (qzBGPic* p = FirstBGPic(); p; p = Next(p))
        if (!p->layerOnly && SameObjectId(p->header.id, id)) pic = p;
    if (pic && IsPictureSelectedForDrawing(pic)) return ERR_MODIFYABGPIC;
    int error = FindBGPic(state, id, &pic, QZ_FINDPIC_MODIFY | QZ_FINDPIC_NODETACH);
    if (error) return (reportNotFound || error == ERR_LOCKEDOBJ) ? error : 0;
    if (LayersShowPicture(pic) || IsPictureOnAnyDisplay(pic)) {
        // Still shown: the picture gives up its identifier and lives on until nothing shows it;
        // the layers that show it follow it to its handle.
        RetargetLayersToObject(QZ_LAYER_BGPICPART, pic->header.id, pic);
        pic->header.id = {0, pic};
        pic->layerOnly = 1;
        return 0;
    }
    RemoveObjectFromList(&pictureList, &pic->header);
    if (CurrentBGPic() == pic) SetCurrentBGPic(nullptr);
    DestroyBGPic(state, pic);
    return 0;
}

void FreeOrphanedBGPics(VmState* state) {
    qzBGPic* pic = FirstBGPic();
    while (pic) {
        qzBGPic* next = Next(pic);
        // Any display that shows the picture keeps it, not only the current one: another display's
        // picture must not go away under it.
        if (pic->layerOnly && !LayersShowPicture(pic) && !IsPictureOnAnyDisplay(pic)) {
            RemoveObjectFromList(&pictureList, &pic->header);
            if (CurrentBGPic() == pic) SetCurrentBGPic(nullptr);
            DestroyBGPic(state, pic);
        }
        pic = next;
    }
}

void FreeAllBGPics(VmState* state) {
    qzBGPic* pic = FirstBGPic();
    pictureList = nullptr;
    while (pic) {
        qzBGPic* next = Next(pic);
        pic->header.next = nullptr;
        DestroyBGPic(state, pic);
        pic = next;
    }
    SetCurrentBGPic(nullptr);
}

int RenderBackfill(VmState* state, qzPictureFill* fill, qzBitMap* target, int32_t width, int32_t height,
                   qzImageSource* source, int keepTexture) {
    if (fill->style == QZ_FILLTEXTURE) {
        if (!keepTexture || !fill->texture) {
            qzObjectBitmaps brush;
            int error = GetObjectBitmaps(state, QZ_TYPE_BRUSH_OBJECT, fill->textureBrush, 0, &brush);
            if (error) return error;
            qzBitMap* copy = nullptr;
            error =
                CopyBitMap(brush.bitmap, nullptr, nullptr, 0, 0, brush.width, brush.height, 0, &copy, nullptr, nullptr);
            if (error) return error;
            DeleteBitMap(fill->texture);
            fill->texture = copy;
            fill->textureWidth = brush.width;
            fill->textureHeight = brush.height;
        }
        if (target) {
            TileBitmap(target, width, height, fill->texture, fill->textureWidth, fill->textureHeight, fill->textureX,
                       fill->textureY);
        } else if (source) {
            qzBitMap* tiles = NewDisplayBitmap(width, height);
            if (!tiles) return ERR_BITMAP;
            TileBitmap(tiles, width, height, fill->texture, fill->textureWidth, fill->textureHeight, fill->textureX,
                       fill->textureY);
            uint32_t* argb = ReadBitMapPixels(tiles, 0, 0, width, height, LOCKF_READONLY);
            DeleteBitMap(tiles);
            if (!argb) return ERR_MEM;
            const int32_t w = width < source->width ? width : source->width;
            const int32_t h = height < source->height ? height : source->height;
            for (int32_t y = 0; y < h; y++)
                for (int32_t x = 0; x < w; x++)
                    source->pixels[size_t(y) * source->rowLength + x] = 0xFF000000u | argb[size_t(y) * width + x];
            OsFree(argb);
        }
        return 0;
    }
    if (source) {
        FillPixels(source->pixels, width < source->width ? width : source->width,
                   height < source->height ? height : source->height, source->rowLength, *fill);
        return 0;
    }
    if (fill->style == QZ_FILLGRADIENT)
        FillBitmapGradient(target, 0, 0, width, height, fill->gradient);
    else
        FillBitmapColor(target, 0, 0, width, height, fill->color);
    return 0;
}

int BuildBGPicBitmap(VmState* state, const uint32_t* pixels, qzPictureFill* fill, int32_t transparentColor,
                     int32_t width, int32_t height, int32_t stride, qzBitMap** outBitmap, qzBitMap** outMask,
                     qzBitMap** inoutAlpha) {
    *outBitmap = nullptr;
    if (outMask) *outMask = nullptr;
    const bool transparent = transparentColor != -1 || (inoutAlpha && *inoutAlpha);
    if (pixels && (!fill || fill->style == QZ_FILLNONE || !transparent)) {
        uint32_t key = transparentColor == -1 ? QZ_NO_KEY_COLOR : uint32_t(transparentColor);
        return CreateBitMapFromARGB(pixels, key, width, height, stride, 0, 0, nullptr, outBitmap, outMask, nullptr);
    }
    if (!fill) return ERR_BITMAP;
    // The fill alone, or a transparent picture flattened onto its fill: opaque, without mask or
    // alpha channel.
    qzImageSource* canvas = AllocImageSource(width, height);
    if (!canvas) return ERR_BITMAP;
    int error = RenderBackfill(state, fill, nullptr, width, height, canvas, 1);
    if (error) {
        FreeImageSource(canvas);
        return error;
    }
    if (pixels) {
        const uint8_t* alphaRow = nullptr;
        qzLockInfo alphaLock{};
        bool alphaLocked = inoutAlpha && *inoutAlpha && LockBitMapPixels(*inoutAlpha, LOCKF_READONLY, &alphaLock);
        for (int32_t y = 0; y < height; y++) {
            if (alphaLocked) alphaRow = static_cast<const uint8_t*>(alphaLock.pixels) + size_t(y) * alphaLock.rowLength;
            for (int32_t x = 0; x < width; x++) {
                uint32_t p = pixels[size_t(y) * stride + x];
                uint32_t& c = canvas->pixels[size_t(y) * canvas->rowLength + x];
                if (transparentColor != -1 && (p & 0xFFFFFF) == (uint32_t(transparentColor) & 0xFFFFFF)) continue;
                uint32_t a = alphaRow ? alphaRow[x] : 255;
                uint32_t out = 0xFF000000u;
                for (int shift = 0; shift < 24; shift += 8) {
                    uint32_t s = (p >> shift) & 255, d = (c >> shift) & 255;
                    out |= ((s * a + d * (255 - a) + 127) / 255) << shift;
                }
                c = out;
            }
        }
        if (alphaLocked) UnlockBitMapPixels(&alphaLock);
        if (inoutAlpha && *inoutAlpha) {
            DeleteAlphaBitMap(*inoutAlpha);
            *inoutAlpha = nullptr;
        }
    }
    error = CreateBitMapFromARGB(canvas->pixels, QZ_NO_KEY_COLOR, width, height, canvas->rowLength, 0, 0, nullptr,
                                 outBitmap, nullptr, nullptr);
    FreeImageSource(canvas);
    return error;
}

int ScaleBGPicBitmaps(VmState* state, const qzBGPic* pic, int32_t newWidth, int32_t newHeight, int smooth,
                      qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha) {
    *outBitmap = nullptr;
    if (outMask) *outMask = nullptr;
    if (outAlpha) *outAlpha = nullptr;
    if (pic->type == QZ_PICTURE_GENERATED && !pic->source && pic->fill.valid) {
        // Gradients and textures are drawn again at the new size rather than stretched (unless
        // something was drawn into the picture since).
        qzPictureFill fill = pic->fill;
        fill.texture = pic->fill.texture;
        int error =
            BuildBGPicBitmap(state, nullptr, &fill, -1, newWidth, newHeight, newWidth, outBitmap, nullptr, nullptr);
        if (fill.texture != pic->fill.texture) DeleteBitMap(fill.texture);
        return error;
    }
    return ScaleBitMap(pic->origBitmap, pic->origMask, pic->origAlpha, 0, 0, nullptr, pic->origWidth, pic->origHeight,
                       newWidth, newHeight, smooth, outBitmap, outMask, outAlpha);
}

int ScaleBGPicCore(VmState* state, qzBGPic* pic, int32_t width, int32_t height, int smooth) {
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    if (width == pic->scaledWidth && height == pic->scaledHeight) return 0;
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int error = ScaleBGPicBitmaps(state, pic, width, height, smooth, &bitmap, &mask, &alpha);
    if (error) return error;
    FreeWorkCopies(pic);
    if (width == pic->origWidth && height == pic->origHeight && pic->type != QZ_PICTURE_GENERATED) {
        // Back to the original size: the original serves again.
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
    } else {
        pic->bitmap = pic->scaledBitmap = bitmap;
        pic->mask = pic->scaledMask = mask;
        pic->alpha = pic->scaledAlpha = alpha;
    }
    pic->width = pic->scaledWidth = width;
    pic->height = pic->scaledHeight = height;
    return 0;
}

int RecreateBGPicBitmaps(VmState* state) {
    for (qzBGPic* pic = FirstBGPic(); pic; pic = Next(pic)) {
        if (!pic->source || !GetImageSourcePixels(pic->source)) continue;
        int32_t width = 0, height = 0;
        GetImageSourceSize(pic->source, &width, &height);
        // The alpha channel made at load goes in (a picture flattened onto its fill loses it), the
        // fill and key colour are the load's.
        qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = pic->origAlpha;
        const bool withFill = pic->fill.style != QZ_FILLNONE;
        const bool transparent = pic->transparentColor != -1 || alpha;
        const int32_t stride = pic->sourceStride > 0 ? pic->sourceStride : width;
        int error = BuildBGPicBitmap(state, GetImageSourcePixels(pic->source), withFill ? &pic->fill : nullptr,
                                     pic->transparentColor, width, height, stride, &bitmap, &mask, &alpha);
        if (error) {
            if (!alpha && pic->origAlpha) {
                // Freed on the way: no copy may point at it any more.
                if (pic->alpha == pic->origAlpha) pic->alpha = nullptr;
                if (pic->scaledAlpha == pic->origAlpha) pic->scaledAlpha = nullptr;
                pic->origAlpha = nullptr;
            }
            return error;
        }
        FreeWorkCopies(pic);
        DeleteBitMap(pic->origBitmap);
        DeleteMaskBitMap(pic->origMask);
        pic->bitmap = pic->scaledBitmap = pic->origBitmap = bitmap;
        pic->mask = pic->scaledMask = pic->origMask = mask;
        pic->alpha = pic->scaledAlpha = pic->origAlpha = alpha;
        pic->origWidth = width;
        pic->origHeight = height;
        // Flattened onto its fill, the picture is opaque.
        if (withFill && transparent && !mask && !alpha) pic->transparentColor = -1;
        // A vector picture keeps its source to be rendered again at other sizes.
        if (!pic->source->isVector) {
            FreeImageSource(pic->source);
            pic->source = nullptr;
        }
        if (pic->scaledWidth != pic->origWidth || pic->scaledHeight != pic->origHeight) {
            // The size the picture had is kept.
            int32_t w = pic->scaledWidth, h = pic->scaledHeight;
            pic->scaledWidth = pic->width = pic->origWidth;
            pic->scaledHeight = pic->height = pic->origHeight;
            error = ScaleBGPicCore(state, pic, w, h, 0);
            if (error) return error;
        }
    }
    return 0;
}

void UnscaleBGPic(qzBGPic* pic) {
    DeleteUnlessShared(pic->bitmap, pic->scaledBitmap, pic->origBitmap, BITMAP_COLOR);
    DeleteUnlessShared(pic->mask, pic->scaledMask, pic->origMask, BITMAP_MASK);
    DeleteUnlessShared(pic->alpha, pic->scaledAlpha, pic->origAlpha, BITMAP_ALPHA);
    pic->bitmap = pic->scaledBitmap;
    pic->mask = pic->scaledMask;
    pic->alpha = pic->scaledAlpha;
    pic->width = pic->scaledWidth;
    pic->height = pic->scaledHeight;
}

int SetDisplayBGPicBuffers(qzDisplay* display, qzBGPic* pic) {
    if (!pic || !pic->bitmap) return ERR_BITMAP;
    qzBitMap* buffer = NewDisplayBitmap(pic->width, pic->height);
    qzBitMap* second = buffer ? NewDisplayBitmap(pic->width, pic->height) : nullptr;
    if (!second) {
        DeleteBitMap(buffer);
        return ERR_BITMAP;
    }
    // Both start as the picture: layers drawn straight onto the display blend into the second.
    CopyBitmapRect(pic->bitmap, 0, 0, buffer, 0, 0, pic->width, pic->height);
    CopyBitmapRect(pic->bitmap, 0, 0, second, 0, 0, pic->width, pic->height);
    DeleteBitMap(display->displayBuffer);
    DeleteBitMap(display->secondBuffer);
    display->displayBuffer = buffer;
    display->secondBuffer = second;
    NotifyAdapterBufferSize(display, pic->width, pic->height);
    return 0;
}

qzBitMap* GetBGPicDisplayBitmap(VmState* state, qzDisplay* display, qzBGPic* pic) {
    const qzDisplayLinks& links = DisplayLinks();
    if (!PictureHasLayers(pic) && !links.pictureHasOnScreenSprites(pic)) return display->displayBuffer;
    RedrawPictureLayers(state, display, pic, display->secondBuffer, 0, 0, pic->width, pic->height, 0);
    return display->secondBuffer;
}

int GetBGPicImageWithLayers(VmState* state, qzBGPic* pic, int32_t x, int32_t y, int32_t width, int32_t height,
                            qzBitMap** outBitmap, int* outOwned) {
    *outBitmap = nullptr;
    *outOwned = 0;
    qzDisplay* display = CurrentDisplay();
    const bool layerScaled = display && display->layerScale && display->scaledWidth && display->scaledHeight;
    qzBitMap* target = nullptr;
    if (display && display->bgpic == pic && !layerScaled && display->secondBuffer) {
        target = display->secondBuffer;
    } else {
        const int32_t w = pic->scaledWidth > 0 ? pic->scaledWidth : pic->width;
        const int32_t h = pic->scaledHeight > 0 ? pic->scaledHeight : pic->height;
        target = NewDisplayBitmap(w, h);
        if (!target) return ERR_BITMAP;
        *outOwned = 1;
    }
    // A display that scales its layers shows them at its own size: the picture is composed at its own.
    const int flags = layerScaled && display->bgpic == pic ? QZ_REDRAW_PICTURERESOLUTION : 0;
    int error = RedrawPictureLayers(state, display, pic, target, x, y, width, height, flags);
    if (error) {
        if (*outOwned) DeleteBitMap(target);
        *outOwned = 0;
        return error;
    }
    *outBitmap = target;
    return 0;
}

int AutoScaleBGPic(VmState* state, qzDisplay* display, qzBGPic* pic, int setBuffers) {
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int error = ScaleBGPicBitmaps(state, pic, display->scaledWidth, display->scaledHeight, display->smoothScale,
                                  &bitmap, &mask, &alpha);
    if (error) return error;
    DeleteUnlessShared(pic->bitmap, pic->scaledBitmap, pic->origBitmap, BITMAP_COLOR);
    DeleteUnlessShared(pic->mask, pic->scaledMask, pic->origMask, BITMAP_MASK);
    DeleteUnlessShared(pic->alpha, pic->scaledAlpha, pic->origAlpha, BITMAP_ALPHA);
    pic->bitmap = bitmap;
    pic->mask = mask;
    pic->alpha = alpha;
    pic->width = display->scaledWidth;
    pic->height = display->scaledHeight;
    display->scaleX = double(display->scaledWidth) / pic->scaledWidth;
    display->scaleY = double(display->scaledHeight) / pic->scaledHeight;
    if (setBuffers) {
        error = SetDisplayBGPicBuffers(display, pic);
        if (error) return error;
    }
    return DisplayLinks().rescaleAllLayers(state, pic);
}

int ComputeAutoScaleFactors(VmState* state, qzDisplay* display, qzBGPic* pic, qzBitMap** outMask, qzBitMap** outAlpha) {
    if (outMask) *outMask = nullptr;
    if (outAlpha) *outAlpha = nullptr;
    const bool scaled = display->scaledWidth && display->scaledHeight;
    if (display->layerScale && scaled) {
        if (pic->width == display->scaledWidth && pic->height == display->scaledHeight) {
            display->scaleX = double(display->scaledWidth) / pic->scaledWidth;
            display->scaleY = double(display->scaledHeight) / pic->scaledHeight;
            return 0;
        }
        return AutoScaleBGPic(state, display, pic, 0);
    }
    if (display->autoScale && scaled) {
        display->scaleX = double(display->scaledWidth) / pic->scaledWidth;
        display->scaleY = double(display->scaledHeight) / pic->scaledHeight;
        if ((pic->mask || pic->alpha) && (outMask || outAlpha)) {
            qzBitMap* colour = nullptr;
            qzBitMap* mask = nullptr;
            qzBitMap* alpha = nullptr;
            int error = ScaleBitMap(pic->bitmap, pic->mask, pic->alpha, 0, 0, nullptr, pic->width, pic->height,
                                    display->scaledWidth, display->scaledHeight, display->smoothScale, &colour,
                                    outMask ? &mask : nullptr, outAlpha ? &alpha : nullptr);
            if (error) return error;
            DeleteBitMap(colour);
            if (outMask) *outMask = mask;
            if (outAlpha) *outAlpha = alpha;
        }
        return 0;
    }
    display->scaleX = display->scaleY = 1.0;
    return 0;
}
