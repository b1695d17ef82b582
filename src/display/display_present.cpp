#include "display/display_present.h"

#include <new>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_links.h"
#include "display/display_pixels.h"
#include "display/display_refresh.h"
#include "display/display_scale.h"
#include "display/layer_replace.h"
#include "gfx/bitmap.h"
#include "gfx/frame_limit.h"
#include "gfx/scale_bitmap.h"
#include "platform/display_adapter.h"
#include "platform/host/backend_draw.h"
#include "platform/os_time.h"
#include "platform/os_timer.h"
#include "runtime/event_queue.h"

namespace {

// The scaled presentation buffer shared by all displays, kept at the last size asked for.
qzBitMap* scaledBuffer = nullptr;

bool EnsureScaledBuffer(int32_t width, int32_t height) {
    if (scaledBuffer && scaledBuffer->width == width && scaledBuffer->height == height) return true;
    DeleteBitMap(scaledBuffer);
    scaledBuffer = CreateBitMap(width, height, 0, nullptr);
    return scaledBuffer != nullptr;
}

void SendPresentMessage(qzDisplay* display, const qzBitMap* source, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
                        int32_t width, int32_t height, uint32_t flags) {
    // Where videos play the hooks keep what they drew: the mask is clear there.
    qzBitMap* videoMask = (flags & QZ_PRESENT_NOVIDEOMASK) ? nullptr : DisplayLinks().getVideosMaskForDisplay(display);
    qzLockInfo maskLock{};
    const bool maskLocked = videoMask && LockBitMapPixels(videoMask, LOCKF_READONLY, &maskLock);
    qzLockInfo lock{};
    const bool adapterHandles = (DisplayAdapterFlags() & QZ_ADAPTER_HOOKHANDLES) != 0;
    const bool locked = !adapterHandles && LockBitMapPixels(source, LOCKF_READONLY, &lock);
    intptr_t message[14] = {};
    if (adapterHandles) {
        message[0] = reinterpret_cast<intptr_t>(GetBitMapHandle(source));
        message[1] = QZ_HOOKSOURCE_ADAPTER;
    } else {
        message[0] = locked ? reinterpret_cast<intptr_t>(lock.pixels) : 0;
        message[1] = QZ_HOOKSOURCE_PIXELS;
        message[4] = locked ? lock.rowLength : 0;
        message[5] = locked ? lock.pixelFormat : 0;
    }
    message[2] = source->width;
    message[3] = source->height;
    message[6] = maskLocked ? reinterpret_cast<intptr_t>(maskLock.pixels) : 0;
    message[7] = maskLocked ? maskLock.rowLength : 0;
    message[8] = sx;
    message[9] = sy;
    message[10] = dx;
    message[11] = dy;
    message[12] = width;
    message[13] = height;
    SendDisplayHookMessage(display, QZ_HOOKMSG_PRESENT, message);
    if (locked) UnlockBitMapPixels(&lock);
    if (maskLocked) UnlockBitMapPixels(&maskLock);
    DeleteMaskBitMap(videoMask);
}

}  // namespace

