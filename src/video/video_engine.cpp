#include "video/video_engine.h"

#include <chrono>
#include <cstring>
#include <new>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "base/pixel_format_codes.h"
#include "display/display.h"
#include "gfx/yuv_convert.h"
#include "media/sound/audio_channels.h"
#include "media/sound/sound_events.h"
#include "platform/loader_list.h"
#include "platform/movie_player.h"
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
    e->audioEnd.store(-1.0);
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
    // The server may hold the engine lock while it waits for a free picture, and the decoder may
    // wait for that lock to seek: both are asked to stop before either is joined.
    if (e->serverThread) OsRequestWorkerThreadStop(e->serverThread);
    {
        std::lock_guard<std::mutex> lock(e->pictureMutex);
        e->pictureEvent.notify_all();
    }
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
    e->grabDecoded = 0;
    e->grabLast = -1;
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
    OsFree(e->grab);
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
                   int stopAtEnd, std::atomic<int32_t>* busy) {
    std::unique_lock<std::mutex> lock(q->mutex);
    for (;;) {
        if (thread && OsWorkerThreadStopRequested(thread)) return -1;
        if (qzVideoPacket* node = q->head) {
            q->head = node->next;
            if (!q->head) q->tail = nullptr;
            q->bytes -= node->size;
            *data = node->data;
            if (busy && node->data) busy->store(1);
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

bool VideoServerDrained(qzVideoEngine* e) {
    if (!e->endOfFile.load()) return false;
    {
        std::lock_guard<std::mutex> lock(e->videoQueue.mutex);
        if (e->videoQueue.head) return false;
    }
    return e->serverBusy.load() == 0;
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
    *handle = qzVideoPlayer{};
    handle->engine = e;
    handle->kind = QZ_VIDEOKIND_ENGINE;
    e->grabLast = -1;
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
    const char* list = loaderList ? loaderList : "";
    if (!OpenVideoStream(file, list, adapterList, &format, &stream)) {
        SetErrorArgString(file);
        if (!IsLoaderSelected(list, "native", false)) return ERR_LOADVIDEO;
        qzMacMovie* movie = nullptr;
        int kind = 0;
        int error = MacOpenMovie(file, &movie, width, height, duration, &kind);
        if (error) return error;
        *handle = static_cast<qzVideoPlayer*>(OsAlloc(sizeof(qzVideoPlayer), 0));
        if (!*handle) {
            MacCloseMovie(movie);
            return ERR_MEM;
        }
        **handle = qzVideoPlayer{};
        (*handle)->kind = QZ_VIDEOKIND_MOVIE;
        (*handle)->movie = movie;
        *canSeek = 1;
        return 0;
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

void SetVideoPlayerOutput(qzVideoPlayer* handle, const qzVideoOutput* output) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE)
        handle->movieOutput = *output;
    else
        handle->engine->output = *output;
}

namespace {

// The movie's sound for its channel: what the movie player has decoded for the time being heard,
// silence where it has none (paused, or out of the window).
int FillMovieAudio(void* user, unsigned char* dest, uint32_t bytes, qzWorkerThread* thread) {
    if (thread && OsWorkerThreadStopRequested(thread)) return -1;
    auto* handle = static_cast<qzVideoPlayer*>(user);
    const uint32_t frameBytes = static_cast<uint32_t>(handle->movieAudio->channels) * 2;
    // What is filled now is heard after what the channel's FIFO holds.
    const double heardIn = static_cast<double>(handle->movieAudio->fifoBytes.load()) /
                           (static_cast<double>(frameBytes) * handle->movieAudio->rate);
    const uint32_t got =
        MacReadMovieAudio(handle->movie, reinterpret_cast<int16_t*>(dest), bytes / frameBytes, heardIn);
    std::memset(dest + static_cast<size_t>(got) * frameBytes, 0, bytes - got * frameBytes);
    return 0;
}

void* MovieAudioServerThread(void* arg) {
    qzWorkerThread* thread = OsGetWorkerThread(arg);
    OsEnterWorkerThread();
    auto* handle = static_cast<qzVideoPlayer*>(OsGetWorkerThreadData(thread));
    qzVideoAudioFifo* fifo = AllocVideoAudioFifo(handle->movieAudio);
    if (!fifo) {
        OsWorkerThreadDone(thread, 1);
        return nullptr;
    }
    OsWorkerThreadStarted(thread);
    while (FeedVideoAudio(thread, fifo) == 0) {
    }
    OsWorkerThreadWaitQuit(thread);
    FreeVideoAudioFifo(fifo);
    OsWorkerThreadDone(thread, 0);
    return nullptr;
}

void StopMovieAudio(qzVideoPlayer* handle) {
    if (handle->movieAudioThread) {
        OsRequestWorkerThreadStop(handle->movieAudioThread);
        OsFreeWorkerThread(handle->movieAudioThread);
        handle->movieAudioThread = nullptr;
    }
    if (handle->movieAudio) {
        CloseVideoAudioChannel(handle->movieAudio);
        delete handle->movieAudio;
        handle->movieAudio = nullptr;
    }
}

// A movie with sound takes a video sound channel (its volume is the movie's own, applied as the
// samples are read) and a thread that keeps it fed.
int StartMovieAudio(qzVideoPlayer* handle) {
    uint32_t rate = 0, channels = 0;
    MacGetMovieAudioFormat(handle->movie, &rate, &channels);
    if (channels < 1 || channels > 2 || rate == 0) return 0;
    handle->movieAudio = new (std::nothrow) qzVideoAudio();
    if (!handle->movieAudio) return ERR_MEM;
    qzVideoAudio* audio = handle->movieAudio;
    qzAudioAdapter* adapter = GetAudioAdapter();
    audio->video = handle;
    audio->fill = FillMovieAudio;
    audio->channels = static_cast<int32_t>(channels);
    audio->rate = static_cast<int32_t>(rate);
    audio->blockFrames = adapter && adapter->bufferSize > 0 ? adapter->bufferSize : kAudioBlockFrames;
    audio->volume.store(64);
    audio->channelIndex = -1;
    int error = OpenVideoAudioChannel(audio);
    if (!error) {
        handle->movieAudioThread =
            OsCreateWorkerThread("Quarnelix audio server", MovieAudioServerThread, handle, 0, 200000, 100);
        if (!handle->movieAudioThread) error = ERR_THREAD;
    }
    if (error) StopMovieAudio(handle);
    return error;
}

void MovieEnded(qzMacMovie*, void* data) {
    auto* handle = static_cast<qzVideoPlayer*>(data);
    if (handle->movieOutput.ended) handle->movieOutput.ended(handle->movieOutput.user, nullptr);
}

int StartMovie(qzVideoPlayer* handle, const qzObjectId& id, void* display, int32_t x, int32_t y, int32_t width,
               int32_t height, int32_t volume) {
    auto* d = static_cast<qzDisplay*>(display);
    if (!d || !d->window) return ERR_WRONGUSAGE;
    (void)id;
    MacSetMovieEndHandler(handle->movie, MovieEnded, handle);
    if (int error = StartMovieAudio(handle)) return error;
    MacAttachMovie(handle->movie, d->window, x, y, width, height, volume);
    MacStartMovie(handle->movie);
    handle->movieStarted = 1;
    handle->movieDisplay = d;
    return 0;
}

}  // namespace

int StartVideoPlayer(qzVideoPlayer* handle, const qzObjectId& id, void* display, int32_t x, int32_t y, int32_t width,
                     int32_t height, int32_t volume, int32_t smooth, void* layer) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE) return StartMovie(handle, id, display, x, y, width, height, volume);
    qzVideoEngine* e = handle->engine;
    if (e->started) return 0;
    e->x = x;
    e->y = y;
    e->dstWidth = width > 0 ? width : e->srcWidth;
    e->dstHeight = height > 0 ? height : e->srcHeight;
    e->smooth = smooth;
    e->layer = static_cast<qzLayer*>(layer);
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
    } else if (e->usedForFrames) {
        std::lock_guard<std::mutex> lock(e->streamMutex);
        VideoStreamRewind(&e->stream, e->seekMode);
        VideoStreamFlushVideo(&e->stream);
    }
    e->usedForFrames = 0;
    e->grabDecoded = 0;
    e->grabLast = -1;
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
    if (!handle) return;
    if (handle->kind == QZ_VIDEOKIND_MOVIE) {
        if (handle->movieStarted) MacStopMovie(handle->movie);
        StopMovieAudio(handle);
        handle->movieStarted = 0;
        return;
    }
    if (handle->engine->started) StopVideoEngine(handle->engine, resetLayer);
}

