// The shape commands: Box, Ellipse, Circle, Arc, Polygon and Line read their arguments and the
// options table, resolve the position and hand a shape record to the shape renderer.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "image/draw_options.h"
#include "libs/draw/draw.h"
#include "libs/graphics/graphics.h"
#include "libs/system/system.h"
#include "runtime/applet_version.h"
#include "runtime/arg_check.h"
#include "runtime/option_table.h"
#include "vector/draw_shape.h"
#include "vector/path_render.h"
#include "vector/path_style.h"
#include "vector/polygon_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The shape drawn as a temporary vector path while the vector-graphics switch ForcePathUse is on:
// the path code's result, or -1 when the shape renderer draws it.
int RouteThroughPaths(VmState* state, int kind, int optionsIndex, uint32_t color, const std::vector<double>& numbers) {
    if (!GetForcePathUse()) return -1;
    if (VmGetTop(state) < optionsIndex || VmType(state, optionsIndex) != VM_TTABLE) optionsIndex = 0;
    return ShapeToPath(state, kind, VmCheckInteger(state, 1), VmCheckInteger(state, 2), color, optionsIndex,
                       numbers.data(), (int)numbers.size());
}

// The common part of a shape command: the record, the standard draw options it starts from (the
// global defaults until a table is read), its transform and whether curves take the
// anti-aliased direct pass.
struct ShapeCall {
    qzShape shape{};
    qzTransformTags transformTags;
    qzLayerTags layerTags;
    qzShapeTransform transform;
    bool modernCurves = false;
    ShapeCall() {
        InitDrawTags(&transformTags, &layerTags, 0, 0, DefaultTransformTags()->smoothscale, 0);
        TakeTransform();
        shape.drawState = GetDrawState();
        shape.transform = &transform;
        shape.transformTags = &transformTags;
        shape.layerTags = &layerTags;
        modernCurves = CheckAppletVersion(6, 0) && !IsLegacyLineBasedShapes();
    }
    // The shape's transform: the options' matrix and anchor.
    void TakeTransform() {
        for (int i = 0; i < 4; i++) transform.matrix[i] = transformTags.matrix[i];
        transform.anchorX = transformTags.anchorx;
        transform.anchorY = transformTags.anchory;
    }
};

bool IsLastArg(VmState* state, int index) { return VmGetTop(state) == index; }

// The rotation argument: the angle modulo 360 turns the shape about its anchor at scale 1.
void SetRotation(ShapeCall* call, double degrees) {
    const double a = std::fmod(degrees, 360.0);
    if (!std::isfinite(a)) return;
    BuildScaleRotateMatrix(1, 1, a, call->transformTags.matrix);
    call->transformTags.rotate = a;
    call->transformTags.scalex = call->transformTags.scaley = 1;
    call->transformTags.hasusermatrix = 0;
    call->TakeTransform();
}

// The options table at index, for a shape of width x height, read into the call's options and
// transform. 0 or the parser's error.
int ReadStandardOptions(VmState* state, int index, int width, int height, ShapeCall* call) {
    if (int e = ReadShapeDrawTags(state, index, width, height, &call->transformTags, &call->layerTags)) return e;
    call->TakeTransform();
    return 0;
}

// The argument after the colour: a table (the options), a number (the command's own value, or an
// angle), or absent. Sets *table or *number.
enum ArgKind { ARG_NONE, ARG_TABLE, ARG_NUMBER };
ArgKind OptionArg(VmState* state, int index, double* number) {
    if (VmGetTop(state) < index) return ARG_NONE;
    const int type = VmType(state, index);
    if (type == VM_TTABLE) return ARG_TABLE;
    if (type == VM_TNIL) return ARG_NONE;
    *number = VmCheckNumber(state, index);
    return ARG_NUMBER;
}

// A rotation angle at index when it is the last argument and a number.
void OptRotation(VmState* state, int index, ShapeCall* call) {
    if (IsLastArg(state, index) && VmType(state, index) == VM_TNUMBER) SetRotation(call, VmToNumber(state, index));
}

void ResolveShapePosition(VmState* state, qzShape* shape, int width, int height, const qzShapeTransform& t) {
    shape->x = ResolveXPosition(VmCheckInteger(state, 1), width, 0, t.anchorX);
    shape->y = ResolveYPosition(VmCheckInteger(state, 2), height, 0, t.anchorY);
}

