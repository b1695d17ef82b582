// The `graphics` library's descriptor: its commands, its constants, its registration and its
// clean-up, the runtime attributes it keeps for SafeBlt, and the smaller commands.
#include <string>

#include "base/error_codes.h"
#include "display/display_links.h"
#include "gfx/blit_display.h"
#include "gfx/draw_modes.h"
#include "gfx/frame_limit.h"
#include "gfx/image_cache.h"
#include "gfx/image_source.h"
#include "gfx/position.h"
#include "gfx/safe_blt.h"
#include "gfx/scale_bitmap.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics.h"
#include "libs/graphics/graphics_commands.h"
#include "runtime/arg_check.h"
#include "runtime/linked_file.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Runtime attribute tags of the library.
constexpr uint32_t kTagMaskMode = 4;
constexpr uint32_t kTagAlphaIntensity = 6;

const qzCommandRow kGraphicsCommands[] = {
    {"Red", GfxRed, 1, 1},
    {"Green", GfxGreen, 1, 1},
    {"Blue", GfxBlue, 1, 1},
    {"RGB", GfxRGB, 3, 3},
    {"ARGB", GfxARGB, 2, 2},
    {"GetRealColor", GfxGetRealColor, 1, 1},
    {"MixRGB", GfxMixRGB, 3, 3},
    {"GetRandomColor", GfxGetRandomColor, 0, 0},
    {"GetPen", GfxGetPen, 1, 1},
    {"VWait", GfxVWait, 0, 0},
    {"SetFPSLimit", GfxSetFPSLimit, 1, 1},
    {"GetFPSLimit", GfxGetFPSLimit, 0, 0},
    {"IsPicture", GfxIsPicture, 1, 2},
    {"SaveSnapshot", GfxSaveSnapshot, 1, 4},
    {"GetAttribute", GfxGetAttribute, 3, 4},
    {"CreateClipRegion", GfxCreateClipRegion, 2, 6},
    {"SetClipRegion", GfxSetClipRegion, 1, 1},
    {"FreeClipRegion", GfxFreeClipRegion, 1, 1},
    {"CreatePointer", GfxCreatePointer, 3, 6},
    {"FreePointer", GfxFreePointer, 1, 1},
    {"SetPointer", GfxSetPointer, 1, 1},
    {"ShowPointer", GfxShowPointer},
    {"HidePointer", GfxHidePointer},
    {"MovePointer", GfxMovePointer, 2, 2},
    {"AsyncDrawFrame", GfxAsyncDrawFrame, 1, 2},
    {"CancelAsyncDraw", GfxCancelAsyncDraw, 1, 1},
    {"FinishAsyncDraw", GfxFinishAsyncDraw, 1, 1},
    {"DumpVideoTime", GfxDumpVideoTime, 0, 0},
    {"SetDrawTagsDefault", GfxSetDrawTagsDefault, 1, 1},
    {"BeginRefresh", GfxBeginRefresh, 0, 1},
    {"EndRefresh", GfxEndRefresh, 0, 0},
    {nullptr, nullptr},
};

#define QZ_NUM(name, value) \
    { name, nullptr, static_cast<double>(value) }

