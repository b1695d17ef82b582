// The video library's objects: the list, lookups, frames handed to the display, stopping and
// freeing, the display link and the shutdown steps, and the command table.
#include <cstring>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "base/pixel_format_codes.h"
#include "display/display.h"
#include "display/display_links.h"
#include "display/display_present.h"
#include "display/display_refresh.h"
#include "display/layer.h"
#include "display/layer_kinds.h"
#include "display/layer_list.h"
#include "gfx/bitmap.h"
#include "libs/video/video.h"
#include "libs/video/video_commands.h"
#include "media/sound/sound_events.h"
#include "platform/host/event_loop.h"
#include "platform/os_bitmap.h"
#include "platform/os_lock.h"
#include "runtime/object_data.h"
#include "video/video_engine.h"
#include "vm/vm_aux.h"

qzObjectHeader* qzVideoList = nullptr;
char qzVideoDefaultLoader[32] = "";

// Takes the engine's pending frames off the display; the display's repaint mutex is taken here.
void RemoveVideoDrawRequests(const void* engine, qzDisplay* display) {
    if (!display || !display->repaintMutex) return;
    qzPendingRepaint* dropped = nullptr;
    {
        qzMutexLock lock(display->repaintMutex);
        qzPendingRepaint** link = &display->pendingRepaints;
        while (*link) {
            qzPendingRepaint* entry = *link;
            if (entry->video == engine) {
                *link = entry->next;
                entry->next = dropped;
                dropped = entry;
            } else {
                link = &entry->next;
            }
        }
    }
    while (dropped) {
        qzPendingRepaint* next = dropped->next;
        DeleteBitMap(dropped->frame);
        delete dropped;
        dropped = next;
    }
}