// A size from two radii, kept inside 32 bits for the position arithmetic.
int DiameterOf(int32_t r) { return r >= 1 && r <= 0x3FFFFFFE ? 2 * r + 1 : 1; }

}  // namespace

int ReadShapeDrawTags(VmState* state, int tableIndex, int width, int height, qzTransformTags* tags,
                      qzLayerTags* layerTags) {
    return ParseDrawTags(state, tableIndex, width, height, 0, 0, DefaultTransformTags()->smoothscale, tags, layerTags,
                         QZ_DRAWTAGS_DEFAULTS);
}

void ReadBoxCorners(VmState* state, int tableIndex, int32_t corners[4]) {
    int32_t level = 0;
    if (GetTableFieldInt(state, tableIndex, "roundlevel", &level, nullptr))
        corners[0] = corners[1] = corners[2] = corners[3] = level;
    static const char* const kCorners[4] = {"cornera", "cornerb", "cornerc", "cornerd"};
    for (int i = 0; i < 4; i++) GetTableFieldInt(state, tableIndex, kCorners[i], &corners[i], nullptr);
}

int DrawBox(VmState* state) {
    ShapeCall call;
    const int32_t width = VmCheckInteger(state, 3), height = VmCheckInteger(state, 4);
    call.shape.color = OptColorArg(state, 5, 0);
    int32_t corners[4] = {0, 0, 0, 0};
    double number = 0;
    const ArgKind kindOfArg = OptionArg(state, 6, &number);
    if (kindOfArg == ARG_TABLE)
        ReadBoxCorners(state, 6, corners);
    else if (kindOfArg == ARG_NUMBER)
        corners[0] = corners[1] = corners[2] = corners[3] = VmTruncateNumber(number);
    std::vector<double> boxNumbers = {(double)width, (double)height};
    for (int32_t c : corners) boxNumbers.push_back(std::clamp(c, 0, 100));
    const int routed = RouteThroughPaths(state, SHAPE_BOX, 6, call.shape.color, boxNumbers);
    if (routed >= 0) return routed;
    if (kindOfArg == ARG_TABLE) {
        if (int e = ReadStandardOptions(state, 6, width, height, &call)) return e;
    } else if (kindOfArg == ARG_NUMBER) {
        OptRotation(state, 7, &call);
    }
    ResolveShapePosition(state, &call.shape, width, height, call.transform);
    return DrawBoxShape(state, &call.shape, width, height, corners, call.modernCurves, 0);
}

namespace {

int DrawEllipseCommand(VmState* state, int kind, int32_t rx, int32_t ry, int optionIndex) {
    ShapeCall call;
    call.shape.color = OptColorArg(state, optionIndex - 1, 0);
    double number = 0;
    const ArgKind kindOfArg = OptionArg(state, optionIndex, &number);
    const int routed = RouteThroughPaths(state, kind, optionIndex, call.shape.color, {(double)rx, (double)ry});
    if (routed >= 0) return routed;
    if (kindOfArg == ARG_TABLE) {
        if (int e = ReadStandardOptions(state, optionIndex, DiameterOf(rx), DiameterOf(ry), &call)) return e;
    } else if (kindOfArg == ARG_NUMBER) {
        OptRotation(state, optionIndex, &call);
    }
    ResolveShapePosition(state, &call.shape, DiameterOf(rx), DiameterOf(ry), call.transform);
    return DrawEllipseShape(state, &call.shape, kind, rx, ry, call.modernCurves, 0);
}

}  // namespace

int DrawEllipse(VmState* state) {
    return DrawEllipseCommand(state, SHAPE_ELLIPSE, VmCheckInteger(state, 3), VmCheckInteger(state, 4), 6);
}

int DrawCircle(VmState* state) {
    const int32_t r = VmCheckInteger(state, 3);
    return DrawEllipseCommand(state, SHAPE_CIRCLE, r, r, 5);
}

