#include "platform/movie_player.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "base/pixel_format_codes.h"
#include "platform/ffmpeg_api.h"
#include "platform/host/backend_draw.h"
#include "platform/host/event_loop.h"
#include "platform/os_alloc.h"
#include "platform/os_bitmap.h"
#include "platform/os_time.h"
#include "platform/vfs.h"

namespace {

constexpr int kIoBufferSize = 65536;
constexpr int kTimerMs = 20;
// Sound decoded ahead of what the sound side took: older samples are dropped beyond this.
constexpr uint32_t kAudioQueueSeconds = 10;
// While a movie plays, its sound is decoded this far (seconds) ahead of its clock, so that the
// sound side always finds the samples it is about to play.
constexpr double kAudioLead = 0.5;
// At most this many video packets wait while the sound is decoded ahead.
constexpr size_t kMaxPendingVideo = 512;
// Sound that is further from the pictures than this (seconds) is brought back to them.
constexpr double kAudioSyncTolerance = 0.02;
// The conversion to 32-bit pixels of frames read off-screen: the accurate path, as the
// still-picture decoder uses it.
constexpr int kScaleFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;
// The conversion of frames drawn into a window while they play: the fast path, within a few
// levels of the accurate one and several times quicker (a 1080p frame in about a millisecond
// instead of 25), so that large films keep their frame rate.
constexpr int kWindowScaleFlags = SWS_BICUBIC;

// Films of more pixels a second than this are decoded by the decoder's own threads.
constexpr double kThreadedPixelRate = 1920.0 * 1080.0 * 60.0;

// The play states of a movie in a window.
enum { kDetached = 0, kPlaying = 1, kPaused = 2, kEnded = 4 };
// Frame cursors besides frame numbers: the movie was not read off-screen since it was opened or
// attached; or the decoder stands after a frame whose number is unknown (a read by time).
constexpr int64_t kCursorNone = -1;
constexpr int64_t kCursorUnknown = -2;

// One conversion context, made again when the source or the target changes.
struct ScaleCache {
    SwsContext* context = nullptr;
    int sourceWidth = 0, sourceHeight = 0, sourceFormat = -1, targetWidth = 0, targetHeight = 0;
    int colorspace = -1, range = -1;
};

}  // namespace

struct qzMacMovie {
    qzMacMovie* next = nullptr;  // the list of open movies
    qzVfsFile* file = nullptr;
    int64_t size = 0;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    bool decoder = false;  // the media libraries are loaded and the fields below are theirs
    int videoIndex = -1;
    int audioIndex = -1;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;       // what the video decoder hands out
    AVFrame* ahead = nullptr;       // decoded, not yet due
    AVFrame* shown = nullptr;       // the frame shown or read last
    AVFrame* audioFrame = nullptr;  // what the audio decoder hands out
    bool haveAhead = false;
    bool haveShown = false;
    bool demuxEnded = false;
    bool videoFlushed = false;  // the video decoder was told that no packet follows
    bool videoDrained = false;  // no frame is left after `ahead`
    // Video packets read while the sound was decoded ahead, for the video decoder in order.
    AVPacket* pendingVideo[kMaxPendingVideo] = {};
    size_t pendingStart = 0;
    size_t pendingCount = 0;
    double audioDecodedTo = 0;  // seconds: the end of the sound decoded so far
    ScaleCache fullScale;
    ScaleCache boxScale;
    SwrContext* swr = nullptr;
    int swrFormat = -1;
    int swrRate = 0;
    AVChannelLayout swrLayout = {};

    int32_t width = 0;
    int32_t height = 0;
    double duration = 0;  // seconds
    int64_t frameCount = 0;
    double frameDuration = 0;  // seconds, from the frame rate; 0 = unknown
    double lastTime = 0;       // of the last frame decoded, for frames without a time stamp

    uint32_t* offscreen = nullptr;  // width x height
    int64_t cursor = kCursorNone;
    double currentTime = 0;
    bool rewindPending = false;
    bool endPosted = false;

    qzMacWindow* window = nullptr;
    int32_t boxX = 0, boxY = 0, boxWidth = 0, boxHeight = 0;
    uint32_t* boxPixels = nullptr;
    size_t boxCapacity = 0;  // pixels
    int state = kDetached;
    double clockBase = 0;     // seconds of the movie when the clock started
    uint64_t clockStart = 0;  // monotonic microseconds then
    std::atomic<int32_t> volume{256};
    std::atomic<bool> audible{false};  // the sound is handed out (playing in a window)

    uint32_t rate = 0;
    uint32_t channels = 0;
    std::mutex audioMutex;  // guards the queue below
    int16_t* queue = nullptr;
    size_t queueCapacity = 0;  // samples
    size_t queueStart = 0;
    size_t queueCount = 0;
    double audioFrom = 0;  // sound before this time (seconds) is not queued
    double queueTime = 0;  // seconds: the time of the sample at queueStart
    // The clock as the sound side reads it (under audioMutex): seconds at a monotonic moment.
    double soundClockBase = 0;
    uint64_t soundClockStart = 0;

    qzMovieEndHandler onEnd = nullptr;
    void* endData = nullptr;
};

