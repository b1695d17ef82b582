// Creating, closing, freeing and selecting displays, and the clean-up at exit.
#include "display/display_life.h"

#include <memory>
#include <new>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/display_icons.h"
#include "display/display_links.h"
#include "display/display_monitors.h"
#include "display/display_present.h"
#include "display/display_scale.h"
#include "display/display_tags.h"
#include "display/double_buffer.h"
#include "display/menus.h"
#include "gfx/bitmap.h"
#include "gfx/image_source.h"
#include "platform/host/pointer.h"
#include "runtime/event_queue.h"
#include "runtime/object_data.h"
#include "runtime/option_table.h"
#include "runtime/runtime.h"
#include "runtime/script_call.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Library-owned bitmaps: the desktop grab of a "desktop" display.
qzBitMap* desktopGrab = nullptr;

// Frees a record that never made it into the list (an error, or a raised error, while creating).
struct PendingDisplay {
    VmState* state;
    qzDisplay* display;
    ~PendingDisplay() {
        if (!display) return;
        FreeDisplayContents(state, display, 0);
        delete display;
    }
};

// The display's own picture, of its size, painted with its fill.
int MakeOwnPicture(VmState* state, qzDisplay* d, bool preload) {
    qzPictureFill fill = d->fill;
    fill.texture = nullptr;
    fill.valid = 1;
    const int32_t type =
        (fill.style == QZ_FILLGRADIENT || fill.style == QZ_FILLTEXTURE) ? QZ_PICTURE_GENERATED : QZ_PICTURE_RASTER;
    qzObjectId picId = {0, QZ_AUTO_ID};
    qzBGPic* pic = nullptr;
    int error = 0;
    if (preload) {
        // Objects made before any display keep their pixels until the first display opens.
        if (!d->header.id.pointer && d->header.id.number == 1) {
            qzObjectId one = {1, nullptr};
            qzBGPic* existing = nullptr;
            if (FindBGPic(state, one, &existing, 0) == 0) {
                if (d->modeOptions.desktop) return ERR_DISPLAYDESKTOP;
                error = DeleteBGPic(state, one, 0);
                if (error) return error;
            }
            picId = one;
        }
        qzImageSource* source = AllocImageSource(d->width, d->height);
        if (!source) return ERR_MEM;
        if (!d->modeOptions.desktop) {
            error = RenderBackfill(state, &fill, nullptr, d->width, d->height, source, 0);
            if (error) {
                FreeImageSource(source);
                DeleteBitMap(fill.texture);
                return error;
            }
        }
        error = AddBGPic(picId, type, d->width, d->height, source, nullptr, nullptr, nullptr, &fill, &pic);
    } else {
        qzBitMap* bitmap = CreateBitMap(d->width, d->height, 0, nullptr);
        if (!bitmap) return ERR_BITMAP;
        error = RenderBackfill(state, &fill, bitmap, d->width, d->height, nullptr, 0);
        if (error) {
            DeleteBitMap(bitmap);
            DeleteBitMap(fill.texture);
            return error;
        }
        error = AddBGPic(picId, type, d->width, d->height, nullptr, bitmap, nullptr, nullptr, &fill, &pic);
    }
    if (error) {
        DeleteBitMap(fill.texture);
        return error;
    }
    pic->fill.texture = fill.texture;
    d->bgpic = pic;
    d->ownsBGPic = 1;
    return 0;
}

// Calls a free command of another library by name, protected: a missing library or a failure
// leaves the object as it is.
struct FreeCall {
    const char* command;
    qzObjectId id;
};

int RunFreeCall(VmState* state) {
    auto* call = static_cast<FreeCall*>(VmToUserdata(state, 1));
    VmPop(state, 1);
    VmPushString(state, call->command);
    VmGetTable(state, VM_GLOBALSINDEX);
    const bool present = VmType(state, -1) == VM_TFUNCTION;
    VmPop(state, 1);
    if (!present) return 0;
    int base = VmGetTop(state);
    CallScriptFunction(state, call->command, 0, {{QZ_ARG_OBJECTID, 0, &call->id}});
    VmSetTop(state, base);
    return 0;
}