void PresentDisplayRect(const qzBitMap* source, int32_t sx, int32_t sy, qzDisplay* display, int32_t dx, int32_t dy,
                        int32_t width, int32_t height, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags,
                        const qzBitMap* mask, const qzBitMap* alpha) {
    if (!source || !display) return;
    const bool hooks = display->hooks && !(flags & QZ_PRESENT_NOHOOKS);
    const bool adapter = IsDisplayAdapterActive() != 0;
    if (flags & QZ_PRESENT_BYPASS) {
        BlitToDisplayWindow(source, sx, sy, display, dx, dy, width, height, scaledWidth, scaledHeight, flags, mask,
                            alpha);
        return;
    }
    const qzBitMap* hookSource = source;
    int32_t hx = sx, hy = sy, hdx = dx, hdy = dy, hw = width, hh = height;
    if (scaledWidth > 0 && scaledHeight > 0) {
        const bool adapterScales = adapter && (DisplayAdapterFlags() & QZ_ADAPTER_SCALES);
        if (adapterScales && !hooks) {
            BlitToDisplayWindow(source, sx, sy, display, dx, dy, width, height, scaledWidth, scaledHeight, flags, mask,
                                alpha);
            return;
        }
        if (!adapter && !hooks && (display->state != QZ_DISPSTATE_OPEN || !display->smoothScale)) {
            // The back end scales by nearest pixel: only the part that shows the rectangle is drawn
            // again, with the same pixels as a scaled presentation of the whole picture.
            BlitScaledPartToDisplayWindow(source, sx, sy, width, height, display, scaledWidth, scaledHeight, flags);
            return;
        }
        // Scaled here, into the shared buffer: the whole source at the scaled size.
        if (!EnsureScaledBuffer(scaledWidth, scaledHeight)) return;
        if (ScaleBitMap(source, nullptr, nullptr, 0, 0, scaledBuffer, source->width, source->height, scaledWidth,
                        scaledHeight, display->smoothScale, nullptr, nullptr, nullptr) != 0)
            return;
        flags |= QZ_PRESENT_SCALEDHERE;
        hookSource = scaledBuffer;
        hx = hy = hdx = hdy = 0;
        hw = scaledWidth;
        hh = scaledHeight;
        if (!adapterScales) {
            source = scaledBuffer;
            sx = sy = dx = dy = 0;
            width = scaledWidth;
            height = scaledHeight;
        }
    }
    if (!adapter || display->state == QZ_DISPSTATE_OPEN)
        BlitToDisplayWindow(source, sx, sy, display, dx, dy, width, height, scaledWidth, scaledHeight, flags, mask,
                            alpha);
    if (hooks) SendPresentMessage(display, hookSource, hx, hy, hdx, hdy, hw, hh, flags);
}

void PresentDisplayBuffer(qzDisplay* display, const qzBitMap* buffer, int32_t x, int32_t y, int32_t width,
                          int32_t height, uint32_t flags) {
    if (!buffer) return;
    int32_t sw = 0, sh = 0;
    if (display->autoScale && display->scaledWidth > 0 && display->scaledHeight > 0) {
        sw = display->scaledWidth;
        sh = display->scaledHeight;
    }
    PresentDisplayRect(buffer, x, y, display, x, y, width, height, sw, sh, flags, nullptr, nullptr);
}

void FreeScaledPresentationBuffer() {
    DeleteBitMap(scaledBuffer);
    scaledBuffer = nullptr;
}

void GetScaledPresentationBufferSize(int32_t* width, int32_t* height) {
    *width = scaledBuffer ? scaledBuffer->width : 0;
    *height = scaledBuffer ? scaledBuffer->height : 0;
}

void DisplayRectFill(qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour) {
    if (display->state != QZ_DISPSTATE_OPEN) return;
    RectFillDisplayWindow(display, x, y, width, height, colour);
    const intptr_t message[5] = {x, y, width, height, intptr_t(colour)};
    SendDisplayHookMessage(display, QZ_HOOKMSG_RECTFILL, message);
}

void DisplayWritePixel(qzDisplay* display, int32_t x, int32_t y, uint32_t colour) {
    if (display->state != QZ_DISPSTATE_OPEN) return;
    WritePixelDisplayWindow(display, x, y, colour);
    const intptr_t message[3] = {x, y, intptr_t(colour)};
    SendDisplayHookMessage(display, QZ_HOOKMSG_PIXEL, message);
}

void DisplayLine(qzDisplay* display, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    if (display->state != QZ_DISPSTATE_OPEN) return;
    LineDisplayWindow(display, x1, y1, x2, y2, colour);
    const intptr_t message[5] = {x1, y1, x2, y2, intptr_t(colour)};
    SendDisplayHookMessage(display, QZ_HOOKMSG_LINE, message);
}

void FillDisplayBorders(qzDisplay* display) {
    const int32_t left = display->letterboxLeft, top = display->letterboxTop;
    const int32_t right = display->letterboxRight, bottom = display->letterboxBottom;
    const int32_t w = display->width, h = display->height;
    if (left) DisplayRectFill(display, -left, -top, left, h, 0);
    if (top) DisplayRectFill(display, -left, -top, w, top, 0);
    if (right) DisplayRectFill(display, w - left - right, -top, right, h, 0);
    if (bottom) DisplayRectFill(display, -left, h - top - bottom, w, bottom, 0);
}