namespace {

qzMacMovie* gMovies = nullptr;
std::atomic<uint64_t> gFramesDrawn{0};

// The movie timer: a thread that marks the timer due every 20 ms and wakes the event loop, whose
// next pass runs the movies' work on the main thread.
struct MovieTimer {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::atomic<bool> due{false};

    bool Installed() const { return thread.joinable(); }
    void Install() {
        if (Installed()) return;
        stop = false;
        due.store(true);
        thread = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex);
            while (!stop) {
                if (wake.wait_for(lock, std::chrono::milliseconds(kTimerMs), [this] { return stop; })) break;
                due.store(true);
                MacForceEventLoopIteration();
            }
        });
    }
    void Remove() {
        if (!Installed()) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        wake.notify_all();
        thread.join();
        due.store(false);
    }
    ~MovieTimer() { Remove(); }
};

MovieTimer gTimer;

int ReadInput(void* opaque, uint8_t* buffer, int size) {
    qzMacMovie* m = static_cast<qzMacMovie*>(opaque);
    size_t n = VfsRead(m->file, buffer, static_cast<size_t>(size));
    return n ? static_cast<int>(n) : AVERROR_EOF;
}

int64_t SeekInput(void* opaque, int64_t offset, int whence) {
    qzMacMovie* m = static_cast<qzMacMovie*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return m->size;
    case SEEK_SET: return VfsSeek(m->file, offset, QZ_VFS_SEEK_BEGINNING) < 0 ? -1 : offset;
    case SEEK_CUR: {
        int64_t before = VfsSeek(m->file, offset, QZ_VFS_SEEK_CURRENT);
        return before < 0 ? -1 : before + offset;
    }
    case SEEK_END:
        if (VfsSeek(m->file, offset, QZ_VFS_SEEK_END) < 0) return -1;
        return VfsSeek(m->file, 0, QZ_VFS_SEEK_CURRENT);
    default: return -1;
    }
}

void DropPendingVideo(qzMacMovie* m) {
    for (AVPacket*& p : m->pendingVideo)
        if (p) Ffmpeg().av_packet_free(&p);
    m->pendingStart = m->pendingCount = 0;
}

// The sound is handed out while the movie plays in a window.
// The clock is handed to the sound side with it, so that what is heard follows the pictures.
void UpdateAudible(qzMacMovie* m) {
    std::lock_guard<std::mutex> lock(m->audioMutex);
    m->soundClockBase = m->clockBase;
    m->soundClockStart = m->clockStart;
    m->audible.store(m->state == kPlaying && m->window);
}

void FreeMovie(qzMacMovie* m) {
    if (m->decoder) {
        const FfmpegApi& api = Ffmpeg();
        api.sws_freeContext(m->fullScale.context);
        api.sws_freeContext(m->boxScale.context);
        api.swr_free(&m->swr);
        api.av_channel_layout_uninit(&m->swrLayout);
        api.av_frame_free(&m->frame);
        api.av_frame_free(&m->ahead);
        api.av_frame_free(&m->shown);
        api.av_frame_free(&m->audioFrame);
        DropPendingVideo(m);
        api.av_packet_free(&m->packet);
        api.avcodec_free_context(&m->video);
        api.avcodec_free_context(&m->audio);
        if (m->format) api.avformat_close_input(&m->format);
        if (m->io) {
            api.av_freep(&m->io->buffer);
            api.avio_context_free(&m->io);
        }
    }
    if (m->file) VfsClose(m->file);
    OsFree(m->offscreen);
    OsFree(m->boxPixels);
    OsFree(m->queue);
    delete m;
}

// Whether another movie than `except` still plays, pauses or stands ended in a window.
bool OtherMovieActive(const qzMacMovie* except) {
    for (const qzMacMovie* m = gMovies; m; m = m->next) {
        if (m != except && m->window && m->state != kDetached) return true;
    }
    return false;
}

void RemoveTimerUnlessNeeded(const qzMacMovie* movie) {
    if (gTimer.Installed() && !OtherMovieActive(movie)) gTimer.Remove();
}

double Clock(const qzMacMovie* m) {
    if (m->state != kPlaying) return m->clockBase;
    return m->clockBase + static_cast<double>(OsMonotonicMicros() - m->clockStart) / 1e6;
}

// The frame's time in seconds from the start of the video stream.
double FrameTime(qzMacMovie* m, const AVFrame* f) {
    int64_t ts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    if (ts == AV_NOPTS_VALUE) return m->lastTime + m->frameDuration;
    const AVStream* stream = m->format->streams[m->videoIndex];
    if (stream->start_time != AV_NOPTS_VALUE) ts -= stream->start_time;
    return static_cast<double>(ts) * av_q2d(stream->time_base);
}

double AudioFrameTime(qzMacMovie* m, const AVFrame* f) {
    int64_t ts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    if (ts == AV_NOPTS_VALUE) return m->audioFrom;
    const AVStream* stream = m->format->streams[m->audioIndex];
    const AVStream* video = m->format->streams[m->videoIndex];
    double t = static_cast<double>(ts) * av_q2d(stream->time_base);
    // Both streams count from the video stream's start.
    if (video->start_time != AV_NOPTS_VALUE) t -= static_cast<double>(video->start_time) * av_q2d(video->time_base);
    return t;
}

