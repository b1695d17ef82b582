#include "video/video_engine.h"

#include <cstring>
#include <new>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "media/sound/audio_channels.h"
#include "platform/os_alloc.h"
#include "platform/os_thread.h"
#include "platform/os_time.h"
#include "platform/vfs.h"

namespace {

constexpr int32_t kAudioBlockFrames = 1024;

// The buffer a 32-bit decoder writes a frame into: a row slack of 256 bytes past each row.
size_t FrameBufferBytes(const qzVideoEngine* e) {
    return (static_cast<size_t>(e->srcWidth) * 4 + 256) * static_cast<size_t>(e->srcHeight);
}

// The seek target of a position in ms: the time itself, or for byte-seeking decoders a byte
// offset estimated from the byte rate, counted from the frame shown (or from the end after the
// end of the file, when the file's size is known).
int64_t SeekTarget(const qzVideoEngine* e, uint32_t ms) {
    if (e->seekMode == QZ_VIDEO_SEEK_TIME) return ms;
    double now = AudioClock(e) * 1000.0;
    double base = e->shownTag.load() == UINT32_MAX ? 0.0 : static_cast<double>(e->shownTag.load());
    if (e->endOfFile.load() && e->fileSize != UINT64_MAX) {
        now = e->duration;
        base = static_cast<double>(e->fileSize);
    }
    double target = base + (static_cast<double>(ms) - now) / 1000.0 * e->byteRate;
    return target < 0 ? 0 : static_cast<int64_t>(target);
}

void ResetPlaybackState(qzVideoEngine* e) {
    e->previousA = e->previousB = -1.0;
    e->shownTag.store(UINT32_MAX);
    e->lastPresentation = -10000.0;
    e->picturesQueued = 0;
    e->readIndex = e->writeIndex = 0;
    e->failuresA = e->failuresB = 0;
    e->shownPresentation.store(0.0);
    e->shownMinusWall.store(0.0);
    e->nextPresentation.store(0.0);
    e->lastDelay = 0.0;
    e->frameTimer = VideoWallTime();
    e->rateFactor.store(1.0f);
    e->accumulator = 0.0f;
    e->endMarked = 0;
    e->paused.store(0);
    e->snapshotRequest.store(0);
    e->seekRequest.store(0);
    e->seekTarget = 0;
    e->seekState.store(QZ_SEEK_IDLE);
    e->audioFlushState.store(0);
    e->showing.store(0);
    e->serverBusy.store(0);
    e->endOfFile.store(0);
    e->ended.store(0);
    e->endPosition.store(0);
    e->pausePositionSet = 0;
    e->storedPosition = 0;
    e->audioPacket = nullptr;
    e->audioPacketDone = 1;
    e->audioRead = e->audioFill = 0;
    e->audioPresentation.store(0.0);
    e->audioUnread.store(0);
    e->refreshCount.store(0);
    e->refreshWake = false;
    e->refreshAcked = false;
}

void InitPacketQueue(qzVideoPacketQueue* q) {
    q->head = q->tail = nullptr;
    q->bytes = 0;
    q->signalled = false;
    q->end = false;
}

// Asks a worker to stop, wakes it where it waits, and joins it.
template <typename Wake>
void StopWorker(qzWorkerThread** worker, Wake wake) {
    if (!*worker) return;
    OsRequestWorkerThreadStop(*worker);
    wake();
    OsFreeWorkerThread(*worker);
    *worker = nullptr;
}

void StopVideoEngine(qzVideoEngine* e, int resetLayer) {
    e->storedPosition = GetVideoPosition(e->handle);
    StopWorker(&e->refreshThread, [e] {
        std::lock_guard<std::mutex> lock(e->refreshMutex);
        e->refreshWake = true;
        e->refreshEvent.notify_all();
    });
    StopWorker(&e->decoderThread, [] {});
    StopWorker(&e->serverThread, [e] {
        {
            std::lock_guard<std::mutex> lock(e->pictureMutex);
            e->pictureEvent.notify_all();
        }
        SignalPacketQueue(&e->videoQueue);
    });
    StopWorker(&e->audioThread, [e] { SignalPacketQueue(&e->audioQueue); });
    CloseVideoAudioChannel(&e->audio);
    if (e->audioPacket) {
        VideoStreamFreePacket(&e->stream, e->audioPacket);
        e->audioPacket = nullptr;
    }
    FreeVideoPictures(e);
    OsFree(e->held);
    e->held = nullptr;
    FlushPacketQueue(e, &e->videoQueue);
    if (!e->noSound) FlushPacketQueue(e, &e->audioQueue);
    {
        std::lock_guard<std::mutex> lock(e->streamMutex);
        VideoStreamRewind(&e->stream, e->seekMode);
    }
    if (resetLayer) e->layer = nullptr;
    e->display = nullptr;
    e->started = 0;
}

void CloseVideoEngine(qzVideoEngine* e) {
    FlushPacketQueue(e, &e->videoQueue);
    FlushPacketQueue(e, &e->audioQueue);
    CloseVideoStream(&e->stream);
    FreeVideoPictures(e);
    FreeScaleTables(&e->scaleTables);
    OsFree(e->scaleBuffer);
    OsFree(e->snapshot);
    OsFree(e->spare);
    OsFree(e->held);
    e->~qzVideoEngine();
    OsFree(e);
}

}  // namespace

