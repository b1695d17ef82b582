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
    {"StartPath", VgStartPath},
    {"StartSubPath", VgStartSubPath},
    {"ClosePath", VgClosePath},
    {"AddArcToPath", VgAddArcToPath},
    {"AddCircleToPath", VgAddCircleToPath},
    {"AddEllipseToPath", VgAddEllipseToPath},
    {"AddBoxToPath", VgAddBoxToPath},
    {"SetLineJoin", VgSetLineJoin},
    {"SetLineCap", VgSetLineCap},
    {"SetDash", VgSetDash},
    {"SetFillRule", VgSetFillRule},
    {"FreePath", VgFreePath},
    {"ClearPath", VgClearPath},
    {"IsPathEmpty", VgIsPathEmpty},
    {"GetCurrentPoint", VgGetCurrentPoint},
    {"GetPathExtents", VgGetPathExtents},
    {"CopyPath", VgCopyPath},
    {"AppendPath", VgAppendPath},
    {"AddTextToPath", VgAddTextToPath},
    {"TranslatePath", VgTranslatePath},
    {"NormalizePath", VgNormalizePath},
    {"ForcePathUse", VgForcePathUse},
    {"SetVectorEngine", VgSetVectorEngine},
    {"DrawPath", VgDrawPath},
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