// Converts the frame into target (targetWidth x targetHeight 0xAARRGGBB words, rows
// targetRowPixels apart) with the swscale flags (each cache always with the same flags). False
// when it cannot be converted.
bool Convert(ScaleCache* cache, const AVFrame* f, uint32_t* target, int targetWidth, int targetHeight, int flags,
             int targetRowPixels) {
    const FfmpegApi& api = Ffmpeg();
    bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
    AVPixelFormat source = static_cast<AVPixelFormat>(f->format);
    static const struct {
        AVPixelFormat full, plain;
    } kTwins[] = {
        {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P}, {AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV422P},
        {AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV444P}, {AV_PIX_FMT_YUVJ440P, AV_PIX_FMT_YUV440P},
        {AV_PIX_FMT_YUVJ411P, AV_PIX_FMT_YUV411P},
    };
    for (const auto& twin : kTwins) {
        if (twin.full == source) {
            fullRange = true;
            source = twin.plain;
        }
    }
    const int space =
        f->colorspace == AVCOL_SPC_UNSPECIFIED || f->colorspace == AVCOL_SPC_RGB ? SWS_CS_DEFAULT : f->colorspace;
    if (!cache->context || cache->sourceWidth != f->width || cache->sourceHeight != f->height ||
        cache->sourceFormat != source || cache->targetWidth != targetWidth || cache->targetHeight != targetHeight ||
        cache->colorspace != space || cache->range != (fullRange ? 1 : 0)) {
        api.sws_freeContext(cache->context);
        *cache = ScaleCache{};
        cache->context = api.sws_getContext(f->width, f->height, source, targetWidth, targetHeight, AV_PIX_FMT_BGRA,
                                            flags, nullptr, nullptr, nullptr);
        if (!cache->context) return false;
        const AVPixFmtDescriptor* desc = api.av_pix_fmt_desc_get(source);
        if (desc && desc->nb_components >= 3 && !(desc->flags & AV_PIX_FMT_FLAG_RGB)) {
            api.sws_setColorspaceDetails(cache->context, api.sws_getCoefficients(space), fullRange ? 1 : 0,
                                         api.sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        }
        *cache = ScaleCache{cache->context, f->width,     f->height, source,
                            targetWidth,    targetHeight, space,     fullRange ? 1 : 0};
    }
    uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(target), nullptr, nullptr, nullptr};
    int strides[4] = {targetRowPixels * 4, 0, 0, 0};
    return api.sws_scale(cache->context, f->data, f->linesize, 0, f->height, planes, strides) == targetHeight;
}

// Sets the resampler for audio frames of this kind; false when none can convert them.
bool ResamplerTakes(qzMacMovie* m, const AVFrame* f) {
    const FfmpegApi& api = Ffmpeg();
    const int rate = f->sample_rate > 0 ? f->sample_rate : m->audio->sample_rate;
    if (m->swr && f->format == m->swrFormat && rate == m->swrRate &&
        api.av_channel_layout_compare(&f->ch_layout, &m->swrLayout) == 0)
        return true;
    if (rate <= 0 || f->ch_layout.nb_channels <= 0 || f->format < 0) return false;
    AVChannelLayout in;
    if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        api.av_channel_layout_default(&in, f->ch_layout.nb_channels);
    else if (api.av_channel_layout_copy(&in, &f->ch_layout) < 0)
        return false;
    AVChannelLayout out;
    api.av_channel_layout_default(&out, static_cast<int>(m->channels));
    api.swr_free(&m->swr);
    api.av_channel_layout_uninit(&m->swrLayout);
    m->swrFormat = -1;
    int made = api.swr_alloc_set_opts2(&m->swr, &out, AV_SAMPLE_FMT_S16, static_cast<int>(m->rate), &in,
                                       static_cast<AVSampleFormat>(f->format), rate, 0, nullptr);
    api.av_channel_layout_uninit(&out);
    if (made < 0 || api.swr_init(m->swr) < 0) {
        api.swr_free(&m->swr);
        api.av_channel_layout_uninit(&in);
        return false;
    }
    m->swrFormat = f->format;
    m->swrRate = rate;
    m->swrLayout = in;
    return true;
}

// Appends samples to the sound queue; the oldest go when it is full.
void QueueAudio(qzMacMovie* m, const int16_t* samples, size_t count) {
    std::lock_guard<std::mutex> lock(m->audioMutex);
    if (count > m->queueCapacity) {
        samples += count - m->queueCapacity;
        count = m->queueCapacity;
    }
    if (m->queueCount + count > m->queueCapacity) {
        size_t drop = m->queueCount + count - m->queueCapacity;
        m->queueStart = (m->queueStart + drop) % m->queueCapacity;
        m->queueTime += static_cast<double>(drop / m->channels) / m->rate;
        m->queueCount -= drop;
    }
    size_t at = (m->queueStart + m->queueCount) % m->queueCapacity;
    for (size_t i = 0; i < count; ++i) {
        m->queue[at] = samples[i];
        at = at + 1 == m->queueCapacity ? 0 : at + 1;
    }
    m->queueCount += count;
}

void ClearAudio(qzMacMovie* m) {
    std::lock_guard<std::mutex> lock(m->audioMutex);
    m->queueStart = 0;
    m->queueCount = 0;
    m->queueTime = m->audioFrom;
}

