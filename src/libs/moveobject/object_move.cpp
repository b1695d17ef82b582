#include "libs/moveobject/object_move.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_pixels.h"
#include "display/display_present.h"
#include "display/draw_target.h"
#include "display/event_pump.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/layer_refresh.h"
#include "display/layer_system.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/clip_region.h"
#include "gfx/object_bitmaps.h"
#include "gfx/position.h"
#include "gfx/safe_blt.h"
#include "image/brush.h"
#include "image/image_display.h"
#include "libs/graphics/graphics.h"
#include "platform/os_time.h"
#include "sprite/sprite.h"
#include "sprite/sprite_screen.h"
#include "text/text_object.h"

namespace {

int32_t Sign(int64_t v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }

// Half of a speed taken off, as the swings of BOUNCE and DAMPED slow down (15 gives 8, 10 gives 5).
int32_t Halved(int32_t speed) { return std::max(1, speed - speed / 2); }

bool WavePath(const qzObjectMove* m) {
    return (m->direction == 2 || m->direction == 6) && m->fx >= QZ_MOVEFX_SINE && m->fx <= QZ_MOVEFX_UPPERCURVE;
}

// Moves the axis one frame toward its target; true when it is there.
bool StepAxis(qzMoveAxis* a) {
    if (a->position == a->target) return true;
    int64_t step = a->step;
    if (a->extra > 0) {
        step++;
        a->extra--;
    }
    const int64_t remaining = std::llabs(int64_t(a->target) - a->position);
    step = std::min<int64_t>(std::max<int64_t>(step, 1), remaining);
    a->position = int32_t(a->position + Sign(int64_t(a->target) - a->position) * step);
    return a->position == a->target;
}

void Smooth(qzMoveAxis* a) {
    if (a->initial <= 0 || a->position == a->target) return;
    const int64_t remaining = std::llabs(int64_t(a->target) - a->position);
    if (remaining >= 6 * int64_t(a->initial)) return;
    const int32_t drop = std::max(1, int32_t(std::lround(a->initial / 10.0)));
    a->step = std::max(1, a->step - drop);
}

// The next leg of a bounce or damped swing: the target at offset times u beyond (positive) or
// short of (negative) the end point along the way of travel, at the speed given.
void StartLeg(qzObjectMove* m, int32_t offset, int32_t speed) {
    const int32_t sx = Sign(int64_t(m->toX) - m->fromX), sy = WavePath(m) ? 0 : Sign(int64_t(m->toY) - m->fromY);
    const int64_t distance = int64_t(offset) * m->u;
    m->x.target = int32_t(std::clamp<int64_t>(m->toX + sx * distance, INT32_MIN, INT32_MAX));
    m->y.target = int32_t(std::clamp<int64_t>(m->toY + sy * distance, INT32_MIN, INT32_MAX));
    m->x.step = sx ? speed : 0;
    m->y.step = sy ? speed : 0;
    m->x.extra = m->y.extra = 0;
}

// Bounce legs: 16u beyond, 8u short, 4u beyond, 2u short, u beyond, then the end point at 1.
constexpr int32_t kBounceOffsets[] = {16, -8, 4, -2, 1, 0};

// The end point (or a leg's target) is reached: the next leg, or true when the move is over.
bool NextLeg(qzObjectMove* m) {
    const int32_t speed = std::max(m->x.step, m->y.step);
    if (m->fx == QZ_MOVEFX_BOUNCE) {
        if (m->leg >= 6) return true;
        const int32_t legSpeed = m->leg == 0 ? speed : m->leg == 5 ? 1 : Halved(speed);
        StartLeg(m, kBounceOffsets[m->leg], legSpeed);
        m->leg++;
        return false;
    }
    if (m->fx == QZ_MOVEFX_DAMPED) {
        if (m->leg >= 2) return true;
        const int32_t legSpeed = m->leg == 0 ? std::max(1, speed - speed / 4) : Halved(speed);
        StartLeg(m, m->leg == 0 ? 8 : 0, legSpeed);
        m->leg++;
        return false;
    }
    return true;
}

}  // namespace