const qzConstantRow kGraphicsConstants[] = {
    QZ_NUM("CENTER", QZ_POSITION_CENTER),
    QZ_NUM("LEFT", QZ_POSITION_LEFT),
    QZ_NUM("RIGHT", QZ_POSITION_RIGHT),
    QZ_NUM("TOP", QZ_POSITION_TOP),
    QZ_NUM("BOTTOM", QZ_POSITION_BOTTOM),
    QZ_NUM("LEFTOUT", QZ_POSITION_LEFTOUT),
    QZ_NUM("RIGHTOUT", QZ_POSITION_RIGHTOUT),
    QZ_NUM("TOPOUT", QZ_POSITION_TOPOUT),
    QZ_NUM("BOTTOMOUT", QZ_POSITION_BOTTOMOUT),
    QZ_NUM("BGPIC", 1),
    QZ_NUM("BRUSH", 3),
    QZ_NUM("ANIM", 4),
    QZ_NUM("TEXTOBJECT", 8),
    QZ_NUM("TEXTOUT", 9),
    QZ_NUM("UNDO", 10),
    QZ_NUM("PRINT", 11),
    QZ_NUM("BRUSHPART", 12),
    QZ_NUM("BGPICPART", 13),
    QZ_NUM("DISPLAY", 21),
    QZ_NUM("LAYER", 22),
    QZ_NUM("HIDEBRUSH", 23),
    QZ_NUM("INSERTBRUSH", 24),
    QZ_NUM("HIDELAYER", 25),
    QZ_NUM("REMOVELAYER", 26),
    QZ_NUM("SHAPE", 28),
    QZ_NUM("MASK", 28),
    QZ_NUM("NEXTFRAME", 29),
    QZ_NUM("ALPHACHANNEL", 30),
    QZ_NUM("SPRITE", 32),
    QZ_NUM("NEXTFRAME2", 34),
    QZ_NUM("CLIPREGION", 35),
    QZ_NUM("POINTER", 36),
    QZ_NUM("ASYNCDRAW", 37),
    QZ_NUM("DOUBLEBUFFER", 38),
    QZ_NUM("MEMORY", 39),
    QZ_NUM("EVENTHANDLER", 40),
    QZ_NUM("INTERVAL", 41),
    QZ_NUM("TIMEOUT", 42),
    QZ_NUM("FONT", 43),
    QZ_NUM("FILE", 44),
    QZ_NUM("DIRECTORY", 45),
    QZ_NUM("BRUSH_VS_BOX", 46),
    QZ_NUM("LAYER_VS_BOX", 47),
    QZ_NUM("SPRITE_VS_BOX", 48),
    QZ_NUM("VECTORPATH", 49),
    QZ_NUM("VIDEO", 50),
    QZ_NUM("MOVELIST", 51),
    QZ_NUM("ANIMSTREAM", 52),
    QZ_NUM("TIMER", 53),
    QZ_NUM("CLIENT", 54),
    QZ_NUM("SERVER", 55),
    QZ_NUM("UDPOBJECT", 56),
    QZ_NUM("MENU", 57),
    QZ_NUM("NOTRANSPARENCY", 4294967295.0),
    QZ_NUM("NOCOLOR", 4294967295.0),
    QZ_NUM("USELAYERPOSITION", 100000),
    QZ_NUM("KEEPASPRAT", QZ_KEEPASPRAT),
    QZ_NUM("NORMALSPEED", -1),
    QZ_NUM("FASTSPEED", -2),
    QZ_NUM("SLOWSPEED", -3),
    QZ_NUM("DEFAULTSPEED", -4),
    QZ_NUM("LINEAR", 2),
    QZ_NUM("RADIAL", 3),
    QZ_NUM("CONICAL", 4),
    QZ_NUM("SNAPWINDOW", 0),
    QZ_NUM("SNAPDISPLAY", 1),
    QZ_NUM("SNAPDESKTOP", 2),
    QZ_NUM("IMGFMT_BMP", 0),
    QZ_NUM("IMGFMT_PNG", 1),
    QZ_NUM("IMGFMT_JPEG", 2),
    QZ_NUM("IMGFMT_GIF", 3),
    QZ_NUM("IMGFMT_ILBM", 4),
    QZ_NUM("ANMFMT_GIF", 0),
    QZ_NUM("ANMFMT_MJPEG", 1),
    QZ_NUM("NONE", -1),
    QZ_NUM("STDPTR_SYSTEM", STDPTR_SYSTEM),
    QZ_NUM("STDPTR_BUSY", STDPTR_BUSY),
    QZ_NUM("STDPTR_CUSTOM", STDPTR_CUSTOM),
    QZ_NUM("ADF_FX", ADF_FX),
    QZ_NUM("ADF_MOVEOBJECT", ADF_MOVEOBJECT),
    QZ_NUM("ADF_ANIM", ADF_ANIM),
    QZ_NUM("IMAGETYPE_RASTER", 0),
    QZ_NUM("IMAGETYPE_VECTOR", 1),
    QZ_NUM("VIDDRV_OS", 0),
    QZ_NUM("VIDDRV_QUARNELIX", 1),
#define QZ_ATTR(name) QZ_NUM(#name, name)
    QZ_ATTR(ATTRWIDTH),
    QZ_ATTR(ATTRHEIGHT),
    QZ_ATTR(ATTRMAXWIDTH),
    QZ_ATTR(ATTRMAXHEIGHT),
    QZ_ATTR(ATTRBGPIC),
    QZ_ATTR(ATTRTRANSPARENTCOLOR),
    QZ_ATTR(ATTRLAYERS),
    QZ_ATTR(ATTRXPOS),
    QZ_ATTR(ATTRYPOS),
    QZ_ATTR(ATTRTYPE),
    QZ_ATTR(ATTRVISIBLE),
    QZ_ATTR(ATTRNUMFRAMES),
    QZ_ATTR(ATTRCURFRAME),
    QZ_ATTR(ATTRLAYERID),
    QZ_ATTR(ATTRDURATION),
    QZ_ATTR(ATTRPITCH),
    QZ_ATTR(ATTRHASMASK),
    QZ_ATTR(ATTRHASALPHA),
    QZ_ATTR(ATTRPOSITION),
    QZ_ATTR(ATTRFORMAT),
    QZ_ATTR(ATTRBITRATE),
    QZ_ATTR(ATTRCURSORX),
    QZ_ATTR(ATTRCURSORY),
    QZ_ATTR(ATTRONSCREEN),
    QZ_ATTR(ATTRBORDERLEFT),
    QZ_ATTR(ATTRBORDERTOP),
    QZ_ATTR(ATTRBORDERRIGHT),
    QZ_ATTR(ATTRBORDERBOTTOM),
    QZ_ATTR(ATTRHOSTWIDTH),
    QZ_ATTR(ATTRHOSTHEIGHT),
    QZ_ATTR(ATTRFONTASCENDER),
    QZ_ATTR(ATTRFONTDESCENDER),
    QZ_ATTR(ATTRFONTNAME),
    QZ_ATTR(ATTRFONTSIZE),
    QZ_ATTR(ATTRFONTSCALABLE),
    QZ_ATTR(ATTRFONTAA),
    QZ_ATTR(ATTRTEXT),
    QZ_ATTR(ATTRFRAMEDELAY),
    QZ_ATTR(ATTRPOINTER),
    QZ_ATTR(ATTRCLIPREGION),
    QZ_ATTR(ATTRSTATE),
    QZ_ATTR(ATTRACTIVE),
    QZ_ATTR(ATTRMODE),
    QZ_ATTR(ATTRSCALEMODE),
    QZ_ATTR(ATTRSCALEWIDTH),
    QZ_ATTR(ATTRSCALEHEIGHT),
    QZ_ATTR(ATTRBORDERLESS),
    QZ_ATTR(ATTRFIXED),
    QZ_ATTR(ATTRSIZEABLE),
    QZ_ATTR(ATTRNOHIDE),
    QZ_ATTR(ATTRNOMODESWITCH),
    QZ_ATTR(ATTRTITLE),
    QZ_ATTR(ATTRMARGINLEFT),
    QZ_ATTR(ATTRMARGINRIGHT),
    QZ_ATTR(ATTROUTPUTDEVICE),
    QZ_ATTR(ATTRDOUBLEBUFFER),
    QZ_ATTR(ATTRHOSTDEPTH),
    QZ_ATTR(ATTRSIZE),
    QZ_ATTR(ATTRFUNCTION),
    QZ_ATTR(ATTRUSERDATA),
    QZ_ATTR(ATTRCOUNT),
    QZ_ATTR(ATTRNOCLOSE),
    QZ_ATTR(ATTRGROUP),
    QZ_ATTR(ATTRMASKMODE),
    QZ_ATTR(ATTRALPHAINTENSITY),
    QZ_ATTR(ATTRRAWXPOS),
    QZ_ATTR(ATTRRAWYPOS),
    QZ_ATTR(ATTRRAWWIDTH),
    QZ_ATTR(ATTRRAWHEIGHT),
    QZ_ATTR(ATTRLAYERSON),
    QZ_ATTR(ATTRORIENTATION),
    QZ_ATTR(ATTRKEYBOARD),
    QZ_ATTR(ATTRCANSEEK),
    QZ_ATTR(ATTRHARDWARE),
    QZ_ATTR(ATTRZPOS),
    QZ_ATTR(ATTRDRIVER),
    QZ_ATTR(ATTRPUBSCREEN),
    QZ_ATTR(ATTRDENSITY),
    QZ_ATTR(ATTRXDPI),
    QZ_ATTR(ATTRYDPI),
    QZ_ATTR(ATTRNUMSUBSONGS),
    QZ_ATTR(ATTRCURSUBSONG),
    QZ_ATTR(ATTRID),
    QZ_ATTR(ATTRPLAYING),
    QZ_ATTR(ATTRPAUSED),
    QZ_ATTR(ATTRDISPLAY),
    QZ_ATTR(ATTRMONITOR),
    QZ_ATTR(ATTRADAPTER),
    QZ_ATTR(ATTRMENU),
    QZ_ATTR(ATTRHOSTMONITORS),
    QZ_ATTR(ATTRXSERVER),
    QZ_ATTR(ATTRLOADER),
#undef QZ_ATTR
    {nullptr, nullptr, 0},
};

