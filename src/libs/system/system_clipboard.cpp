// The clipboard commands of the `system` library: SetClipboard, GetClipboard, PeekClipboard and
// ClearClipboard. Text goes to the clipboard as it is; a brush goes as its pixels with its alpha
// channel or mask; a picture read back becomes a new brush.
#include <cstdint>
#include <memory>
#include <string>

#include "base/error_codes.h"
#include "display/object_types.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "image/brush.h"
#include "libs/system/system.h"
#include "platform/host/backend_clipboard.h"
#include "platform/os_alloc.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The brush's pixels with its alpha channel or mask as their alpha.
int BrushPixels(VmState* state, const qzObjectId& id, qzBackendClipboardData* data) {
    qzObjectBitmaps b;
    qzObjectBitmapsRelease release(&b);
    int error = GetObjectBitmaps(state, QZ_TYPE_BRUSH_OBJECT, id, 0, &b);
    if (error) return error;
    // The pixels go also when copying them runs out of memory and unwinds through here.
    std::unique_ptr<uint32_t, void (*)(void*)> pixels(
        ReadBitMapPixelsMasked(b.bitmap, 0, 0, b.width, b.height, b.mask, b.alpha, QZ_NO_KEY_COLOR, 1, 0), OsFree);
    if (!pixels) return ERR_MEM;
    data->width = b.width;
    data->height = b.height;
    data->pixels.assign(pixels.get(), pixels.get() + size_t(b.width) * size_t(b.height));
    data->hasAlpha = b.mask || b.alpha ? 1 : 0;
    return 0;
}

// A new brush with an automatic handle from the clipboard's picture, with an alpha channel when
// the picture has one.
int MakeClipboardBrush(const qzBackendClipboardData& data, qzObjectId* handle) {
    qzBitMap* bitmap = nullptr;
    int error = CreateBitMapFromARGB(data.pixels.data(), QZ_NO_KEY_COLOR, data.width, data.height, data.width, 0,
                                     data.hasAlpha ? 2 : 0, nullptr, &bitmap, nullptr, nullptr);
    if (error) return error;
    qzBitMap* alpha = nullptr;
    if (data.hasAlpha) {
        alpha = CreateAlphaBitMapFromData(data.pixels.data(), data.width, data.height, data.width);
        if (!alpha) {
            DeleteBitMap(bitmap);
            return ERR_ALLOCALPHA;
        }
    }
    qzBrush* brush = nullptr;
    const qzObjectId automatic = {0, QZ_AUTO_ID};
    error = AddBrush(automatic, QZ_IMAGETYPE_RASTER, data.width, data.height, data.width, 0, nullptr, bitmap,
                     QZ_NOTRANSPARENCY, nullptr, alpha, nullptr, &brush);
    if (error) {
        DeleteBitMap(bitmap);
        DeleteAlphaBitMap(alpha);
        return error;
    }
    *handle = brush->header.id;
    return 0;
}

}  // namespace

int SysSetClipboard(VmState* state) {
    int32_t type = VmCheckInteger(state, 1);
    qzBackendClipboardData data;
    if (type == QZ_CLIPBOARD_TEXT) {
        size_t length = 0;
        const char* text = VmCheckString(state, 2, &length);
        data.text.assign(text, length);
    } else if (type == QZ_CLIPBOARD_IMAGE) {
        const qzObjectId id = CheckObjectIdArg(state, 2);
        int error = BrushPixels(state, id, &data);
        if (error) return error;
    } else {
        return ERR_WRONGUSAGE;
    }
    return MacSetClipboard(type, data);
}

int SysGetClipboard(VmState* state) {
    qzBackendClipboardData data;
    int type = QZ_CLIPBOARD_EMPTY;
    int error = MacGetClipboard(&data, &type);
    if (error) return error;
    VmPushNumber(state, type);
    if (type == QZ_CLIPBOARD_TEXT) {
        VmPushLString(state, data.text.data(), data.text.size());
        return 2;
    }
    if (type != QZ_CLIPBOARD_IMAGE) return 1;
    qzObjectId handle = {0, nullptr};
    error = MakeClipboardBrush(data, &handle);
    if (error) return error;
    VmPushLightUserdata(state, handle.pointer);
    return 2;
}

int SysPeekClipboard(VmState* state) {
    int type = QZ_CLIPBOARD_EMPTY;
    int error = MacPeekClipboard(&type);
    if (error) return error;
    VmPushNumber(state, type);
    return 1;
}

int SysClearClipboard(VmState* state) { return MacClearClipboard(); }
