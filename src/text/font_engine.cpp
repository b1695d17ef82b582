// Font engine dispatch and linked fonts; see font_engine.h.
#include "text/font_engine.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "base/byte_order.h"
#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "platform/system_fonts.h"
#include "platform/vfs.h"
#include "runtime/error_messages.h"
#include "text/bitmap_font.h"
#include "text/font_files.h"
#include "text/freetype_font.h"
#include "text/system_font_engine.h"

namespace {

qzFont* gTopaz = nullptr;
bool gStarted = false;

// Which engines a linked font goes to.
enum { TRY_BITMAP = 1, TRY_SYSTEM = 2 };

// Reads the header of a linked font and makes the chunk name of the data behind it.
int OpenLinkedHeader(const char* name, std::string* dataName, int* engines) {
    qzVfsFile* file = VfsOpen(name, QZ_VFS_READ, nullptr);
    if (!file) {
        SetErrorArgString(name);
        return ERR_READFILE;
    }
    uint8_t word[4];
    int error = 0;
    uint64_t skip = 4;
    if (VfsRead(file, word, 4) != 4) {
        error = ERR_READ;
    } else {
        uint32_t flags = LoadBE32(word);
        if (!(flags & 2)) {
            *engines = TRY_BITMAP;
        } else {
            *engines = TRY_SYSTEM;
            if (flags & 4) {
                uint8_t length[4];
                if (VfsRead(file, length, 4) != 4) {
                    error = ERR_READ;
                } else {
                    uint64_t n = LoadBE32(length);
                    // The block is skipped; it must lie in the linked data.
                    if (VfsSeek(file, (int64_t)n, QZ_VFS_SEEK_CURRENT) < 0 || 8 + n > (uint64_t)VfsGetFileSize(file))
                        error = ERR_READ;
                    skip = 8 + n;
                }
            }
        }
    }
    VfsClose(file);
    if (error) return error;
    qzChunkNameParts parts;
    if (!ParseChunkName(name, &parts) || parts.size < skip) {
        SetErrorArgString(name);
        return ERR_READFILE;
    }
    char buffer[4096];
    if (parts.address)
        MakeChunkName(parts.embeddedName.c_str(), buffer, sizeof buffer, -1, parts.size - skip, parts.sourceNumber,
                      reinterpret_cast<const void*>(parts.address + skip));
    else
        MakeChunkName(parts.embeddedName.c_str(), buffer, sizeof buffer, 0, parts.size - skip, parts.offset + skip,
                      parts.containerPath.c_str());
    if (!buffer[0]) {
        SetErrorArgString(name);
        return ERR_READFILE;
    }
    *dataName = buffer;
    return 0;
}

bool EndsWithFont(const std::string& name) {
    return name.size() >= 5 && CompareNoCase(name.c_str() + name.size() - 5, ".font") == 0;
}

bool CanOpen(const std::string& name) {
    qzVfsFile* file = VfsOpen(name.c_str(), QZ_VFS_READ, nullptr);
    if (!file) return false;
    VfsClose(file);
    return true;
}

// The message of ERR_OPENFONT is the whole error argument: catalog text 116 with the name and
// the size put in (the catalog text is never used as a format).
void SetOpenFontError(const char* name, int size) {
    const char* pattern = GetCatalogText(116);
    std::string text = pattern ? pattern : "Cannot open font %s with size %ld!";
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, name);
    at = text.find("%ld", at == std::string::npos ? 0 : at + std::strlen(name));
    if (at != std::string::npos) text.replace(at, 3, std::to_string(size));
    SetErrorArgString(text.c_str());
}

bool UsesSystemEngine(const qzFont* font) { return font->kind == FONTKIND_SYSTEM || font->nativefallback; }

}  // namespace

int FontEngineInit(qzFont** topaz) {
    if (gStarted) {
        if (topaz) *topaz = gTopaz;
        return 0;
    }
    if (!gTopaz) {
        int error = BuildTopazFont(&gTopaz);
        if (error) return error;
    }
    int error = FontEngineInitFreeType();
    if (error) return error;
    gStarted = true;
    if (topaz) *topaz = gTopaz;
    return 0;
}

qzFont* GetInbuiltFont() { return gTopaz; }

int FindBitmapFontFile(const char* name, std::string* path) {
    std::string file = name;
    if (!EndsWithFont(file)) file += ".font";
    for (const std::string& folder : GetFontPaths()) {
        std::string candidate = folder;
        AddPathPart(candidate, file.c_str());
        if (CanOpen(candidate)) {
            *path = candidate;
            return 1;
        }
    }
    if (CanOpen(file)) {
        *path = file;
        return 1;
    }
    std::string candidate = "Fonts/" + file;
    if (CanOpen(candidate)) {
        *path = candidate;
        return 1;
    }
    return 0;
}

