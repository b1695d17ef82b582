// The display list, the display code's global state and the small record operations.
#include "display/display.h"

#include <cstring>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display_adapter_calls.h"
#include "display/display_blit.h"
#include "display/display_links.h"
#include "gfx/bitmap.h"
#include "platform/host/backend_window.h"
#include "platform/host/platform_hooks.h"

namespace {

qzObjectHeader* displayList = nullptr;
qzMutex* libraryMutex = nullptr;
qzDisplay* currentDisplay = nullptr;
qzBGPic* currentPicture = nullptr;
int videoRecording = 0;

// Locks the library mutex for a scope (nothing before the library starts).
struct LibraryLock {
    LibraryLock() {
        if (libraryMutex) OsLockMutex(libraryMutex);
    }
    ~LibraryLock() {
        if (libraryMutex) OsUnlockMutex(libraryMutex);
    }
};

}  // namespace

// Display attributes asked of a display's buffer through the graphics core: the mouse position
// over the display (6, 7) and the back end's own answers; other buffers answer for themselves.
static intptr_t QueryDisplayAttr(const qzBitMap* bitmap, int attr) {
    const qzRawBitMap* raw = bitmap && bitmap->kind == BITMAP_COLOR && !AdapterOwnsBitMaps()
                                 ? static_cast<const qzRawBitMap*>(bitmap->handle)
                                 : nullptr;
    for (qzDisplay* d = FirstDisplay(); bitmap && d; d = NextDisplay(d)) {
        if (bitmap != d->displayBuffer && bitmap != d->secondBuffer) continue;
        if (attr == 6 || attr == 7) {
            int32_t x = 0, y = 0;
            GetDisplayMousePos(d, &x, &y);
            return attr == 6 ? x : y;
        }
        if (!IsDisplayAdapterActive()) return MacGetDisplayAttr(d->window, attr, raw);
        break;
    }
    return raw ? OsGetBitMapAttr(raw, attr) : 0;
}

qzDisplay* FirstDisplay() { return reinterpret_cast<qzDisplay*>(displayList); }
qzObjectHeader** DisplayListHead() { return &displayList; }

qzDisplay* CurrentDisplay() { return currentDisplay; }
void SetCurrentDisplay(qzDisplay* display) { currentDisplay = display; }
qzBGPic* CurrentBGPic() { return currentPicture; }
void SetCurrentBGPic(qzBGPic* pic) { currentPicture = pic; }

qzMutex* DisplayLibraryMutex() { return libraryMutex; }

int InitDisplayLibraryState() {
    SetDisplayAttrQuery(QueryDisplayAttr);
    InstallDisplayBlitHooks();
    if (!libraryMutex) libraryMutex = OsAllocMutex();
    return libraryMutex ? 0 : ERR_SEMAPHORE;
}

void ResetDisplayLibraryState() {
    SetDisplayAttrQuery(nullptr);
    RemoveDisplayBlitHooks();
    OsFreeMutex(libraryMutex);
    libraryMutex = nullptr;
    displayList = nullptr;
    currentDisplay = nullptr;
    currentPicture = nullptr;
    videoRecording = 0;
}

int IsVideoRecording() { return videoRecording; }
void SetVideoRecording(int on) { videoRecording = on; }

int FindDisplayById(const qzObjectId& id, qzDisplay** out) {
    *out = nullptr;
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) {
        if (SameObjectId(d->header.id, id)) {
            *out = d;
            return 0;
        }
    }
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDDISPLAY;
}

qzDisplay* FindDisplayByWindow(const void* handle) {
    if (!handle) return nullptr;
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d->nativeHandle == handle || static_cast<const void*>(d->window) == handle) return d;
    return nullptr;
}

int IsPictureOnAnyDisplay(const qzBGPic* pic) {
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d->bgpic == pic) return 1;
    return 0;
}

void LinkDisplay(qzDisplay* display, const qzObjectId& id) {
    LibraryLock lock;
    AddObjectToList(&displayList, &display->header, QZ_TYPE_DISPLAY, id);
}

void UnlinkDisplay(qzDisplay* display) {
    LibraryLock lock;
    RemoveObjectFromList(&displayList, &display->header);
    display->header.next = nullptr;
}

qzDisplay* TakeDisplayList() {
    qzDisplay* list = FirstDisplay();
    displayList = nullptr;
    return list;
}

uint32_t GetDisplayAdapterFlags(const qzDisplay* display) {
    uint32_t f = display->flags, out = 0;
    if (f & QZ_DISPF_BORDERLESS) out |= 1;
    if (f & QZ_DISPF_SIZEABLE) out |= 2;
    if (f & QZ_DISPF_FIXED) out |= 4;
    if (f & QZ_DISPF_NOHIDE) out |= 8;
    if (f & QZ_DISPF_NOCLOSE) out |= 16;
    if (display->autoScale) out |= 32;
    if (display->layerScale) out |= 64;
    if (display->layersEnabled) out |= 128;
    if (display->doubleBuffer) out |= 0x100;
    if (display->doubleBufferHardware) out |= 0x200;
    if (display->fullScreen) out |= 0x400;
    if (f & QZ_DISPF_DISABLEBLANKER) out |= 0x800;
    return out;
}

void ResetDisplayInputState(qzDisplay* display) {
    std::memset(display->keyStates, 0, sizeof display->keyStates);
    display->leftButton = display->rightButton = display->middleButton = 0;
    if (!IsDisplayAdapterActive()) OsResetInputState(display);
    if (display->bgpic) DisplayLinks().resetButtonStates(display->bgpic);
}

void ResetTextMargins(qzDisplay* display, const qzBGPic* pic) {
    display->textCursorX = 0;
    display->textCursorY = 0;
    display->textLeftMargin = 0;
    display->textRightMargin = (pic ? pic->scaledWidth : display->width) - 1;
}

void SaveDisplayOutputState(qzDisplay* display, int mode, int32_t width) {
    if (display->outputStateSaved) return;
    display->outputStateSaved = 1;
    display->savedLayersEnabled = display->layersEnabled;
    display->savedText[0] = display->textCursorX;
    display->savedText[1] = display->textCursorY;
    display->savedText[2] = display->textLeftMargin;
    display->savedText[3] = display->textRightMargin;
    if (mode != 1) display->layersEnabled = 0;
    display->textCursorX = 0;
    display->textCursorY = 0;
    display->textLeftMargin = 0;
    display->textRightMargin = width - 1;
}

void RestoreDisplayOutputState(qzDisplay* display) {
    if (!display->outputStateSaved) return;
    display->layersEnabled = display->savedLayersEnabled;
    display->textCursorX = display->savedText[0];
    display->textCursorY = display->savedText[1];
    display->textLeftMargin = display->savedText[2];
    display->textRightMargin = display->savedText[3];
    display->outputStateSaved = 0;
}
