// Bitmap fonts: the inbuilt font, the disk font loader, rendering and measuring; see bitmap_font.h.
#include "text/bitmap_font.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/byte_order.h"
#include "base/charset.h"
#include "base/error_codes.h"
#include "gfx/bitmap_pixels.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"
#include "text/glyph_draw.h"
#include "text/inbuilt_font_data.h"

namespace {

// Byte offsets of the disk font format. Pointers inside a font file are offsets from FONT_BASE.
constexpr int64_t FONT_BASE = 32;
constexpr int64_t FONT_HEADER_ID = 50;
constexpr int64_t FONT_DESCRIPTOR = 110;
constexpr int64_t FONT_COLOR_EXT = 142;
constexpr int64_t FONT_COLOR_EXT_END = 186;
constexpr int CONTENTS_ENTRY = 260;

// A whole file in memory, freed when it goes.
struct LoadedFile {
    unsigned char* data = nullptr;
    size_t size = 0;
    ~LoadedFile() { OsFree(data); }
    bool Load(const char* name) { return VfsLoadFile(name, nullptr, nullptr, &data, &size, false) == 0; }
    // Whether `length` bytes at the font pointer p lie in the file.
    bool HasAt(uint32_t p, uint64_t length) const { return (uint64_t)p + FONT_BASE + length <= size; }
    const uint8_t* At(uint32_t p) const { return data + FONT_BASE + p; }
};

bool EndsWithFont(const char* name) {
    size_t n = std::strlen(name);
    return n >= 5 && CompareNoCase(name + n - 5, ".font") == 0;
}

void FreeGlyphData(qzBitmapFont* bf) {
    if (!bf) return;
    DeleteMaskBitMap(bf->stripbitmap);
    OsFree(bf->chardata);
    OsFree(bf->charloc);
    OsFree(bf->charspace);
    OsFree(bf->charkern);
    OsFree(bf);
}

// The font file named by a contents entry: a window of the applet or of the container of a linked
// contents file, or a file beside the contents file.
bool EntryPath(const char* contentsPath, const char* entry, std::string* out) {
    const char* rest = nullptr;
    if (std::strncmp(entry, ":::chunk", 8) == 0) {
        qzChunkNameParts parts;
        if (ParseChunkName(entry, &parts)) {
            *out = entry;
            return true;
        }
        rest = entry + 8;
    } else if (std::strncmp(entry, "::linkedfont", 12) == 0) {
        rest = entry + 12;
    }
    if (rest) {
        qzChunkNameParts container;
        if (!ParseChunkName(contentsPath, &container) || container.containerPath.empty()) return false;
        char* end = nullptr;
        unsigned long long offset = std::strtoull(rest, &end, 10);
        if (end == rest || (*end != ':' && *end != '/')) return false;
        const char* sizeText = end + 1;
        unsigned long long size = std::strtoull(sizeText, &end, 10);
        if (end == sizeText || (*end != '\0' && *end != '*' && *end != '/')) return false;
        char buffer[4096];
        MakeChunkName("font", buffer, sizeof buffer, 0, size, offset, container.containerPath.c_str());
        if (!buffer[0]) return false;
        *out = buffer;
        return true;
    }
    std::string path(contentsPath, GetPathPartEnd(contentsPath));
    AddPathPart(path, entry);
    *out = path;
    return true;
}

// Reads the glyph tables of a font file into a new record. Null when the file is malformed.
qzBitmapFont* ReadGlyphTables(const LoadedFile& f) {
    if (f.size < (size_t)FONT_COLOR_EXT || LoadBE16(f.data + FONT_HEADER_ID) != 0x0F80) return nullptr;
    const uint8_t* d = f.data + FONT_DESCRIPTOR;
    auto* bf = static_cast<qzBitmapFont*>(OsAlloc(sizeof(qzBitmapFont), 1));
    if (!bf) return nullptr;
    bf->ysize = LoadBE16(d);
    bf->style = d[2];
    bf->flags = d[3];
    bf->xsize = LoadBE16(d + 4);
    bf->baseline = LoadBE16(d + 6);
    bf->boldsmear = LoadBE16(d + 8);
    bf->accessors = LoadBE16(d + 10);
    bf->lochar = d[12];
    bf->hichar = d[13];
    uint32_t chardata = LoadBE32(d + 14);
    bf->modulo = LoadBE16(d + 18);
    uint32_t charloc = LoadBE32(d + 20);
    uint32_t charspace = LoadBE32(d + 24);
    uint32_t charkern = LoadBE32(d + 28);
    // hichar - lochar + 2 glyph entries: a font whose range leaves none is refused.
    int64_t nchars = (int64_t)bf->hichar - (int64_t)bf->lochar + 2;
    uint64_t stripBytes = (uint64_t)bf->modulo * bf->ysize;
    if (nchars <= 0 || stripBytes == 0 || !f.HasAt(chardata, stripBytes) || !f.HasAt(charloc, (uint64_t)nchars * 4) ||
        (charspace && !f.HasAt(charspace, (uint64_t)nchars * 2)) ||
        (charkern && !f.HasAt(charkern, (uint64_t)nchars * 2))) {
        FreeGlyphData(bf);
        return nullptr;
    }
    bf->nchars = (uint32_t)nchars;
    bf->chardata = static_cast<uint8_t*>(OsAlloc(stripBytes, 0));
    bf->charloc = static_cast<uint32_t*>(OsAlloc((size_t)nchars * 4, 0));
    if (charspace) bf->charspace = static_cast<int16_t*>(OsAlloc((size_t)nchars * 2, 0));
    if (charkern) bf->charkern = static_cast<int16_t*>(OsAlloc((size_t)nchars * 2, 0));
    if (!bf->chardata || !bf->charloc || (charspace && !bf->charspace) || (charkern && !bf->charkern)) {
        FreeGlyphData(bf);
        return nullptr;
    }
    std::memcpy(bf->chardata, f.At(chardata), stripBytes);
    uint64_t stripBits = (uint64_t)bf->modulo * 8;
    for (int64_t i = 0; i < nchars; i++) {
        uint32_t loc = LoadBE32(f.At(charloc) + 4 * i);
        // Every glyph must lie inside the strip.
        if ((uint64_t)(loc >> 16) + (loc & 0xFFFF) > stripBits) {
            FreeGlyphData(bf);
            return nullptr;
        }
        bf->charloc[i] = loc;
        if (bf->charspace) bf->charspace[i] = (int16_t)LoadBE16(f.At(charspace) + 2 * i);
        if (bf->charkern) bf->charkern[i] = (int16_t)LoadBE16(f.At(charkern) + 2 * i);
    }
    bf->stripbitmap = CreateMaskBitMap(nullptr, (int)stripBits, (int)bf->ysize, 0, bf->chardata, (int)bf->modulo);
    if (!bf->stripbitmap) {
        FreeGlyphData(bf);
        return nullptr;
    }
    return bf;
}

// Builds the colour strip of a colour font as 0x00RRGGBB pixels (colour 0 becomes the key
// colour). Null when the colour extension is malformed or a pixel's colour index has no colour.
uint32_t* ReadColorStrip(const LoadedFile& f, const qzBitmapFont* bf) {
    if (f.size < (size_t)FONT_COLOR_EXT_END) return nullptr;
    const uint8_t* ext = f.data + FONT_COLOR_EXT;
    int depth = ext[2];
    int planePick = ext[6];
    int planeOnOff = ext[7];
    uint32_t colorTable = LoadBE32(ext + 8);
    if (depth < 1 || depth > 8 || !f.HasAt(colorTable, 8)) return nullptr;
    uint32_t colorCount = LoadBE16(f.At(colorTable) + 2);
    uint32_t colors = LoadBE32(f.At(colorTable) + 4);
    if (colorCount == 0 || !f.HasAt(colors, (uint64_t)colorCount * 2)) return nullptr;
    uint32_t palette[256];
    uint32_t usable = std::min<uint32_t>(colorCount, 256);
    for (uint32_t i = 0; i < usable; i++) {
        uint32_t rgb = LoadBE16(f.At(colors) + 2 * i);
        palette[i] = ((rgb >> 8) & 15) * 17 << 16 | ((rgb >> 4) & 15) * 17 << 8 | (rgb & 15) * 17;
    }
    palette[0] = QZ_FONT_KEY_COLOR;
    uint64_t stripBytes = (uint64_t)bf->modulo * bf->ysize;
    const uint8_t* planes[8] = {};
    for (int p = 0; p < depth; p++) {
        uint32_t pointer = LoadBE32(ext + 12 + 4 * p);
        if (!pointer || !(planePick & (1 << p))) continue;
        if (!f.HasAt(pointer, stripBytes)) return nullptr;
        planes[p] = f.At(pointer);
    }
    uint64_t pixels = stripBytes * 8;
    if (pixels * 4 > (uint64_t)QZ_MAX_BITMAP_BYTES) return nullptr;
    auto* out = static_cast<uint32_t*>(OsAlloc((size_t)pixels * 4, 0));
    if (!out) return nullptr;
    for (uint64_t i = 0; i < pixels; i++) {
        uint64_t byte = i >> 3;
        int bit = 7 - (int)(i & 7);
        uint32_t index = 0;
        for (int p = 0; p < depth; p++) {
            int on = planes[p] ? (planes[p][byte] >> bit) & 1 : (planeOnOff >> p) & 1;
            index |= (uint32_t)on << p;
        }
        if (index >= usable) {
            OsFree(out);
            return nullptr;
        }
        out[i] = palette[index];
    }
    return out;
}

void FillFontRecord(qzFont* font, const qzBitmapFont* bf, int kind, const char* name, int size) {
    if (name && name != font->name) {
        std::strncpy(font->name, name, QZ_FONT_NAME_SIZE - 1);
        font->name[QZ_FONT_NAME_SIZE - 1] = '\0';
    }
    font->size = (uint32_t)size;
    font->height = font->baseheight = (int32_t)bf->ysize;
    font->baseline = font->basebaseline = (int32_t)bf->baseline;
    font->kind = kind;
    font->scalable = 0;
    font->antialias = 0;
    font->scalex = font->scaley = 1.0;
}

}  // namespace