double VideoWallTime() { return static_cast<double>(OsMonotonicMicros()) / 1000000.0; }

double VideoClock(const qzVideoEngine* e) {
    if (e->paused.load()) return e->shownPresentation.load();
    return e->shownMinusWall.load() + VideoWallTime();
}

double AudioClock(const qzVideoEngine* e) {
    // A paused video's sound is silence that does not move the clock: it stands at the picture.
    if (e->noSound || e->paused.load()) return VideoClock(e);
    // What is decoded and not heard yet: the rest of the engine's buffer and the FIFO's contents.
    double bytesPerSecond = static_cast<double>(e->channels) * e->rate * 2.0;
    double pending = static_cast<double>(e->audioUnread.load()) + e->audio.fifoBytes.load();
    return e->audioPresentation.load() - pending / bytesPerSecond;
}

int PutVideoPacket(qzVideoPacketQueue* q, void* data, uint32_t size, double timeStamp) {
    auto* node = static_cast<qzVideoPacket*>(OsAlloc(sizeof(qzVideoPacket), 0));
    if (!node) return -1;
    *node = qzVideoPacket{nullptr, data, size, timeStamp};
    std::lock_guard<std::mutex> lock(q->mutex);
    if (q->tail)
        q->tail->next = node;
    else
        q->head = node;
    q->tail = node;
    q->bytes += size;
    q->signalled = true;
    q->event.notify_all();
    return 0;
}

int GetVideoPacket(qzWorkerThread* thread, qzVideoPacketQueue* q, void** data, double* timeStamp, int block,
                   int stopAtEnd) {
    std::unique_lock<std::mutex> lock(q->mutex);
    for (;;) {
        if (thread && OsWorkerThreadStopRequested(thread)) return -1;
        if (qzVideoPacket* node = q->head) {
            q->head = node->next;
            if (!q->head) q->tail = nullptr;
            q->bytes -= node->size;
            *data = node->data;
            if (timeStamp) *timeStamp = node->timeStamp;
            OsFree(node);
            return 1;
        }
        if (stopAtEnd && q->end) return -2;
        if (!block) return 0;
        q->event.wait(lock, [q] { return q->signalled; });
        q->signalled = false;
    }
}

void SignalPacketQueue(qzVideoPacketQueue* q) {
    std::lock_guard<std::mutex> lock(q->mutex);
    q->signalled = true;
    q->event.notify_all();
}

void FlushPacketQueue(qzVideoEngine* e, qzVideoPacketQueue* q) {
    std::lock_guard<std::mutex> lock(q->mutex);
    for (qzVideoPacket* node = q->head; node;) {
        qzVideoPacket* next = node->next;
        if (node->data) VideoStreamFreePacket(&e->stream, node->data);
        OsFree(node);
        node = next;
    }
    q->head = q->tail = nullptr;
    q->bytes = 0;
    q->end = false;
}