void SendDisplayHookMessage(qzDisplay* display, int32_t code, const intptr_t* message) {
    if (!display->hooks) return;
    for (qzDisplayHook* h = display->hooks; h; h = h->next) h->visited = 0;
    for (;;) {
        qzDisplayHook* next = nullptr;
        for (qzDisplayHook* h = display->hooks; h; h = h->next) {
            if (h->visited) continue;
            if (display->hookBeingRefreshed && h != display->hookBeingRefreshed) continue;
            next = h;
            break;
        }
        if (!next) return;
        // Marked before the call: the callback may remove this hook or others.
        next->visited = 1;
        if (!next->foreign && next->callback) next->callback(next, code, message, next->userData);
    }
}

void NotifyDisplayHooksResize(qzDisplay* display, int32_t width, int32_t height) {
    const intptr_t message[2] = {width, height};
    SendDisplayHookMessage(display, QZ_HOOKMSG_RESIZE, message);
}

qzDisplayHook* AddDisplayHook(VmState*, const qzObjectId& displayId, qzDisplayHookCallback callback, void* userData,
                              const qzHookTag* tags, int foreign) {
    if (IsVideoRecording()) return nullptr;
    qzDisplay* display = nullptr;
    if (FindDisplayById(displayId, &display) != 0) return nullptr;
    const qzBGPic* pic = display->bgpic;
    if (!pic || pic->transparentColor != -1 || pic->mask || pic->alpha) return nullptr;
    if (display->doubleBufferHardware) return nullptr;
    auto* hook = new (std::nothrow) qzDisplayHook{nullptr, callback, userData, foreign, 0, 0, display};
    if (!hook) return nullptr;
    const bool scaled = (display->autoScale || display->layerScale) && display->scaledWidth && display->scaledHeight;
    for (const qzHookTag* t = tags; t && t->tag; t++) {
        if (t->tag == 1 && t->value)
            *reinterpret_cast<int32_t*>(t->value) = scaled ? display->scaledWidth : pic->scaledWidth;
        if (t->tag == 2 && t->value)
            *reinterpret_cast<int32_t*>(t->value) = scaled ? display->scaledHeight : pic->scaledHeight;
        if (t->tag == 3) hook->wantsVWait = t->value != 0;
    }
    qzDisplayHook** tail = &display->hooks;
    while (*tail) tail = &(*tail)->next;
    *tail = hook;
    return hook;
}

qzDisplay* FindDisplayOfHook(const qzDisplayHook* hook) {
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        for (qzDisplayHook* h = d->hooks; h; h = h->next)
            if (h == hook) return d;
    return nullptr;
}

void RemoveDisplayHook(qzDisplayHook* hook) {
    qzMutex* mutex = DisplayLibraryMutex();
    if (mutex) OsLockMutex(mutex);
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) {
        for (qzDisplayHook** link = &d->hooks; *link; link = &(*link)->next) {
            if (*link != hook) continue;
            *link = hook->next;
            if (d->hookBeingRefreshed == hook) d->hookBeingRefreshed = nullptr;
            delete hook;
            if (mutex) OsUnlockMutex(mutex);
            return;
        }
    }
    if (mutex) OsUnlockMutex(mutex);
}

void FreeDisplayHooks(qzDisplay* display) {
    qzDisplayHook* h = display->hooks;
    display->hooks = nullptr;
    display->hookBeingRefreshed = nullptr;
    while (h) {
        qzDisplayHook* next = h->next;
        delete h;
        h = next;
    }
}

void RefreshHookDisplay(VmState* state, qzDisplayHook* hook) {
    qzDisplay* display = FindDisplayOfHook(hook);
    if (!display) return;
    display->hookBeingRefreshed = hook;
    RefreshDisplay(state, display, QZ_REFRESH_CURRENTHOOK);
    display->hookBeingRefreshed = nullptr;
}

int AdapterResizeDisplay(VmState* state, qzDisplayHook* hook, int32_t width, int32_t height) {
    qzDisplay* display = FindDisplayOfHook(hook);
    if (!display) return ERR_FINDDISPLAY;
    int error =
        ResizeDisplay(state, display, QZ_KEEPPOSITION, QZ_KEEPPOSITION, width, height, 0, display->smoothScale, 1, 1);
    if (error) return error;
    PushEventToQueue(display, QZ_EVENT_SIZEWINDOW, width, height, 0, nullptr);
    return 0;
}