void CloseVideoPlayer(qzVideoPlayer* handle) {
    if (!handle) return;
    StopVideoPlayer(handle, 1);
    if (handle->kind == QZ_VIDEOKIND_MOVIE)
        MacCloseMovie(handle->movie);
    else
        CloseVideoEngine(handle->engine);
    OsFree(handle);
}

void PauseVideoPlayer(qzVideoPlayer* handle) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE) {
        MacPauseMovie(handle->movie);
        return;
    }
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
            if (e->picturesQueued == 0 && (e->paused.load() || VideoServerDrained(e))) break;
        }
        OsDelay(10);
    }
    if (!e->paused.load()) {
        e->snapshotRequest.store(0);
        e->paused.store(1);
    }
}

void ResumeVideoPlayer(qzVideoPlayer* handle) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE) {
        MacStartMovie(handle->movie);
        return;
    }
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
    if (handle->kind == QZ_VIDEOKIND_MOVIE) {
        MacSeekMovie(handle->movie, ms);
        return 0;
    }
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
    if (handle->kind == QZ_VIDEOKIND_MOVIE) {
        MacSetMovieVolume(handle->movie, volume);
        return;
    }
    qzVideoEngine* e = handle->engine;
    e->volume = volume;
    if (!e->noSound) SetVideoAudioVolume(&e->audio, volume);
}