int DrawArc(VmState* state) {
    ShapeCall call;
    const int32_t rx = VmCheckInteger(state, 3), ry = VmCheckInteger(state, 4);
    const int32_t start = VmCheckInteger(state, 5), end = VmCheckInteger(state, 6);
    call.shape.color = OptColorArg(state, 7, 0);
    int32_t clockwise = 1;
    double number = 0;
    const ArgKind kindOfArg = OptionArg(state, 8, &number);
    if (kindOfArg == ARG_TABLE)
        GetTableFieldInt(state, 8, "clockwise", &clockwise, nullptr);
    else if (kindOfArg == ARG_NUMBER)
        clockwise = VmTruncateNumber(number);
    const int routed = RouteThroughPaths(state, SHAPE_ARC, 8, call.shape.color,
                                         {(double)rx, (double)ry, (double)start, (double)end, clockwise ? 1.0 : 0.0});
    if (routed >= 0) return routed;
    if (kindOfArg == ARG_TABLE) {
        if (int e = ReadStandardOptions(state, 8, DiameterOf(rx), DiameterOf(ry), &call)) return e;
    } else if (kindOfArg == ARG_NUMBER) {
        OptRotation(state, 9, &call);
    }
    ResolveShapePosition(state, &call.shape, DiameterOf(rx), DiameterOf(ry), call.transform);
    return DrawArcShape(state, &call.shape, rx, ry, start, end, clockwise != 0, call.modernCurves, 0);
}

int DrawPolygon(VmState* state) {
    ShapeCall call;
    const int32_t x = VmCheckInteger(state, 1), y = VmCheckInteger(state, 2);
    VmCheckTable(state, 3);
    const int32_t count = VmCheckInteger(state, 4);
    call.shape.color = OptColorArg(state, 5, 0);
    if (count < 2 || count > 999) return ERR_WRONGUSAGE;
    std::vector<qzShapePoint> points;
    int minX = 0, minY = 0, width = 0, height = 0;
    qzShapePoint low{};
    if (int e = ReadPolygonTable(state, 3, count, &points, &minX, &minY, &width, &height, &low)) return e;
    double number = 0;
    const ArgKind kindOfArg = OptionArg(state, 6, &number);
    std::vector<double> pointNumbers;
    for (const qzShapePoint& p : points) {
        pointNumbers.push_back(p.x + low.x);
        pointNumbers.push_back(p.y + low.y);
    }
    const int routed = RouteThroughPaths(state, SHAPE_POLYGON, 6, call.shape.color, pointNumbers);
    if (routed >= 0) return routed;
    if (kindOfArg == ARG_TABLE) {
        if (int e = ReadStandardOptions(state, 6, width, height, &call)) return e;
    } else if (kindOfArg == ARG_NUMBER) {
        OptRotation(state, 6, &call);
    }
    const int64_t px = (int64_t)ResolveXPosition(x, width, 0, call.transform.anchorX) + minX;
    const int64_t py = (int64_t)ResolveYPosition(y, height, 0, call.transform.anchorY) + minY;
    call.shape.x = (int32_t)std::clamp<int64_t>(px, INT32_MIN, INT32_MAX);
    call.shape.y = (int32_t)std::clamp<int64_t>(py, INT32_MIN, INT32_MAX);
    return DrawPolygonShape(state, &call.shape, points.data(), (int)points.size(), width, height, 0);
}

int DrawLine(VmState* state) {
    VmCheckArgCount(state, 4, 7, 0, 0);
    ShapeCall call;
    const int32_t x1 = VmCheckInteger(state, 1), y1 = VmCheckInteger(state, 2);
    const int32_t x2 = VmCheckInteger(state, 3), y2 = VmCheckInteger(state, 4);
    call.shape.color = OptColorArg(state, 5, 0);
    int32_t thickness = 1;
    double number = 0;
    const int64_t w = std::llabs((int64_t)x2 - x1) + 1, h = std::llabs((int64_t)y2 - y1) + 1;
    switch (OptionArg(state, 6, &number)) {
    case ARG_TABLE: {
        GetTableFieldInt(state, 6, "thickness", &thickness, nullptr);
        if (int e = ReadStandardOptions(state, 6, (int)std::min<int64_t>(w, INT32_MAX),
                                        (int)std::min<int64_t>(h, INT32_MAX), &call))
            return e;
        break;
    }
    case ARG_NUMBER:
        thickness = VmTruncateNumber(number);
        OptRotation(state, 7, &call);
        break;
    case ARG_NONE: break;
    }
    const qzShapeTransform& t = call.transform;
    const int32_t rx1 = ResolveXPosition(x1, 1, 0, t.anchorX), ry1 = ResolveYPosition(y1, 1, 0, t.anchorY);
    const int32_t rx2 = ResolveXPosition(x2, 1, 0, t.anchorX), ry2 = ResolveYPosition(y2, 1, 0, t.anchorY);
    return DrawLineCore(state, &call.shape, rx1, ry1, rx2, ry2, thickness, 0, nullptr);
}
