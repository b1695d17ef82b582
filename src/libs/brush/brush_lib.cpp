// The `brush` library's descriptor: its commands, constants, registration and clean-up, and the
// links through which the display code and the graphics core reach brushes.
#include "libs/brush/brush_lib.h"

#include <cstdint>

#include "base/error_codes.h"
#include "display/display_links.h"
#include "display/double_buffer.h"
#include "display/layer_collision.h"
#include "display/layer_list.h"
#include "display/object_types.h"
#include "gfx/draw_modes.h"
#include "image/brush.h"
#include "image/brush_layer_kind.h"
#include "image/draw_options.h"
#include "image/image_display.h"
#include "image/output_select.h"
#include "libs/brush/brush_process_commands.h"
#include "libs/graphics/graphics.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

const qzCommandRow kBrushCommands[] = {
    {"CreateBrush", BrushCreateBrush, 3, 5},
    {"LoadBrush", BrushLoadBrush, 2, 5},
    {"SaveBrush", BrushSaveBrush, 2, 5},
    {"CopyBrush", BrushCopyBrush, 2, 3},
    {"GetBrushLink", BrushGetBrushLink, 3, 4},
    {"ConvertToBrush", BrushConvertToBrush, 3, 4},
    {"FreeBrush", BrushFreeBrush, 1, 1},
    {"ScaleBrush", BrushScaleBrush, 3, 4},
    {"RotateBrush", BrushRotateBrush, 2, 5},
    {"TransformBrush", BrushTransformBrush, 5, 6},
    {"FlipBrush", BrushFlipBrush, 2, 2},
    {"CropBrush", BrushCropBrush, 5, 5},
    {"TrimBrush", BrushTrimBrush, 1, 1},
    {"RasterizeBrush", BrushRasterizeBrush, 1, 1},
    {"DisplayBrush", BrushDisplayBrush, 3, 4},
    {"DisplayBrushPart", BrushDisplayBrushPart, 7, 8},
    {"DisplayBGPicPart", BrushDisplayBGPicPart, 5, 8},
    {"SelectBrush", BrushSelectBrush, 1, 3},
    {"SelectMask", BrushSelectMask},
    {"SelectAlphaChannel", BrushSelectAlphaChannel},
    {"SetMaskMode", BrushSetMaskMode, 1, 1},
    {"SetAlphaIntensity", BrushSetAlphaIntensity, 1, 1},
    {"BeginDoubleBuffer", BrushBeginDoubleBuffer, 0, 1},
    {"Flip", BrushFlip, 0, 1},
    {"EndDoubleBuffer", BrushEndDoubleBuffer, 0, 0},
    {"CreateGradientBrush", BrushCreateGradientBrush, 6, 8},
    {"CreateTexturedBrush", BrushCreateTexturedBrush, 4, 6},
    QZ_BRUSH_PROCESS_COMMAND_ROWS,
    {nullptr, nullptr},
};

#define QZ_NUM(name, value) \
    { name, nullptr, static_cast<double>(value) }
const qzConstantRow kBrushConstants[] = {
    QZ_NUM("MASKVISIBLE", MASKVISIBLE),
    QZ_NUM("MASKINVISIBLE", MASKINVISIBLE),
    QZ_NUM("MASKVANILLACOPY", MASKVANILLACOPY),
    QZ_NUM("MASKXOR", MASKXOR),
    QZ_NUM("MASKAND", MASKAND),
    QZ_NUM("MASKOR", MASKOR),
    QZ_NUM("VANILLACOPY", -1),
    QZ_NUM("SELMODE_NORMAL", 0),
    QZ_NUM("SELMODE_COMBO", 1),
    QZ_NUM("SELMODE_LAYERS", 2),
    {nullptr, nullptr, 0},
};
#undef QZ_NUM

// A raster brush's own bitmaps, for the code that reads them (texture fills, copies, clip shapes,
// pointers). A vector brush answers ERR_BRUSHTYPE.
int BrushBitmaps(VmState* state, const qzObjectId& id, int32_t, qzObjectBitmaps* out) {
    qzBrush* brush = nullptr;
    int error = FindBrush(state, id, &brush, QZ_FINDBRUSH_NOVECTOR);
    if (error) return error;
    out->bitmap = brush->bitmap;
    out->mask = brush->mask;
    out->alpha = brush->alpha;
    out->width = brush->width;
    out->height = brush->height;
    out->frames = 1;
    return 0;
}

// A script coordinate as a whole pixel position, kept inside the 32-bit range.
int32_t PositionArg(double value) {
    if (!(value > INT32_MIN)) return INT32_MIN;  // NaN too
    if (value > INT32_MAX) return INT32_MAX;
    return int32_t(value);
}

// The collision test's view of a brush: its box at x, y (position constants resolved against its
// size and the current drawing target) with its own mask or alpha channel.
int BrushCollisionObject(VmState* state, const qzObjectId& id, double x, double y, qzCollisionObject* out) {
    *out = {};
    qzBrush* brush = nullptr;
    int error = FindBrush(state, id, &brush, QZ_FINDBRUSH_NOVECTOR);
    if (error) return error;
    out->x = ResolveXPosition(PositionArg(x), brush->width, 0, 0);
    out->y = ResolveYPosition(PositionArg(y), brush->height, 0, 0);
    out->width = brush->width;
    out->height = brush->height;
    out->mask = brush->mask;
    out->alpha = brush->alpha;
    return 0;
}

const qzObjectTypeOps kBrushOps = {.bitmaps = BrushBitmaps, .collision = BrushCollisionObject};

int SaveHardware(VmState*, qzDisplay* display) { return SaveDisplayHardwareBrushes(display); }
int RestoreHardware(VmState*, qzDisplay* display) { return RestoreDisplayHardwareBrushes(display); }
int Recreate(VmState* state) { return RecreateBrushBitmaps(state, 0, 0); }

void InstallBrushLinks(bool on) {
    qzDisplayLinks links = DisplayLinks();
    links.saveHardwareBrushes = on ? SaveHardware : nullptr;
    links.restoreHardwareBrushes = on ? RestoreHardware : nullptr;
    links.freeHardwareBrushes = on ? FreeDisplayHardwareBrushes : nullptr;
    links.recreateBrushBitmaps = on ? Recreate : nullptr;
    SetDisplayLinks(&links);
    InstallBrushLayerKinds(on);
    SetDrawTagLayerLookup(on ? FindLayerByNameInCurrentBGPic : nullptr);
    InstallOutputSelectLinks(on);
    EnableDoubleBuffering(on);
    SetObjectTypeOps(QZ_TYPE_BRUSH_OBJECT, on ? &kBrushOps : nullptr);
    if (on)
        InstallDrawTagDefaultsHooks();
    else
        RemoveDrawTagDefaultsHooks();
}

int OpenBrushLibrary(VmState*) {
    InstallBrushLinks(true);
    return RegisterObjectList(BrushListHead());
}

void ResetBrushLibrary() {
    InstallBrushLinks(false);
    ResetDefaultDrawTags();
}

}  // namespace

const qzLibraryDescriptor qzBrushLibrary = {
    .name = "brush",
    .commands = kBrushCommands,
    .constants = kBrushConstants,
    .open = OpenBrushLibrary,
    .cleanups = {{QZ_STAGE_BRUSHES, FreeAllBrushes}},
    .reset = ResetBrushLibrary,
};