uint32_t GetVideoPosition(qzVideoPlayer* handle) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE) return MacGetMovieTime(handle->movie);
    qzVideoEngine* e = handle->engine;
    if (!e->started) return e->storedPosition;
    if (e->paused.load() && e->pausePositionSet) return e->pausePosition;
    if (e->ended.load()) return e->endPosition.load();
    double ms = AudioClock(e) * 1000.0;
    if (!(ms > 0)) return 0;
    return ms >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(ms);
}

int64_t GetVideoFrameCount(qzVideoPlayer* handle) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE) return MacGetMovieFrameCount(handle->movie);
    return VideoStreamFrameCount(&handle->engine->stream);
}

const char* GetVideoFormatName(qzVideoPlayer* handle) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE) return MacMovieFormatName();
    return VideoStreamFormatName(&handle->engine->stream);
}

qzVideoEngine* GetVideoPlayerState(qzVideoPlayer* handle) { return handle->engine; }

void SetVideoEngineLayer(qzVideoPlayer* handle, void* layer) {
    if (handle->engine) handle->engine->layer = static_cast<qzLayer*>(layer);
}

int GetVideoPlayerFrame(qzVideoPlayer* handle, int64_t position, int mode, int32_t framesAfterSeek, int keep,
                        uint32_t** pixels, int32_t* width, int32_t* height, int32_t* rowLength) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE)
        return MacGetMovieFrame(handle->movie, position, mode, pixels, width, height, rowLength);
    qzVideoEngine* e = handle->engine;
    if (e->started) return ERR_WRONGUSAGE;
    if (!e->grab) {
        e->grab = static_cast<uint32_t*>(OsAlloc(FrameBufferBytes(e), 0));
        if (!e->grab) return ERR_MEM;
    }
    *pixels = e->grab;
    *width = e->srcWidth;
    *height = e->srcHeight;
    *rowLength = e->srcWidth;
    if (!keep) e->usedForFrames = 1;
    int64_t want;
    if (mode == 0) {
        if (position == e->grabLast) return 0;
        if (e->grabDecoded > position) {
            VideoStreamRewind(&e->stream, e->seekMode);
            VideoStreamFlushVideo(&e->stream);
            e->grabDecoded = 0;
        }
        want = position;
    } else {
        e->audioRead = e->audioFill = 0;
        e->shownPresentation.store(0.0);
        e->shownMinusWall.store(0.0);
        int64_t target = SeekTarget(e, static_cast<uint32_t>(position));
        if (VideoStreamSeek(&e->stream, target, e->seekMode) != 0) return ERR_SEEKRANGE;
        VideoStreamFlushVideo(&e->stream);
        if (!e->noSound) VideoStreamFlushAudio(&e->stream);
        e->grabDecoded = 0;
        want = target == 0 ? 1 : framesAfterSeek;
    }
    e->grabLast = -1;
    // Other negative results are passing failures: they are retried, a bounded number of times.
    for (int retries = 0; retries < 10000;) {
        qzVideoPacketBlock block = {};
        int result = VideoStreamNextPacket(&e->stream, &block);
        if (result == -1) return ERR_VIDEOFRAME;
        if (result < 0) {
            retries++;
            continue;
        }
        if (!block.packet) continue;
        if (block.type != QZ_VIDEOPACKET_VIDEO) {
            VideoStreamFreePacket(&e->stream, block.packet);
            continue;
        }
        if (e->frames32) e->planes[0] = reinterpret_cast<uint8_t*>(e->grab);
        qzVideoFrameBlock frame = {};
        frame.planes = e->planes;
        frame.rowBytes = e->rowBytes;
        frame.timeStampA = frame.timeStampB = -1.0;
        int decoded = VideoStreamDecodeVideo(&e->stream, block.packet, &frame);
        if (decoded == 0 && e->frames32) {
            // The decoder's rows may be longer than the width: packed to the width here.
            int32_t srcRow = static_cast<int32_t>(e->rowBytes[0] / 4);
            if (srcRow > e->srcWidth)
                for (int32_t r = 1; r < e->srcHeight; r++)
                    std::memmove(e->grab + static_cast<size_t>(r) * e->srcWidth,
                                 e->grab + static_cast<size_t>(r) * srcRow, static_cast<size_t>(e->srcWidth) * 4);
        } else if (decoded == 0) {
            int pitches[3] = {static_cast<int>(e->rowBytes[0]), static_cast<int>(e->rowBytes[1]),
                              static_cast<int>(e->rowBytes[2])};
            qzYuvJob job = {};
            job.planes = e->planes;
            job.pitches = pitches;
            job.dstPixels = e->grab;
            job.srcWidth = job.dstWidth = e->srcWidth;
            job.srcHeight = job.dstHeight = e->srcHeight;
            job.dstStride = e->srcWidth;
            job.pixelFormat = PIXFMT_ARGB32;
            job.bytesPerPixel = 4;
            if (e->planes[0] && e->planes[1] && e->planes[2]) ConvertYUVToPixels(&job);
        }
        VideoStreamFreePacket(&e->stream, block.packet);
        if (decoded != 0) continue;
        int64_t index = e->grabDecoded++;
        if (index >= want) {
            if (mode == 0) e->grabLast = index;
            return 0;
        }
    }
    return ERR_VIDEOFRAME;
}