int BuildTopazFont(qzFont** out) {
    *out = nullptr;
    auto* font = static_cast<qzFont*>(OsAlloc(sizeof(qzFont), 1));
    auto* bf = static_cast<qzBitmapFont*>(OsAlloc(sizeof(qzBitmapFont), 1));
    if (!font || !bf) {
        OsFree(font);
        OsFree(bf);
        return ERR_MEM;
    }
    bf->ysize = 8;
    bf->style = 0;
    bf->flags = BITMAPFONT_INBUILT;
    bf->xsize = 8;
    bf->baseline = 6;
    bf->boldsmear = 1;
    bf->lochar = 32;
    bf->hichar = 255;
    bf->modulo = QZ_INBUILT_MODULO;
    bf->nchars = QZ_INBUILT_NCHARS;
    // The inbuilt tables are constant data: the record only points at them.
    bf->chardata = const_cast<uint8_t*>(kInbuiltStrip);
    bf->charloc = const_cast<uint32_t*>(kInbuiltCharLoc);
    bf->stripbitmap = CreateMaskBitMap(nullptr, QZ_INBUILT_MODULO * 8, 8, 0, bf->chardata, QZ_INBUILT_MODULO);
    if (!bf->stripbitmap) {
        OsFree(font);
        OsFree(bf);
        return ERR_MEM;
    }
    std::strcpy(font->name, "topaz");
    font->enginedata = bf;
    FillFontRecord(font, bf, FONTKIND_BITMAP, nullptr, 8);
    *out = font;
    return 0;
}