// What the display code asks of the async draw objects.
int AsyncDrawOnDisplay(const qzDisplay* display) { return IsAsyncDrawDisplay(display); }
void FreeAsyncDrawsForDisplays(VmState*) { FreeAllAsyncDraws(); }

void LinkAsyncDraws(bool on) {
    qzDisplayLinks links = DisplayLinks();
    links.asyncDrawOnDisplay = on ? AsyncDrawOnDisplay : nullptr;
    links.freeAllAsyncDraws = on ? FreeAsyncDrawsForDisplays : nullptr;
    SetDisplayLinks(&links);
}

int OpenGraphicsLibrary(VmState*) {
    SetBlitFallbackDisplay(true);
    LinkAsyncDraws(true);
    ResetDrawTagDefaults();
    int rc = RegisterObjectList(&gfxClipRegions);
    if (!rc) rc = RegisterObjectList(&gfxPointers);
    if (!rc) rc = RegisterObjectList(&gfxAsyncDraws);
    return rc;
}

void ResetGraphicsLibrary() {
    LinkAsyncDraws(false);
    ResetDrawModes();
    SetFrameRateLimit(0);
    SetBlitFallbackDisplay(false);
}

}  // namespace

const qzLibraryDescriptor qzGraphicsLibrary = {
    .name = "graphics",
    .commands = kGraphicsCommands,
    .constants = kGraphicsConstants,
    .open = OpenGraphicsLibrary,
    .cleanups = {{QZ_STAGE_GRAPHICS, FreeGraphicsObjects}},
    .reset = ResetGraphicsLibrary,
    .setAttr = SetGfxRuntimeAttr,
    .getAttr = GetGfxRuntimeAttr,
};