// Decodes one audio packet (null: the decoder is emptied) into the sound queue.
void DecodeAudio(qzMacMovie* m, const AVPacket* packet) {
    const FfmpegApi& api = Ffmpeg();
    if (api.avcodec_send_packet(m->audio, packet) < 0) return;
    int16_t converted[8192];
    while (api.avcodec_receive_frame(m->audio, m->audioFrame) == 0) {
        const int count = m->audioFrame->nb_samples;
        const double start = AudioFrameTime(m, m->audioFrame);
        const double rate = m->audioFrame->sample_rate > 0 ? m->audioFrame->sample_rate : m->rate;
        const bool wanted = count > 0 && start + count / rate > m->audioFrom;
        if (count > 0 && start + count / rate > m->audioDecodedTo) m->audioDecodedTo = start + count / rate;
        if (wanted && ResamplerTakes(m, m->audioFrame)) {
            const uint8_t** in = const_cast<const uint8_t**>(m->audioFrame->extended_data);
            int left = count;
            const int room = static_cast<int>(sizeof converted / sizeof converted[0] / m->channels);
            // The resampler keeps what does not fit and hands it out on the next calls.
            for (int pass = 0; pass < 64; ++pass) {
                uint8_t* out[1] = {reinterpret_cast<uint8_t*>(converted)};
                int got = api.swr_convert(m->swr, out, room, pass == 0 ? in : nullptr, pass == 0 ? left : 0);
                if (got <= 0) break;
                QueueAudio(m, converted, static_cast<size_t>(got) * m->channels);
                if (got < room) break;
            }
        }
        api.av_frame_unref(m->audioFrame);
    }
}

// Decodes the next video frame into m->frame, reading packets as needed; with feedAudio the
// sound packets read on the way are decoded into the queue, else dropped. False when no frame
// is left.
bool DecodeVideo(qzMacMovie* m, bool feedAudio) {
    const FfmpegApi& api = Ffmpeg();
    for (;;) {
        int got = api.avcodec_receive_frame(m->video, m->frame);
        if (got == 0) {
            m->lastTime = FrameTime(m, m->frame);
            return true;
        }
        if (got != AVERROR(EAGAIN)) return false;
        if (m->pendingCount) {
            AVPacket* pending = m->pendingVideo[m->pendingStart];
            m->pendingVideo[m->pendingStart] = nullptr;
            m->pendingStart = (m->pendingStart + 1) % kMaxPendingVideo;
            m->pendingCount--;
            api.avcodec_send_packet(m->video, pending);
            api.av_packet_free(&pending);
            continue;
        }
        if (m->demuxEnded) {
            if (m->videoFlushed) return false;
            m->videoFlushed = true;
            api.avcodec_send_packet(m->video, nullptr);
            continue;
        }
        int read = api.av_read_frame(m->format, m->packet);
        if (read < 0) {
            m->demuxEnded = true;
            if (feedAudio && m->audio) DecodeAudio(m, nullptr);
            continue;
        }
        if (m->packet->stream_index == m->videoIndex) {
            // A packet the decoder refuses is skipped: the next receive asks for more input.
            api.avcodec_send_packet(m->video, m->packet);
        } else if (feedAudio && m->audio && m->packet->stream_index == m->audioIndex) {
            DecodeAudio(m, m->packet);
        }
        api.av_packet_unref(m->packet);
    }
}

// The next frame in order (the one decoded ahead first) into m->frame.
bool NextFrame(qzMacMovie* m, bool feedAudio) {
    if (m->haveAhead) {
        Ffmpeg().av_frame_unref(m->frame);
        Ffmpeg().av_frame_move_ref(m->frame, m->ahead);
        m->haveAhead = false;
        return true;
    }
    return DecodeVideo(m, feedAudio);
}

void Show(qzMacMovie* m) {
    Ffmpeg().av_frame_unref(m->shown);
    Ffmpeg().av_frame_move_ref(m->shown, m->frame);
    m->haveShown = true;
    m->currentTime = FrameTime(m, m->shown);
}