void SetUpMovePath(qzObjectMove* m, int32_t pictureHeight) {
    const int64_t dx = int64_t(m->toX) - m->fromX, dy = int64_t(m->toY) - m->fromY;
    static const int kDirection[3][3] = {{7, 6, 5}, {0, 0, 4}, {1, 2, 3}};  // [sign x + 1][sign y + 1]
    m->direction = kDirection[Sign(dx) + 1][Sign(dy) + 1];
    m->x = {m->fromX, m->toX, 0, 0, 0};
    m->y = {m->fromY, m->toY, 0, 0, 0};
    if (dx == 0) {
        m->y.step = m->speed;
    } else if (dy == 0) {
        m->x.step = m->speed;
    } else {
        // One axis steps by the speed, the other spreads its distance over the same steps.
        const bool xMajor = m->width > m->height;
        qzMoveAxis& major = xMajor ? m->x : m->y;
        qzMoveAxis& minor = xMajor ? m->y : m->x;
        const int64_t majorDistance = xMajor ? std::llabs(dx) : std::llabs(dy);
        const int64_t minorDistance = xMajor ? std::llabs(dy) : std::llabs(dx);
        const int64_t steps = (majorDistance + m->speed - 1) / m->speed;
        major.step = m->speed;
        minor.step = int32_t(minorDistance / steps);
        minor.extra = int32_t(minorDistance % steps);
    }
    m->x.initial = m->x.step;
    m->y.initial = m->y.step;
    m->u = dx != 0 ? m->x.step : m->speed;
    if (!WavePath(m)) return;
    const int64_t steps = (std::llabs(dx) + m->speed - 1) / m->speed;
    if (m->fx == QZ_MOVEFX_SINE || m->fx == QZ_MOVEFX_BIGSINE) {
        const double amplitude = m->fx == QZ_MOVEFX_SINE ? 50 : pictureHeight / 2;
        for (int k = 1; k <= QZ_SINE_STEPS; k++) m->sine[k - 1] = amplitude * std::sin(k * 0.08) + m->toY;
        m->sineIncrement = std::max(1, m->speed / 4);
        m->sineIndex = int32_t((QZ_SINE_STEPS - (steps * m->sineIncrement) % QZ_SINE_STEPS) % QZ_SINE_STEPS);
    } else {
        m->curveFactor = M_PI / double(std::llabs(dx));
    }
}

bool AdvanceMovePath(qzObjectMove* m) {
    if (m->fx == QZ_MOVEFX_SMOOTHOUT && m->leg == 0) {
        Smooth(&m->x);
        Smooth(&m->y);
    }
    const bool wave = WavePath(m) && m->leg == 0;
    bool xThere = StepAxis(&m->x);
    bool yThere = true;
    if (!wave) {
        yThere = StepAxis(&m->y);
    } else if (xThere) {
        m->y.position = m->toY;
    } else if (m->fx == QZ_MOVEFX_SINE || m->fx == QZ_MOVEFX_BIGSINE) {
        m->sineIndex = (m->sineIndex + m->sineIncrement) % QZ_SINE_STEPS;
        m->y.position = int32_t(m->sine[m->sineIndex]);
    } else {
        m->travelled =
            int32_t(std::min<int64_t>(int64_t(m->travelled) + m->speed, std::llabs(int64_t(m->toX) - m->fromX)));
        const int32_t lift = int32_t(std::sin(m->travelled * m->curveFactor) * 150);
        m->y.position = m->fx == QZ_MOVEFX_LOWERCURVE ? m->toY + lift : m->toY - lift;
    }
    if (wave) m->y.target = m->toY;
    if (!xThere || !yThere) return false;
    return NextLeg(m);
}