namespace {

// The refresh thread's picture: the part of it that lies on the display becomes a bitmap in the
// display's format and joins the display's pending frames, replacing an older frame of the same
// video, for the main thread to present.
void DrawVideoPicture(void* user, qzVideoEngine* engine, const uint32_t* pixels, int32_t width, int32_t height,
                      int32_t rowLength) {
    auto* video = static_cast<qzVideo*>(user);
    qzDisplay* display = video->display;
    if (!display || !display->repaintMutex) return;
    // A layer takes the whole frame; the main thread makes it the layer's content.
    const bool toLayer = video->layerFlag != 0;
    int32_t x = toLayer ? 0 : engine->x, y = toLayer ? 0 : engine->y, sx = 0, sy = 0, w = width, h = height;
    if (x < 0) {
        w += x;
        sx = -x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        sy = -y;
        y = 0;
    }
    if (!toLayer && w > display->width - x) w = display->width - x;
    if (!toLayer && h > display->height - y) h = display->height - y;
    if (w < 1 || h < 1) return;
    qzBitMap* bitmap = CreateBitMap(w, h, 0, nullptr);
    if (!bitmap) return;
    qzLockInfo lock;
    if (!LockBitMapPixels(bitmap, 0, &lock)) {
        DeleteBitMap(bitmap);
        return;
    }
    for (int32_t row = 0; row < h; row++) {
        const uint32_t* src = pixels + static_cast<size_t>(sy + row) * rowLength + sx;
        if (lock.pixelFormat == PIXFMT_RGB565) {
            auto* dst = static_cast<uint16_t*>(lock.pixels) + static_cast<size_t>(row) * lock.rowLength;
            for (int32_t i = 0; i < w; i++)
                dst[i] = static_cast<uint16_t>((src[i] & 0xF800) | ((src[i] >> 13) & 0x07E0) | (src[i] >> 27));
        } else {
            auto* dst = static_cast<uint32_t*>(lock.pixels) + static_cast<size_t>(row) * lock.rowLength;
            if (lock.pixelFormat == PIXFMT_ABGR32)
                for (int32_t i = 0; i < w; i++) dst[i] = src[i] >> 8;
            else
                std::memcpy(dst, src, static_cast<size_t>(w) * 4);
        }
    }
    UnlockBitMapPixels(&lock);
    auto* request =
        new (std::nothrow) qzPendingRepaint{nullptr, engine, bitmap, x, y, w, h, toLayer ? &engine->layer : nullptr};
    if (!request) {
        DeleteBitMap(bitmap);
        return;
    }
    RemoveVideoDrawRequests(engine, display);
    {
        qzMutexLock repaintLock(display->repaintMutex);
        qzPendingRepaint** link = &display->pendingRepaints;
        while (*link) link = &(*link)->next;
        *link = request;
    }
    MacForceEventLoopIteration();
}

// The end of a video (refresh thread for engine videos, the movie timer for movies).
void VideoEnded(void* user, qzVideoEngine* engine) {
    auto* video = static_cast<qzVideo*>(user);
    if (!engine && IsSoundEventHooked(QZ_SOUNDEVENT_VIDEOEND))
        PushSoundEvent(QZ_SOUNDEVENT_VIDEOEND, video->header.id, 0, 0, 0, 1);
    int32_t expected = QZ_VIDEO_PLAYING;
    video->state.compare_exchange_strong(expected, QZ_VIDEO_FINISHED);
}

void FreeVideoRecord(VmState* state, qzVideo* video) {
    if (video->state.load() != QZ_VIDEO_STOPPED) StopVideoObject(state, video, 0);
    CloseVideoPlayer(video->player);
    if (state) FreeObjectDataList(state, video->header.data);
    delete video;
}

// A removed video layer, or one of a picture that goes, stops its video; the engine forgets the
// layer.
void StopVideoOfLayer(VmState* state, qzLayer* layer) {
    if (qzVideo* video = VideoOfLayer(layer)) StopVideoObject(state, video, 0, 1, layer);
}

void VideoFrameSize(const qzLayer* layer, int32_t* width, int32_t* height) {
    if (const qzVideo* video = VideoOfLayer(layer)) {
        *width = video->nativeWidth;
        *height = video->nativeHeight;
    }
}

// InsertLayer of a video: its first frame as a layer at the list position.
int InsertVideoLayer(VmState* state, int32_t, const qzObjectId& id, int32_t x, int32_t y, int32_t position,
                     int hidden) {
    qzVideo* video = nullptr;
    if (int error = FindVideoById(id, &video)) return error;
    return DisplayVideoFrameAt(state, video, x, y, 0, position, hidden, 0);
}

void InstallVideoLayerKind(bool on) {
    qzLayerKindOps ops = {};
    ops.insert = InsertVideoLayer;
    ops.stopVideo = StopVideoOfLayer;
    ops.videoFrameSize = VideoFrameSize;
    ops.purgeOrphans = FreeOrphanedVideos;
    SetLayerKindOps(QZ_LAYER_VIDEO, on ? &ops : nullptr);
}

int OpenVideoLibrary(VmState*) {
    LinkVideoDisplayHooks(true);
    InstallVideoLayerKind(true);
    return RegisterObjectList(&qzVideoList);
}

void StopAllVideosAtExit(VmState* state) {
    for (qzObjectHeader* h = qzVideoList; h; h = h->next) {
        auto* video = reinterpret_cast<qzVideo*>(h);
        if (video->state.load() == QZ_VIDEO_SUSPENDED) video->state.store(video->rememberedState);
        if (video->state.load() != QZ_VIDEO_STOPPED) StopVideoObject(state, video, 0);
    }
}

void FreeAllVideosAtExit(VmState* state) {
    while (qzVideoList) {
        auto* video = reinterpret_cast<qzVideo*>(qzVideoList);
        qzVideoList = qzVideoList->next;
        FreeVideoRecord(state, video);
    }
}

void ResetVideoLibrary() {
    LinkVideoDisplayHooks(false);
    InstallVideoLayerKind(false);
    qzVideoList = nullptr;
    qzVideoDefaultLoader[0] = '\0';
}

const qzCommandRow kVideoCommands[] = {
    {"OpenVideo", VideoOpenVideo, 2, 3},
    {"CloseVideo", VideoCloseVideo, 1, 1},
    {"PlayVideo", VideoPlayVideo, 1, 4},
    {"StopVideo", VideoStopVideo, 1, 1},
    {"PauseVideo", VideoPauseVideo, 1, 1},
    {"ResumeVideo", VideoResumeVideo, 1, 1},
    {"SeekVideo", VideoSeekVideo, 2, 2},
    {"IsVideo", VideoIsVideo, 1, 2},
    {"SetVideoSize", VideoSetVideoSize, 3, 4},
    {"SetVideoPosition", VideoSetVideoPosition, 3, 3},
    {"SetVideoVolume", VideoSetVideoVolume, 2, 2},
    {"GetVideoFrame", VideoGetVideoFrame, 3, 5},
    {"IsVideoPlaying", VideoIsVideoPlaying, 1, 1},
    {"ForceVideoDriver", VideoForceVideoDriver, 1, 1},
    {"DumpVideo", VideoDumpVideo, 1, 5},
    {"DisplayVideoFrame", VideoDisplayVideoFrame, 4, 5},
    {nullptr, nullptr},
};

const qzConstantRow kVideoConstants[] = {
    {"VIDDRV_OS", nullptr, 0},
    {"VIDDRV_QUARNELIX", nullptr, 1},
    {nullptr, nullptr, 0},
};

}  // namespace

