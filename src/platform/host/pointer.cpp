#include "platform/host/pointer.h"

#include <new>

#include "base/error_codes.h"
#include "platform/host/host.h"

namespace {

qzHostCursor* gBusy = nullptr;
qzHostCursor* gInvisible = nullptr;
bool gProgramChangedCursor = false;

qzHostCursor* NewRecord(void* handle, int32_t width, int32_t height, int32_t hotX, int32_t hotY) {
    qzHostCursor* cursor = new (std::nothrow) qzHostCursor{handle, width, height, hotX, hotY};
    if (!cursor) {
        if (const qzHostDriver* driver = HostDriver(); driver && handle) driver->freeCursor(handle);
    }
    return cursor;
}

void FreeRecord(qzHostCursor* cursor) {
    if (!cursor) return;
    if (const qzHostDriver* driver = HostDriver(); driver && cursor->handle) driver->freeCursor(cursor->handle);
    delete cursor;
}

int32_t Clamp(int32_t value, int32_t limit) { return value < 0 ? 0 : value >= limit ? limit - 1 : value; }

}  // namespace

int InitPointers() {
    const qzHostDriver* driver = HostDriver();
    if (!driver) return 0;
    if (!gBusy) gBusy = NewRecord(driver->createSystemCursor(QZ_HOSTCURSOR_BUSY), 0, 0, 0, 0);
    int error = 0;
    if (!gInvisible) {
        const uint32_t clear = 0;
        void* handle = driver->createCursor(&clear, 1, 1, 0, 0, &error);
        if (error != ERR_MEM) gInvisible = NewRecord(handle, 1, 1, 0, 0);
    }
    return gBusy && gInvisible ? 0 : ERR_MEM;
}

void FreePointers() {
    if (const qzHostDriver* driver = HostDriver()) driver->setCursor(nullptr);
    for (qzHostWindow* w = HostFirstWindow(); w; w = w->next) w->cursor = nullptr;
    FreeRecord(gBusy);
    FreeRecord(gInvisible);
    gBusy = gInvisible = nullptr;
    gProgramChangedCursor = false;
}

int MacCreatePointer(const uint32_t* argb, int32_t hotX, int32_t hotY, qzHostCursor** out, int32_t width,
                     int32_t height) {
    *out = nullptr;
    if (!argb || width <= 0 || height <= 0) return ERR_POINTERIMG;
    const qzHostDriver* driver = HostDriver();
    if (!driver) return ERR_POINTERIMG;
    hotX = Clamp(hotX, width);
    hotY = Clamp(hotY, height);
    int error = 0;
    void* handle = driver->createCursor(argb, width, height, hotX, hotY, &error);
    if (error) return error;
    qzHostCursor* cursor = NewRecord(handle, width, height, hotX, hotY);
    if (!cursor) return ERR_MEM;
    *out = cursor;
    return 0;
}

void ReleaseBackendPointer(qzHostCursor* pointer) {
    if (!pointer || pointer == gBusy || pointer == gInvisible) return;
    for (qzHostWindow* w = HostFirstWindow(); w; w = w->next) {
        if (w->cursor == pointer) {
            w->cursor = nullptr;
            if (w->active) ApplyWindowPointer(w);
        }
    }
    FreeRecord(pointer);
}

void MacSetCurrentCursor(qzHostCursor* pointer) {
    if (const qzHostDriver* driver = HostDriver()) driver->setCursor(pointer ? pointer->handle : nullptr);
    gProgramChangedCursor = true;
}

void MacSetPointer(qzHostWindow* window, qzHostCursor* pointer, int kind) {
    if (!window) return;
    if (kind == QZ_POINTER_SYSTEM) {
        pointer = nullptr;
    } else if (kind == QZ_POINTER_BUSY) {
        InitPointers();
        pointer = gBusy;
    }
    window->cursor = pointer;
    window->pointerHidden = 0;
    if (window->active) MacSetCurrentCursor(pointer);
}

void MacShowPointer(qzHostWindow* window) {
    if (!window) return;
    window->pointerHidden = 0;
    if (window->active) MacSetCurrentCursor(window->cursor);
}

void MacHidePointer(qzHostWindow* window) {
    if (!window) return;
    window->pointerHidden = 1;
    if (window->active) {
        InitPointers();
        MacSetCurrentCursor(gInvisible);
    }
}

void ApplyWindowPointer(qzHostWindow* window) {
    if (!window) return;
    if (window->pointerHidden) {
        InitPointers();
        MacSetCurrentCursor(gInvisible);
    } else {
        MacSetCurrentCursor(window->cursor);
    }
}

void MacMovePointer(qzHostWindow* window, int32_t x, int32_t y) {
    const qzHostDriver* driver = HostDriver();
    if (window && driver) driver->warpPointer(window, x, y);
}

void MacResetPointer() {
    if (!gProgramChangedCursor) return;
    if (const qzHostDriver* driver = HostDriver()) driver->setCursor(nullptr);
    gProgramChangedCursor = false;
}

qzHostCursor* BusyPointer() { return gBusy; }

qzHostCursor* InvisiblePointer() { return gInvisible; }
