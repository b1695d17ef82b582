// The `sprite` library's descriptor and command handlers: argument checks, the objects sprites
// are made from, and the calls into the sprite engine.
#include "libs/sprite/sprite_lib.h"

#include <string>
#include <vector>

#include "anim/anim.h"
#include "anim/anim_load.h"
#include "base/error_codes.h"
#include "display/display_scale.h"
#include "display/object_types.h"
#include "gfx/bitmap.h"
#include "gfx/copy_bitmap.h"
#include "gfx/object_bitmaps.h"
#include "image/brush.h"
#include "libs/anim/anim_lib.h"
#include "runtime/arg_check.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"
#include "runtime/linked_file.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "runtime/runtime.h"
#include "sprite/sprite.h"
#include "sprite/sprite_screen.h"
#include "sprite/sprite_seams.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Frames that belong to the command until a sprite takes them.
struct FrameList {
    std::vector<qzSpriteFrame> frames;
    ~FrameList() {
        for (const qzSpriteFrame& f : frames) DeleteSpriteFrame(f);
    }
};

// Cuts the object's bitmaps into a grid of frames: frame width and height (0: the whole object),
// count (0: 1), frames per row (0: all in one row), and the start of the grid.
int CutFrames(const qzObjectBitmaps& from, int32_t width, int32_t height, int32_t count, int32_t perRow, int32_t startX,
              int32_t startY, FrameList* out) {
    if (width == 0) width = from.width;
    if (height == 0) height = from.height;
    if (count == 0) count = 1;
    if (perRow == 0) perRow = count;
    if (width < 1 || height < 1 || count < 1 || perRow < 1 || startX < 0 || startY < 0) return ERR_WRONGUSAGE;
    for (int32_t i = 0; i < count; i++) {
        const int64_t x = startX + int64_t(i % perRow) * width, y = startY + int64_t(i / perRow) * height;
        if (x + width > from.width || y + height > from.height) return ERR_WRONGUSAGE;
        qzSpriteFrame frame;
        int error = CopyBitMap(from.bitmap, from.mask, from.alpha, int(x), int(y), width, height, 0, &frame.bitmap,
                               from.mask ? &frame.mask : nullptr, from.alpha ? &frame.alpha : nullptr);
        if (error) return error;
        out->frames.push_back(frame);
    }
    return 0;
}

// The sprites of a list argument (identifiers at 0, 1, ... up to the first nil).
int ReadSpriteList(VmState* state, int index, std::vector<qzSprite*>* out) {
    VmCheckTable(state, index);
    for (int n = 0; n < INT32_MAX; n++) {
        VmRawGetI(state, index, n);
        const int type = VmType(state, -1);
        if (type == VM_TNIL) {
            VmPop(state, 1);
            break;
        }
        qzObjectId id = {0, nullptr};
        if (type == VM_TLIGHTUSERDATA)
            id.pointer = VmToUserdata(state, -1);
        else if (type == VM_TNUMBER)
            id.number = VmTruncateNumber(VmToNumber(state, -1));
        VmPop(state, 1);
        if (type != VM_TLIGHTUSERDATA && type != VM_TNUMBER) return ERR_NUMCALLBACK;
        qzSprite* sprite = nullptr;
        int error = FindSprite(state, id, &sprite, 0);
        if (error) return error;
        out->push_back(sprite);
    }
    return 0;
}

// An explicit identifier replaces the sprite of that identifier: a missing one is no error, a
// locked one is.
int FreeForReuse(VmState* state, const qzObjectId& id) {
    if (IsAutoObjectId(id)) return 0;
    return DeleteSprite(state, id, 0);
}

// Copies every frame of an anim at its current size; *size gets the anim's size, frame count and
// transparent colour.
int CopyAnimFrames(VmState* state, const qzObjectId& source, FrameList* out, qzObjectBitmaps* size) {
    for (int32_t i = 0;; i++) {
        qzObjectBitmaps frame;
        qzObjectBitmapsRelease release(&frame);
        int error = GetObjectBitmaps(state, QZ_TYPE_ANIM_OBJECT, source, i, &frame);
        if (error) return error;
        if (!frame.bitmap) return ERR_WRONGUSAGE;
        qzSpriteFrame copy;
        error = CopyBitMap(frame.bitmap, frame.mask, frame.alpha, 0, 0, frame.width, frame.height, 0, &copy.bitmap,
                           frame.mask ? &copy.mask : nullptr, frame.alpha ? &copy.alpha : nullptr);
        if (error) return error;
        out->frames.push_back(copy);
        *size = frame;
        size->release = nullptr;
        if (i + 1 >= frame.frames) return 0;
    }
}

