#include "libs/transitionfx/effect_scroll.h"

#include <new>

#include "base/error_codes.h"
#include "display/layer_refresh.h"
#include "fx/effect_context.h"
#include "gfx/position.h"
#include "gfx/safe_blt.h"
#include "libs/moveobject/object_move.h"

namespace {

// The state block (plain memory, freed by the driver): the move the effect drives.
struct ScrollState {
    qzObjectMove* move;
};

qzObjectMove* Move(const qzEffectContext* c) {
    const ScrollState* s = static_cast<const ScrollState*>(c->state);
    return s ? s->move : nullptr;
}

// Where the picture stands outside the display, by type: each axis a position constant, or 0 for
// the area's own coordinate.
struct Outside {
    int32_t x, y;
};
constexpr Outside kOutside[8] = {
    {QZ_POSITION_LEFTOUT, 0},                       // left, west
    {QZ_POSITION_RIGHTOUT, 0},                      // right, east
    {0, QZ_POSITION_TOPOUT},                        // top, north
    {0, QZ_POSITION_BOTTOMOUT},                     // bottom, south
    {QZ_POSITION_RIGHTOUT, QZ_POSITION_TOPOUT},     // north-east
    {QZ_POSITION_RIGHTOUT, QZ_POSITION_BOTTOMOUT},  // south-east
    {QZ_POSITION_LEFTOUT, QZ_POSITION_BOTTOMOUT},   // south-west
    {QZ_POSITION_LEFTOUT, QZ_POSITION_TOPOUT},      // north-west
};

int SetUp(qzEffectContext* c) {
    ShowEffectLayer(c);
    int error = AllocEffectState(c, sizeof(ScrollState));
    if (error) return error;
    qzObjectMove* m = new (std::nothrow) qzObjectMove;
    if (!m) return ERR_MEM;
    const Outside& out = kOutside[(c->type - 47) & 7];
    const int32_t outX = out.x ? out.x : c->x, outY = out.y ? out.y : c->y;
    if (c->layer) {
        m->layer = c->layer;
    } else {
        m->bitmap = c->image;
        m->mask = c->imageMask;
        m->alpha = c->imageAlpha;
    }
    m->width = c->width;
    m->height = c->height;
    m->fromX = c->hide ? c->x : outX;
    m->fromY = c->hide ? c->y : outY;
    m->toX = c->hide ? outX : c->x;
    m->toY = c->hide ? outY : c->y;
    m->fx = c->parameter == QZ_EFFECT_RANDOMPARAMETER ? QZ_MOVEFX_NONE : c->parameter;
    m->speed = c->speed;
    m->bltFlags = c->bltFlags & SAFEBLT_FORCEFIRSTBUFFER;
    error = PrepareTransitionMove(c->vm, m);
    if (error) {
        delete m;
        return error;
    }
    static_cast<ScrollState*>(c->state)->move = m;
    return 0;
}

}  // namespace

int ScrollEffectStep(qzEffectContext* c, int32_t* done) {
    if (c->phase == QZ_EFFECT_PHASE_SETUP) return SetUp(c);
    if (c->bgpicEmu) RefreshEmuBuffers(c, 2);
    qzObjectMove* m = Move(c);
    int32_t arrived = 0;
    if (m) m->step(m, &arrived);
    if (!m || arrived) *done = 1;
    c->current++;
    return 0;
}

void ScrollEffectFree(qzEffectContext* c, int32_t) {
    if (c->layer) RefreshLayerChange(c->vm, c->layer, 0, 0, c->savedLayerX, c->savedLayerY, 0, 0, nullptr);
    qzObjectMove* m = Move(c);
    if (!m) return;
    static_cast<ScrollState*>(c->state)->move = nullptr;
    if (m->free) m->free(m);
    delete m;
}

void RetargetScrollEffect(qzEffectContext* c, qzLayer* layer) {
    if (qzObjectMove* m = Move(c)) m->layer = layer;
}
