// SaveAnim and anim streams: every frame of an anim, or frames given one by one, written to a
// file, GIF (format 0) or Motion-JPEG AVI (format 1), by the anim code's writers.
#include <string>

#include "anim/anim.h"
#include "anim/anim_save.h"
#include "anim/anim_stream.h"
#include "base/error_codes.h"
#include "display/positions.h"
#include "image/brush.h"
#include "libs/anim/anim_lib.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The palette options of a table at index: "dither", "colors", "transparency", "optimize".
void ReadPaletteOptions(VmState* state, int index, qzAnimSaveOptions* o) {
    int32_t value = 0;
    if (GetTableFieldBool(state, index, "dither", &value, nullptr)) o->dither = value != 0;
    GetTableFieldInt(state, index, "colors", &o->colours, nullptr);
    int found = 0;
    GetTableFieldInt(state, index, "transparency", &value, &found);
    if (found) o->transparentColor = value == -1 ? -1 : (value & 0xFFFFFF);
    value = 1;
    if (GetTableFieldBool(state, index, "optimize", &value, nullptr)) o->optimize = value != 0;
}

bool OptionsAt(VmState* state, int index) {
    if (VmGetTop(state) < index || VmType(state, index) == VM_TNIL) return false;
    VmCheckTable(state, index);
    return true;
}

}  // namespace

int AnimSaveAnim(VmState* state) {
    std::string file = VmCheckString(state, 2);
    const int32_t format = VmOptInteger(state, 3, QZ_ANMFMT_GIF);
    qzAnimSaveOptions options;
    int32_t useAlpha = 0, quality = 90, fps = 25;
    if (OptionsAt(state, 4)) {
        ReadPaletteOptions(state, 4, &options);
        GetTableFieldBool(state, 4, "usealpha", &useAlpha, nullptr);
        GetTableFieldInt(state, 4, "quality", &quality, nullptr);
        GetTableFieldInt(state, 4, "fps", &fps, nullptr);
    }
    if (useAlpha && options.transparentColor >= 0) return ERR_MASKNALPHA;
    if (options.colours < 2 || options.colours > 256) return ERR_WRONGUSAGE;
    qzAnim* anim = CheckAnim(state, 1, 0);
    if (format == QZ_ANMFMT_MJPEG) return SaveAnimAsAvi(anim, file.c_str(), quality, fps);
    // Other formats come from anim-saver plugins, and none offers one.
    if (format != QZ_ANMFMT_GIF) return ERR_UNKNOWNANMOUT;
    return SaveAnimAsGif(anim, file.c_str(), options);
}

int AnimBeginAnimStream(VmState* state) {
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    std::string file = VmCheckString(state, 2);
    const int32_t width = VmCheckInteger(state, 3);
    const int32_t height = VmCheckInteger(state, 4);
    qzAnimStreamOptions options;
    options.format = VmOptInteger(state, 5, QZ_ANMFMT_GIF);
    if (OptionsAt(state, 6)) {
        GetTableFieldInt(state, 6, "quality", &options.quality, nullptr);
        GetTableFieldInt(state, 6, "fps", &options.fps, nullptr);
        GetTableFieldBool(state, 6, "usealpha", &options.useAlpha, nullptr);
    }
    qzAnimStream* stream = nullptr;
    int error = BeginAnimStream(state, id, file.c_str(), width, height, options, &stream);
    if (error) return error;
    return PushNewObjectHandle(state, id, &stream->header);
}

int AnimWriteAnimFrame(VmState* state) {
    qzAnimSaveOptions options;
    int32_t delay = 0, x = 0, y = 0;
    if (OptionsAt(state, 3)) {
        ReadPaletteOptions(state, 3, &options);
        GetTableFieldInt(state, 3, "delay", &delay, nullptr);
        GetTableFieldInt(state, 3, "x", &x, nullptr);
        GetTableFieldInt(state, 3, "y", &y, nullptr);
    }
    if (options.colours < 2 || options.colours > 256) return ERR_WRONGUSAGE;
    auto* stream =
        reinterpret_cast<qzAnimStream*>(CheckListObject(state, 1, *AnimStreamListHead(), ERR_FINDANIMSTREAM));
    if (stream->useAlpha && options.transparentColor >= 0) return ERR_MASKNALPHA;
    qzBrush* brush = CheckBrush(state, 2, QZ_FINDBRUSH_NOVECTOR);
    x = ResolveXPosition(x, brush->width, stream->width, 0);
    y = ResolveYPosition(y, brush->height, stream->height, 0);
    return WriteAnimStreamFrame(stream, brush->bitmap, brush->mask, brush->alpha, brush->width, brush->height, x, y,
                                delay < 0 ? 0 : delay, options);
}

int AnimFinishAnimStream(VmState* state) {
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    return FinishAnimStream(state, id);
}
