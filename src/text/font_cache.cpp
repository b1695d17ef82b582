// The font cache, font handles, font paths and available fonts; see font_cache.h.
#include "text/font_cache.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/bitmap_pixels.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"
#include "runtime/console.h"
#include "runtime/linked_file.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "text/bitmap_font.h"
#include "text/font_engine.h"
#include "text/font_files.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

struct qzFontCacheEntry {
    std::string name;  // the resolved name
    int32_t size;
    int32_t engine;
    int32_t cache;
    qzFont* font;  // owned
};

std::vector<qzFontCacheEntry> gFontCache;
qzObjectHeader* gFontHandles = nullptr;

struct DefaultName {
    const char* constant;
    const char* opens;
    int forceFreeType;
};
const DefaultName kDefaultNames[] = {
    {QZ_FONT_BITMAP_DEFAULT, "topaz", 0},
    {QZ_FONT_TRUETYPE_DEFAULT, "Bitstream Vera Sans", 1},
    {QZ_FONT_SANS, "Bitstream Vera Sans", 1},
    {QZ_FONT_SERIF, "Bitstream Vera Serif", 1},
    {QZ_FONT_MONOSPACE, "Bitstream Vera Sans Mono", 1},
};

int OpenCached(const std::string& name, int size, int engine, int cache, int linked, qzFont** out) {
    for (const qzFontCacheEntry& e : gFontCache) {
        if (e.size == size && e.engine == engine && e.cache == cache &&
            CompareNoCase(e.name.c_str(), name.c_str()) == 0) {
            FontEngineSetScale(e.font, 1.0, 1.0);
            *out = e.font;
            return 0;
        }
    }
    qzFont* font = nullptr;
    int error = FontEngineOpen(name.c_str(), size, engine, cache, linked, &font);
    if (error) return error;
    // The font is closed again when the cache cannot take it for want of memory.
    std::unique_ptr<qzFont, void (*)(qzFont*)> owner(font, FontEngineClose);
    // Bitmap fonts carry the name asked for; the inbuilt font keeps its own.
    if (font != GetInbuiltFont() && font->kind != FONTKIND_FREETYPE && font->kind != FONTKIND_SYSTEM) {
        std::strncpy(font->name, name.c_str(), QZ_FONT_NAME_SIZE - 1);
        font->name[QZ_FONT_NAME_SIZE - 1] = '\0';
    }
    gFontCache.push_back(qzFontCacheEntry{name, size, engine, cache, font});
    *out = owner.release();
    return 0;
}

}  // namespace

int InitFontSystem(qzFont** topaz) { return FontEngineInit(topaz); }

int OpenFontWithDefaults(const char* name, int size, int engine, int cache, int linked, qzFont** out) {
    *out = nullptr;
    std::string resolved = name;
    bool mapped = false;
    for (const DefaultName& d : kDefaultNames) {
        if (std::strcmp(name, d.constant) == 0) {
            resolved = d.opens;
            if (d.forceFreeType) engine = FONTENGINE_INBUILT;
            mapped = true;
        }
    }
    if (!mapped && !IsChunkName(name)) {
        if (engine != FONTENGINE_INBUILT && GetDisplayFileName(name) != name) return ERR_FONTPATH;
        if (resolved.size() >= 5 && CompareNoCase(resolved.c_str() + resolved.size() - 5, ".font") == 0)
            resolved.resize(resolved.size() - 5);
    }
    int error = OpenCached(resolved, size, engine, cache, linked, out);
    if (error && engine == FONTENGINE_INBUILT)
        error = OpenCached(resolved, size, FONTENGINE_NATIVE, cache, linked, out);
    return error;
}

int OpenFontFromArgs(VmState* state, int first, qzFont** out) {
    int isFont = 0;
    const char* name = ResolveLinkedFileArg(state, first, 1, &isFont);
    std::string fontName = name;  // the resolver's buffer is shared
    int size = (int)VmCheckNumber(state, first + 1);
    int32_t engine = FONTENGINE_NATIVE;
    int32_t cache = 1;
    if (VmGetTop(state) == first + 2) {
        VmCheckTable(state, first + 2);
        // Absent fields keep their defaults; fields of the wrong type raise.
        GetTableFieldInt(state, first + 2, "engine", &engine, nullptr);
        GetTableFieldInt(state, first + 2, "cache", &cache, nullptr);
    }
    PrintProgressStart("Opening font %s", fontName.c_str(), true);
    return OpenFontWithDefaults(fontName.c_str(), size, engine, cache, isFont, out);
}

qzObjectHeader** GetFontHandleList() { return &gFontHandles; }