void FreeGraphicsObjects(VmState* state) {
    FreeImageCache();
    FreeScaleBitMapTables();
    FreeAllClipRegions(state);
    FreeAllPointers(state);
    FreeAllAsyncDraws();
    FreeSafeBltScratch();
    SetBlitFallbackDisplay(false);
}

int GetGfxRuntimeAttr(VmState*, uint32_t tag, void* out) {
    if (tag == kTagMaskMode)
        *static_cast<int*>(out) = DrawModes().maskMode;
    else if (tag == kTagAlphaIntensity)
        *static_cast<int*>(out) = DrawModes().alphaIntensity;
    else
        return 0;
    return 1;
}

int SetGfxRuntimeAttr(VmState*, uint32_t tag, intptr_t value) {
    if (tag == kTagMaskMode)
        DrawModes().maskMode = (int32_t)value;
    else if (tag == kTagAlphaIntensity)
        DrawModes().alphaIntensity = (int32_t)value;
    else
        return 0;
    return 1;
}

void ReadSaveQualityOptions(VmState* state, int argIndex, int* quality, int* colours, int* dither) {
    if (VmGetTop(state) < argIndex || VmType(state, argIndex) == VM_TNIL) return;
    if (VmType(state, argIndex) == VM_TTABLE) {
        int32_t value = 0;
        int found = 0;
        if (GetTableFieldInt(state, argIndex, "quality", &value, &found)) *quality = value;
        if (GetTableFieldInt(state, argIndex, "colors", &value, &found)) *colours = value;
        GetTableFieldFlag(state, argIndex, "dither", dither, &found);
        return;
    }
    *quality = VmCheckInteger(state, argIndex);
}

int GfxSetFPSLimit(VmState* state) {
    SetFrameRateLimit(VmCheckInteger(state, 1));
    return 0;
}

int GfxGetFPSLimit(VmState* state) {
    VmPushNumber(state, GetFrameRateLimit());
    return 1;
}

// The time the video recorder has recorded; -1 while no recorder runs, as here.
int GfxDumpVideoTime(VmState* state) {
    VmPushNumber(state, -1);
    return 1;
}

int GfxSetDrawTagsDefault(VmState* state) {
    VmCheckTable(state, 1);
    return SetDrawTagDefaultsFromTable(state, 1);
}

int GfxIsPicture(VmState* state) {
    const char* file = ResolveLinkedFileArg(state, 1, 0, nullptr);
    std::string name = file, loaders, adapters;
    if (VmGetTop(state) >= 2) {
        VmCheckTable(state, 2);
        int found = 0;
        GetTableFieldString(state, 2, "loader", nullptr, 0, &loaders, &found);
        GetTableFieldString(state, 2, "adapter", nullptr, 0, &adapters, &found);
    }
    int isVector = 0, width = 0, height = 0, depth = 0, hasAlpha = 0;
    const int ok =
        ProbeImageFile(name.c_str(), loaders.empty() ? nullptr : loaders.c_str(),
                       adapters.empty() ? nullptr : adapters.c_str(), 0, &isVector, &width, &height, &depth, &hasAlpha);
    VmPushNumber(state, ok != 0 ? 1 : 0);
    if (!ok) return 1;
    VmNewTable(state);
    SetTableFieldInt(state, "width", width);
    SetTableFieldInt(state, "height", height);
    SetTableFieldInt(state, "alpha", hasAlpha != 0);
    SetTableFieldInt(state, "vector", isVector != 0);
    SetTableFieldInt(state, "transparency", hasAlpha != 0);
    return 2;
}
