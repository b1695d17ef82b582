// The library's registration: its command table, constants, path list and clean-up.
#include "libs/vectorgraphics/vectorgraphics.h"

#include "runtime/object_registry.h"
#include "runtime/runtime.h"
#include "vector/outline_engine.h"
#include "vector/path_buffer.h"
#include "vector/path_style.h"
#include "vector/vector_engine.h"
#include "vector/vector_fonts.h"
#include "vm/vm_aux.h"

namespace {

const qzCommandRow kVectorGraphicsCommands[] = {
    {"MoveTo", VgMoveTo},
    {"LineTo", VgLineTo},
    {"CurveTo", VgCurveTo},
    {"RelMoveTo", VgRelMoveTo},
    {"RelLineTo", VgRelLineTo},
    {"RelCurveTo", VgRelCurveTo},
    {"StartPath", VgStartPath, 1, 1},
    {"StartSubPath", VgStartSubPath},
    {"ClosePath", VgClosePath},
    {"AddArcToPath", VgAddArcToPath, 7, 8},
    {"AddCircleToPath", VgAddCircleToPath, 4, 4},
    {"AddEllipseToPath", VgAddEllipseToPath, 5, 5},
    {"AddBoxToPath", VgAddBoxToPath, 5, 6},
    {"SetLineJoin", VgSetLineJoin},
    {"SetLineCap", VgSetLineCap},
    {"SetDash", VgSetDash, 2, 0},
    {"SetFillRule", VgSetFillRule},
    {"FreePath", VgFreePath, 1, 1},
    {"ClearPath", VgClearPath, 1, 1},
    {"IsPathEmpty", VgIsPathEmpty, 1, 1},
    {"GetCurrentPoint", VgGetCurrentPoint, 1, 1},
    {"GetPathExtents", VgGetPathExtents, 1, 1},
    {"CopyPath", VgCopyPath, 2, 2},
    {"AppendPath", VgAppendPath, 2, 2},
    {"AddTextToPath", VgAddTextToPath, 2, 3},
    {"TranslatePath", VgTranslatePath, 3, 3},
    {"NormalizePath", VgNormalizePath, 1, 1},
    {"ForcePathUse", VgForcePathUse, 1, 1},
    {"SetVectorEngine", VgSetVectorEngine, 1, 1},
    {"DrawPath", VgDrawPath, 3, 5},
    {nullptr, nullptr},
};

const qzConstantRow kVectorGraphicsConstants[] = {
    {"JOINMITER", nullptr, PATH_JOINMITER},
    {"JOINROUND", nullptr, PATH_JOINROUND},
    {"JOINBEVEL", nullptr, PATH_JOINBEVEL},
    {"CAPBUTT", nullptr, PATH_CAPBUTT},
    {"CAPROUND", nullptr, PATH_CAPROUND},
    {"CAPSQUARE", nullptr, PATH_CAPSQUARE},
    {"FILLRULEWINDING", nullptr, PATH_FILLRULEWINDING},
    {"FILLRULEEVENODD", nullptr, PATH_FILLRULEEVENODD},
    {nullptr, nullptr, 0},
};

int OpenVectorGraphicsLibrary(VmState*) {
    InitInbuiltVectorEngine();
    SetCurrentVectorEngine(GetInbuiltVectorEngine());
    ResetPathStyle();
    InstallPathDrawing(true);
    return RegisterObjectList(GetPathList());
}

void ResetVectorGraphicsLibrary() {
    InstallPathDrawing(false);
    ResetPathStyle();
    SetCurrentVectorEngine(GetInbuiltVectorEngine());
}

}  // namespace

const qzLibraryDescriptor qzVectorGraphicsLibrary = {
    .name = "vectorgraphics",
    .commands = kVectorGraphicsCommands,
    .constants = kVectorGraphicsConstants,
    .open = OpenVectorGraphicsLibrary,
    .cleanups = {{QZ_STAGE_VECTOR_PATHS, FreeVectorGraphicsLibrary}},
    .reset = ResetVectorGraphicsLibrary,
};

void FreeVectorGraphicsLibrary(VmState* state) {
    FreePathList(state);
    SetPathDash(0, nullptr, 0);
    ForgetLastOutline();
    FreeVectorFonts();
}