int AddFontHandle(const qzObjectId& id, qzFont* font, qzFontHandle** out) {
    auto* handle = static_cast<qzFontHandle*>(OsAlloc(sizeof(qzFontHandle), 1));
    if (!handle) return ERR_MEM;
    handle->font = font;
    AddObjectToList(&gFontHandles, &handle->header, QZ_OBJECT_FONT, id);
    if (out) *out = handle;
    return 0;
}

int FindFont(const qzObjectId& id, qzFontHandle** out) {
    *out = reinterpret_cast<qzFontHandle*>(FindObjectInList(gFontHandles, id));
    if (*out) return 0;
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDFONT2;
}

qzFontHandle* CheckFont(VmState* state, const qzObjectId& id) {
    qzFontHandle* handle = nullptr;
    if (int error = FindFont(id, &handle)) VmFailCommand(state, error);
    return handle;
}

qzFontHandle* CheckFont(VmState* state, int index) { return CheckFont(state, CheckObjectIdArg(state, index)); }

int DeleteFontHandle(VmState* state, const qzObjectId& id) {
    qzFontHandle* handle = nullptr;
    int error = FindFont(id, &handle);
    if (error) return error;
    RemoveObjectFromList(&gFontHandles, &handle->header);
    FreeObjectDataList(state, handle->header.data);
    OsFree(handle);
    return 0;
}

int RecreateFontBitmaps() {
    for (qzFontCacheEntry& e : gFontCache) {
        qzFont* font = e.font;
        if (font->kind != FONTKIND_COLOR || !font->glyphbuffer || !font->glyphbitmap) continue;
        int width = font->glyphbitmap->width, height = font->glyphbitmap->height;
        qzBitMap* bitmap = nullptr;
        qzBitMap* mask = nullptr;
        int error = CreateBitMapFromARGB(static_cast<const uint32_t*>(font->glyphbuffer), QZ_FONT_KEY_COLOR, width,
                                         height, width, 0, 0, nullptr, &bitmap, &mask, nullptr);
        if (error) return error;
        DeleteBitMap(font->glyphbitmap);
        DeleteMaskBitMap(font->glyphmask);
        font->glyphbitmap = bitmap;
        font->glyphmask = mask;
    }
    return 0;
}

void FlushAllGlyphCaches() {
    for (qzFontCacheEntry& e : gFontCache) FontEngineFlushGlyphCache(e.font);
}

int AddFontPath(const char* path) {
    for (const std::string& p : GetFontPaths())
        if (CompareNoCase(p.c_str(), path) == 0) return 0;
    qzVfsLock* lock = VfsLock(path, QZ_VFS_LOCK_READ, nullptr);
    if (!lock) {
        SetErrorArgString(path);
        return ERR_LOCK2;
    }
    char full[1025];
    VfsNameFromLock(lock, full, sizeof full);
    VfsUnlock(lock);
    AppendFontPath(full[0] ? full : path);
    FreeFontFileList();
    return 0;
}

int PushAvailableFonts(VmState* state) {
    FreeFontFileList();
    ScanFontDirectories();
    const std::vector<qzFontFileEntry>& list = GetFontFileList();
    VmCreateTable(state, (int)list.size(), 0);
    int index = 0;
    for (const qzFontFileEntry& e : list) {
        VmCreateTable(state, 0, 3);
        SetTableFieldString(state, "name", e.fullName.c_str());
        SetTableFieldString(state, "family", e.family.c_str());
        VmPushString(state, "bitmap");
        VmPushNumber(state, e.bitmap ? 1 : 0);
        VmRawSet(state, -3);
        SetTableFieldInt(state, "weight", e.weight);
        SetTableFieldInt(state, "slant", e.slant);
        VmPushString(state, "sizes");
        VmCreateTable(state, (int)e.sizes.size(), 0);
        for (size_t i = 0; i < e.sizes.size(); i++) {
            VmPushNumber(state, e.sizes[i]);
            VmRawSetI(state, -2, (int)i);
        }
        VmRawSet(state, -3);
        VmRawSetI(state, -2, index++);
    }
    FreeFontFileList();
    return 1;
}

void FreeFontSystem(VmState* state) {
    while (gFontHandles) {
        auto* handle = reinterpret_cast<qzFontHandle*>(gFontHandles);
        RemoveObjectFromList(&gFontHandles, &handle->header);
        if (state) FreeObjectDataList(state, handle->header.data);
        OsFree(handle);
    }
    for (qzFontCacheEntry& e : gFontCache) FontEngineClose(e.font);
    std::vector<qzFontCacheEntry>().swap(gFontCache);
    FreeFontPaths();
    FontEngineShutdown();
}
