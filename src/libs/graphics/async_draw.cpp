// Asynchronous draw objects: transition effects, moving objects and anims that draw one frame at
// a time while the script goes on, each with its draw, finish, free and event functions.
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/draw_target.h"
#include "libs/graphics/graphics.h"
#include "libs/graphics/graphics_commands.h"
#include "platform/os_alloc.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

qzObjectHeader* gfxAsyncDraws = nullptr;

namespace {

qzAsyncDraw* AsAsync(qzObjectHeader* h) { return reinterpret_cast<qzAsyncDraw*>(h); }

// Unlinks the object and hands it to its free function, which owns what the user data holds.
void Release(qzAsyncDraw* object, int32_t completed) {
    RemoveObjectFromList(&gfxAsyncDraws, &object->header);
    if (object->free) object->free(object->userData, completed, completed);
    OsFree(object);
}

int32_t EventValue(qzAsyncDraw* object, int operation) {
    int32_t value = 0;
    if (object->event) object->event(operation, reinterpret_cast<intptr_t>(&value), object->userData);
    return value;
}

// The layer the object draws into goes to the next refresh.
void MarkObjectLayer(VmState* state, qzAsyncDraw* object) {
    void* layer = nullptr;
    if (object->event) object->event(ADEVENT_LAYER, reinterpret_cast<intptr_t>(&layer), object->userData);
    if (layer) MarkLayerDirty(state, layer);
}

}  // namespace

int RenderAsyncDrawFrame(VmState* state, qzAsyncDraw* object, bool cancel) {
    if (cancel) {
        if (object->finish) object->finish(object->userData, 1);
        Release(object, 1);
        return 0;
    }
    const bool layered = OutputIsPicture();
    if (layered && object->event) object->event(ADEVENT_LAYERFRAME, 1, object->userData);
    int rc = object->draw ? object->draw(object->userData, &object->finished) : 0;
    if (rc == 0 && layered) {
        if (object->event) object->event(ADEVENT_LAYERFRAME, 0, object->userData);
        MarkObjectLayer(state, object);
    }
    return rc;
}

void CancelAsyncDraw(qzAsyncDraw* object) { Release(object, 0); }

namespace {

int PushBool(VmState* state, bool value) {
    VmPushNumber(state, value ? 1 : 0);
    return 1;
}

qzAsyncDraw* CheckAsyncDraw(VmState* state, int index) {
    const qzObjectId id = CheckObjectIdArg(state, index);
    qzAsyncDraw* object = nullptr;
    int rc = FindAsyncDraw(id, &object);
    if (rc) VmFailCommand(state, rc);
    return object;
}

}  // namespace

int CreateAsyncDraw(int kind, qzAsyncDrawFn draw, qzAsyncDrawFn second, qzAsyncFinishFn finish, qzAsyncFreeFn free,
                    qzAsyncEventFn event, void* userData, qzAsyncDraw** out) {
    *out = nullptr;
    auto* object = static_cast<qzAsyncDraw*>(OsAlloc(sizeof(qzAsyncDraw), 1));
    if (!object) return ERR_MEM;
    object->display = CurrentDisplayObject();
    object->kind = kind;
    object->draw = draw;
    object->second = second;
    object->finish = finish;
    object->free = free;
    object->event = event;
    object->userData = userData;
    AddObjectToList(&gfxAsyncDraws, &object->header, QZ_TYPE_ASYNCDRAW, {0, QZ_AUTO_ID});
    *out = object;
    return 0;
}

int FindAsyncDraw(const qzObjectId& id, qzAsyncDraw** out) {
    *out = AsAsync(FindObjectInList(gfxAsyncDraws, id));
    if (*out) return 0;
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDASYNCDRAW;
}

void FreeAllAsyncDraws() {
    while (gfxAsyncDraws) Release(AsAsync(gfxAsyncDraws), 0);
}

int IsAsyncDrawDisplay(const void* display) {
    for (qzObjectHeader* h = gfxAsyncDraws; h; h = h->next)
        if (AsAsync(h)->display == display) return 1;
    return 0;
}

int PollAsyncDraws() {
    for (qzObjectHeader* h = gfxAsyncDraws; h; h = h->next) {
        qzAsyncDraw* object = AsAsync(h);
        if (object->kind != ADF_FX) continue;
        const int32_t stop = EventValue(object, ADEVENT_POLL);
        if (stop) return stop;
    }
    return 0;
}

void BroadcastAsyncDrawEvent(int operation, intptr_t data) {
    for (qzObjectHeader* h = gfxAsyncDraws; h;) {
        qzObjectHeader* next = h->next;
        qzAsyncDraw* object = AsAsync(h);
        if (object->event) object->event(operation, data, object->userData);
        h = next;
    }
}

int IsAsyncDrawBitMap(const void* layer) {
    for (qzObjectHeader* h = gfxAsyncDraws; h; h = h->next) {
        void* drawn = nullptr;
        qzAsyncDraw* object = AsAsync(h);
        if (object->event) object->event(ADEVENT_LAYER, reinterpret_cast<intptr_t>(&drawn), object->userData);
        if (drawn && drawn == layer) return 1;
    }
    return 0;
}

int GfxAsyncDrawFrame(VmState* state) {
    qzAsyncDraw* object = CheckAsyncDraw(state, 1);
    const bool withFrame = VmGetTop(state) >= 2;
    int32_t frame = withFrame ? VmCheckInteger(state, 2) : 0;
    int rc = CheckOutputIsDisplay(false);
    if (rc) return rc;
    if (object->display != CurrentDisplayObject()) return ERR_ADFWRONGDISP;
    if (!withFrame) {
        if (object->finished) {
            RenderAsyncDrawFrame(state, object, true);
            return PushBool(state, true);
        }
        rc = RenderAsyncDrawFrame(state, object, false);
        return rc ? rc : PushBool(state, false);
    }
    if (!CurrentLayersOn()) return ERR_NOLAYERS;
    if (frame < 1) frame = 0;
    const int32_t current = EventValue(object, ADEVENT_CURFRAME);
    const int32_t count = EventValue(object, ADEVENT_FRAMECOUNT);
    if ((frame == 0 || frame > count) && object->finished) {
        RenderAsyncDrawFrame(state, object, true);
        return PushBool(state, true);
    }
    if (frame > count) return ERR_ANIMFRAME;
    if (frame == current) return PushBool(state, false);
    if (frame == 0 || frame == current + 1) {
        rc = RenderAsyncDrawFrame(state, object, false);
        return rc ? rc : PushBool(state, false);
    }
    rc = object->event ? object->event(ADEVENT_SKIPTO, frame, object->userData) : 0;
    if (rc) return rc;
    if (OutputIsPicture())
        MarkObjectLayer(state, object);
    else if (object->event)
        object->event(ADEVENT_UPDATE, 0, object->userData);
    object->finished = count == frame;
    return PushBool(state, object->finished != 0);
}

int GfxCancelAsyncDraw(VmState* state) {
    Release(CheckAsyncDraw(state, 1), 0);
    return 0;
}

int GfxFinishAsyncDraw(VmState* state) {
    qzAsyncDraw* object = CheckAsyncDraw(state, 1);
    const int32_t finished = object->finished;
    if (object->finish) object->finish(object->userData, finished);
    Release(object, finished);
    return 0;
}