void SetVideoPlayerRect(qzVideoPlayer* handle, int32_t x, int32_t y, int32_t width, int32_t height, int32_t smooth) {
    if (width < 1 || height < 1) return;
    if (handle->kind == QZ_VIDEOKIND_MOVIE) {
        auto* d = static_cast<qzDisplay*>(handle->movieDisplay);
        if (handle->movieStarted && d && d->window) MacSetMovieBox(handle->movie, d->window, x, y, width, height);
        return;
    }
    qzVideoEngine* e = handle->engine;
    e->smooth = smooth;
    if (!e->started || (width == e->dstWidth && height == e->dstHeight)) {
        std::lock_guard<std::mutex> lock(e->engineMutex);
        e->x = x;
        e->y = y;
        if (!e->started) {
            e->dstWidth = width;
            e->dstHeight = height;
        }
        return;
    }
    const bool still = e->paused.load() || e->ended.load();
    std::unique_lock<std::mutex> engineLock(e->engineMutex);
    if (!still) {
        // No picture may be in use while the slots change: the refresh thread lets go of them.
        std::unique_lock<std::mutex> lock(e->refreshMutex);
        e->refreshAcked = false;
        e->refreshWake = true;
        e->refreshEvent.notify_all();
        e->refreshAck.wait_for(lock, std::chrono::seconds(2), [e] { return e->refreshAcked; });
    }
    std::lock_guard<std::mutex> suspendLock(e->suspendMutex);
    qzVideoPicture old[2] = {e->pictures[0], e->pictures[1]};
    const int32_t oldWidth = e->dstWidth, oldHeight = e->dstHeight;
    e->pictures[0] = e->pictures[1] = qzVideoPicture{};
    e->x = x;
    e->y = y;
    e->dstWidth = width;
    e->dstHeight = height;
    if (AllocVideoPictures(e) != 0) {
        // Without memory for the new size the old pictures stay.
        e->pictures[0] = old[0];
        e->pictures[1] = old[1];
        e->dstWidth = oldWidth;
        e->dstHeight = oldHeight;
        return;
    }
    if (still && old[e->shownSlot].pixels) {
        // The picture on show goes on showing, at the new size.
        if (!(smooth && GrowScaleTables(&e->scaleTables, width, height) != 0)) {
            qzScaleJob job = {};
            job.srcPixels = old[e->shownSlot].pixels;
            job.dstPixels = e->pictures[e->shownSlot].pixels;
            job.srcWidth = oldWidth;
            job.srcHeight = oldHeight;
            job.dstWidth = width;
            job.dstHeight = height;
            job.srcRowLength = old[e->shownSlot].rowLength;
            job.dstRowLength = width;
            job.smooth = smooth;
            job.pixelFormat = PIXFMT_ARGB32;
            job.bytesPerPixel = 4;
            if (smooth) AttachScaleTables(&job, &e->scaleTables);
            ScalePixels(&job);
            e->pictures[e->shownSlot].rowLength = width;
        }
    }
    OsFree(old[0].pixels);
    OsFree(old[1].pixels);
}

