// Copies of background pictures: CopyBGPicRecord, and the private copy that layers showing a
// picture get before the picture changes.
#include <cstring>
#include <memory>
#include <new>

#include "base/error_codes.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/picture.h"
#include "display/picture_layers.h"
#include "gfx/bitmap.h"
#include "gfx/copy_bitmap.h"
#include "gfx/image_source.h"
#include "runtime/object_data.h"

namespace {

// The bitmaps of one copy, freed unless handed over.
struct Trio {
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    ~Trio() {
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
    }
    int CopyOf(const qzBitMap* b, const qzBitMap* m, const qzBitMap* a, int32_t width, int32_t height) {
        return CopyBitMap(b, m, a, 0, 0, width, height, 0, &bitmap, m ? &mask : nullptr, a ? &alpha : nullptr);
    }
    void Release() { bitmap = mask = alpha = nullptr; }
};

int CopyForLayers(VmState* state, void* object, const qzObjectId& newId, void** outCopy) {
    qzBGPic* copy = nullptr;
    int error = CopyBGPicRecord(state, static_cast<const qzBGPic*>(object), newId, &copy);
    *outCopy = copy;
    return error;
}

}  // namespace

int CopyBGPicRecord(VmState* state, const qzBGPic* pic, const qzObjectId& newId, qzBGPic** out) {
    *out = nullptr;
    if (!pic->origBitmap) return ERR_BITMAP;
    Trio orig, scaled, current;
    int error = orig.CopyOf(pic->origBitmap, pic->origMask, pic->origAlpha, pic->origWidth, pic->origHeight);
    const bool scaledSeparate = pic->scaledBitmap && pic->scaledBitmap != pic->origBitmap;
    const bool currentSeparate = pic->bitmap && pic->bitmap != pic->scaledBitmap && pic->bitmap != pic->origBitmap;
    if (!error && scaledSeparate)
        error =
            scaled.CopyOf(pic->scaledBitmap, pic->scaledMask, pic->scaledAlpha, pic->scaledWidth, pic->scaledHeight);
    if (!error && currentSeparate) error = current.CopyOf(pic->bitmap, pic->mask, pic->alpha, pic->width, pic->height);
    if (error) return error;
    // The texture and the palette are owned here until the copy takes them: copying the object
    // data can raise the VM's out-of-memory error through this frame.
    Trio texture;
    if (pic->fill.style == QZ_FILLTEXTURE && pic->fill.texture) {
        error = CopyBitMap(pic->fill.texture, nullptr, nullptr, 0, 0, pic->fill.textureWidth, pic->fill.textureHeight,
                           0, &texture.bitmap, nullptr, nullptr);
        if (error) return error;
    }
    std::unique_ptr<uint32_t[]> palette;
    if (pic->palette) {
        palette.reset(new (std::nothrow) uint32_t[256]);
        if (!palette) return ERR_MEM;
        std::memcpy(palette.get(), pic->palette, 256 * sizeof(uint32_t));
    }
    qzObjectDataNode* data = nullptr;
    if (state) error = CopyObjectDataList(state, pic->header.data, &data);
    qzBGPic* copy = nullptr;
    if (!error) {
        qzImageSource* source = pic->type == QZ_PICTURE_GENERATED ? pic->source : nullptr;
        if (source) RetainImageSource(source);
        error = AddBGPic(newId, pic->type, pic->origWidth, pic->origHeight, source, orig.bitmap, orig.mask, orig.alpha,
                         &pic->fill, &copy);
        orig.Release();
    }
    if (error) {
        if (state) FreeObjectDataList(state, data);
        return error;
    }
    if (scaledSeparate) {
        copy->scaledBitmap = copy->bitmap = scaled.bitmap;
        copy->scaledMask = copy->mask = scaled.mask;
        copy->scaledAlpha = copy->alpha = scaled.alpha;
        scaled.Release();
    }
    if (currentSeparate) {
        copy->bitmap = current.bitmap;
        copy->mask = current.mask;
        copy->alpha = current.alpha;
        current.Release();
    }
    copy->scaledWidth = pic->scaledWidth;
    copy->scaledHeight = pic->scaledHeight;
    copy->width = pic->width;
    copy->height = pic->height;
    copy->sourceStride = pic->sourceStride;
    copy->transparentColor = pic->transparentColor;
    copy->loader = pic->loader;
    copy->loaderInfo = pic->loaderInfo;
    copy->palette = palette.release();
    copy->fill.texture = texture.bitmap;
    texture.Release();
    copy->header.data = data;
    *out = copy;
    return 0;
}

int DetachPictureFromLayers(VmState* state, qzBGPic* pic) {
    void* copy = nullptr;
    int error = DetachObjectFromLayers(state, QZ_LAYER_BGPICPART, pic->header.id, CopyForLayers, pic, &copy);
    if (copy) static_cast<qzBGPic*>(copy)->layerOnly = 1;
    return error;
}
