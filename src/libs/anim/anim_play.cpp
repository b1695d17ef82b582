// PlayAnim: plays an anim on the current display, once, several times or endlessly. With layers on
// one anim layer steps through the frames; without, each frame is drawn over a saved copy of the
// display under it, so that masked and transparent frames do not smear.
#include <algorithm>
#include <memory>
#include <string>

#include "anim/anim.h"
#include "anim/anim_load.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_present.h"
#include "display/event_pump.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/layer_refresh.h"
#include "display/picture.h"
#include "display/positions.h"
#include "gfx/bitmap.h"
#include "gfx/copy_bitmap.h"
#include "gfx/safe_blt.h"
#include "image/image_display.h"
#include "image/output_select.h"
#include "libs/anim/anim_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/layers/layers_style.h"
#include "platform/os_time.h"
#include "runtime/linked_file.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int32_t kOwnDelays = -4;

// The delay per frame of a speed argument (kOwnDelays: each frame's own).
int32_t SpeedDelay(int32_t speed) {
    if (speed >= 0) return speed > INT32_MAX / 20 ? INT32_MAX : speed * 20;
    switch (speed) {
    case -1: return 60;
    case -3: return 160;
    case -4: return kOwnDelays;
    default: return 0;
    }
}

// The refusals of drawing into something other than the display.
int CheckPlayOutput(const qzDisplay* display) {
    if (!display) return 0;
    if (display->outputKind == QZ_TYPE_BRUSH) {
        if (display->doubleBuffer == 1) return ERR_ENDDOUBLEBUFFER;
        const qzBGPic* target = display->selectRecord;
        return target && target->selectTarget[0] == QZ_TYPE_ANIM ? ERR_SELECTANIM : ERR_SELECTBRUSH;
    }
    if (display->outputKind == QZ_TYPE_MASK) return ERR_SELECTMASK;
    if (display->outputKind == QZ_TYPE_ALPHACHANNEL) return ERR_SELECTALPHACHANNEL;
    if (display->outputKind == QZ_TYPE_BGPIC) return ERR_SELECTBG;
    if (display->refreshBlock) return ERR_BEGINREFRESH;
    return 0;
}

// A playback: the anim stays locked while it runs; the saved background goes with it.
struct Playback {
    VmState* state = nullptr;
    qzObjectId id = {0, nullptr};
    qzAnim* anim = nullptr;
    qzDisplay* display = nullptr;
    int32_t delay = 0;  // per frame, or kOwnDelays
    int32_t times = 1;  // 0: endless
    int32_t frame = 0;  // the next frame (0-based)
    int32_t pass = 1;
    uint64_t due = 0;                // async: when the next frame is due (milliseconds)
    qzBitMap* background = nullptr;  // without layers: the display under the clipped rectangle
    qzBitMap* work = nullptr;
    int32_t x = 0, y = 0, width = 0, height = 0;  // the clipped rectangle on the display
    int32_t offsetX = 0, offsetY = 0;             // of the clipped rectangle inside the frame
    bool layered = false;
    ~Playback() {
        if (anim) anim->locked--;
        DeleteBitMap(background);
        DeleteBitMap(work);
    }
};

// Saves the display under the frame's rectangle at x, y (only the part inside the display).
int GrabBackground(qzDisplay* display, Playback* p, int32_t x, int32_t y) {
    int32_t width = p->anim->width, height = p->anim->height;
    p->offsetX = p->offsetY = 0;
    if (x < 0) {
        width += x;
        p->offsetX = -x;
        x = 0;
    }
    if (y < 0) {
        height += y;
        p->offsetY = -y;
        y = 0;
    }
    qzBitMap* buffer = display->displayBuffer;
    if (!buffer) return 0;
    if (width > display->width - x) width = display->width - x;
    if (height > display->height - y) height = display->height - y;
    if (width < 1 || height < 1) return ERR_WRONGUSAGE;
    int error = CopyBitMap(buffer, nullptr, nullptr, x, y, width, height, 0, &p->background, nullptr, nullptr);
    if (error) return error;
    error = CopyBitMap(buffer, nullptr, nullptr, x, y, width, height, 0, &p->work, nullptr, nullptr);
    if (error) return error;
    p->x = x;
    p->y = y;
    p->width = width;
    p->height = height;
    return 0;
}