int FontEngineOpen(const char* name, int size, int engine, int cache, int checkLinked, qzFont** out) {
    *out = nullptr;
    if (!gStarted) {
        int error = FontEngineInit(nullptr);
        if (error) return error;
    }
    std::string openName = name;
    int engines = TRY_BITMAP | TRY_SYSTEM;
    if (checkLinked && IsChunkName(name)) {
        int error = OpenLinkedHeader(name, &openName, &engines);
        if (error) return error;
    }
    auto* font = static_cast<qzFont*>(OsAlloc(sizeof(qzFont), 1));
    if (!font) return ERR_MEM;
    // The record and what an engine opened into it go on every way out until it is handed on,
    // also when a name or path runs out of memory and unwinds through here.
    std::unique_ptr<qzFont, void (*)(qzFont*)> owner(font, FontEngineClose);
    font->scalex = font->scaley = 1.0;
    bool opened = false;
    if (engine == FONTENGINE_NATIVE) {
        if (CompareNoCase(name, "topaz") == 0 && size == 8) {
            *out = gTopaz;
            return 0;
        }
        if (engines & TRY_BITMAP) {
            std::string path;
            if (IsChunkName(openName.c_str())) path = openName;
            if ((!path.empty() || FindBitmapFontFile(openName.c_str(), &path)) &&
                LoadDiskFont(path.c_str(), size, font, name))
                opened = true;
        }
        if (!opened && (engines & TRY_SYSTEM)) opened = MacOpenFont(openName.c_str(), size, 0, font) != 0;
    } else if (engine == FONTENGINE_INBUILT) {
        opened = OpenFreeTypeFont(openName.c_str(), size, cache, font) != 0;
    }
    if (!opened) {
        owner.reset();
        SetOpenFontError(name, size);
        return ERR_OPENFONT;
    }
    *out = owner.release();
    return 0;
}

void FontEngineClose(qzFont* font) {
    if (!font || font == gTopaz) return;
    if (UsesSystemEngine(font)) MacCloseFont(font);
    if (font->kind == FONTKIND_BITMAP || font->kind == FONTKIND_COLOR)
        CloseBitmapFont(font);
    else if (font->kind == FONTKIND_FREETYPE)
        CloseFreeTypeFont(font);
    OsFree(font);
}

void FontEngineShutdown() {
    FreeTopazFont(gTopaz);
    gTopaz = nullptr;
    OsResetSystemFonts();
    FontEngineDoneFreeType();
    FreeFontFileList();
    gStarted = false;
}

int FontEngineRenderText(qzFont* font, qzBitMap* bitmap, qzBitMap* mask, int x, int y, const char* text, size_t length,
                         int style, int encoding, const qzFontClip* clip, uint32_t colour) {
    if (!font) font = gTopaz;
    if (!font) return 0;
    if (UsesSystemEngine(font))
        return MacRenderText(font, bitmap, mask, x, y, text, length, style, encoding, clip, colour);
    if (font->kind == FONTKIND_FREETYPE)
        return RenderFreeTypeText(font, bitmap, mask, x, y, text, length, style, encoding, clip, colour);
    return RenderBitmapFontText(font, bitmap, mask, x, y, text, length, style, encoding, clip, colour);
}

int FontEngineTextExtent(qzFont* font, const char* text, size_t length, int style, int encoding, qzTextExtents* out) {
    if (!font) font = gTopaz;
    if (!font) return 0;
    if (UsesSystemEngine(font)) return MacMeasureText(font, text, length, style, encoding, out);
    if (font->kind == FONTKIND_FREETYPE) return MeasureFreeTypeText(font, text, length, style, encoding, out);
    return BitmapTextExtent(font, text, length, style, encoding, out);
}

void FontEngineSetScale(qzFont* font, double scalex, double scaley) {
    if (!font || !font->scalable || (font->scalex == scalex && font->scaley == scaley)) return;
    font->scalex = scalex;
    font->scaley = scaley;
    font->height = (int32_t)std::ceil(scaley * font->baseheight);
    font->baseline = (int32_t)std::ceil(scaley * font->basebaseline);
    if (font->kind == FONTKIND_FREETYPE) SetFreeTypeScale(font, scalex, scaley);
}

int FontEngineGetKerning(qzFont* font, const char* text, size_t length, int encoding) {
    if (!font || font->kind != FONTKIND_FREETYPE || !text) return 0;
    return GetFreeTypeKerning(font, text, length, encoding);
}

void FontEngineFlushGlyphCache(qzFont* font) {
    if (font && font->kind == FONTKIND_FREETYPE) FlushFreeTypeGlyphCache(font);
}

int IsNativeFont(const qzFont* font) { return font && font->kind == FONTKIND_SYSTEM ? 1 : 0; }

FT_Face GetFontFace(const qzFont* font) {
    if (!font || font->kind != FONTKIND_FREETYPE || !font->enginedata) return nullptr;
    return static_cast<const qzFreeTypeFace*>(font->enginedata)->face;
}