void RedrawVideoPlayer(qzVideoPlayer* handle) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE) return;
    qzVideoEngine* e = handle->engine;
    if (!e->started || !e->output.draw) return;
    std::lock_guard<std::mutex> lock(e->suspendMutex);
    if (e->suspended.load()) return;
    const qzVideoPicture* slot = &e->pictures[e->shownSlot];
    if (slot->pixels) e->output.draw(e->output.user, e, slot->pixels, e->dstWidth, e->dstHeight, slot->rowLength);
}

void SuspendVideoPlayer(qzVideoPlayer* handle) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE) {
        auto* d = static_cast<qzDisplay*>(handle->movieDisplay);
        if (handle->movieStarted && d && d->window) MacDetachMovieFromDisplay(d->window, handle->movie);
        return;
    }
    qzVideoEngine* e = handle->engine;
    std::lock_guard<std::mutex> lock(e->suspendMutex);
    e->suspended.store(1);
}

void ResumeSuspendedVideoPlayer(qzVideoPlayer* handle, int32_t x, int32_t y, int32_t width, int32_t height,
                                int playing) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE) {
        auto* d = static_cast<qzDisplay*>(handle->movieDisplay);
        if (!handle->movieStarted || !d || !d->window) return;
        // The box first: a movie that starts again draws at once, where it belongs.
        MacSetMovieBox(handle->movie, d->window, x, y, width, height);
        if (playing) MacDetachMovie(d->window, handle->movie);
        return;
    }
    qzVideoEngine* e = handle->engine;
    std::lock_guard<std::mutex> lock(e->suspendMutex);
    e->suspended.store(0);
}

int VideoPlayerEnded(const qzVideoPlayer* handle) {
    if (handle->kind == QZ_VIDEOKIND_MOVIE) return MacMovieEnded(handle->movie) ? 1 : 0;
    return handle->engine->ended.load() ? 1 : 0;
}