// A new sprite of the frames (taken over on success) with from's size and transparent colour,
// replacing the sprite of an explicit identifier. While objects are preloaded the frames keep
// their pixels, from which the display's bitmaps are made when it opens.
int AddSpriteOfFrames(VmState* state, const qzObjectId& id, const qzObjectBitmaps& from, FrameList* frames) {
    int preloading = 0;
    GetRuntimeAttrs(state, {{QZ_RTA_PRELOADING, &preloading}});
    for (qzSpriteFrame& frame : frames->frames) {
        if (!preloading) break;
        int error = SaveSpriteFramePixels(&frame, from.width, from.height);
        if (error) return error;
    }
    int error = FreeForReuse(state, id);
    if (error) return error;
    qzSprite* sprite = nullptr;
    error = AddSprite(id, from.width, from.height, frames->frames, &sprite);
    if (error) return error;
    frames->frames.clear();
    sprite->transparentColor = from.keyColor;
    return PushNewObjectHandle(state, id, &sprite->header);
}

int SpriteCreateSprite(VmState* state) {
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    const int32_t type = VmCheckInteger(state, 2);
    if (type == QZ_TYPE_SPRITE) {
        std::vector<qzSprite*> links;
        int error = ReadSpriteList(state, 3, &links);
        if (error) return error;
        for (qzSprite* s : links)
            if (!IsAutoObjectId(id) && SameObjectId(s->header.id, id)) return ERR_WRONGUSAGE;
        error = FreeForReuse(state, id);
        if (error) return error;
        qzSprite* sprite = nullptr;
        error = AddLinkSprite(id, links, &sprite);
        if (error) return error;
        return PushNewObjectHandle(state, id, &sprite->header);
    }
    qzObjectId source;
    GetObjectIdArg(&source, state, 3);
    int32_t grid[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 6; i++) grid[i] = VmOptInteger(state, 4 + i, 0);
    qzObjectBitmaps from;
    int error = 0;
    if (type == QZ_TYPE_BRUSH_OBJECT) {
        error = GetObjectBitmaps(state, QZ_TYPE_BRUSH_OBJECT, source, 0, &from);
        qzBrush* brush = nullptr;
        if (!error && FindBrush(state, source, &brush, 0) == 0) from.keyColor = brush->transparentcolor;
    } else if (type == QZ_TYPE_TEXT_OBJECT) {
        error = GetObjectBitmaps(state, QZ_TYPE_TEXT_OBJECT, source, 0, &from);
    } else if (type == QZ_TYPE_ANIM_OBJECT) {
        // An anim gives all its frames; a frame grid is for brushes only.
        if (grid[0] > 0 && grid[1] > 0) return ERR_TOOMANYARGS;
        FrameList frames;
        error = CopyAnimFrames(state, source, &frames, &from);
        if (error) return error;
        return AddSpriteOfFrames(state, id, from, &frames);
    } else {
        return ERR_WRONGUSAGE;
    }
    if (error) return error;
    if (!from.bitmap) return ERR_WRONGUSAGE;
    FrameList frames;
    error = CutFrames(from, grid[0], grid[1], grid[2], grid[3], grid[4], grid[5], &frames);
    if (error) return error;
    if (grid[0]) from.width = grid[0];
    if (grid[1]) from.height = grid[1];
    return AddSpriteOfFrames(state, id, from, &frames);
}

// Sprite files are read by the anim loader: an anim file gives all its frames, a picture one
// frame or the grid of frames its options describe. Disk loading and deinterlacing are for anims
// only.
int SpriteLoadSprite(VmState* state) {
    qzObjectId id;
    GetNumericIdArg(&id, state, 1);
    std::string file = ResolveLinkedFileArg(state, 2, 0, nullptr);
    qzAnimLoadOptions options;
    std::string loaders, adapters;
    ReadAnimLoadOptions(state, 3, &options, &loaders, &adapters);
    options.file = file.c_str();
    options.fromDisk = 0;
    options.deinterlace = 0;
    int error = CheckAnimLoadOptions(options);
    if (error) return error;
    error = FreeForReuse(state, id);
    if (error) return error;
    PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGSPRITE), options.file, true);
    qzAnim* anim = nullptr;
    error = LoadAnimFileQuietly(state, {0, QZ_AUTO_ID}, options, &anim);
    FrameList frames;
    qzObjectBitmaps from;
    if (!error) {
        // The anim read for the frames goes also when an error unwinds through here.
        struct LoadedAnim {
            VmState* state;
            qzObjectId id;
            ~LoadedAnim() { FreeAnimObject(state, id, 0); }
        } loaded{state, anim->header.id};
        error = CopyAnimFrames(state, loaded.id, &frames, &from);
    }
    if (!error) error = AddSpriteOfFrames(state, id, from, &frames);
    if (error)
        PrintProgressFailed();
    else
        PrintProgressDone();
    return error;
}