// Positions the demuxer at the key frame before the time and resets the decoders; frames
// before the time are then decoded and passed over by the caller.
void SeekTo(qzMacMovie* m, double seconds) {
    const FfmpegApi& api = Ffmpeg();
    const AVStream* stream = m->format->streams[m->videoIndex];
    int64_t target = static_cast<int64_t>(seconds / av_q2d(stream->time_base));
    if (stream->start_time != AV_NOPTS_VALUE) target += stream->start_time;
    if (api.avformat_seek_file(m->format, m->videoIndex, INT64_MIN, target, target, 0) < 0 &&
        api.avformat_seek_file(m->format, m->videoIndex, INT64_MIN, target, target, AVSEEK_FLAG_ANY) < 0 &&
        seconds <= 0) {
        api.avformat_seek_file(m->format, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
    }
    api.avcodec_flush_buffers(m->video);
    if (m->audio) api.avcodec_flush_buffers(m->audio);
    api.av_frame_unref(m->ahead);
    m->haveAhead = false;
    m->demuxEnded = false;
    m->videoFlushed = false;
    m->videoDrained = false;
    DropPendingVideo(m);
    m->lastTime = seconds;
    m->audioFrom = seconds;
    m->audioDecodedTo = seconds;
    ClearAudio(m);
}

// Decodes up to the frame shown at `seconds` (the first frame when the seek landed after it);
// the frame after it stays decoded ahead. False when no frame is there.
bool DecodeUpTo(qzMacMovie* m, double seconds, bool feedAudio) {
    bool any = false;
    for (;;) {
        if (!NextFrame(m, feedAudio)) {
            m->videoDrained = true;
            return any;
        }
        if (any && FrameTime(m, m->frame) > seconds + 1e-6) {
            Ffmpeg().av_frame_move_ref(m->ahead, m->frame);
            m->haveAhead = true;
            return true;
        }
        Show(m);
        any = true;
    }
}

bool EnsureBox(qzMacMovie* m) {
    const size_t pixels = static_cast<size_t>(m->boxWidth) * static_cast<size_t>(m->boxHeight);
    if (pixels <= m->boxCapacity) return true;
    uint32_t* grown = static_cast<uint32_t*>(OsAlloc(pixels * 4, 0));
    if (!grown) return false;
    OsFree(m->boxPixels);
    m->boxPixels = grown;
    m->boxCapacity = pixels;
    return true;
}

// Draws the shown frame into the window's rectangle: converted straight into the window's
// framebuffer when the rectangle lies inside it and the frames have no alpha channel (the
// framebuffer holds opaque pixels only), else through a buffer of the box's size and a blit.
void DrawShown(qzMacMovie* m) {
    if (!m->window || !m->haveShown || m->boxWidth < 1 || m->boxHeight < 1) return;
    const AVPixFmtDescriptor* desc = Ffmpeg().av_pix_fmt_desc_get(static_cast<AVPixelFormat>(m->shown->format));
    int32_t rowPixels = 0;
    uint32_t* into = desc && !(desc->flags & AV_PIX_FMT_FLAG_ALPHA)
                         ? MacWindowPixels(m->window, m->boxX, m->boxY, m->boxWidth, m->boxHeight, &rowPixels)
                         : nullptr;
    if (into) {
        Convert(&m->boxScale, m->shown, into, m->boxWidth, m->boxHeight, kWindowScaleFlags, rowPixels);
        MacMarkWindowDrawn(m->window, m->boxX, m->boxY, m->boxWidth, m->boxHeight);
        return;
    }
    if (!EnsureBox(m)) return;
    if (!Convert(&m->boxScale, m->shown, m->boxPixels, m->boxWidth, m->boxHeight, kWindowScaleFlags, m->boxWidth))
        return;
    qzLockInfo lock{};
    lock.pixels = m->boxPixels;
    lock.success = 1;
    lock.pixelFormat = PIXFMT_ARGB32;
    lock.bytesPerPixel = 4;
    lock.rowLength = m->boxWidth;
    lock.width = m->boxWidth;
    lock.height = m->boxHeight;
    lock.noUnlock = 1;
    MacBltBitMap(&lock, 0, 0, m->window, m->boxX, m->boxY, m->boxWidth, m->boxHeight, 0, 0, 0);
}

// Reads on until the sound is decoded to `seconds` (or the file ends); the video packets read on
// the way wait for the video decoder.
void DecodeAudioAhead(qzMacMovie* m, double seconds) {
    if (!m->audio) return;
    const FfmpegApi& api = Ffmpeg();
    while (!m->demuxEnded && m->audioDecodedTo < seconds && m->pendingCount < kMaxPendingVideo) {
        if (api.av_read_frame(m->format, m->packet) < 0) {
            m->demuxEnded = true;
            DecodeAudio(m, nullptr);
            return;
        }
        if (m->packet->stream_index == m->videoIndex) {
            AVPacket* keep = api.av_packet_alloc();
            if (!keep) {
                api.av_packet_unref(m->packet);
                return;
            }
            api.av_packet_move_ref(keep, m->packet);
            m->pendingVideo[(m->pendingStart + m->pendingCount) % kMaxPendingVideo] = keep;
            m->pendingCount++;
            continue;
        }
        if (m->packet->stream_index == m->audioIndex) DecodeAudio(m, m->packet);
        api.av_packet_unref(m->packet);
    }
}

// One pass of a movie in a window: the newest frame its clock has reached is drawn; when no
// frame is left and the clock has passed the end, the movie ends and its end handler runs once.
void PlayStep(qzMacMovie* m) {
    if (!m->window || m->state != kPlaying) return;
    const double clock = Clock(m);
    DecodeAudioAhead(m, clock + kAudioLead);
    bool fresh = false;
    for (;;) {
        if (!m->haveAhead) {
            if (!DecodeVideo(m, true)) {
                m->videoDrained = true;
                break;
            }
            Ffmpeg().av_frame_move_ref(m->ahead, m->frame);
            m->haveAhead = true;
        }
        if (m->haveShown && FrameTime(m, m->ahead) > clock) break;
        NextFrame(m, true);
        Show(m);
        fresh = true;
    }
    if (fresh) {
        DrawShown(m);
        gFramesDrawn.fetch_add(1);
    }
    const double end = m->duration > m->currentTime ? m->duration : m->currentTime + m->frameDuration;
    if (m->videoDrained && !m->haveAhead && clock >= end) {
        m->clockBase = end;
        m->state = kEnded;
        UpdateAudible(m);
        if (!m->endPosted) {
            m->endPosted = true;
            if (m->onEnd) m->onEnd(m, m->endData);
        }
    }
}

void Unlink(qzMacMovie* movie) {
    for (qzMacMovie** at = &gMovies; *at; at = &(*at)->next) {
        if (*at == movie) {
            *at = movie->next;
            return;
        }
    }
}

}  // namespace

