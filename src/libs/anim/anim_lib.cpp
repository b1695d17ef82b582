// The `anim` library's descriptor: its commands, constants, registration and clean-up.
#include "libs/anim/anim_lib.h"

#include <string>

#include "anim/anim.h"
#include "anim/anim_layer_kind.h"
#include "anim/anim_load.h"
#include "anim/anim_source.h"
#include "anim/anim_stream.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_scale.h"
#include "display/object_types.h"
#include "gfx/object_bitmaps.h"
#include "image/brush.h"
#include "image/image_display.h"
#include "image/output_select.h"
#include "runtime/arg_check.h"
#include "runtime/linked_file.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Fails with ERR_MODIFYAANIM while a frame of the anim is the selected output.
int CheckNotSelected(const qzObjectId& id) { return ObjectIsSelectedOutput(QZ_SELECT_ANIM, id) ? ERR_MODIFYAANIM : 0; }

// Frees the anim of a numbered identifier before the identifier is used again: only a locked
// anim or one being drawn into stops that.
int FreeForReuse(VmState* state, const qzObjectId& id) {
    if (IsAutoObjectId(id) || id.pointer) return 0;
    return FreeAnimObject(state, id, 0);
}

int AnimFreeAnim(VmState* state) {
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    return FreeAnimObject(state, id, 1);
}

int AnimScaleAnim(VmState* state) {
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    if (int error = CheckNotSelected(id)) return error;
    qzAnim* anim = CheckAnim(state, 1, QZ_FINDANIM_MODIFY);
    int32_t width = (int32_t)CheckPercentArg(state, 2, anim->width, 1, nullptr);
    int32_t height = (int32_t)CheckPercentArg(state, 3, anim->height, 1, nullptr);
    const int smooth = VmOptInteger(state, 4, 0) != 0;
    if (int error = ApplyKeepAspectSize(anim->width, anim->height, &width, &height)) return error;
    if (width < 1 || height < 1) return ERR_WRONGUSAGE;
    return ScaleAnimFrames(anim, width, height, smooth);
}

int AnimLoadAnim(VmState* state) {
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    std::string file = ResolveLinkedFileArg(state, 2, 0, nullptr);
    qzAnimLoadOptions options;
    std::string loaders, adapters, cache, cachedLoad;
    ReadAnimLoadOptions(state, 3, &options, &loaders, &adapters);
    ReadAnimCacheOptions(state, 3, &options, &cache, &cachedLoad);
    options.file = file.c_str();
    qzAnim* anim = nullptr;
    int error = LoadAnimFile(state, id, options, &anim);
    if (error) return error;
    return PushNewObjectHandle(state, id, &anim->header);
}

int AnimLoadAnimFrame(VmState* state) {
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    const int32_t frame = VmCheckInteger(state, 2);
    std::string file = ResolveLinkedFileArg(state, 3, 0, nullptr);
    qzAnimLoadOptions options;
    std::string loaders, adapters;
    ReadAnimLoadOptions(state, 4, &options, &loaders, &adapters);
    options.file = file.c_str();
    FreeBrushForReuse(state, id);
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int32_t width = 0, height = 0;
    int error = LoadAnimFileFrame(options, frame, &bitmap, &mask, &alpha, &width, &height);
    if (error) return error;
    qzBrush* brush = nullptr;
    error = AddBrush(id, QZ_IMAGETYPE_RASTER, width, height, width, 0, nullptr, bitmap, options.transparentColor, mask,
                     alpha, nullptr, &brush);
    if (error) {
        FreeAnimFrameBitmaps(bitmap, mask, alpha);
        return error;
    }
    return PushNewObjectHandle(state, id, &brush->header);
}

int AnimIsAnim(VmState* state) {
    std::string file = ResolveLinkedFileArg(state, 1, 0, nullptr);
    std::string loaders, adapters;
    if (VmGetTop(state) >= 2) {
        VmCheckTable(state, 2);
        GetTableFieldString(state, 2, "loader", nullptr, 0, &loaders, nullptr);
        GetTableFieldString(state, 2, "adapter", nullptr, 0, &adapters, nullptr);
    }
    VmPushNumber(state, IsAnimFile(file.c_str(), loaders.c_str(), adapters.c_str()));
    return 1;
}

int AnimCreateAnim(VmState* state) {
    qzObjectId id, brushId;
    GetNumericIdArg(&id, state, 1);
    GetObjectIdArg(&brushId, state, 2);
    qzAnimGrid grid;
    grid.width = VmCheckInteger(state, 3);
    grid.height = VmCheckInteger(state, 4);
    grid.frames = VmCheckInteger(state, 5);
    grid.fpr = VmCheckInteger(state, 6);
    grid.x = VmOptInteger(state, 7, 0);
    grid.y = VmOptInteger(state, 8, 0);
    if (int error = FreeForReuse(state, id)) return error;
    qzBrush* brush = CheckBrush(state, brushId, QZ_FINDBRUSH_NOVECTOR);
    qzAnim* anim = nullptr;
    int error = CreateAnimFromBitmaps(id, brush->bitmap, brush->mask, brush->alpha, brush->width, brush->height, &grid,
                                      -1, &anim);
    if (error) return error;
    return PushNewObjectHandle(state, id, &anim->header);
}

