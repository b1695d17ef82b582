// Anim streams: an animation written frame by frame from brushes into a GIF file or a Motion-JPEG
// AVI file, without an anim object. The file appears under its name when the stream is finished
// (also at shutdown).
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "runtime/object_registry.h"

struct VmState;
struct qzBitMap;
struct qzGifWriter;
struct qzAviWriter;
struct qzAnimSaveOptions;

constexpr int32_t QZ_TYPE_ANIMSTREAM = 52;

struct qzAnimStream {
    qzObjectHeader header;  // type 52, id, object data, next
    int32_t width, height;  // of every frame
    int32_t format;         // QZ_ANMFMT_GIF or QZ_ANMFMT_MJPEG
    int useAlpha;           // frames keep their alpha channels: no transparency colour
    int lastFrameFailed;    // the latest frame could not be written: shutdown drops the file
    qzGifWriter* gif;       // the writer of the format
    qzAviWriter* avi;
};

// How a stream is written: the format and, for AVI, the frame rate (1 to 1000) and JPEG quality.
struct qzAnimStreamOptions {
    int32_t format = 0;
    int32_t quality = 90;
    int32_t fps = 25;
    int useAlpha = 0;
};

qzObjectHeader** AnimStreamListHead();

// Starts a stream of width x height frames into the file (an existing stream of a numeric id is
// finished first). 0 with *out set, ERR_WRONGUSAGE (also for an AVI rate out of range),
// ERR_UNKNOWNANMOUT for a format without a writer, ERR_MEM or the writer's error.
int BeginAnimStream(VmState* state, const qzObjectId& id, const char* file, int32_t width, int32_t height,
                    const qzAnimStreamOptions& options, qzAnimStream** out);
// Appends the brush's bitmaps placed at x, y on a frame filled with the options' transparency
// colour (0 without one). 0, ERR_BITMAP, ERR_MEM or the writer's error; the stream stays open
// either way, and remembers whether this frame failed.
int WriteAnimStreamFrame(qzAnimStream* stream, const qzBitMap* bitmap, const qzBitMap* mask, const qzBitMap* alpha,
                         int32_t width, int32_t height, int32_t x, int32_t y, int32_t delay,
                         const qzAnimSaveOptions& options);
// Finishes the stream of the identifier: the file is completed and the stream freed. 0,
// ERR_FINDARRAY, ERR_FINDANIMSTREAM (number as error argument), or the writer's error.
int FinishAnimStream(VmState* state, const qzObjectId& id);
// Finishes every stream (shutdown); a stream whose latest frame failed, which the script left
// neither to write further frames nor to finish, is dropped with its file.
void FinishAllAnimStreams(VmState* state);