int MacOpenMovie(const char* path, qzMacMovie** out, int32_t* width, int32_t* height, uint32_t* durationMs, int* kind) {
    *out = nullptr;
    auto refuse = [path]() {
        SetErrorArgString(path);
        return ERR_LOADVIDEO;
    };
    if (!FfmpegMediaApi()) return ERR_QUICKTIME;
    const FfmpegApi& api = Ffmpeg();
    std::unique_ptr<qzMacMovie, decltype(&FreeMovie)> owner(new (std::nothrow) qzMacMovie(), FreeMovie);
    qzMacMovie* m = owner.get();
    if (!m) return ERR_MEM;
    m->file = VfsOpen(path, QZ_VFS_READ | QZ_VFS_SEEKEMU, nullptr);
    if (!m->file) return refuse();
    m->size = VfsGetFileSize(m->file);
    if (m->size <= 0) return refuse();
    m->decoder = true;
    unsigned char* ioBuffer = static_cast<unsigned char*>(api.av_malloc(kIoBufferSize));
    m->format = api.avformat_alloc_context();
    if (ioBuffer) m->io = api.avio_alloc_context(ioBuffer, kIoBufferSize, 0, m, ReadInput, nullptr, SeekInput);
    m->packet = api.av_packet_alloc();
    m->frame = api.av_frame_alloc();
    m->ahead = api.av_frame_alloc();
    m->shown = api.av_frame_alloc();
    m->audioFrame = api.av_frame_alloc();
    if (!ioBuffer || !m->format || !m->io || !m->packet || !m->frame || !m->ahead || !m->shown || !m->audioFrame) {
        if (!m->io) api.av_free(ioBuffer);
        return ERR_MEM;
    }
    m->format->pb = m->io;
    m->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (api.avformat_open_input(&m->format, nullptr, nullptr, nullptr) < 0) {
        m->format = nullptr;  // a failed open frees the context
        return refuse();
    }
    if (api.avformat_find_stream_info(m->format, nullptr) < 0) return refuse();

    const AVCodec* videoCodec = nullptr;
    m->videoIndex = api.av_find_best_stream(m->format, AVMEDIA_TYPE_VIDEO, -1, -1, &videoCodec, 0);
    if (m->videoIndex < 0 || !videoCodec) return refuse();
    AVStream* stream = m->format->streams[m->videoIndex];
    m->video = api.avcodec_alloc_context3(videoCodec);
    if (!m->video) return ERR_MEM;
    if (api.avcodec_parameters_to_context(m->video, stream->codecpar) < 0) return refuse();
    // The decoder's own threads cost CPU time of their own (a fifth more for a 1080p30 film) and
    // pay only where the decode takes much of a frame's time: for films of more pixels a second
    // than 1080p60.
    const AVRational rate = stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0 ? stream->avg_frame_rate
                                                                                             : stream->r_frame_rate;
    const double pixelRate =
        static_cast<double>(m->video->width) * m->video->height * (rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 30.0);
    m->video->thread_count = pixelRate > kThreadedPixelRate ? 0 : 1;
    if (api.avcodec_open2(m->video, videoCodec, nullptr) < 0 || m->video->width < 1 || m->video->height < 1) {
        return refuse();
    }
    m->width = m->video->width;
    m->height = m->video->height;

    const AVCodec* audioCodec = nullptr;
    m->audioIndex = api.av_find_best_stream(m->format, AVMEDIA_TYPE_AUDIO, -1, m->videoIndex, &audioCodec, 0);
    if (m->audioIndex >= 0 && audioCodec) {
        m->audio = api.avcodec_alloc_context3(audioCodec);
        if (!m->audio) return ERR_MEM;
        const AVStream* sound = m->format->streams[m->audioIndex];
        if (api.avcodec_parameters_to_context(m->audio, sound->codecpar) < 0 ||
            api.avcodec_open2(m->audio, audioCodec, nullptr) < 0 || m->audio->sample_rate <= 0 ||
            m->audio->ch_layout.nb_channels <= 0) {
            // A movie whose sound cannot be decoded plays without it.
            api.avcodec_free_context(&m->audio);
        } else {
            m->rate = static_cast<uint32_t>(m->audio->sample_rate);
            m->channels = m->audio->ch_layout.nb_channels == 1 ? 1 : 2;
            m->queueCapacity = static_cast<size_t>(m->rate) * m->channels * kAudioQueueSeconds;
            m->queue = static_cast<int16_t*>(OsAlloc(m->queueCapacity * sizeof(int16_t), 0));
            if (!m->queue) return ERR_MEM;
        }
    }
    if (!m->audio) m->audioIndex = -1;

    if (m->format->duration != AV_NOPTS_VALUE && m->format->duration > 0) {
        m->duration = static_cast<double>(m->format->duration) / AV_TIME_BASE;
    } else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        m->duration = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    }
    AVRational fps = stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0 ? stream->avg_frame_rate
                                                                                      : stream->r_frame_rate;
    if (fps.num > 0 && fps.den > 0) m->frameDuration = 1.0 / av_q2d(fps);
    if (stream->nb_frames > 0) {
        m->frameCount = stream->nb_frames;
    } else if (m->frameDuration > 0) {
        m->frameCount = std::lrint(m->duration / m->frameDuration);
    }

    m->offscreen = static_cast<uint32_t*>(OsAlloc(static_cast<size_t>(m->width) * m->height * 4, 1));
    if (!m->offscreen) return ERR_MEM;
    // A file cut short before its first frame is no movie.
    if (!DecodeVideo(m, false)) return refuse();
    SeekTo(m, 0);

    *width = m->width;
    *height = m->height;
    const double ms = m->duration * 1000.0;
    *durationMs = ms >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
    *kind = QZ_MOVIE_KIND;
    m->next = gMovies;
    gMovies = m;
    *out = owner.release();
    return 0;
}