void CallFreeCommand(VmState* state, const char* command, const qzObjectId& id) {
    if (!state) return;
    FreeCall call{command, id};
    VmCProtectedCall(state, RunFreeCall, &call);
}

}  // namespace

int CreateDisplayCore(VmState* state, const qzObjectId& id, int tableIndex, qzDisplay** out) {
    *out = nullptr;
    if (IsVideoRecording()) return ERR_VIDRECMULTI;
    int error = 0;
    if (!IsAutoObjectId(id)) {
        error = FreeDisplayCore(state, id, 0);
        if (error) return error;
    }
    qzDisplay* d = new (std::nothrow) qzDisplay();
    if (!d) return ERR_MEM;
    PendingDisplay pending{state, d};
    d->header.id = id;
    InitBackfillOptions(&d->modeOptions);
    d->fill.style = QZ_FILLCOLOR;

    if (tableIndex) {
        tableIndex = VmAbsIndex(state, tableIndex);
        error = ReadDisplayTags(state, tableIndex, d, 1, nullptr, nullptr);
        if (error) return error;
        int32_t on = 0;
        if (GetTableFieldBool(state, tableIndex, "hidden", &on, nullptr) && on) d->flags |= QZ_DISPF_HIDDEN;
        if (GetTableFieldBool(state, tableIndex, "layers", &on, nullptr) && on) d->flags |= QZ_DISPF_LAYERS;
        if (GetTableFieldBool(state, tableIndex, "__backfill", &on, nullptr)) d->backfillDisplay = on != 0;
        if (GetTableFieldBool(state, tableIndex, "__resourcemonitor", &on, nullptr)) d->resourceMonitor = on != 0;
        error = ReadDisplayModeOptions(state, tableIndex, &d->modeOptions);
        if (error) return error;
        if (d->modeOptions.desktop) {
            int32_t mx = 0, my = 0;
            error = GetDisplayMonitorRect(d, &mx, &my, &d->width, &d->height);
            if (error) return error;
        }
        if (d->backfillDisplay || d->resourceMonitor) d->flags |= QZ_DISPF_HIDEFROMTASKBAR;
    }
    if (d->layerScale || (d->flags & QZ_DISPF_LAYERS)) d->layersEnabled = 1;
    if (!d->autoScale && !d->layerScale) {
        d->scaledWidth = d->scaledHeight = 0;
        d->letterboxLeft = d->letterboxTop = d->letterboxRight = d->letterboxBottom = 0;
    }

    int preload = 0;
    GetRuntimeAttrs(state, {{QZ_RTA_PRELOADING, &preload}});
    if (!d->bgpic) {
        error = MakeOwnPicture(state, d, preload != 0);
        if (error) return error;
    }
    if ((d->autoScale || d->layerScale) && d->scaledWidth && d->scaledHeight) {
        d->width = d->scaledWidth;
        d->height = d->scaledHeight;
    }
    ResetTextMargins(d, d->bgpic);
    if (!preload) {
        error = SetupDisplayBuffers(state, d);
        if (error) return error;
    }
    error = AllocDisplayWindowRecord(state, d);
    if (error) return error;
    d->repaintMutex = OsAllocMutex();
    if (!d->repaintMutex) return ERR_SEMAPHORE;
    error = InitRectList(&d->rectList, 0);
    if (error) return error;

    LinkDisplay(d, id);
    pending.display = nullptr;
    *out = d;
    return 0;
}

