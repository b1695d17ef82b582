#include "anim/anim_stream.h"

#include <memory>
#include <new>

#include "anim/anim_save.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "image/avi_writer.h"
#include "image/gif_writer.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "runtime/object_data.h"

namespace {

qzObjectHeader* streamList = nullptr;

struct StreamOwner {
    qzAnimStream* stream;
    ~StreamOwner() {
        if (!stream) return;
        AbortGifWriter(stream->gif);
        AbortAviWriter(stream->avi);
        delete stream;
    }
};

// Unlinks and frees the stream; its file is completed, or dropped when `complete` is false.
int CloseStream(VmState* state, qzAnimStream* stream, bool complete) {
    RemoveObjectFromList(&streamList, &stream->header);
    qzObjectDataNode* data = stream->header.data;
    stream->header.data = nullptr;
    qzGifWriter* gif = stream->gif;
    qzAviWriter* avi = stream->avi;
    delete stream;
    FreeObjectDataList(state, data);
    if (!complete) {
        AbortGifWriter(gif);
        AbortAviWriter(avi);
        return 0;
    }
    // Each writer is freed by its finish, also when that runs out of memory.
    if (gif) return FinishGifWriter(gif);
    return avi ? FinishAviWriter(avi) : 0;
}

}  // namespace

qzObjectHeader** AnimStreamListHead() { return &streamList; }

int BeginAnimStream(VmState* state, const qzObjectId& id, const char* file, int32_t width, int32_t height,
                    const qzAnimStreamOptions& options, qzAnimStream** out) {
    *out = nullptr;
    if (!file || !*file || width < 1 || height < 1) return ERR_WRONGUSAGE;
    if (!IsAutoObjectId(id) && !id.pointer) FinishAnimStream(state, id);
    // Other formats come from anim-saver plugins, and none offers one.
    if (options.format != QZ_ANMFMT_GIF && options.format != QZ_ANMFMT_MJPEG) return ERR_UNKNOWNANMOUT;
    StreamOwner owner{new (std::nothrow) qzAnimStream{}};
    qzAnimStream* stream = owner.stream;
    if (!stream) return ERR_MEM;
    stream->width = width;
    stream->height = height;
    stream->format = options.format;
    stream->useAlpha = options.useAlpha ? 1 : 0;
    int error = 0;
    if (options.format == QZ_ANMFMT_GIF)
        error = BeginGifWriter(file, width, height, 0, &stream->gif);
    else
        error = OpenAviWriter(file, options.fps, width, height, options.quality, GetDisplayFileName(file).c_str(),
                              kAviFirstPartLimit, &stream->avi);
    if (error) return error;
    owner.stream = nullptr;
    AddObjectToList(&streamList, &stream->header, QZ_TYPE_ANIMSTREAM, id);
    *out = stream;
    return 0;
}

namespace {

int WriteFrame(qzAnimStream* stream, const qzBitMap* bitmap, const qzBitMap* mask, const qzBitMap* alpha, int32_t width,
               int32_t height, int32_t x, int32_t y, int32_t delay, const qzAnimSaveOptions& options) {
    std::unique_ptr<uint8_t, void (*)(void*)> indices(nullptr, OsFree);
    if (stream->gif) {
        indices.reset(static_cast<uint8_t*>(OsAlloc((size_t)stream->width * (size_t)stream->height, 0)));
        if (!indices) return ERR_MEM;
    }
    auto write = [&](const qzBitMap* b, const qzBitMap* m, const qzBitMap* a) {
        if (stream->avi) return WriteAviBitMapFrame(stream->avi, b, stream->width, stream->height);
        return WriteGifBitMapFrame(stream->gif, b, m, a, stream->width, stream->height, delay, indices.get(), options);
    };
    // A brush of the stream's size at 0, 0 is the frame itself.
    if (x == 0 && y == 0 && width == stream->width && height == stream->height) return write(bitmap, mask, alpha);
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
    return write(frame.get(), nullptr, nullptr);
}

}  // namespace

int WriteAnimStreamFrame(qzAnimStream* stream, const qzBitMap* bitmap, const qzBitMap* mask, const qzBitMap* alpha,
                         int32_t width, int32_t height, int32_t x, int32_t y, int32_t delay,
                         const qzAnimSaveOptions& options) {
    // The flag stays set when the write runs out of memory on the way.
    stream->lastFrameFailed = 1;
    const int error = WriteFrame(stream, bitmap, mask, alpha, width, height, x, y, delay, options);
    stream->lastFrameFailed = error ? 1 : 0;
    return error;
}

int FinishAnimStream(VmState* state, const qzObjectId& id) {
    qzObjectHeader* h = FindObjectInList(streamList, id);
    if (!h) {
        if (id.pointer) return ERR_FINDARRAY;
        SetErrorArgIndex(id.number);
        return ERR_FINDANIMSTREAM;
    }
    return CloseStream(state, reinterpret_cast<qzAnimStream*>(h), true);
}

void FinishAllAnimStreams(VmState* state) {
    while (streamList) {
        auto* stream = reinterpret_cast<qzAnimStream*>(streamList);
        CloseStream(state, stream, !stream->lastFrameFailed);
    }
}