void MacCloseMovie(qzMacMovie* movie) {
    if (!movie) return;
    movie->state = kDetached;
    movie->window = nullptr;
    UpdateAudible(movie);
    Unlink(movie);
    RemoveTimerUnlessNeeded(nullptr);
    FreeMovie(movie);
}

void MacAttachMovie(qzMacMovie* movie, qzMacWindow* window, int32_t x, int32_t y, int32_t width, int32_t height,
                    int32_t volume) {
    movie->endPosted = false;
    movie->window = window;
    movie->boxX = x;
    movie->boxY = y;
    movie->boxWidth = width;
    movie->boxHeight = height;
    if (movie->rewindPending) {
        SeekTo(movie, 0);
        movie->haveShown = false;
        movie->clockBase = 0;
        movie->rewindPending = false;
    }
    MacSetMovieVolume(movie, volume);
    movie->cursor = kCursorNone;
    MacStartMovie(movie);
}

void MacStartMovie(qzMacMovie* movie) {
    if (!movie->window) return;
    if (movie->state == kEnded) {
        // An ended movie plays again from its beginning.
        SeekTo(movie, 0);
        movie->haveShown = false;
        movie->clockBase = 0;
        movie->endPosted = false;
    }
    movie->state = kPlaying;
    movie->clockStart = OsMonotonicMicros();
    UpdateAudible(movie);
    PlayStep(movie);
    gTimer.Install();
}

void MacPauseMovie(qzMacMovie* movie) {
    if (movie->state != kPlaying) return;
    movie->clockBase = Clock(movie);
    movie->state = kPaused;
    UpdateAudible(movie);
}

void MacStopMovie(qzMacMovie* movie) {
    movie->state = kDetached;
    movie->window = nullptr;
    UpdateAudible(movie);
    SeekTo(movie, 0);
    movie->haveShown = false;
    movie->clockBase = 0;
    movie->currentTime = 0;
    movie->cursor = kCursorNone;
    movie->rewindPending = false;
    RemoveTimerUnlessNeeded(movie);
}

void MacSeekMovie(qzMacMovie* movie, uint32_t milliseconds) {
    double seconds = milliseconds / 1000.0;
    if (movie->duration > 0 && seconds > movie->duration) seconds = movie->duration;
    SeekTo(movie, seconds);
    DecodeUpTo(movie, seconds, movie->window != nullptr);
    movie->clockBase = seconds;
    movie->clockStart = OsMonotonicMicros();
    movie->currentTime = seconds;
    movie->cursor = kCursorUnknown;
    movie->rewindPending = false;
    if (movie->state == kEnded) movie->state = kPaused;
    UpdateAudible(movie);
    movie->endPosted = false;
    DrawShown(movie);
}

uint32_t MacGetMovieTime(const qzMacMovie* movie) {
    const double t = movie->window && movie->state != kDetached ? Clock(movie) : movie->currentTime;
    const double ms = t * 1000.0;
    return ms <= 0 ? 0 : ms >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
}

void MacSetMovieVolume(qzMacMovie* movie, int32_t volume) {
    if (volume < 0) volume = 0;
    if (volume > 64) volume = 64;
    movie->volume.store(static_cast<int32_t>(volume / 64.0 * 256));
}

int32_t MacGetMovieVolume(const qzMacMovie* movie) { return movie->volume.load(); }

void MacSetMovieBox(qzMacMovie* movie, qzMacWindow* window, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (window) movie->window = window;
    UpdateAudible(movie);
    movie->boxX = x;
    movie->boxY = y;
    movie->boxWidth = width;
    movie->boxHeight = height;
    PlayStep(movie);
    DrawShown(movie);
}

void MacDetachMovieFromDisplay(qzMacWindow* window, qzMacMovie* movie) {
    if (movie->window != window) return;
    MacPauseMovie(movie);
    movie->window = nullptr;
    UpdateAudible(movie);
    RemoveTimerUnlessNeeded(movie);
}

void MacDetachMovie(qzMacWindow* window, qzMacMovie* movie) {
    movie->window = window;
    if (movie->state == kDetached) movie->state = kPaused;
    MacStartMovie(movie);
}