namespace {

bool SpriteMove(const qzObjectMove* m) { return m->type == QZ_TYPE_SPRITE; }

void FreeMove(qzObjectMove* m) {
    if (m->useCounter && *m->useCounter > 0) (*m->useCounter)--;
    for (int32_t* counter : m->linkCounters)
        if (*counter > 0) (*counter)--;
    DeleteBitMap(m->snapshot);
    DeleteBitMap(m->work);
    delete m;
}

struct MoveOwner {
    qzObjectMove* move;
    ~MoveOwner() {
        if (move) FreeMove(move);
    }
};

// The object's size and bitmaps, its use counter raised.
int TakeObject(VmState* state, qzObjectMove* m) {
    switch (m->type) {
    case QZ_TYPE_BRUSH_OBJECT: {
        qzBrush* brush = nullptr;
        int error = FindBrush(state, m->id, &brush, QZ_FINDBRUSH_NOVECTOR);
        if (error) return error;
        m->bitmap = brush->bitmap;
        m->mask = brush->mask;
        m->alpha = brush->alpha;
        m->width = brush->width;
        m->height = brush->height;
        m->useCounter = &brush->locked;
        break;
    }
    case QZ_TYPE_TEXT_OBJECT: {
        qzTextObject* text = nullptr;
        int error = FindTextObject(state, m->id, &text, 0);
        if (error) return error;
        m->bitmap = text->bitmap;
        m->mask = text->mask;
        m->alpha = text->alpha;
        m->width = text->width;
        m->height = text->height;
        m->offsetX = text->left;
        m->offsetY = text->top;
        m->useCounter = &text->locked;
        break;
    }
    case QZ_TYPE_SPRITE: {
        qzSprite* sprite = nullptr;
        int error = FindSprite(state, m->id, &sprite, 0);
        if (error) return error;
        m->width = sprite->width;
        m->height = sprite->height;
        m->frameCount = std::max(1, sprite->frameCount);
        m->useCounter = &sprite->locked;
        // The sprites whose frames a link sprite shows are held with it.
        std::vector<int32_t*> links;
        links.reserve(sprite->links.size());
        for (qzSprite* s : sprite->links) links.push_back(&s->locked);
        m->linkCounters.swap(links);
        for (int32_t* counter : m->linkCounters) (*counter)++;
        break;
    }
    default: return ERR_WRONGUSAGE;
    }
    (*m->useCounter)++;
    return 0;
}

// The picture rectangle of the object at x, y.
struct Box {
    int64_t x1, y1, x2, y2;  // x2, y2 exclusive
};

// One frame of a brush or text object moved with layers off: the union of where it was and where
// it goes is rebuilt from the snapshot with the object over it and reaches the display in one blit.
void DrawOverSnapshot(VmState* state, qzObjectMove* m, int32_t x, int32_t y) {
    const qzDisplay* display = CurrentDisplay();
    const qzBitMap* shown = display ? display->displayBuffer : nullptr;
    if (!shown) return;
    if (shown->width != m->snapshot->width || shown->height != m->snapshot->height) {
        // The picture changed its size: a new snapshot of what it shows now.
        qzBitMap* snapshot = CreateBitMap(shown->width, shown->height, 0, nullptr);
        qzBitMap* work = CreateBitMap(shown->width, shown->height, 0, nullptr);
        if (!snapshot || !work) {
            DeleteBitMap(snapshot);
            DeleteBitMap(work);
            return;
        }
        CopyBitmapRect(shown, 0, 0, snapshot, 0, 0, shown->width, shown->height);
        DeleteBitMap(m->snapshot);
        DeleteBitMap(m->work);
        m->snapshot = snapshot;
        m->work = work;
    }
    const int32_t w = m->snapshot->width, h = m->snapshot->height;
    const Box old = {int64_t(m->drawnX) + m->offsetX, int64_t(m->drawnY) + m->offsetY, 0, 0};
    const Box now = {int64_t(x) + m->offsetX, int64_t(y) + m->offsetY, 0, 0};
    Box box = {std::min(old.x1, now.x1), std::min(old.y1, now.y1), std::max(old.x1, now.x1) + m->width,
               std::max(old.y1, now.y1) + m->height};
    box.x1 = std::max<int64_t>(box.x1, 0);
    box.y1 = std::max<int64_t>(box.y1, 0);
    box.x2 = std::min<int64_t>(box.x2, w);
    box.y2 = std::min<int64_t>(box.y2, h);
    m->drawnX = x;
    m->drawnY = y;
    if (box.x2 <= box.x1 || box.y2 <= box.y1) return;
    const int32_t bx = int32_t(box.x1), by = int32_t(box.y1), bw = int32_t(box.x2 - box.x1),
                  bh = int32_t(box.y2 - box.y1);
    CopyBitmapRect(m->snapshot, bx, by, m->work, bx, by, bw, bh);
    SafeBlt(state, m->bitmap, 0, 0, m->work, int32_t(now.x1), int32_t(now.y1), m->width, m->height, m->width, m->height,
            w, h, SAFEBLT_TARGETONLY | SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES, m->mask, m->alpha, nullptr);
    SafeBlt(state, m->work, bx, by, nullptr, bx, by, bw, bh, w, h, w, h, SAFEBLT_FIRSTBUFFER | m->bltFlags, nullptr,
            nullptr, DrawTargetClipRegion());
}

// One frame: the path, the frame when due, the redraw. 0, or the redraw's error; *finished is
// set when the end point is reached.
int StepMove(qzObjectMove* m, int32_t* finished) {
    VmState* state = m->state;
    const bool end = AdvanceMovePath(m);
    if (SpriteMove(m) && m->frameCount > 1) {
        const uint64_t now = OsMonotonicMicros();
        if (now >= m->nextFrameMicros) {
            m->frame = m->frame % m->frameCount + 1;
            m->nextFrameMicros = now + uint64_t(m->animSpeed) * 1000;
        }
    }
    const int32_t x = m->x.position, y = m->y.position;
    int error = 0;
    if (SpriteMove(m)) {
        error = DrawSpriteFrame(state, m->id, x, y, m->frame);
    } else if (m->layer) {
        RefreshLayerChange(state, m->layer, 0, 0, x, y, 0, 0, nullptr);
    } else if (m->snapshot) {
        DrawOverSnapshot(state, m, x, y);
    } else {
        m->done = true;  // the layer it moved is gone
    }
    if (end || error || m->done) {
        m->done = true;
        *finished = 1;
    }
    return error;
}

// The layer that shows the object on the current picture, made by drawing it once when none does.
int FindMoveLayer(VmState* state, qzObjectMove* m) {
    qzBGPic* pic = CurrentBGPic();
    const int32_t kind = m->type == QZ_TYPE_TEXT_OBJECT ? QZ_LAYER_TEXTOBJECT : QZ_LAYER_BRUSH;
    qzBGPic* found = nullptr;
    qzLayer* layer = nullptr;
    if (FindLayerUsingObject(kind, m->id, nullptr, &found, &layer) && found == pic) {
        m->layer = layer;
        return 0;
    }
    int error = m->type == QZ_TYPE_TEXT_OBJECT ? DisplayTextObject(state, m->id, m->fromX, m->fromY, 0)
                                               : DisplayBrushSimple(state, m->id, m->fromX, m->fromY, 0);
    if (error) return error;
    m->layer = LastLayer(pic);
    return m->layer ? 0 : ERR_LAYERRANGE;
}

int AsyncStep(void* userData, int32_t* finished) {
    qzObjectMove* m = static_cast<qzObjectMove*>(userData);
    if (m->done) {
        *finished = 1;
        return 0;
    }
    return StepMove(m, finished);
}

void AsyncFree(void* userData, int32_t, int32_t) { FreeMove(static_cast<qzObjectMove*>(userData)); }

// A layer that goes ends the move that slides it.
int AsyncEvent(int operation, intptr_t data, void* userData) {
    qzObjectMove* m = static_cast<qzObjectMove*>(userData);
    if (operation == 0 && m->layer && reinterpret_cast<void*>(data) == m->layer) {
        m->layer = nullptr;
        m->done = true;
    }
    return 0;
}

// The speed constants in pixels per frame; ERR_WRONGUSAGE for any other value below 1.
int PixelsPerFrame(int32_t* speed) {
    if (*speed == QZ_SPEED_FAST)
        *speed = 15;
    else if (*speed == QZ_SPEED_NORMAL)
        *speed = 10;
    else if (*speed == QZ_SPEED_SLOW)
        *speed = 5;
    else if (*speed < 1)
        return ERR_WRONGUSAGE;
    return 0;
}

int TransitionStep(qzObjectMove* m, int32_t* done) {
    if (m->done) {
        *done = 1;
        return 0;
    }
    return StepMove(m, done);
}

void TransitionFree(qzObjectMove* m) {
    DeleteBitMap(m->snapshot);
    DeleteBitMap(m->work);
    m->snapshot = m->work = nullptr;
}

}  // namespace

