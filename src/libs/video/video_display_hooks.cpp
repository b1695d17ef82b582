// What the display code asks of the videos that play on a display: drawing the frame of a paused
// or ended video again after the display was drawn over, leaving the window while it is made
// anew and coming back, the mask of the video rectangles for the display hooks, whether a video
// plays there (or at a point), and new rectangles when the display's scale changes.
#include <cstring>

#include "display/display.h"
#include "display/display_links.h"
#include "display/display_present.h"
#include "display/display_refresh.h"
#include "display/layer.h"
#include "gfx/bitmap.h"
#include "libs/video/video.h"
#include "libs/video/video_commands.h"
#include "platform/os_bitmap.h"
#include "platform/os_lock.h"
#include "video/video_engine.h"

namespace {

bool IsActiveState(int32_t s) { return s == QZ_VIDEO_PLAYING || s == QZ_VIDEO_PAUSED || s == QZ_VIDEO_FINISHED; }

// A video that draws onto its display itself (not into a layer).
bool PlaysDirectly(const qzVideo* video) {
    return !video->layerFlag && (video->player->kind == QZ_VIDEOKIND_MOVIE || !video->player->engine->layer);
}

qzVideo* VideoOf(qzObjectHeader* h) { return reinterpret_cast<qzVideo*>(h); }

// Takes the engine's frame that waits for the main thread off the display and presents it now.
void PresentWaitingFrame(const qzVideoEngine* engine, qzDisplay* display) {
    if (!display->repaintMutex) return;
    qzPendingRepaint* entry = nullptr;
    {
        qzMutexLock lock(display->repaintMutex);
        for (qzPendingRepaint** link = &display->pendingRepaints; *link; link = &(*link)->next) {
            if ((*link)->video == engine && !(*link)->layer) {
                entry = *link;
                *link = entry->next;
                break;
            }
        }
    }
    if (!entry) return;
    if (display->state == QZ_DISPSTATE_OPEN)
        PresentDisplayRect(entry->frame, 0, 0, display, entry->x, entry->y, entry->width, entry->height, 0, 0,
                           QZ_PRESENT_NOVIDEOMASK, nullptr, nullptr);
    DeleteBitMap(entry->frame);
    delete entry;
}

void RedrawVideosOnDisplay(qzDisplay* display) {
    for (qzObjectHeader* h = qzVideoList; h; h = h->next) {
        qzVideo* video = VideoOf(h);
        const int32_t s = video->state.load();
        if (video->display != display || video->player->kind == QZ_VIDEOKIND_MOVIE || !PlaysDirectly(video)) continue;
        if (s != QZ_VIDEO_PAUSED && s != QZ_VIDEO_FINISHED) continue;
        RedrawVideoPlayer(video->player);
        PresentWaitingFrame(video->player->engine, display);
    }
}

void SuspendVideosOfDisplay(qzDisplay* display) {
    for (qzObjectHeader* h = qzVideoList; h; h = h->next) {
        qzVideo* video = VideoOf(h);
        const int32_t s = video->state.load();
        if (video->display != display || !IsActiveState(s) || !PlaysDirectly(video)) continue;
        SuspendVideoPlayer(video->player);
        if (video->player->kind != QZ_VIDEOKIND_MOVIE) RemoveVideoDrawRequests(video->player->engine, display);
        video->rememberedState = s;
        // A video that ends meanwhile (its end handler moves playing to finished) stays suspended.
        video->state.store(QZ_VIDEO_SUSPENDED);
    }
}

void ResumeVideosOfDisplay(qzDisplay* display) {
    for (qzObjectHeader* h = qzVideoList; h; h = h->next) {
        qzVideo* video = VideoOf(h);
        if (video->display != display || video->state.load() != QZ_VIDEO_SUSPENDED) continue;
        int32_t s = video->rememberedState;
        if (s == QZ_VIDEO_PLAYING && VideoPlayerEnded(video->player)) s = QZ_VIDEO_FINISHED;
        ResumeSuspendedVideoPlayer(video->player, video->screenX, video->screenY, video->screenWidth,
                                   video->screenHeight, s == QZ_VIDEO_PLAYING);
        video->state.store(s);
    }
}

// The part of the video's rectangle that lies on the display; false when none does.
bool ClippedRect(const qzVideo* video, const qzDisplay* display, int32_t* x, int32_t* y, int32_t* w, int32_t* h) {
    int64_t left = video->screenX, top = video->screenY;
    int64_t right = left + video->screenWidth, bottom = top + video->screenHeight;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > display->width) right = display->width;
    if (bottom > display->height) bottom = display->height;
    if (right <= left || bottom <= top) return false;
    *x = static_cast<int32_t>(left);
    *y = static_cast<int32_t>(top);
    *w = static_cast<int32_t>(right - left);
    *h = static_cast<int32_t>(bottom - top);
    return true;
}

