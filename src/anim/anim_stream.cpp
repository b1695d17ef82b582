#include "anim/anim_stream.h"

#include <memory>
#include <new>

#include "anim/anim_save.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "image/gif_writer.h"
#include "platform/os_alloc.h"
#include "runtime/object_data.h"

namespace {

qzObjectHeader* streamList = nullptr;

int CloseStream(VmState* state, qzAnimStream* stream) {
    RemoveObjectFromList(&streamList, &stream->header);
    int error = FinishGifWriter(stream->writer);
    FreeObjectDataList(state, stream->header.data);
    delete stream;
    return error;
}

}  // namespace

qzObjectHeader** AnimStreamListHead() { return &streamList; }

int BeginAnimStream(VmState* state, const qzObjectId& id, const char* file, int32_t width, int32_t height,
                    qzAnimStream** out) {
    *out = nullptr;
    if (!file || !*file || width < 1 || height < 1) return ERR_WRONGUSAGE;
    if (!IsAutoObjectId(id) && !id.pointer) FinishAnimStream(state, id);
    qzAnimStream* stream = new (std::nothrow) qzAnimStream{};
    if (!stream) return ERR_MEM;
    int error = BeginGifWriter(file, width, height, 0, &stream->writer);
    if (error) {
        delete stream;
        return error;
    }
    stream->width = width;
    stream->height = height;
    AddObjectToList(&streamList, &stream->header, QZ_TYPE_ANIMSTREAM, id);
    *out = stream;
    return 0;
}

int WriteAnimStreamFrame(qzAnimStream* stream, const qzBitMap* bitmap, const qzBitMap* mask, const qzBitMap* alpha,
                         int32_t width, int32_t height, int32_t x, int32_t y, int32_t delay,
                         const qzAnimSaveOptions& options) {
    std::unique_ptr<uint8_t, void (*)(void*)> indices(
        static_cast<uint8_t*>(OsAlloc((size_t)stream->width * (size_t)stream->height, 0)), OsFree);
    if (!indices) return ERR_MEM;
    // A brush of the stream's size at 0, 0 is the frame itself.
    if (x == 0 && y == 0 && width == stream->width && height == stream->height)
        return WriteGifBitMapFrame(stream->writer, bitmap, mask, alpha, width, height, delay, indices.get(), options);
    std::unique_ptr<qzBitMap, void (*)(qzBitMap*)> frame(CreateBitMap(stream->width, stream->height, 0, nullptr),
                                                         DeleteBitMap);
    if (!frame) return ERR_BITMAP;
    const uint32_t fill = options.transparentColor >= 0 ? (uint32_t)options.transparentColor : 0;
    FillBitMapRect(frame.get(), 0, 0, stream->width, stream->height, fill);
    int sx = 0, sy = 0, dx = x, dy = y, w = width, h = height;
    ClipBlitRect(nullptr, &sx, &sy, &dx, &dy, &w, &h, width, height, stream->width, stream->height, 0);
    if (w > 0 && h > 0) {
        if (alpha)
            BlitBitMapAlpha(bitmap, sx, sy, frame.get(), dx, dy, w, h, alpha);
        else if (mask)
            BlitBitMapMasked(bitmap, sx, sy, frame.get(), dx, dy, w, h, mask);
        else
            BlitBitMap(bitmap, sx, sy, frame.get(), dx, dy, w, h);
    }
    return WriteGifBitMapFrame(stream->writer, frame.get(), nullptr, nullptr, stream->width, stream->height, delay,
                               indices.get(), options);
}

int FinishAnimStream(VmState* state, const qzObjectId& id) {
    qzObjectHeader* h = FindObjectInList(streamList, id);
    if (!h) {
        if (id.pointer) return ERR_FINDARRAY;
        SetErrorArgIndex(id.number);
        return ERR_FINDANIMSTREAM;
    }
    return CloseStream(state, reinterpret_cast<qzAnimStream*>(h));
}

void FinishAllAnimStreams(VmState* state) {
    while (streamList) CloseStream(state, reinterpret_cast<qzAnimStream*>(streamList));
}