int MacGetMovieFrame(qzMacMovie* movie, int64_t position, int mode, uint32_t** pixels, int32_t* width, int32_t* height,
                     int32_t* rowLength) {
    qzMacMovie* m = movie;
    if (m->window || m->state != kDetached) {
        m->window = nullptr;
        m->state = kDetached;
        UpdateAudible(m);
        RemoveTimerUnlessNeeded(m);
    }
    bool ok = false;
    if (mode == QZ_MOVIEFRAME_TIME) {
        double seconds = position / 1000.0;
        if (position < 0 || (m->duration > 0 && seconds >= m->duration)) return ERR_VIDEOFRAME;
        SeekTo(m, seconds);
        ok = DecodeUpTo(m, seconds, false);
        m->cursor = kCursorUnknown;
    } else {
        int64_t n = mode == QZ_MOVIEFRAME_NEXT ? (m->cursor >= 0 ? m->cursor : 0) : position;
        if (n < 0) return ERR_VIDEOFRAME;
        if (m->cursor == kCursorNone || (mode == QZ_MOVIEFRAME_NUMBER && (m->cursor < 0 || n < m->cursor))) {
            SeekTo(m, 0);
            m->cursor = 0;
        }
        if (mode == QZ_MOVIEFRAME_NEXT && m->cursor == kCursorUnknown) {
            ok = NextFrame(m, false);
            if (ok) Show(m);
        } else if (m->cursor == n + 1 && m->haveShown) {
            ok = true;
        } else {
            ok = true;
            while (ok && m->cursor <= n) {
                ok = NextFrame(m, false);
                if (ok) {
                    Show(m);
                    ++m->cursor;
                }
            }
        }
    }
    m->rewindPending = true;
    if (!ok) {
        m->videoDrained = true;
        return ERR_VIDEOFRAME;
    }
    if (!Convert(&m->fullScale, m->shown, m->offscreen, m->width, m->height, kScaleFlags, m->width))
        return ERR_VIDEOFRAME;
    *pixels = m->offscreen;
    *width = m->width;
    *height = m->height;
    *rowLength = m->width;
    return 0;
}

int64_t MacGetMovieFrameCount(const qzMacMovie* movie) { return movie->frameCount; }

const char* MacMovieFormatName() { return "QuickTime movie"; }

int MacDumpMovie() { return ERR_WRONGUSAGE; }

void MacSetMovieEndHandler(qzMacMovie* movie, qzMovieEndHandler handler, void* data) {
    movie->onEnd = handler;
    movie->endData = data;
}

bool MacMovieEnded(const qzMacMovie* movie) { return movie->state == kEnded; }

void MacMovieTask() {
    // A movie's end handler may close movies: the list is walked again after each handler.
    bool again = true;
    for (int passes = 0; again && passes < 1000; ++passes) {
        again = false;
        for (qzMacMovie* m = gMovies; m; m = m->next) {
            if (m->state != kPlaying || !m->window) continue;
            const bool posted = m->endPosted;
            PlayStep(m);
            if (!posted && m->endPosted) {
                again = true;
                break;
            }
        }
    }
}

void RunDueMovieTimer() {
    if (gTimer.due.exchange(false)) MacMovieTask();
}

uint64_t MacMovieFramesDrawn() { return gFramesDrawn.load(); }

bool MovieTimerInstalled() { return gTimer.Installed(); }

void MacGetMovieAudioFormat(const qzMacMovie* movie, uint32_t* rate, uint32_t* channels) {
    *rate = movie->rate;
    *channels = movie->audio ? movie->channels : 0;
}

uint32_t MacReadMovieAudio(qzMacMovie* movie, int16_t* out, uint32_t frames, double heardIn) {
    if (!movie->audio || movie->channels == 0 || !movie->audible.load()) return 0;
    std::lock_guard<std::mutex> lock(movie->audioMutex);
    const uint32_t channels = movie->channels;
    // The samples read now are heard at this time of the movie.
    const double due =
        movie->soundClockBase + static_cast<double>(OsMonotonicMicros() - movie->soundClockStart) / 1e6 + heardIn;
    const double drift = movie->queueTime - due;
    size_t available = movie->queueCount / channels;
    if (drift < -kAudioSyncTolerance) {
        // Late: the samples that should have been heard already are passed over.
        size_t skip = static_cast<size_t>(-drift * movie->rate);
        if (skip > available) skip = available;
        movie->queueStart = (movie->queueStart + skip * channels) % movie->queueCapacity;
        movie->queueCount -= skip * channels;
        movie->queueTime += static_cast<double>(skip) / movie->rate;
        available -= skip;
    }
    uint32_t silent = 0;
    if (drift > kAudioSyncTolerance) {
        // Early: silence until the samples are due.
        const double wait = drift * movie->rate;
        silent = wait >= frames ? frames : static_cast<uint32_t>(wait);
        std::memset(out, 0, static_cast<size_t>(silent) * channels * sizeof(int16_t));
        out += static_cast<size_t>(silent) * channels;
        frames -= silent;
    }
    const size_t take = frames < available ? frames : available;
    const int32_t volume = movie->volume.load();
    for (size_t i = 0; i < take * channels; ++i) {
        const int16_t sample = movie->queue[movie->queueStart];
        out[i] = static_cast<int16_t>(volume >= 256 ? sample : sample * volume / 256);
        movie->queueStart = movie->queueStart + 1 == movie->queueCapacity ? 0 : movie->queueStart + 1;
    }
    movie->queueCount -= take * channels;
    movie->queueTime += static_cast<double>(take) / movie->rate;
    return static_cast<uint32_t>(silent + take);
}