int OpenVideoPlayerOnStream(qzVideoStream* stream, const qzVideoFormatInfo* format, qzVideoPlayer** handleOut) {
    *handleOut = nullptr;
    auto* handle = static_cast<qzVideoPlayer*>(OsAlloc(sizeof(qzVideoPlayer), 0));
    void* memory = OsAlloc(sizeof(qzVideoEngine), 0);
    if (!handle || !memory) {
        OsFree(handle);
        OsFree(memory);
        CloseVideoStream(stream);
        return ERR_MEM;
    }
    std::memset(memory, 0, sizeof(qzVideoEngine));
    auto* e = new (memory) qzVideoEngine();
    e->stream = *stream;
    *stream = qzVideoStream{};
    e->srcWidth = static_cast<int32_t>(format->width);
    e->srcHeight = static_cast<int32_t>(format->height);
    e->dstWidth = e->srcWidth;
    e->dstHeight = e->srcHeight;
    e->duration = format->duration;
    e->channels = format->channels;
    e->rate = format->sampleRate;
    e->seekMode = static_cast<int32_t>(format->seekMode);
    e->byteRate = format->byteRate;
    e->frames32 = format->frames32 ? 1 : 0;
    e->frameDuration = format->frameDuration > 0 ? format->frameDuration : 0.0;
    e->canSeek = (format->flags & QZ_VIDEOFORMAT_CANSEEK) ? 1 : 0;
    e->fileSize = (static_cast<uint64_t>(format->fileSizeHigh) << 32) | format->fileSizeLow;
    if (format->fileSizeHigh == QZ_VIDEO_FILESIZE_UNKNOWN_HIGH && format->fileSizeLow == QZ_VIDEO_FILESIZE_UNKNOWN_LOW)
        e->fileSize = UINT64_MAX;
    // Sound needs a rate and one or two channels; anything else plays silently.
    e->noSound = (e->channels == 0 || e->channels > 2 || e->rate == 0) ? 1 : 0;
    if (e->noSound) e->channels = 0;
    e->volume = 64;
    e->pendingStart = -1;
    e->shownTag.store(UINT32_MAX);
    e->audio.channelIndex = -1;
    e->handle = handle;
    handle->engine = e;
    handle->kind = e->stream.plugin;
    if (e->srcWidth < 1 || e->srcHeight < 1 || e->srcWidth > 16384 || e->srcHeight > 16384) {
        CloseVideoEngine(e);
        OsFree(handle);
        return ERR_LOADVIDEO;
    }
    if (e->frames32) {
        e->spare = static_cast<uint32_t*>(OsAlloc(FrameBufferBytes(e), 0));
        if (!e->spare) {
            CloseVideoEngine(e);
            OsFree(handle);
            return ERR_MEM;
        }
    }
    *handleOut = handle;
    return 0;
}

int OpenVideoPlayer(const char* file, const char* loaderList, const char* adapterList, qzVideoPlayer** handle,
                    int32_t* width, int32_t* height, uint32_t* duration, int32_t* canSeek) {
    *handle = nullptr;
    qzVideoFormatInfo format;
    qzVideoStream stream;
    if (!OpenVideoStream(file, loaderList ? loaderList : "", adapterList, &format, &stream)) {
        SetErrorArgString(file);
        return ERR_LOADVIDEO;
    }
    // A byte-seeking decoder that left the size to the engine gets it measured.
    if (format.seekMode == QZ_VIDEO_SEEK_BYTES && format.fileSizeHigh == QZ_VIDEO_FILESIZE_UNKNOWN_HIGH &&
        format.fileSizeLow == QZ_VIDEO_FILESIZE_UNKNOWN_LOW) {
        int64_t size = -1;
        if (qzVfsFile* f = VfsOpen(file, QZ_VFS_READ, adapterList)) {
            size = VfsGetFileSize(f);
            VfsClose(f);
        }
        if (size >= 0) {
            format.fileSizeHigh = static_cast<uint32_t>(static_cast<uint64_t>(size) >> 32);
            format.fileSizeLow = static_cast<uint32_t>(size);
        }
    }
    int error = OpenVideoPlayerOnStream(&stream, &format, handle);
    if (error == ERR_LOADVIDEO) SetErrorArgString(file);
    if (error) return error;
    qzVideoEngine* e = (*handle)->engine;
    *width = e->srcWidth;
    *height = e->srcHeight;
    *duration = e->duration;
    *canSeek = e->canSeek;
    return 0;
}

