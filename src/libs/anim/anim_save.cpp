// SaveAnim: writes every frame of an anim to a file, GIF (format 0) by the anim code's writer.
#include <string>

#include "anim/anim.h"
#include "anim/anim_save.h"
#include "base/error_codes.h"
#include "libs/anim/anim_lib.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int32_t kFormatGif = 0;

}  // namespace

int AnimSaveAnim(VmState* state) {
    std::string file = VmCheckString(state, 2);
    const int32_t format = VmOptInteger(state, 3, kFormatGif);
    qzAnimSaveOptions options;
    int32_t useAlpha = 0;
    if (VmGetTop(state) >= 4 && VmType(state, 4) != VM_TNIL) {
        VmCheckTable(state, 4);
        int32_t value = 0;
        if (GetTableFieldBool(state, 4, "dither", &value, nullptr)) options.dither = value != 0;
        GetTableFieldInt(state, 4, "colors", &options.colours, nullptr);
        int found = 0;
        GetTableFieldInt(state, 4, "transparency", &value, &found);
        if (found) options.transparentColor = value == -1 ? -1 : (value & 0xFFFFFF);
        value = 1;
        if (GetTableFieldBool(state, 4, "optimize", &value, nullptr)) options.optimize = value != 0;
        GetTableFieldBool(state, 4, "usealpha", &useAlpha, nullptr);
    }
    if (useAlpha && options.transparentColor >= 0) return ERR_MASKNALPHA;
    if (options.colours < 2 || options.colours > 256) return ERR_WRONGUSAGE;
    qzAnim* anim = CheckAnim(state, 1, 0);
    // Other formats come from anim-saver plugins, and none offers one.
    if (format != kFormatGif) return ERR_UNKNOWNANMOUT;
    return SaveAnimAsGif(anim, file.c_str(), options);
}