void FreeTopazFont(qzFont* font) {
    if (!font) return;
    auto* bf = static_cast<qzBitmapFont*>(font->enginedata);
    if (bf) {
        DeleteMaskBitMap(bf->stripbitmap);
        OsFree(bf);
    }
    OsFree(font);
}

int LoadDiskFont(const char* path, int size, qzFont* font, const char* name) {
    std::string contentsPath = path;
    if (!IsChunkName(path) && !EndsWithFont(path)) contentsPath += ".font";
    LoadedFile contents;
    if (!contents.Load(contentsPath.c_str()) || contents.size < 4) return 0;
    uint32_t id = LoadBE16(contents.data);
    if (id != 0x0F00 && id != 0x0F02) return 0;
    uint32_t count = LoadBE16(contents.data + 2);
    std::string entryName;
    for (uint32_t i = 0; i < count; i++) {
        size_t at = 4 + (size_t)i * CONTENTS_ENTRY;
        if (at + CONTENTS_ENTRY > contents.size) return 0;
        char entry[257];
        std::memcpy(entry, contents.data + at, 256);
        entry[256] = '\0';
        if ((int)LoadBE16(contents.data + at + 256) == size && std::strcmp(entry, "::incomplete") != 0) {
            entryName = entry;
            break;
        }
    }
    std::string fontPath;
    if (entryName.empty() || !EntryPath(contentsPath.c_str(), entryName.c_str(), &fontPath)) return 0;
    LoadedFile file;
    if (!file.Load(fontPath.c_str())) return 0;
    qzBitmapFont* bf = ReadGlyphTables(file);
    if (!bf) return 0;
    int kind = FONTKIND_BITMAP;
    if (bf->style & BITMAPFONT_STYLE_COLOR) {
        uint32_t* strip = ReadColorStrip(file, bf);
        qzBitMap* bitmap = nullptr;
        qzBitMap* mask = nullptr;
        if (!strip || CreateBitMapFromARGB(strip, QZ_FONT_KEY_COLOR, (int)bf->modulo * 8, (int)bf->ysize,
                                           (int)bf->modulo * 8, 0, 0, nullptr, &bitmap, &mask, nullptr) != 0) {
            OsFree(strip);
            FreeGlyphData(bf);
            return 0;
        }
        font->glyphbitmap = bitmap;
        font->glyphmask = mask;
        font->glyphbuffer = strip;
        kind = FONTKIND_COLOR;
    }
    font->enginedata = bf;
    FillFontRecord(font, bf, kind, name, size);
    return 1;
}