int AnimCopyAnim(VmState* state) {
    qzObjectId dest;
    qzAnim* anim = CheckAnim(state, 1, 0);
    GetNumericIdArg(&dest, state, 2);
    if (!IsAutoObjectId(dest) && SameObjectId(dest, anim->header.id)) return ERR_WRONGUSAGE;
    if (int error = FreeForReuse(state, dest)) return error;
    qzAnim* copy = nullptr;
    int error = DuplicateAnim(state, anim, dest, &copy);
    if (error) return error;
    return PushNewObjectHandle(state, dest, &copy->header);
}

int AnimGetAnimFrame(VmState* state) {
    qzObjectId brushId;
    GetNumericIdArg(&brushId, state, 1);
    const int32_t frame = VmCheckInteger(state, 2);
    qzAnim* anim = CheckAnim(state, 3, 0);
    if (frame < 1 || frame > anim->frames) return ERR_ANIMFRAME;
    FreeBrushForReuse(state, brushId);
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int owned = 0;
    int error = GetAnimFrameBitmaps(anim, frame - 1, 1, 0, &bitmap, &mask, &alpha, &owned);
    if (error) return error;
    qzBrush* brush = nullptr;
    error = AddBrush(brushId, QZ_IMAGETYPE_RASTER, anim->width, anim->height, anim->width, 0, nullptr, bitmap,
                     anim->transparentcolor, mask, alpha, nullptr, &brush);
    if (error) {
        FreeAnimFrameBitmaps(bitmap, mask, alpha);
        return error;
    }
    return PushNewObjectHandle(state, brushId, &brush->header);
}

int AnimDisplayAnimFrame(VmState* state) {
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    const int32_t x = VmCheckInteger(state, 2);
    const int32_t y = VmCheckInteger(state, 3);
    const int32_t frame = VmCheckInteger(state, 4);
    qzAnim* anim = CheckAnim(state, 1, 0);
    if (frame < 1 || frame > anim->frames) return ERR_ANIMFRAME;
    return DisplayImageObject(state, 0, QZ_DRAW_ANIM, id, frame - 1, 0, x, y, 0, 0, 1, 5, nullptr, nullptr, nullptr,
                              nullptr, 0);
}

int AnimModifyAnimFrames(VmState* state) {
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    const int32_t count = VmCheckInteger(state, 2);
    const int32_t position = VmOptInteger(state, 3, 0);
    if (int error = CheckNotSelected(id)) return error;
    return ModifyAnimFrames(state, id, count, position, 0);
}

int AnimSelectAnim(VmState* state) {
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    const int32_t frame = VmCheckInteger(state, 2);
    const int32_t mode = VmOptInteger(state, 3, 0);
    const int32_t extra = VmOptInteger(state, 4, 0);
    return SelectOutputObject(state, QZ_SELECT_ANIM, id, QZ_OUTPUT_BITMAP, frame, mode, extra);
}

int AnimSetAnimFrameDelay(VmState* state) {
    qzAnim* anim = CheckAnim(state, 1, 0);
    const int32_t frame = VmCheckInteger(state, 2);
    const int32_t delay = VmCheckInteger(state, 3);
    if (delay < 0) return ERR_WRONGUSAGE;
    if (frame < 1 || frame > anim->frames) return ERR_ANIMFRAME;
    anim->delays[frame - 1] = (uint32_t)delay;
    return 0;
}

const qzCommandRow kAnimCommands[] = {
    {"PlayAnim", AnimPlayAnim, 3, 5},
    {"FreeAnim", AnimFreeAnim, 1, 1},
    {"ScaleAnim", AnimScaleAnim, 3, 4},
    {"PlayAnimDisk", AnimPlayAnimDisk, 1, 7},
    {"LoadAnimFrame", AnimLoadAnimFrame, 3, 4},
    {"LoadAnim", AnimLoadAnim, 2, 3},
    {"IsAnim", AnimIsAnim, 1, 2},
    {"CreateAnim", AnimCreateAnim, 6, 8},
    {"CopyAnim", AnimCopyAnim, 2, 2},
    {"GetAnimFrame", AnimGetAnimFrame, 3, 3},
    {"DisplayAnimFrame", AnimDisplayAnimFrame, 4, 5},
    {"ModifyAnimFrames", AnimModifyAnimFrames, 2, 3},
    {"SelectAnim", AnimSelectAnim, 2, 4},
    {"SaveAnim", AnimSaveAnim, 2, 4},
    {"BeginAnimStream", AnimBeginAnimStream, 4, 6},
    {"WriteAnimFrame", AnimWriteAnimFrame, 2, 3},
    {"FinishAnimStream", AnimFinishAnimStream, 1, 1},
    {"SetAnimFrameDelay", AnimSetAnimFrameDelay, 3, 3},
    {nullptr, nullptr},
};

#define QZ_NUM(name, value) \
    { name, nullptr, static_cast<double>(value) }
