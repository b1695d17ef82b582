// LoadBGPic: a background picture from an image file, with its options.
#include <string>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/gradient_tags.h"
#include "image/picture_load.h"
#include "libs/bgpic/bgpic_lib.h"
#include "runtime/arg_check.h"
#include "runtime/linked_file.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The fill of the options table's "fillstyle": none, a colour, a gradient or a tiled brush.
int ReadFill(VmState* state, int index, qzPictureFill* fill) {
    int32_t style = QZ_FILLNONE;
    if (!GetTableFieldInt(state, index, "fillstyle", &style, nullptr)) return 0;
    switch (style) {
    case QZ_FILLNONE: break;
    case QZ_FILLCOLOR: {
        int32_t colour = 0;
        GetTableFieldInt(state, index, "fillcolor", &colour, nullptr);
        fill->color = uint32_t(colour) & 0xFFFFFF;
        break;
    }
    case QZ_FILLGRADIENT: {
        int error = ReadGradientTags(state, index, &fill->gradient);
        if (error) return error;
        break;
    }
    case QZ_FILLTEXTURE:
        GetTableFieldObjectId(state, index, "texturebrush", &fill->textureBrush, nullptr);
        GetTableFieldInt(state, index, "texturex", &fill->textureX, nullptr);
        GetTableFieldInt(state, index, "texturey", &fill->textureY, nullptr);
        break;
    default: return ERR_WRONGUSAGE;
    }
    fill->style = style;
    return 0;
}

// A palette table: colours 0 to 255 in order, each a number.
void ReadPalette(VmState* state, int index, uint32_t* palette) {
    VmCheckTable(state, index);
    for (int i = 0; i < 256; i++) {
        VmRawGetI(state, index, i);
        if (VmType(state, -1) != VM_TNUMBER) {
            SetErrorArgString("palette");
            VmFailCommand(state, ERR_NUMTABLEARG);
        }
        palette[i] = uint32_t(int64_t(VmToNumber(state, -1))) & 0xFFFFFF;
        VmPop(state, 1);
    }
}

}  // namespace

int BGPicLoadBGPic(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    std::string file = ResolveLinkedFileArg(state, 2, 0, nullptr);
    qzLoadBGPicOptions options;
    std::string loaders, adapters;
    if (VmType(state, 3) == VM_TTABLE) {
        int32_t transparency = -1;
        int found = 0;
        GetTableFieldInt(state, 3, "transparency", &transparency, &found);
        options.transparentColor = found ? (transparency & 0xFFFFFF) : -1;
        GetTableFieldFlag(state, 3, "loadalpha", &options.loadAlpha, nullptr);
        GetTableFieldFlag(state, 3, "loadtransparency", &options.loadTransparency, nullptr);
        int error = ReadFill(state, 3, &options.fill);
        if (error) return error;
        GetTableFieldIntOrPercent(state, 3, "scalewidth", 1, &options.scaleWidth, nullptr);
        GetTableFieldIntOrPercent(state, 3, "scaleheight", 1, &options.scaleHeight, nullptr);
        GetTableFieldFlag(state, 3, "smoothscale", &options.smooth, nullptr);
        if (GetTableFieldString(state, 3, "loader", nullptr, 0, &loaders, nullptr))
            options.loaderList = loaders.c_str();
        if (GetTableFieldString(state, 3, "adapter", nullptr, 0, &adapters, nullptr))
            options.adapterList = adapters.c_str();
    } else if (VmGetTop(state) >= 3 && VmType(state, 3) != VM_TNIL) {
        const int32_t key = VmCheckInteger(state, 3);
        options.transparentColor = key == -1 ? -1 : (key & 0xFFFFFF);
    }
    uint32_t palette[256];
    if (VmGetTop(state) >= 4 && VmType(state, 4) != VM_TNIL) {
        ReadPalette(state, 4, palette);
        options.palette = palette;
    }
    options.file = file.c_str();
    qzBGPic* pic = nullptr;
    int error = LoadBGPicFile(state, id, options, &pic);
    if (error) return error;
    return PushNewObjectHandle(state, id, &pic->header);
}