int IsVideoFile(const char* file, const char* loaderList, const char* adapterList) {
    qzVideoPlayer* handle = nullptr;
    int32_t w, h, seek;
    uint32_t duration;
    if (OpenVideoPlayer(file, loaderList, adapterList, &handle, &w, &h, &duration, &seek) != 0) return 0;
    CloseVideoPlayer(handle);
    return 1;
}

void SetVideoPlayerOutput(qzVideoPlayer* handle, const qzVideoOutput* output) { handle->engine->output = *output; }

int StartVideoPlayer(qzVideoPlayer* handle, const qzObjectId& id, void* display, int32_t x, int32_t y, int32_t width,
                     int32_t height, int32_t volume, int32_t smooth, void* layer) {
    qzVideoEngine* e = handle->engine;
    if (e->started) return 0;
    e->x = x;
    e->y = y;
    e->dstWidth = width > 0 ? width : e->srcWidth;
    e->dstHeight = height > 0 ? height : e->srcHeight;
    e->smooth = smooth;
    e->layer = layer;
    if (e->pendingStart >= 0) {
        std::lock_guard<std::mutex> lock(e->streamMutex);
        VideoStreamRewind(&e->stream, e->seekMode);
        VideoStreamFlushVideo(&e->stream);
        int64_t target = SeekTarget(e, static_cast<uint32_t>(e->pendingStart));
        if (VideoStreamSeek(&e->stream, target, e->seekMode) != 0) {
            VideoStreamRewind(&e->stream, e->seekMode);
            e->pendingStart = -1;
            return ERR_SEEKRANGE;
        }
        e->pendingStart = -1;
    }
    ResetPlaybackState(e);
    e->objectId = id;
    e->display = display;
    e->volume = volume;
    if (!e->noSound) {
        qzAudioAdapter* adapter = GetAudioAdapter();
        e->audioBufferFrames = adapter && adapter->bufferSize > 0 ? adapter->bufferSize : kAudioBlockFrames;
        e->bytesPerAudioFrame = e->channels == 2 ? 4 : 2;
        e->audio.video = e;
        e->audio.fill = FillVideoAudio;
        e->audio.channels = static_cast<int32_t>(e->channels);
        e->audio.rate = static_cast<int32_t>(e->rate);
        e->audio.blockFrames = e->audioBufferFrames;
        e->audio.volume.store(volume);
        int error = OpenVideoAudioChannel(&e->audio);
        if (error) {
            e->display = nullptr;
            return error;
        }
    }
    InitPacketQueue(&e->videoQueue);
    InitPacketQueue(&e->audioQueue);
    int error = AllocVideoPictures(e);
    if (error) {
        StopVideoEngine(e, 0);
        return error;
    }
    e->started = 1;
    bool ok = (e->serverThread = OsCreateWorkerThread("Quarnelix video server", VideoServerThread, e, 0, 200000, 0));
    if (ok && !e->noSound)
        ok = (e->audioThread =
                  OsCreateWorkerThread("Quarnelix audio server", VideoAudioServerThread, e, 0, 200000, 100));
    if (ok)
        ok = (e->decoderThread = OsCreateWorkerThread("Quarnelix video decoder", VideoDecoderThread, e, 0, 200000, 0));
    if (ok)
        ok = (e->refreshThread = OsCreateWorkerThread("Quarnelix video refresh", VideoRefreshThread, e, 0, 16384, 0));
    if (!ok) {
        StopVideoEngine(e, 1);
        return ERR_THREAD;
    }
    return 0;
}

void StopVideoPlayer(qzVideoPlayer* handle, int resetLayer) {
    if (handle && handle->engine->started) StopVideoEngine(handle->engine, resetLayer);
}

void CloseVideoPlayer(qzVideoPlayer* handle) {
    if (!handle) return;
    StopVideoPlayer(handle, 1);
    CloseVideoEngine(handle->engine);
    OsFree(handle);
}