void DropPendingRepaints(qzDisplay* display) {
    if (!display->repaintMutex) return;
    OsLockMutex(display->repaintMutex);
    qzPendingRepaint* list = display->pendingRepaints;
    display->pendingRepaints = nullptr;
    OsUnlockMutex(display->repaintMutex);
    while (list) {
        qzPendingRepaint* next = list->next;
        DeleteBitMap(list->frame);
        delete list;
        list = next;
    }
}

int FlushPendingDisplayRepaints(VmState* state) {
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) {
        if (!d->repaintMutex) continue;
        // One entry at a time: making a frame a layer's content may stop videos, which take their
        // entries off the list meanwhile. Entries that arrive meanwhile wait for the next pass.
        int32_t count = 0;
        OsLockMutex(d->repaintMutex);
        for (const qzPendingRepaint* e = d->pendingRepaints; e; e = e->next) count++;
        OsUnlockMutex(d->repaintMutex);
        int error = 0;
        for (; count > 0 && !error; count--) {
            OsLockMutex(d->repaintMutex);
            qzPendingRepaint* entry = d->pendingRepaints;
            if (entry) d->pendingRepaints = entry->next;
            // The layer that the frame is for, read while its video cannot stop.
            qzLayer** slot = entry ? static_cast<qzLayer**>(entry->layer) : nullptr;
            OsUnlockMutex(d->repaintMutex);
            if (!entry) break;
            if (!slot) {
                int32_t sx = 0, sy = 0, dx = entry->x, dy = entry->y, w = entry->width, h = entry->height;
                if (entry->frame && ClipCopyRect(&sx, &sy, &dx, &dy, &w, &h, entry->frame->width, entry->frame->height,
                                                 d->width, d->height))
                    PresentDisplayRect(entry->frame, sx, sy, d, dx, dy, w, h, 0, 0, QZ_PRESENT_NOVIDEOMASK, nullptr,
                                       nullptr);
                DeleteBitMap(entry->frame);
            } else if (*slot) {
                // A video playing in a layer: the frame becomes the layer's content (the call takes it).
                error = ReplaceLayerContentFromBitmap(state, d, slot, entry->frame);
            } else {
                DeleteBitMap(entry->frame);
            }
            delete entry;
        }
        if (error) return error;
    }
    return 0;
}

int SleepWithEvents(VmState* state, int32_t milliseconds) {
    if (DisplayAdapterFlags() & QZ_ADAPTER_SLEEP) return AdapterSleep(milliseconds);
    return OsWaitPumpingEvents(state, milliseconds);
}

void StampDisplayFrame(qzDisplay* display) { OsGetMonotonicTime(&display->frameTime); }

namespace {

int SleepForFrame(void* state, int32_t milliseconds) {
    return SleepWithEvents(static_cast<VmState*>(state), milliseconds);
}

}  // namespace

// The frame limit of SetFPSLimit: an open display (any display when forced) shows what was drawn
// at once, then waits for the rest of its frame interval and stamps the frame time.
int LimitDisplayFrameRate(VmState* state, qzDisplay* display, int32_t force) {
    if (display->state != QZ_DISPSTATE_OPEN && !force) return 0;
    if (!GetDisplayAdapter() && display->window) MacFlushDisplay(display->window);
    return LimitFrameRate(&display->frameTime, SleepForFrame, state);
}

int WaitDisplayVBlank(VmState* state, qzDisplay* display, int32_t force) {
    int error = (DisplayAdapterFlags() & QZ_ADAPTER_VWAIT) ? AdapterVWait(display)
                                                           : LimitDisplayFrameRate(state, display, force);
    if (error) return error;
    // Only the hooks that asked for it hear of the wait.
    for (qzDisplayHook* h = display->hooks; h; h = h->next) h->visited = !h->wantsVWait;
    for (;;) {
        qzDisplayHook* next = nullptr;
        for (qzDisplayHook* h = display->hooks; h && !next; h = h->next)
            if (!h->visited) next = h;
        if (!next) break;
        next->visited = 1;
        if (!next->foreign && next->callback) next->callback(next, QZ_HOOKMSG_VWAIT, nullptr, next->userData);
    }
    return 0;
}
