// Mouse pointers: pointer objects made from brushes, sprite frames or the two system pointers,
// the pointer each display shows, hiding, showing and moving it. A pointer that a display shows
// when the script frees it stays until no display shows it any more.
#include <algorithm>
#include <memory>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/object_types.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "libs/graphics/graphics.h"
#include "libs/graphics/graphics_commands.h"
#include "libs/sprite/sprite_lib.h"
#include "platform/os_alloc.h"
#include "runtime/arg_check.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

qzObjectHeader* gfxPointers = nullptr;

namespace {

// The size of the system pointers.
constexpr int32_t kSystemPointerSize = 16;

qzPointerImage* AsPointer(qzObjectHeader* h) { return reinterpret_cast<qzPointerImage*>(h); }

bool ShownByAnyDisplay(const qzPointerImage* pointer) {
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d))
        if (d->pointerObject == pointer) return true;
    return false;
}

void DestroyPointer(VmState* state, qzPointerImage* pointer) {
    if (pointer->cursor) FreeDisplayPointer(pointer->cursor);
    if (state) FreeObjectDataList(state, pointer->header.data);
    OsFree(pointer);
}

// Takes the pointer out of the list and destroys it, or, while a display shows it, gives up its
// identifier and leaves it for the next SetPointer.
void ReleasePointer(VmState* state, qzPointerImage* pointer) {
    if (ShownByAnyDisplay(pointer)) {
        // The script's side goes now: its identifier and the data it attached.
        pointer->freePending = 1;
        pointer->header.id = {0, nullptr};
        if (state) FreeObjectDataList(state, pointer->header.data);
        pointer->header.data = nullptr;
        return;
    }
    RemoveObjectFromList(&gfxPointers, &pointer->header);
    DestroyPointer(state, pointer);
}

void FreePendingPointers(VmState* state) {
    qzObjectHeader* h = gfxPointers;
    while (h) {
        qzObjectHeader* next = h->next;
        qzPointerImage* pointer = AsPointer(h);
        if (pointer->freePending && !ShownByAnyDisplay(pointer)) {
            RemoveObjectFromList(&gfxPointers, h);
            DestroyPointer(state, pointer);
        }
        h = next;
    }
}

int FindPointer(const qzObjectId& id, qzPointerImage** out) {
    *out = nullptr;
    for (qzObjectHeader* h = gfxPointers; h; h = h->next) {
        if (AsPointer(h)->freePending || !SameObjectId(h->id, id)) continue;
        *out = AsPointer(h);
        return 0;
    }
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDPOINTER;
}

qzPointerImage* CheckPointer(VmState* state, int index) {
    const qzObjectId id = CheckObjectIdArg(state, index);
    qzPointerImage* pointer = nullptr;
    int rc = FindPointer(id, &pointer);
    if (rc) VmFailCommand(state, rc);
    return pointer;
}

// A hot spot: -1 (the default) is the middle, positions beyond the image are cut to it.
int32_t HotSpot(int32_t given, int32_t size) {
    if (given == -1) return size / 2;
    return std::clamp(given, 0, size - 1);
}

}  // namespace