void PauseVideoPlayer(qzVideoPlayer* handle) {
    qzVideoEngine* e = handle->engine;
    if (!e->started || e->paused.load()) return;
    if (!e->snapshot) e->snapshot = static_cast<uint32_t*>(OsAlloc(FrameBufferBytes(e), 0));
    if (!e->snapshot) return;
    e->pausePositionSet = 0;
    e->snapshotRequest.store(1);
    // The video server pauses when it serves the request; the pictures queued before it drain.
    // A video at its end has no frame left to serve the request with: it pauses here.
    for (int i = 0; i < 500; i++) {
        {
            std::lock_guard<std::mutex> lock(e->pictureMutex);
            if (e->picturesQueued == 0 && (e->paused.load() || e->endOfFile.load())) break;
        }
        OsDelay(10);
    }
    if (!e->paused.load()) {
        e->snapshotRequest.store(0);
        e->paused.store(1);
    }
}

void ResumeVideoPlayer(qzVideoPlayer* handle) {
    qzVideoEngine* e = handle->engine;
    if (!e->started || !e->paused.load()) return;
    std::lock_guard<std::mutex> lock(e->engineMutex);
    double now = VideoWallTime();
    e->frameTimer += (now + e->shownMinusWall.load()) - e->shownPresentation.load();
    e->pausePositionSet = 0;
    e->shownMinusWall.store(e->shownPresentation.load() - now);
    e->paused.store(0);
}

int SeekVideoPlayer(qzVideoPlayer* handle, uint32_t ms) {
    qzVideoEngine* e = handle->engine;
    if (!e->started) {
        e->storedPosition = ms;
        e->pendingStart = ms;
        return 0;
    }
    if (e->ended.load()) {
        // Ended videos stay ended; the next start begins at the position.
        e->endPosition.store(ms);
        e->pendingStart = ms;
        return 0;
    }
    // The threads serve the seek; a seek still on its way is let through first.
    for (int i = 0; i < 300; i++) {
        bool busy = e->seekState.load() || e->audioFlushState.load() || e->refreshCount.load() < 10;
        if (!busy || e->endOfFile.load()) break;
        OsDelay(10);
    }
    {
        std::lock_guard<std::mutex> lock(e->engineMutex);
        e->seekTarget = SeekTarget(e, ms);
    }
    if (!e->noSound) e->audioFlushState.store(1);
    e->seekState.store(QZ_SEEK_REQUESTED);
    e->seekRequest.store(1);
    if (e->paused.load()) {
        e->pausePosition = ms;
        e->pausePositionSet = 1;
    }
    return 0;
}

void SetVideoPlayerVolume(qzVideoPlayer* handle, int32_t volume) {
    qzVideoEngine* e = handle->engine;
    e->volume = volume;
    if (!e->noSound) SetVideoAudioVolume(&e->audio, volume);
}

uint32_t GetVideoPosition(qzVideoPlayer* handle) {
    qzVideoEngine* e = handle->engine;
    if (!e->started) return e->storedPosition;
    if (e->paused.load() && e->pausePositionSet) return e->pausePosition;
    if (e->ended.load()) return e->endPosition.load();
    double ms = AudioClock(e) * 1000.0;
    if (!(ms > 0)) return 0;
    return ms >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(ms);
}

int64_t GetVideoFrameCount(qzVideoPlayer* handle) { return VideoStreamFrameCount(&handle->engine->stream); }

const char* GetVideoFormatName(qzVideoPlayer* handle) { return VideoStreamFormatName(&handle->engine->stream); }

qzVideoEngine* GetVideoPlayerState(qzVideoPlayer* handle) { return handle->engine; }

void SetVideoEngineLayer(qzVideoPlayer* handle, void* layer) { handle->engine->layer = layer; }

void RedrawVideoPlayer(qzVideoPlayer* handle) {
    qzVideoEngine* e = handle->engine;
    if (!e->started || !e->output.draw) return;
    std::lock_guard<std::mutex> lock(e->suspendMutex);
    if (e->suspended.load()) return;
    const qzVideoPicture* slot = &e->pictures[e->shownSlot];
    if (slot->pixels) e->output.draw(e->output.user, e, slot->pixels, e->dstWidth, e->dstHeight, slot->rowLength);
}