int SpriteFreeSprite(VmState* state) {
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    return DeleteSprite(state, id, 1);
}

int SpriteDisplaySprite(VmState* state) {
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    const int32_t x = VmCheckInteger(state, 2);
    const int32_t y = VmCheckInteger(state, 3);
    const int32_t frame = VmOptInteger(state, 4, 0);
    int error = CheckSpriteOutput(state);
    if (error) return error;
    return DrawSpriteFrame(state, id, x, y, frame);
}

int SpriteRemoveSprite(VmState* state) {
    qzObjectId id;
    GetObjectIdArg(&id, state, 1);
    int error = CheckSpriteOutput(state);
    if (error) return error;
    return RemoveSprite(state, id);
}

int SpriteRemoveSprites(VmState* state) {
    const int keep = VmOptInteger(state, 1, 0) != 0;
    int error = CheckSpriteOutput(state);
    if (error) return error;
    return RemoveAllSprites(state, keep);
}

// The sprite to change by ScaleSprite and FlipSprite: not on screen, not linked.
int FindSpriteToChange(VmState* state, int index, qzSprite** out) {
    qzObjectId id;
    GetObjectIdArg(&id, state, index);
    qzSprite* sprite = nullptr;
    int error = FindSprite(state, id, &sprite, 0);
    if (error) return error;
    qzOnScreenSprite* node = nullptr;
    if (FindOnScreenSprite(sprite->header.id, &node) == 0) return ERR_MODIFYSPRITE;
    error = FindSprite(state, id, &sprite, QZ_FINDSPRITE_MODIFY);
    if (error) return error;
    if (SpriteIsLinked(sprite)) return ERR_MODIFYSPRITE2;
    *out = sprite;
    return 0;
}

int SpriteScaleSprite(VmState* state) {
    qzSprite* sprite = nullptr;
    int error = FindSpriteToChange(state, 1, &sprite);
    if (error) return error;
    int32_t width = CheckSizeArg(state, 2, sprite->width);
    int32_t height = CheckSizeArg(state, 3, sprite->height);
    const int smooth = VmOptInteger(state, 4, 0) != 0;
    error = ApplyKeepAspectSize(sprite->width, sprite->height, &width, &height);
    if (error) return error;
    if (width < 1 || height < 1) return ERR_WRONGUSAGE;
    if (width == sprite->width && height == sprite->height) return 0;
    return ScaleSpriteFrames(sprite, width, height, smooth);
}

int SpriteFlipSprite(VmState* state) {
    qzSprite* sprite = nullptr;
    int error = FindSpriteToChange(state, 1, &sprite);
    if (error) return error;
    return FlipSpriteFrames(sprite, VmCheckInteger(state, 2) != 0);
}

int SpriteCopySprite(VmState* state) {
    qzObjectId sourceId, target;
    GetObjectIdArg(&sourceId, state, 1);
    GetNumericIdArg(&target, state, 2);
    qzSprite* source = nullptr;
    int error = FindSprite(state, sourceId, &source, 0);
    if (error) return error;
    if (SameObjectId(source->header.id, target)) return ERR_WRONGUSAGE;
    error = FreeForReuse(state, target);
    if (error) return error;
    // Freeing the target may have taken a link sprite source along.
    error = FindSprite(state, sourceId, &source, 0);
    if (error) return error;
    qzSprite* copy = nullptr;
    error = CopySpriteRecord(state, source, target, &copy);
    if (error) return error;
    return PushNewObjectHandle(state, target, &copy->header);
}

const qzCommandRow kSpriteCommands[] = {
    {"CreateSprite", SpriteCreateSprite, 3, 9}, {"LoadSprite", SpriteLoadSprite, 2, 3},
    {"FreeSprite", SpriteFreeSprite, 1, 1},     {"DisplaySprite", SpriteDisplaySprite, 3, 4},
    {"RemoveSprite", SpriteRemoveSprite, 1, 1}, {"RemoveSprites", SpriteRemoveSprites, 0, 1},
    {"ScaleSprite", SpriteScaleSprite, 3, 4},   {"CopySprite", SpriteCopySprite, 2, 2},
    {"FlipSprite", SpriteFlipSprite, 2, 2},     {nullptr, nullptr, 0, 0},
};

int OpenSpriteLibrary(VmState*) {
    InstallSpriteSeams(true);
    return RegisterObjectList(SpriteListHead());
}

void ResetSpriteLibrary() { InstallSpriteSeams(false); }

}  // namespace

const qzLibraryDescriptor qzSpriteLibrary = {
    .name = "sprite",
    .commands = kSpriteCommands,
    .open = OpenSpriteLibrary,
    .cleanups = {{QZ_STAGE_SPRITES, FreeAllSprites}},
    .reset = ResetSpriteLibrary,
};