void CloseBitmapFont(qzFont* font) {
    if (font->kind == FONTKIND_COLOR) {
        DeleteBitMap(font->glyphbitmap);
        DeleteMaskBitMap(font->glyphmask);
        OsFree(font->glyphbuffer);
        font->glyphbitmap = nullptr;
        font->glyphmask = nullptr;
        font->glyphbuffer = nullptr;
    }
    FreeGlyphData(static_cast<qzBitmapFont*>(font->enginedata));
    font->enginedata = nullptr;
}

int RenderBitmapFontText(qzFont* font, qzBitMap* bitmap, qzBitMap* mask, int x, int y, const char* text, size_t length,
                         int style, int encoding, const qzFontClip* clip, uint32_t colour) {
    auto* bf = static_cast<qzBitmapFont*>(font->enginedata);
    qzGlyphTarget target;
    if (!bf || !BeginGlyphTarget(&target, bitmap, mask, clip, colour)) return 0;
    int64_t pen = x;
    for (size_t i = 0; i < length; i++) {
        uint32_t index = BitmapGlyphIndex(bf, (uint8_t)text[i]);
        uint32_t loc = bf->charloc[index];
        if (bf->charkern) pen += bf->charkern[index];
        int width = (int)(loc & 0xFFFF);
        if (font->kind == FONTKIND_COLOR) {
            DrawColorGlyph(&target, pen, y, static_cast<const uint32_t*>(font->glyphbuffer), (int64_t)bf->modulo * 8,
                           loc >> 16, width, (int)bf->ysize, QZ_FONT_KEY_COLOR);
        } else {
            qzGlyphImage glyph{bf->chardata, (int64_t)bf->modulo, (int64_t)(loc >> 16), width, (int)bf->ysize, 1};
            DrawGlyphImage(&target, pen, y, glyph);
        }
        pen += bf->charspace ? bf->charspace[index] : (int64_t)bf->xsize;
    }
    EndGlyphTarget(&target);
    return 0;
}

int BitmapTextExtent(qzFont* font, const char* text, size_t length, int style, int encoding, qzTextExtents* out) {
    auto* bf = static_cast<qzBitmapFont*>(font->enginedata);
    if (!(bf->flags & BITMAPFONT_PROPORTIONAL) && !bf->charspace && !bf->charkern) {
        int64_t advance = (int64_t)length * bf->xsize;
        out->advance = (int32_t)std::min<int64_t>(advance, INT32_MAX);
        out->minx = 0;
        out->maxx = out->advance - 1;
    } else {
        // A missing table counts as entries of 0.
        int64_t pen = 0, minx = 0, maxx = 0;
        for (size_t i = 0; i < length; i++) {
            uint32_t index = BitmapGlyphIndex(bf, (uint8_t)text[i]);
            int64_t x0 = pen + (bf->charkern ? bf->charkern[index] : 0);
            int64_t x1 = x0 + (bf->charloc[index] & 0xFFFF);
            pen = x0 + (bf->charspace ? bf->charspace[index] : 0);
            minx = std::min({minx, x0, x1, pen});
            maxx = std::max({maxx, x0, x1, pen});
        }
        out->advance = (int32_t)std::clamp<int64_t>(pen, INT32_MIN, INT32_MAX);
        out->minx = (int32_t)std::max<int64_t>(minx, INT32_MIN);
        out->maxx = (int32_t)std::min<int64_t>(maxx - 1, INT32_MAX);
    }
    out->height = (int32_t)bf->ysize;
    out->miny = -(int32_t)bf->baseline;
    out->maxy = (int32_t)bf->ysize - (int32_t)bf->baseline - 1;
    return 0;
}