int PrepareTransitionMove(VmState* state, qzObjectMove* m) {
    qzDisplay* display = CurrentDisplay();
    if (!display || !display->bgpic) return ERR_WRONGUSAGE;
    int error = PixelsPerFrame(&m->speed);
    if (error) return error;
    m->state = state;
    m->type = QZ_MOVE_TRANSITION;
    const int32_t pictureWidth = display->bgpic->width, pictureHeight = display->bgpic->height;
    m->fromX = ResolveXPosition(m->fromX, m->width, pictureWidth, 0.0, 0);
    m->fromY = ResolveYPosition(m->fromY, m->height, pictureHeight, 0.0, 0);
    m->toX = ResolveXPosition(m->toX, m->width, pictureWidth, 0.0, 0);
    m->toY = ResolveYPosition(m->toY, m->height, pictureHeight, 0.0, 0);
    if (m->fromX == m->toX && m->fromY == m->toY) {
        // The effect waits for an arrival: a move that starts where it ends comes from nearby.
        m->fromX -= 10;
        m->fromY -= 10;
    }
    SetUpMovePath(m, pictureHeight);
    m->step = TransitionStep;
    m->free = TransitionFree;
    if (m->layer) {
        RefreshLayerChange(state, m->layer, 0, 0, m->fromX, m->fromY, 0, 0, nullptr);
        return 0;
    }
    const qzBitMap* shown = display->displayBuffer;
    if (!shown || !m->bitmap) return ERR_WRONGUSAGE;
    m->snapshot = CreateBitMap(shown->width, shown->height, 0, nullptr);
    m->work = CreateBitMap(shown->width, shown->height, 0, nullptr);
    if (!m->snapshot || !m->work) {
        TransitionFree(m);
        return ERR_BITMAP;
    }
    CopyBitmapRect(shown, 0, 0, m->snapshot, 0, 0, shown->width, shown->height);
    m->drawnX = m->fromX;
    m->drawnY = m->fromY;
    return 0;
}

