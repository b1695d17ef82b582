// The draw library's registration: commands, constants, and the draw state's life.
#include <cmath>

#include "libs/draw/draw.h"
#include "vector/draw_state.h"
#include "vector/shape_layer.h"
#include "vector/shape_render.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

const qzCommandRow kDrawCommands[] = {
    {"Box", DrawBox, 4, 7},
    {"Ellipse", DrawEllipse, 4, 6},
    {"Circle", DrawCircle, 3, 5},
    {"Arc", DrawArc, 6, 9},
    {"Polygon", DrawPolygon, 4, 6},
    {"Line", DrawLine},
    {"Plot", DrawPlot, 2, 3},
    {"ReadPixel", DrawReadPixel, 2, 2},
    {"Cls", DrawCls, 0, 1},
    {"SetFillStyle", DrawSetFillStyle, 1, 6},
    {"SetFormStyle", DrawSetFormStyle, 1, 4},
    {"SetLineWidth", DrawSetLineWidth, 1, 1},
    {nullptr, nullptr},
};

const qzConstantRow kDrawConstants[] = {
    {"BLACK", nullptr, 0x000000}, {"MAROON", nullptr, 0x800000},  {"GREEN", nullptr, 0x008000},
    {"OLIVE", nullptr, 0x808000}, {"NAVY", nullptr, 0x000080},    {"PURPLE", nullptr, 0x800080},
    {"TEAL", nullptr, 0x008080},  {"GRAY", nullptr, 0x808080},    {"SILVER", nullptr, 0xC0C0C0},
    {"RED", nullptr, 0xFF0000},   {"LIME", nullptr, 0x00FF00},    {"YELLOW", nullptr, 0xFFFF00},
    {"BLUE", nullptr, 0x0000FF},  {"FUCHSIA", nullptr, 0xFF00FF}, {"AQUA", nullptr, 0x00FFFF},
    {"WHITE", nullptr, 0xFFFFFF}, {"FILLNONE", nullptr, 0},       {"FILLCOLOR", nullptr, 1},
    {"FILLGRADIENT", nullptr, 2}, {"FILLTEXTURE", nullptr, 3},    {"BOX", nullptr, 14},
    {"LINE", nullptr, 17},        {"CIRCLE", nullptr, 15},        {"PLOT", nullptr, 18},
    {"ELLIPSE", nullptr, 16},     {"POLYGON", nullptr, 27},       {"ARC", nullptr, 31},
    {nullptr, nullptr, 0},
};

int OpenDrawLibrary(VmState*) {
    ResetDrawState();
    InstallShapeLayerKinds(true);
    return 0;
}

void ResetDrawLibrary() {
    ResetDrawState();
    InstallShapeLayerKinds(false);
}

}  // namespace

uint32_t OptColorArg(VmState* state, int index, uint32_t def) {
    if (VmGetTop(state) < index || VmType(state, index) == VM_TNIL) return def;
    const double n = std::trunc(VmCheckNumber(state, index));
    if (!(n >= -2147483648.0 && n <= 4294967295.0)) return def;
    return n < 0 ? (uint32_t)(int32_t)n : (uint32_t)n;
}

const qzLibraryDescriptor qzDrawLibrary = {
    .name = "draw",
    .commands = kDrawCommands,
    .constants = kDrawConstants,
    .open = OpenDrawLibrary,
    .reset = ResetDrawLibrary,
};