qzBitMap* GetVideosMaskForDisplay(qzDisplay* display) {
    qzBitMap* mask = nullptr;
    qzLockInfo lock{};
    for (qzObjectHeader* h = qzVideoList; h; h = h->next) {
        qzVideo* video = VideoOf(h);
        if (video->display != display || !IsActiveState(video->state.load()) || !PlaysDirectly(video)) continue;
        if (!mask) {
            if (display->width < 1 || display->height < 1) return nullptr;
            mask = CreateMaskBitMap(nullptr, display->width, display->height, 0, nullptr, 0);
            if (!mask) return nullptr;
            if (!LockBitMapPixels(mask, 0, &lock)) {
                DeleteMaskBitMap(mask);
                return nullptr;
            }
            std::memset(lock.pixels, 0xFF, static_cast<size_t>(lock.rowLength) * display->height);
        }
        if (video->player->kind == QZ_VIDEOKIND_MOVIE) continue;
        int32_t x = 0, y = 0, w = 0, hgt = 0;
        if (!ClippedRect(video, display, &x, &y, &w, &hgt)) continue;
        for (int32_t row = y; row < y + hgt; row++) {
            auto* bits = static_cast<uint8_t*>(lock.pixels) + static_cast<size_t>(row) * lock.rowLength;
            for (int32_t col = x; col < x + w; col++) bits[col >> 3] &= static_cast<uint8_t>(~(0x80 >> (col & 7)));
        }
    }
    if (mask) UnlockBitMapPixels(&lock);
    return mask;
}

int IsVideoActiveOnDisplay(const qzDisplay* display, int notAsLayer, int checkLayers) {
    for (qzObjectHeader* h = qzVideoList; h; h = h->next) {
        const qzVideo* video = VideoOf(h);
        const int32_t s = video->state.load();
        if (video->display != display || (!IsActiveState(s) && s != QZ_VIDEO_SUSPENDED)) continue;
        if (!notAsLayer || PlaysDirectly(video)) return 1;
    }
    if (!checkLayers || !display->bgpic) return 0;
    for (qzLayer* layer = FirstLayer(display->bgpic); layer; layer = NextLayer(layer)) {
        if (layer->type != QZ_LAYER_VIDEO) continue;
        const qzVideo* video = VideoOfLayer(layer);
        if (video && IsActiveState(video->state.load())) return 1;
    }
    return 0;
}

int IsPointInPlayingVideo(const qzDisplay* display, int32_t x, int32_t y) {
    for (qzObjectHeader* h = qzVideoList; h; h = h->next) {
        const qzVideo* video = VideoOf(h);
        if (video->display != display || !IsActiveState(video->state.load()) || !PlaysDirectly(video)) continue;
        const int64_t left = video->screenX, top = video->screenY;
        if (x >= left && y >= top && x < left + video->screenWidth && y < top + video->screenHeight) return 1;
    }
    return 0;
}

void RescaleVideosOnDisplay(VmState* state, qzDisplay* display, uint32_t refreshFlags) {
    bool engineVideo = false;
    for (qzObjectHeader* h = qzVideoList; h; h = h->next) {
        qzVideo* video = VideoOf(h);
        if (video->display != display || !IsActiveState(video->state.load()) || !PlaysDirectly(video)) continue;
        ComputeVideoScreenRect(video, display);
        SetVideoPlayerRect(video->player, video->screenX, video->screenY, video->screenWidth, video->screenHeight,
                           display->smoothScale);
        if (video->player->kind != QZ_VIDEOKIND_MOVIE) engineVideo = true;
    }
    // The display is drawn again under the videos; paused and ended ones then show their frame.
    if (engineVideo) RefreshDisplay(state, display, refreshFlags);
}

}  // namespace

void LinkVideoDisplayHooks(bool on) {
    qzDisplayLinks links = DisplayLinks();
    links.stopVideosOnDisplay = on ? StopVideosOnDisplay : nullptr;
    links.redrawVideosOnDisplay = on ? RedrawVideosOnDisplay : nullptr;
    links.suspendVideosOfDisplay = on ? SuspendVideosOfDisplay : nullptr;
    links.resumeVideosOfDisplay = on ? ResumeVideosOfDisplay : nullptr;
    links.getVideosMaskForDisplay = on ? GetVideosMaskForDisplay : nullptr;
    links.isVideoActiveOnDisplay = on ? IsVideoActiveOnDisplay : nullptr;
    links.isPointInPlayingVideo = on ? IsPointInPlayingVideo : nullptr;
    links.rescaleVideosOnDisplay = on ? RescaleVideosOnDisplay : nullptr;
    SetDisplayLinks(&links);
}