int RunObjectMove(VmState* state, int32_t type, const qzObjectId& id, qzLayer* layer, int32_t x1, int32_t y1,
                  int32_t x2, int32_t y2, int32_t speed, int32_t animSpeed, int32_t fx, bool async,
                  void** asyncHandle) {
    *asyncHandle = nullptr;
    qzDisplay* display = CurrentDisplay();
    if (!display || !display->bgpic) return ERR_WRONGUSAGE;
    int error = CheckOutputIsDisplay(true);
    if (error) return error;
    if (display->refreshBlock) return ERR_BEGINREFRESH;
    if (type == QZ_TYPE_SPRITE && (display->layersEnabled || PictureHasLayers(display->bgpic))) return ERR_LAYERSOFF;

    error = PixelsPerFrame(&speed);
    if (error) return error;
    if (animSpeed == QZ_SPEED_FAST)
        animSpeed = 0;
    else if (animSpeed == QZ_SPEED_NORMAL || animSpeed == QZ_SPEED_DEFAULT)
        animSpeed = 60;
    else if (animSpeed == QZ_SPEED_SLOW)
        animSpeed = 160;
    else if (animSpeed < 0)
        animSpeed = 0;
    else
        animSpeed = int32_t(std::min<int64_t>(int64_t(animSpeed) * 20, INT32_MAX));

    if (type == QZ_TYPE_ANIM_OBJECT) {
        // No anim is found.
        if (id.pointer) return ERR_FINDARRAY;
        SetErrorArgIndex(id.number);
        return ERR_FINDANIM;
    }
    std::unique_ptr<qzObjectMove> made(new qzObjectMove);
    MoveOwner owner{made.release()};
    qzObjectMove* m = owner.move;
    m->state = state;
    m->type = type;
    m->id = id;
    m->fromX = x1;
    m->fromY = y1;
    m->toX = x2;
    m->toY = y2;
    m->speed = speed;
    m->animSpeed = animSpeed;
    m->fx = fx;
    m->async = async;
    if (layer) {
        m->layer = layer;
        m->width = layer->display ? layer->display->width : 0;
        m->height = layer->display ? layer->display->height : 0;
    } else {
        error = TakeObject(state, m);
        if (error) return error;
    }
    if (x1 == x2 && y1 == y2) return 0;
    SetUpMovePath(m, display->bgpic->height);

    // The first drawing.
    if (SpriteMove(m)) {
        error = DrawSpriteFrame(state, id, x1, y1, 1);
        if (error) return error;
        m->nextFrameMicros = OsMonotonicMicros() + uint64_t(m->animSpeed) * 1000;
    } else if (m->layer) {
        RefreshLayerChange(state, m->layer, 0, 0, x1, y1, 0, 0, nullptr);
    } else if (display->layersEnabled) {
        error = FindMoveLayer(state, m);
        if (error) return error;
        RefreshLayerChange(state, m->layer, 0, 0, x1, y1, 0, 0, nullptr);
    } else {
        const qzBitMap* shown = display->displayBuffer;
        if (!shown) return ERR_WRONGUSAGE;
        m->snapshot = CreateBitMap(shown->width, shown->height, 0, nullptr);
        m->work = CreateBitMap(shown->width, shown->height, 0, nullptr);
        if (!m->snapshot || !m->work) return ERR_BITMAP;
        CopyBitmapRect(shown, 0, 0, m->snapshot, 0, 0, shown->width, shown->height);
        m->drawnX = x1;
        m->drawnY = y1;
    }

    if (async) {
        qzAsyncDraw* object = nullptr;
        error = CreateAsyncDraw(ADF_MOVEOBJECT, AsyncStep, nullptr, nullptr, AsyncFree, AsyncEvent, m, &object);
        if (error) return error;
        owner.move = nullptr;
        *asyncHandle = object->header.id.pointer;
        return 0;
    }
    int32_t finished = 0;
    while (!finished) {
        int pumpError = 0;
        if (PumpEvents(state, QZ_PUMP_WAIT, &pumpError)) return pumpError;
        error = StepMove(m, &finished);
        if (error) return error;
        if (!finished) WaitDisplayVBlank(state, display, 0);
    }
    return 0;
}