const qzConstantRow kAnimConstants[] = {
    QZ_NUM("DEINTERLACE_DEFAULT", QZ_DEINTERLACE_DEFAULT),
    QZ_NUM("DEINTERLACE_DOUBLE", QZ_DEINTERLACE_DOUBLE),
    {nullptr, nullptr, 0},
};
#undef QZ_NUM

void ReleaseDecodedFrame(qzObjectBitmaps* bitmaps) {
    FreeAnimFrameBitmaps(bitmaps->bitmap, bitmaps->mask, bitmaps->alpha);
}

// The bitmaps of a frame (0-based) of an anim at its current size. A disk anim decodes the frame
// for the caller, who releases it with ReleaseObjectBitmaps.
int AnimFrameObjectBitmaps(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out) {
    *out = qzObjectBitmaps();
    qzAnim* anim = nullptr;
    int error = FindAnim(state, id, &anim, 0);
    if (error) return error;
    if (frame < 0 || frame >= anim->frames) return ERR_ANIMFRAME;
    int owned = 0;
    error = GetAnimFrameBitmaps(anim, frame, 0, 0, &out->bitmap, &out->mask, &out->alpha, &owned);
    if (error) return error;
    if (owned) out->release = ReleaseDecodedFrame;
    out->width = anim->width;
    out->height = anim->height;
    out->frames = anim->frames;
    out->keyColor = anim->transparentcolor;
    return 0;
}

const qzObjectTypeOps kAnimOps = {.bitmaps = AnimFrameObjectBitmaps};

int OpenAnimLibrary(VmState*) {
    InstallAnimLinks(true);
    SetObjectTypeOps(QZ_TYPE_ANIM_OBJECT, &kAnimOps);
    if (int error = RegisterObjectList(AnimListHead())) return error;
    return RegisterObjectList(AnimStreamListHead());
}

void ResetAnimLibrary() {
    SetObjectTypeOps(QZ_TYPE_ANIM_OBJECT, nullptr);
    InstallAnimLinks(false);
}

}  // namespace

const qzLibraryDescriptor qzAnimLibrary = {
    .name = "anim",
    .commands = kAnimCommands,
    .constants = kAnimConstants,
    .open = OpenAnimLibrary,
    .cleanups = {{QZ_STAGE_ANIMS, FreeAllAnims}, {QZ_STAGE_ANIMS, FinishAllAnimStreams}},
    .reset = ResetAnimLibrary,
};

void ReadAnimLoadOptions(VmState* state, int index, qzAnimLoadOptions* o, std::string* loaders, std::string* adapters) {
    if (VmType(state, index) == VM_TTABLE) {
        int32_t value = 0;
        int found = 0;
        GetTableFieldInt(state, index, "transparency", &value, &found);
        if (found) o->transparentColor = value == -1 ? -1 : (value & 0xFFFFFF);
        value = 0;
        if (GetTableFieldBool(state, index, "loadalpha", &value, nullptr)) o->loadAlpha = value != 0;
        value = 0;
        if (GetTableFieldBool(state, index, "loadtransparency", &value, nullptr)) o->loadTransparency = value != 0;
        GetTableFieldInt(state, index, "x", &o->x, nullptr);
        GetTableFieldInt(state, index, "y", &o->y, nullptr);
        GetTableFieldInt(state, index, "width", &o->width, nullptr);
        GetTableFieldInt(state, index, "height", &o->height, nullptr);
        GetTableFieldInt(state, index, "fpr", &o->fpr, nullptr);
        GetTableFieldInt(state, index, "frames", &o->frames, nullptr);
        value = 0;
        if (GetTableFieldBool(state, index, "fromdisk", &value, nullptr)) o->fromDisk = value != 0;
        GetTableFieldInt(state, index, "deinterlace", &o->deinterlace, nullptr);
        value = 0;
        if (GetTableFieldBool(state, index, "skiploopframes", &value, nullptr)) o->skipLoopFrames = value != 0;
        if (GetTableFieldString(state, index, "loader", nullptr, 0, loaders, nullptr) && !loaders->empty())
            o->loaders = loaders->c_str();
        if (GetTableFieldString(state, index, "adapter", nullptr, 0, adapters, nullptr) && !adapters->empty())
            o->adapters = adapters->c_str();
    } else if (VmGetTop(state) >= index && VmType(state, index) != VM_TNIL) {
        const int32_t key = VmCheckInteger(state, index);
        o->transparentColor = key == -1 ? -1 : (key & 0xFFFFFF);
    }
}

void ReadAnimCacheOptions(VmState* state, int index, qzAnimLoadOptions* o, std::string* cache,
                          std::string* cachedLoad) {
    if (VmType(state, index) != VM_TTABLE) return;
    if (GetTableFieldString(state, index, "cache", nullptr, 0, cache, nullptr) && !cache->empty())
        o->cache = cache->c_str();
    if (GetTableFieldString(state, index, "cachedload", nullptr, 0, cachedLoad, nullptr) && !cachedLoad->empty())
        o->cachedLoad = cachedLoad->c_str();
    int value = 0;
    if (GetTableFieldBool(state, index, "cachealpha", &value, nullptr)) o->cacheAlpha = value != 0;
}