int CloseDisplayCore(VmState* state, qzDisplay* d, const qzDisplay* oldCopy, int mode) {
    const qzDisplayLinks& links = DisplayLinks();
    const qzDisplay& was = oldCopy ? *oldCopy : *d;
    int error = 0;
    if (mode & QZ_CLOSE_KEEPOBJECTS) {
        if (d->doubleBufferHardware || d->doubleBufferSaved) {
            error = EndDisplayDoubleBuffer(state, d);
            if (error) return error;
        }
        error = links.saveHardwareBrushes(state, d);
        if (error) return error;
    } else {
        links.freeHardwareBrushes(state, d);
    }
    if (IsDisplayAdapterActive()) {
        error = CloseDisplayWindow(d);
        if (error) return error;
        d->nativeHandle = nullptr;
    } else {
        const bool ownFullScreen = was.fullScreen && !was.backfillDisplay;
        int32_t fade = 0;
        if (ownFullScreen && !(mode & (QZ_CLOSE_NOMODERESTORE | QZ_CLOSE_NOFADE))) fade = FadeDisplaysOut();
        CloseDisplayWindow(d);
        if (ownFullScreen && !(mode & QZ_CLOSE_NOMODERESTORE)) {
            FreeBackfillObjects(state, d);
            const int32_t monitor = d->monitor;
            RestoreDisplayScreenMode(d, d->previousMonitor ? d->previousMonitor - 1 : d->monitor);
            d->monitor = monitor;
            if (!(mode & QZ_CLOSE_NOFADE)) FadeDisplaysIn(fade);
        } else {
            if (mode & QZ_CLOSE_FREEBACKDROP) FreeBackfillObjects(state, d);
            FadeDisplaysIn(fade);
        }
    }
    ResetDisplayInputState(d);
    d->fullScreen = 0;
    d->state = QZ_DISPSTATE_CLOSED;
    d->activateOnOpen = 0;
    return 0;
}

int FreeDisplayCore(VmState* state, const qzObjectId& id, int report) {
    qzDisplay* d = nullptr;
    int error = FindDisplayById(id, &d);
    if (error) return report ? error : 0;
    const qzDisplayLinks& links = DisplayLinks();
    if (d == CurrentDisplay()) return ERR_FREEADISPLAY;
    if (links.asyncDrawOnDisplay(d)) return ERR_ADFFREEDISP;
    if (d->hooks) return ERR_SATFREEDISP;
    if (links.isVideoActiveOnDisplay(d, 0, 1)) return ERR_VIDATTACHED;
    if (d->state != QZ_DISPSTATE_CLOSED) {
        error = CloseDisplayCore(state, d, nullptr, 0);
        if (error) return error;
    }
    // A backdrop that a full-screen display made goes with it.
    if (d->backdropDisplay.pointer || d->backdropDisplay.number) FreeBackfillObjects(state, d);
    links.stopVideosOnDisplay(state, d);
    UnlinkDisplay(d);
    for (qzDisplay* other = FirstDisplay(); other; other = NextDisplay(other))
        if (other->owner == d) other->owner = nullptr;
    FreeDisplayContents(state, d, 0);
    ForgetDisplayEvents(d);
    links.forgetDisplay(d);
    delete d;
    FreeOrphanedBGPics(state);
    return 0;
}

void FreeDisplayContents(VmState* state, qzDisplay* d, int atShutdown) {
    if (d->ownsBGPic && d->bgpic && !atShutdown) {
        DeleteBGPic(state, d->bgpic->header.id, 0);
        d->ownsBGPic = 0;
    }
    DeleteBitMap(d->displayBuffer);
    DeleteBitMap(d->secondBuffer);
    DeleteBitMap(d->doubleBufferBitmaps[0]);
    DeleteBitMap(d->doubleBufferBitmaps[1]);
    d->displayBuffer = d->secondBuffer = d->doubleBufferBitmaps[0] = d->doubleBufferBitmaps[1] = nullptr;
    DeleteMaskBitMap(d->shapeMask);
    DeleteAlphaBitMap(d->shapeAlpha);
    d->shapeMask = nullptr;
    d->shapeAlpha = nullptr;
    FreeDisplayWindowRecord(d);
    for (qzHandlerSlot& slot : d->handlers) {
        if (state && slot.function != -1) VmUnref(state, VM_REGISTRYINDEX, slot.function);
        if (state && slot.userData != -1) VmUnref(state, VM_REGISTRYINDEX, slot.userData);
        slot = qzHandlerSlot();
    }
    delete d->selectRecord;
    delete d->doubleBufferTarget;
    d->selectRecord = d->doubleBufferTarget = nullptr;
    FreeRectList(&d->rectList);
    DropPendingRepaints(d);
    OsFreeMutex(d->repaintMutex);
    d->repaintMutex = nullptr;
    FreeDisplayHooks(d);
    if (state) FreeObjectDataList(state, d->header.data);
    d->header.data = nullptr;
    // The pointer belongs to its pointer object, not to the display.
    d->pointerImage = nullptr;
    d->pointerObject = nullptr;
}