// Draws frame index (0-based).
int ShowFrame(VmState* state, qzDisplay* display, Playback* p, int32_t index) {
    if (p->layered) {
        // The layer is looked up each time: the script may have removed it meanwhile.
        qzLayer* layer = nullptr;
        if (!FindLayerUsingObject(QZ_LAYER_ANIM, p->id, nullptr, nullptr, &layer)) return 0;
        int error = ShowAnimLayerFrame(state, layer, index + 1);
        if (error) return error;
        UpdateLayerOnDisplay(state, layer, 0);
        return 0;
    }
    if (!p->background) return 0;
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int owned = 0;
    int error = GetAnimFrameBitmaps(p->anim, index, 0, 0, &bitmap, &mask, &alpha, &owned);
    if (error) return error;
    const int32_t fw = p->anim->width, fh = p->anim->height;
    if (mask || alpha) {
        SafeBlt(state, p->background, 0, 0, p->work, 0, 0, p->width, p->height, p->width, p->height, p->width,
                p->height, SAFEBLT_NOCLIP | SAFEBLT_TARGETONLY, nullptr, nullptr, nullptr);
        SafeBlt(state, bitmap, p->offsetX, p->offsetY, p->work, 0, 0, p->width, p->height, fw, fh, p->width, p->height,
                SAFEBLT_NOCLIP | SAFEBLT_TARGETONLY, mask, alpha, nullptr);
        SafeBlt(state, p->work, 0, 0, nullptr, p->x, p->y, p->width, p->height, p->width, p->height, display->width,
                display->height, SAFEBLT_FIRSTBUFFER, nullptr, nullptr, nullptr);
    } else {
        SafeBlt(state, bitmap, p->offsetX, p->offsetY, nullptr, p->x, p->y, p->width, p->height, fw, fh, display->width,
                display->height, SAFEBLT_FIRSTBUFFER, nullptr, nullptr, nullptr);
    }
    if (owned) FreeAnimFrameBitmaps(bitmap, mask, alpha);
    return 0;
}

uint64_t NowMillis() { return OsMonotonicMicros() / 1000; }

int64_t FrameDelay(const Playback& p, int32_t index) {
    return p.delay == kOwnDelays ? (int64_t)GetAnimFrameDelay(p.anim, index) : p.delay;
}

// Moves to the next frame; true when the playback is done.
bool Advance(Playback* p) {
    if (++p->frame < p->anim->frames) return false;
    if (p->times != 0 && p->pass >= p->times) return true;
    p->pass++;
    p->frame = 0;
    return false;
}

// The asynchronous draw object's step: the next frame once it is due.
int AsyncStep(void* userData, int32_t* finished) {
    Playback* p = static_cast<Playback*>(userData);
    const uint64_t now = NowMillis();
    if (now < p->due) return 0;
    int error = ShowFrame(p->state, p->display, p, p->frame);
    if (error) return error;
    p->due = now + (uint64_t)std::max<int64_t>(FrameDelay(*p, p->frame), 0);
    if (Advance(p)) *finished = 1;
    return 0;
}

void AsyncFree(void* userData, int32_t, int32_t) { delete static_cast<Playback*>(userData); }

int AsyncEvent(int operation, intptr_t data, void* userData) {
    const Playback* p = static_cast<const Playback*>(userData);
    if (operation == ADEVENT_FRAMECOUNT) *reinterpret_cast<int32_t*>(data) = p->anim->frames;
    if (operation == ADEVENT_CURFRAME) *reinterpret_cast<int32_t*>(data) = p->frame + 1;
    return 0;
}

}  // namespace

