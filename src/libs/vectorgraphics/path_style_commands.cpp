// The commands that set the path style and the force-path switch, choose the vector engine, and
// ask the engine about a path (current point) or change it (translation, normalising).
#include <vector>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vector/draw_state.h"
#include "vector/path_buffer.h"
#include "vector/path_style.h"
#include "vector/vector_engine.h"
#include "vector/vector_fonts.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

int SetStyleWord(VmState* state, int32_t qzPathStyle::*field) {
    VmCheckArgCount(state, 1, 1, 0, 0);
    GetPathStyle().*field = VmCheckInteger(state, 1);
    return 0;
}

}  // namespace

int VgSetLineJoin(VmState* state) { return SetStyleWord(state, &qzPathStyle::lineJoin); }
int VgSetLineCap(VmState* state) { return SetStyleWord(state, &qzPathStyle::lineCap); }
int VgSetFillRule(VmState* state) { return SetStyleWord(state, &qzPathStyle::fillRule); }

int VgSetDash(VmState* state) {
    double offset = VmCheckNumber(state, 1);
    int count = VmGetTop(state) - 1;
    std::vector<double> lengths(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) lengths[size_t(i)] = VmCheckNumber(state, 2 + i);
    if (lengths[0] < 0) return SetPathDash(0, nullptr, 0);
    return SetPathDash(offset, lengths.data(), uint32_t(count));
}

int VgForcePathUse(VmState* state) {
    SetForcePathUse(VmCheckInteger(state, 1));
    return 0;
}

int VgGetCurrentPoint(VmState* state) {
    qzPath* path = CheckPath(state, 1);
    double x = 0, y = 0;
    if (path->buffer) {
        qzVectorEngine* engine = GetCurrentVectorEngine();
        if (int error = MapTextRecordsToEngine(path->buffer, engine)) return error;
        EngineGetCurrentPoint(engine, path->buffer, GetPathStyle(), &x, &y);
    }
    VmPushNumber(state, x);
    VmPushNumber(state, y);
    return 2;
}

int VgGetPathExtents(VmState* state) {
    qzPath* path = CheckPath(state, 1);
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (path->buffer) {
        qzVectorEngine* engine = GetCurrentVectorEngine();
        if (int error = MapTextRecordsToEngine(path->buffer, engine)) return error;
        // Filled with a fill style, else stroked with the draw state's line width.
        const qzDrawState* drawState = GetDrawState();
        GetEngineExtents(engine, path->buffer, GetPathStyle(), drawState->fillStyle != FILLNONE ? 1 : 0,
                         drawState->lineWidth, 0, 0, nullptr, &x1, &y1, &x2, &y2);
    }
    VmPushNumber(state, x1);
    VmPushNumber(state, y1);
    VmPushNumber(state, x2);
    VmPushNumber(state, y2);
    return 4;
}

int VgTranslatePath(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    double dx = VmCheckNumber(state, 2), dy = VmCheckNumber(state, 3);
    qzPath* path = CheckPath(state, id);
    if ((dx == 0 && dy == 0) || !path->buffer) return 0;
    EngineTranslatePath(GetCurrentVectorEngine(), path->buffer, path, dx, dy);
    return 0;
}

int VgNormalizePath(VmState* state) {
    qzPath* path = CheckPath(state, 1);
    if (!path->buffer) return 0;
    qzVectorEngine* engine = GetCurrentVectorEngine();
    if (int error = MapTextRecordsToEngine(path->buffer, engine)) return error;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    GetEngineExtents(engine, path->buffer, GetPathStyle(), 1, 1, 0, 0, nullptr, &x1, &y1, &x2, &y2);
    if (x1 != 0 || y1 != 0) EngineTranslatePath(engine, path->buffer, path, -x1, -y1);
    return 0;
}

int VgSetVectorEngine(VmState* state) {
    const char* name = VmCheckString(state, 1);
    qzVectorEngine* engine = FindVectorEngine(name);
    if (!engine) {
        SetErrorArgString(name);
        return ERR_FINDPLUGIN;
    }
    SetCurrentVectorEngine(engine);
    return 0;
}