const qzLibraryDescriptor qzVideoLibrary = {
    .name = "video",
    .commands = kVideoCommands,
    .constants = kVideoConstants,
    .open = OpenVideoLibrary,
    .cleanups = {{QZ_STAGE_STOP_VIDEOS, StopAllVideosAtExit}, {QZ_STAGE_VIDEOS, FreeAllVideosAtExit}},
    .reset = ResetVideoLibrary,
    .setAttr = nullptr,
    .getAttr = nullptr,
};

int FindVideoById(const qzObjectId& id, qzVideo** out, int flags, VmState* state) {
    *out = nullptr;
    for (qzObjectHeader* h = qzVideoList; h; h = h->next) {
        auto* video = reinterpret_cast<qzVideo*>(h);
        if (!SameObjectId(h->id, id) || (video->keptByLayers && !(flags & QZ_FINDVIDEO_LAYERONLY))) continue;
        *out = video;
        break;
    }
    if (!*out) {
        if (id.pointer) return ERR_FINDARRAY;
        SetErrorArgIndex(id.number);
        return ERR_FINDVIDEO;
    }
    if (!(flags & QZ_FINDVIDEO_MODIFY)) return 0;
    if ((*out)->locked) return ERR_LOCKEDOBJ;
    if (!(flags & QZ_FINDVIDEO_NODETACH) && !(*out)->keptByLayers &&
        FindLayerUsingObject(QZ_LAYER_VIDEO, id, nullptr, nullptr, nullptr)) {
        // The layers go on showing a video of their own, opened from the same file; one that
        // played in a layer stops there first (the layer keeps its last frame).
        qzVideo* copy = nullptr;
        int error = OpenSecondVideo(*out, &copy);
        if (error) return error;
        if ((*out)->layerFlag && (*out)->state.load() != QZ_VIDEO_STOPPED) StopVideoObject(state, *out, 0, 1);
        (*out)->layerFlag = 0;
        RetargetLayersToObject(QZ_LAYER_VIDEO, id, copy);
        copy->layerFlag = 1;
    }
    return 0;
}

int StopVideoObject(VmState* state, qzVideo* video, int refresh, int resetLayer, const qzLayer* layer) {
    if (!video && !(video = VideoOfLayer(layer))) return ERR_FINDVIDEO;
    int32_t s = video->state.load();
    if (s != QZ_VIDEO_PLAYING && s != QZ_VIDEO_PAUSED && s != QZ_VIDEO_FINISHED) {
        if (resetLayer) SetVideoEngineLayer(video->player, nullptr);
        return ERR_VIDSTOPPED;
    }
    StopVideoPlayer(video->player, resetLayer);
    if (video->player->engine) RemoveVideoDrawRequests(video->player->engine, video->display);
    video->state.store(QZ_VIDEO_STOPPED);
    if (refresh && video->display && video->display->state == QZ_DISPSTATE_OPEN)
        RefreshDisplay(state, video->display, 0);
    video->display = nullptr;
    return 0;
}