namespace {

// The shared body of PlayAnim and PlayAnimDisk: plays the anim at x, y; async hands back an
// asynchronous draw object instead (its handle pushed, 1 returned).
int PlayAnimCore(VmState* state, qzAnim* anim, int32_t x, int32_t y, int32_t speed, int32_t times, int async) {
    qzDisplay* display = CurrentDisplay();
    auto p = std::make_unique<Playback>();
    p->state = state;
    p->id = anim->header.id;
    p->anim = anim;
    p->display = display;
    anim->locked++;
    p->delay = SpeedDelay(speed);
    p->times = times;
    x = ResolveXPosition(x, anim->width, 0, 0);
    y = ResolveYPosition(y, anim->height, 0, 0);
    if (display && display->layersEnabled) {
        int error = DisplayImageObject(state, 0, QZ_DRAW_ANIM, p->id, 0, 0, x, y, 0, 0, 1, 0, nullptr, nullptr, nullptr,
                                       nullptr, 0);
        if (error) return error;
        p->layered = true;
    } else if (display) {
        if (int error = GrabBackground(display, p.get(), x, y)) return error;
    }
    if (async) {
        p->due = NowMillis();
        qzAsyncDraw* object = nullptr;
        int error = CreateAsyncDraw(ADF_ANIM, AsyncStep, nullptr, nullptr, AsyncFree, AsyncEvent, p.get(), &object);
        if (error) return error;
        p.release();
        return PushNewObjectHandle(state, {0, QZ_AUTO_ID}, &object->header);
    }
    uint64_t frameStart = NowMillis();
    for (;;) {
        int error = 0;
        if (PumpEvents(state, QZ_PUMP_HOOKS, &error)) return error;
        if ((error = ShowFrame(state, display, p.get(), p->frame))) return error;
        if (display && (error = WaitDisplayVBlank(state, display, 0))) return error;
        const int64_t d = FrameDelay(*p, p->frame);
        if (d > 0) {
            const int64_t left = d - (int64_t)(NowMillis() - frameStart);
            if (left > 0 && (error = SleepWithEvents(state, (int32_t)std::min<int64_t>(left, INT32_MAX)))) return error;
        }
        frameStart = NowMillis();
        if (Advance(p.get())) return 0;
    }
}

}  // namespace

int AnimPlayAnim(VmState* state) {
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    int32_t x = VmOptInteger(state, 2, 0);
    int32_t y = VmOptInteger(state, 3, 0);
    int32_t speed = 0, times = 1, async = 0;
    if (VmGetTop(state) == 4 && VmType(state, 4) == VM_TTABLE) {
        GetTableFieldInt(state, 4, "speed", &speed, nullptr);
        GetTableFieldInt(state, 4, "times", &times, nullptr);
        GetTableFieldBool(state, 4, "async", &async, nullptr);
    } else {
        speed = VmOptInteger(state, 4, 0);
        times = VmOptInteger(state, 5, 1);
    }
    qzDisplay* display = CurrentDisplay();
    // Playing the anim that is being drawn into ends that first.
    if (display && ObjectIsSelectedOutput(QZ_SELECT_ANIM, id)) EndSelectOutput(state, display, 0);
    if (int error = CheckPlayOutput(display)) return error;
    qzAnim* anim = CheckAnim(state, 1, 0);
    return PlayAnimCore(state, anim, x, y, speed, times, async);
}

int AnimPlayAnimDisk(VmState* state) {
    std::string file = ResolveLinkedFileArg(state, 1, 0, nullptr);
    const int32_t x = VmOptInteger(state, 2, 0);
    const int32_t y = VmOptInteger(state, 3, 0);
    const int32_t speed = VmOptInteger(state, 5, 0);
    const int32_t key = VmOptInteger(state, 6, -1);
    const int32_t times = VmOptInteger(state, 7, 1);
    if (int error = CheckPlayOutput(CurrentDisplay())) return error;
    qzAnimLoadOptions options;
    options.file = file.c_str();
    options.fromDisk = 1;
    options.transparentColor = key == -1 ? -1 : (key & 0xFFFFFF);
    qzAnim* anim = nullptr;
    int error = LoadAnimFileQuietly(state, {0, QZ_AUTO_ID}, options, &anim);
    if (error) return error;
    const qzObjectId id = anim->header.id;
    error = PlayAnimCore(state, anim, x, y, speed, times, 0);
    FreeAnimObject(state, id, 0);
    return error;
}