void FreeAllDisplaysAtExit(VmState* state) {
    const qzDisplayLinks& links = DisplayLinks();
    links.freeAllAsyncDraws(state);
    qzMutex* mutex = DisplayLibraryMutex();
    if (mutex) OsLockMutex(mutex);
    int32_t fade = 0;
    if (!IsDisplayAdapterActive()) {
        for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
            if (d->fullScreen && !fade) fade = FadeDisplaysOut();
    }
    // Backdrops first (they leave the list), then every plain window.
    for (bool again = true; again;) {
        again = false;
        for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) {
            if (d->backdropDisplay.pointer || d->backdropDisplay.number) {
                FreeBackfillObjects(state, d);
                again = true;
                break;
            }
        }
    }
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d->state != QZ_DISPSTATE_CLOSED && !d->fullScreen && !d->backfillDisplay)
            CloseDisplayCore(state, d, nullptr, 0);
    qzDisplay* list = TakeDisplayList();
    while (list) {
        qzDisplay* next = NextDisplay(list);
        if (list->state != QZ_DISPSTATE_CLOSED) CloseDisplayCore(state, list, nullptr, QZ_CLOSE_NOFADE);
        FreeDisplayContents(state, list, 1);
        ForgetDisplayEvents(list);
        delete list;
        list = next;
    }
    SetCurrentDisplay(nullptr);
    if (mutex) OsUnlockMutex(mutex);
    FadeDisplaysIn(fade);
    FreeAllMenus(state);
    if (!IsDisplayAdapterActive()) MacResetPointer();
    DeleteBitMap(desktopGrab);
    desktopGrab = nullptr;
    FreeScaledPresentationBuffer();
    FreeApplicationIcons();
}

void FreeBackfillObjects(VmState* state, qzDisplay* d) {
    const qzObjectId none = {0, nullptr};
    if (d->backdropDisplay.pointer || d->backdropDisplay.number) {
        qzObjectId id = d->backdropDisplay;
        d->backdropDisplay = none;
        FreeDisplayCore(state, id, 0);
    }
    if (d->backdropBGPic.pointer || d->backdropBGPic.number) {
        qzObjectId id = d->backdropBGPic;
        d->backdropBGPic = none;
        DeleteBGPic(state, id, 0);
        FreeOrphanedBGPics(state);
    }
    if (d->backdropBrush.pointer || d->backdropBrush.number) {
        qzObjectId id = d->backdropBrush;
        d->backdropBrush = none;
        CallFreeCommand(state, "freebrush", id);
    }
}

int MakeDisplayCurrent(VmState* state, qzDisplay* display, int noActivate) {
    qzDisplay* old = CurrentDisplay();
    if (old == display) return 0;
    if (old && !old->doubleBuffer && old->outputKind != QZ_TYPE_DISPLAY) {
        int error = DisplayLinks().endSelectOutput(state, old);
        if (error) return error;
    }
    if (!noActivate && display->state == QZ_DISPSTATE_OPEN) ActivateDisplayWindow(display, 1);
    SetCurrentDisplay(display);
    SetCurrentBGPic(display->doubleBuffer && display->doubleBufferTarget ? display->doubleBufferTarget
                                                                         : display->bgpic);
    return 0;
}

qzBitMap** DesktopGrabSlot() { return &desktopGrab; }