void StopVideosOnDisplay(VmState* state, qzDisplay* display) {
    for (qzObjectHeader* h = qzVideoList; h; h = h->next) {
        auto* video = reinterpret_cast<qzVideo*>(h);
        // A video whose window went away stops as it was before.
        if (video->display == display && video->state.load() == QZ_VIDEO_SUSPENDED)
            video->state.store(video->rememberedState);
        if (video->display == display && video->state.load() != QZ_VIDEO_STOPPED) StopVideoObject(state, video, 0);
    }
}

qzVideo* VideoOfLayer(const qzLayer* layer) {
    if (!layer || layer->type != QZ_LAYER_VIDEO) return nullptr;
    qzVideo* video = nullptr;
    FindVideoById(layer->id, &video, QZ_FINDVIDEO_LAYERONLY);
    return video;
}

int PauseVideoObject(qzLayer* layer) {
    qzVideo* video = VideoOfLayer(layer);
    if (!video) return ERR_FINDVIDEO;
    if (video->state.load() != QZ_VIDEO_PLAYING) return ERR_VIDNOTPLAYING;
    PauseVideoPlayer(video->player);
    video->state.store(QZ_VIDEO_PAUSED);
    return 0;
}

int ResumeVideoObject(qzLayer* layer) {
    qzVideo* video = VideoOfLayer(layer);
    if (!video) return ERR_FINDVIDEO;
    if (video->state.load() != QZ_VIDEO_PAUSED) return ERR_VIDNOTPAUSED;
    ResumeVideoPlayer(video->player);
    video->state.store(QZ_VIDEO_PLAYING);
    return 0;
}

int SeekVideoObject(VmState* state, qzLayer* layer, double position) {
    qzVideo* video = VideoOfLayer(layer);
    if (!video) return ERR_FINDVIDEO;
    return SeekVideoTo(state, video, position, layer);
}

int SetVideoObjectVolume(qzLayer* layer, double volume) {
    qzVideo* video = VideoOfLayer(layer);
    if (!video) return ERR_FINDVIDEO;
    SetVideoVolumeTo(video, volume);
    return 0;
}

int IsVideoObjectPlaying(const qzLayer* layer) {
    const qzVideo* video = VideoOfLayer(layer);
    return video && video->state.load() == QZ_VIDEO_PLAYING ? 1 : 0;
}

void FreeOrphanedVideos(VmState* state) {
    qzObjectHeader* h = qzVideoList;
    while (h) {
        auto* video = reinterpret_cast<qzVideo*>(h);
        h = h->next;
        if (video->keptByLayers && !FindLayerUsingObject(QZ_LAYER_VIDEO, video->header.id, nullptr, nullptr, nullptr))
            CloseVideoObject(state, video);
    }
}

// Shared inside the library.
void CloseVideoObject(VmState* state, qzVideo* video) {
    RemoveObjectFromList(&qzVideoList, &video->header);
    FreeVideoRecord(state, video);
}

void ReleaseVideoObject(VmState* state, qzVideo* video) {
    // Layers that show it keep it, under an identifier of its own record.
    if (!video->keptByLayers && RetargetLayersToObject(QZ_LAYER_VIDEO, video->header.id, video)) {
        video->header.id = {0, video};
        video->keptByLayers = 1;
        return;
    }
    if (video->state.load() != QZ_VIDEO_STOPPED) StopVideoObject(state, video, 1);
    CloseVideoObject(state, video);
}

qzVideoOutput VideoOutputOf(qzVideo* video) { return qzVideoOutput{DrawVideoPicture, VideoEnded, video}; }