int GfxCreatePointer(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    const int32_t type = VmCheckInteger(state, 2);
    int32_t kind = STDPTR_CUSTOM, width = kSystemPointerSize, height = kSystemPointerSize;
    void* cursor = nullptr;
    if (type == QZ_TYPE_POINTER) {
        kind = VmCheckInteger(state, 3);
        if (kind != STDPTR_SYSTEM && kind != STDPTR_BUSY) return ERR_WRONGUSAGE;
    } else if (type == QZ_TYPE_SPRITE_OBJECT || type == QZ_TYPE_BRUSH_OBJECT) {
        const qzObjectId source = CheckObjectIdArg(state, 3);
        const bool sprite = type == QZ_TYPE_SPRITE_OBJECT;
        const int hotIndex = sprite ? 5 : 4;
        const int32_t frame = sprite ? VmOptInteger(state, 4, 1) : 1;
        const int32_t hotX = VmOptInteger(state, hotIndex, -1), hotY = VmOptInteger(state, hotIndex + 1, -1);
        qzObjectBitmaps image;
        qzObjectBitmapsRelease release(&image);
        int rc = GetObjectBitmaps(state, type, source, frame - 1, &image);
        if (rc) return rc;
        if (!image.bitmap || image.width < 1 || image.height < 1) return ERR_POINTERIMG;
        width = image.width;
        height = image.height;
        // The pixels go also when making the pointer runs out of memory and unwinds through here.
        std::unique_ptr<uint32_t, void (*)(void*)> argb(
            ReadBitMapPixelsMasked(image.bitmap, 0, 0, width, height, image.mask, image.alpha, QZ_NO_KEY_COLOR, 1,
                                   LOCKF_READONLY),
            OsFree);
        if (!argb) return ERR_MEM;
        rc = CreateDisplayPointer(argb.get(), width, height, HotSpot(hotX, width), HotSpot(hotY, height), &cursor);
        argb.reset();
        if (rc) return rc;
    } else {
        return ERR_WRONGUSAGE;
    }
    auto* pointer = static_cast<qzPointerImage*>(OsAlloc(sizeof(qzPointerImage), 1));
    if (!pointer) {
        if (cursor) FreeDisplayPointer(cursor);
        return ERR_MEM;
    }
    if (!IsAutoObjectId(id)) {
        qzPointerImage* old = nullptr;
        if (FindPointer(id, &old) == 0) ReleasePointer(state, old);
    }
    pointer->width = width;
    pointer->height = height;
    pointer->cursor = cursor;
    pointer->kind = kind;
    AddObjectToList(&gfxPointers, &pointer->header, QZ_TYPE_POINTER, id);
    return PushNewObjectHandle(state, id, &pointer->header);
}

int GfxFreePointer(VmState* state) {
    ReleasePointer(state, CheckPointer(state, 1));
    return 0;
}

int GfxSetPointer(VmState* state) {
    qzPointerImage* pointer = CheckPointer(state, 1);
    if (qzDisplay* display = CurrentDisplay()) {
        display->pointerObject = pointer;
        display->pointerImage = pointer->cursor;
        display->pointerBusy = pointer->kind == STDPTR_BUSY;
        if (display->state == QZ_DISPSTATE_OPEN) {
            SetDisplayPointerOfKind(display, pointer->cursor, pointer->kind == STDPTR_CUSTOM ? -1 : pointer->kind);
            // A hidden pointer stays hidden: the new one shows with the next ShowPointer.
            if (display->pointerHidden) ShowHideDisplayPointer(display, false);
        }
    }
    FreePendingPointers(state);
    return 0;
}

namespace {

int ShowHide(VmState* state, bool show) {
    VmCheckArgCount(state, 0, 0, 0, 0);
    qzDisplay* display = CurrentDisplay();
    if (!display) return 0;
    display->pointerHidden = show ? 0 : 1;
    if (display->state == QZ_DISPSTATE_OPEN) ShowHideDisplayPointer(display, show);
    return 0;
}

}  // namespace

int GfxShowPointer(VmState* state) { return ShowHide(state, true); }

int GfxHidePointer(VmState* state) { return ShowHide(state, false); }

int GfxMovePointer(VmState* state) {
    int32_t x = VmCheckInteger(state, 1), y = VmCheckInteger(state, 2);
    qzDisplay* display = CurrentDisplay();
    if (!display) return 0;
    const auto* pointer = static_cast<const qzPointerImage*>(display->pointerObject);
    x = ResolveXPosition(x, pointer ? pointer->width : kSystemPointerSize, 0, 0);
    y = ResolveYPosition(y, pointer ? pointer->height : kSystemPointerSize, 0, 0);
    x = (int32_t)(x * display->scaleX);
    y = (int32_t)(y * display->scaleY);
    if (display->state == QZ_DISPSTATE_OPEN) MoveDisplayPointer(display, x, y);
    return 0;
}

void FreeAllPointers(VmState* state) {
    // Displays that are still there show the system arrow from now on.
    for (qzDisplay* d = FirstDisplay(); d; d = NextDisplay(d)) {
        if (!d->pointerObject) continue;
        d->pointerObject = nullptr;
        d->pointerImage = nullptr;
        d->pointerBusy = 0;
        if (d->state == QZ_DISPSTATE_OPEN) SetDisplayPointer(d, nullptr);
    }
    while (gfxPointers) {
        qzPointerImage* pointer = AsPointer(gfxPointers);
        gfxPointers = gfxPointers->next;
        DestroyPointer(state, pointer);
    }
}
