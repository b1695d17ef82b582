// Gradient and texture brushes and background pictures.
#include "image/generated_image.h"

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_pixels.h"
#include "display/gradient_tags.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/copy_bitmap.h"
#include "image/brush.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The size a generated picture gets when the script gives none: the current picture's.
void DefaultSize(int32_t* width, int32_t* height) {
    const qzBGPic* pic = CurrentBGPic();
    *width = pic ? pic->scaledWidth : 0;
    *height = pic ? pic->scaledHeight : 0;
}

// Frees the object of a numeric identifier before the identifier is used again.
int FreeForReuse(VmState* state, int32_t kind, const qzObjectId& id) {
    if (IsAutoObjectId(id)) return 0;
    if (kind == QZ_GENERATE_BRUSH) {
        FreeBrushForReuse(state, id);
        return 0;
    }
    return DeleteBGPic(state, id, 0);
}

// Registers the bitmap as a raster brush or a generated picture with the fill (owned from now
// on) and ends the command with the handle of a Nil identifier.
int Register(VmState* state, int32_t kind, const qzObjectId& id, qzBitMap* bitmap, int32_t width, int32_t height,
             const qzPictureFill& fill, qzBitMap* texture) {
    if (kind == QZ_GENERATE_BRUSH) {
        qzBrush* brush = nullptr;
        int error = AddBrush(id, QZ_IMAGETYPE_RASTER, width, height, width, 0, nullptr, bitmap, QZ_NOTRANSPARENCY,
                             nullptr, nullptr, nullptr, &brush);
        if (error) {
            DeleteBitMap(bitmap);
            return error;
        }
        return PushNewObjectHandle(state, id, &brush->header);
    }
    qzBGPic* pic = nullptr;
    int error = AddBGPic(id, QZ_PICTURE_GENERATED, width, height, nullptr, bitmap, nullptr, nullptr, &fill, &pic);
    if (error) {
        DeleteBitMap(texture);
        return error;
    }
    pic->fill.texture = texture;
    return PushNewObjectHandle(state, id, &pic->header);
}

}  // namespace

int CreateGradientObject(VmState* state, int32_t kind) {
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    const int first = kind == QZ_GENERATE_BRUSH ? 4 : 2;  // the style's argument
    qzGradient gradient;
    gradient.style = VmCheckInteger(state, first);
    gradient.startColor = uint32_t(int64_t(VmCheckNumber(state, first + 1)));
    gradient.endColor = uint32_t(int64_t(VmCheckNumber(state, first + 2)));
    int32_t width = 0, height = 0;
    if (kind == QZ_GENERATE_BRUSH) {
        width = VmCheckInteger(state, 2);
        height = VmCheckInteger(state, 3);
    } else {
        DefaultSize(&width, &height);
        width = VmOptInteger(state, 5, width);
        height = VmOptInteger(state, 6, height);
    }
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    int error = ReadGradientTable(state, 7, &gradient);
    if (error) return error;
    error = FreeForReuse(state, kind, id);
    if (error) return error;
    qzBitMap* bitmap = NewDisplayBitmap(width, height);
    if (!bitmap) return ERR_BITMAP;
    FillBitmapGradient(bitmap, 0, 0, width, height, gradient);
    qzPictureFill fill;
    fill.style = QZ_FILLGRADIENT;
    fill.gradient = gradient;
    fill.valid = 1;
    return Register(state, kind, id, bitmap, width, height, fill, nullptr);
}

int CreateTexturedObject(VmState* state, int32_t kind) {
    qzObjectId id, textureId;
    GetNumericIdArg(&id, state, 1);
    GetObjectIdArg(&textureId, state, 2);
    int32_t width = 0, height = 0;
    if (kind == QZ_GENERATE_BRUSH) {
        width = VmCheckInteger(state, 3);
        height = VmCheckInteger(state, 4);
    } else {
        DefaultSize(&width, &height);
        width = VmOptInteger(state, 3, width);
        height = VmOptInteger(state, 4, height);
    }
    const int32_t x = VmOptInteger(state, 5, 0);
    const int32_t y = VmOptInteger(state, 6, 0);
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;
    if (kind == QZ_GENERATE_BRUSH && !IsAutoObjectId(id) && SameObjectId(id, textureId)) return ERR_WRONGUSAGE;
    int error = FreeForReuse(state, kind, id);
    if (error) return error;
    qzBrush* brush = nullptr;
    error = FindBrush(state, textureId, &brush, QZ_FINDBRUSH_NOVECTOR);
    if (error) return error;
    qzBitMap* bitmap = NewDisplayBitmap(width, height);
    if (!bitmap) return ERR_BITMAP;
    TileBitmap(bitmap, width, height, brush->bitmap, brush->width, brush->height, x, y);
    qzPictureFill fill;
    qzBitMap* texture = nullptr;
    if (kind == QZ_GENERATE_BGPIC) {
        // The picture keeps its own copy of the tile, so that it can be drawn again at any size.
        error = CopyBitMap(brush->bitmap, nullptr, nullptr, 0, 0, brush->width, brush->height, 0, &texture, nullptr,
                           nullptr);
        if (error) {
            DeleteBitMap(bitmap);
            return error;
        }
        fill.style = QZ_FILLTEXTURE;
        fill.textureBrush = textureId;
        fill.textureX = x;
        fill.textureY = y;
        fill.textureWidth = brush->width;
        fill.textureHeight = brush->height;
        fill.valid = 1;
    }
    return Register(state, kind, id, bitmap, width, height, fill, texture);
}
