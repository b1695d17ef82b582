// The FreeType engine; see freetype_font.h.
#include "text/freetype_font.h"

#include FT_OUTLINE_H
#include FT_BITMAP_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "base/charset.h"
#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "text/embedded_fonts.h"
#include "text/font_files.h"
#include "text/glyph_draw.h"
#include "text/utf8_decode.h"

namespace {

FT_Library gLibrary = nullptr;
// The sum of the largest top bearing and the largest depth at 100 pixels per em, by face source:
// the same for every size, so a face is measured once.
std::map<std::string, int64_t>* gSizingSums = nullptr;

unsigned long ReadStream(FT_Stream stream, unsigned long offset, unsigned char* buffer, unsigned long count) {
    auto* fr = static_cast<qzFreeTypeFace*>(stream->descriptor.pointer);
    if (VfsSeek(fr->file, fr->base + (int64_t)offset, QZ_VFS_SEEK_BEGINNING) < 0) return count == 0 ? 1 : 0;
    if (count == 0) return 0;
    return (unsigned long)VfsRead(fr->file, buffer, count);
}

void CloseStream(FT_Stream) {}

bool EndsWithNoCase(const char* name, const char* suffix) {
    size_t n = std::strlen(name), k = std::strlen(suffix);
    return n >= k && CompareNoCase(name + n - k, suffix) == 0;
}

void FreeGlyphCache(qzFreeTypeFace* fr) {
    for (auto& table : fr->glyphs)
        for (qzFreeTypeGlyph& g : table) {
            OsFree(g.buffer);
            g = qzFreeTypeGlyph{};
        }
}

void FreeFaceRecord(qzFreeTypeFace* fr) {
    if (!fr) return;
    FreeGlyphCache(fr);
    if (fr->face) FT_Done_Face(fr->face);
    if (fr->file) VfsClose(fr->file);
    OsFree(fr);
}

// The largest top bearing plus the largest depth over the characters 33 to 255 at 100 pixels per
// em, from the hinted glyph boxes (the rows a rendering would have). 0 when no glyph loads.
int64_t SizingSum(FT_Face face) {
    if (FT_Set_Char_Size(face, 0, 6400, 72, 72) != 0) return -1;
    int64_t top = 0, depth = 0;
    bool any = false;
    for (FT_ULong c = 33; c <= 255; c++) {
        FT_UInt index = FT_Get_Char_Index(face, c);
        if (!index || FT_Load_Glyph(face, index, FT_LOAD_NO_AUTOHINT) != 0) continue;
        const FT_Glyph_Metrics& m = face->glyph->metrics;
        int64_t t = (m.horiBearingY + 63) >> 6;
        int64_t b = (m.horiBearingY - m.height) >> 6;
        top = any ? std::max(top, t) : t;
        depth = any ? std::max(depth, -b) : -b;
        any = true;
    }
    return any ? top + depth : 0;
}

// Largest top bearing T and depth D of "A", 0xC0, 0xC4 and "q" at the face's size; the baseline
// of a line of `height` pixels is (T + height - D + 1) / 2, or 3/4 of the height without them.
int FreeTypeBaseline(FT_Face face, int height) {
    static const FT_ULong kProbe[] = {'A', 0xC0, 0xC4, 'q'};
    int top = 0, depth = 0;
    bool any = false;
    for (FT_ULong c : kProbe) {
        FT_UInt index = FT_Get_Char_Index(face, c);
        if (!index || FT_Load_Glyph(face, index, FT_LOAD_NO_AUTOHINT | FT_LOAD_RENDER) != 0) continue;
        int t = face->glyph->bitmap_top;
        int d = (int)face->glyph->bitmap.rows - t;
        top = any ? std::max(top, t) : t;
        depth = any ? std::max(depth, d) : d;
        any = true;
    }
    return any ? (top + height - depth + 1) / 2 : height * 3 / 4;
}

// Fetches the glyph of a character with the style; its data stays valid until the next fetch on
// the face (or, when cached, until the cache is emptied). False when it cannot be loaded.
bool GetFreeTypeGlyph(qzFreeTypeFace* fr, uint32_t code, FT_UInt index, int style, qzFreeTypeGlyph* out) {
    bool bold = style & FONTSTYLE_BOLD, italic = style & FONTSTYLE_ITALIC;
    int aa = style & FONTSTYLE_ANTIALIAS ? 1 : 0;
    bool cached = fr->cache && !bold && !italic && code <= 255;
    if (cached && fr->glyphs[aa][code].valid) {
        *out = fr->glyphs[aa][code];
        return true;
    }
    FT_Face face = fr->face;
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_AUTOHINT | (aa ? 0 : FT_LOAD_TARGET_MONO)) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    FT_Pos advance = slot->advance.x;
    if (bold) {
        FT_Pos strength = FT_MulFix(face->units_per_EM, face->size->metrics.y_scale) / 24;
        FT_Pos xstr = 0, ystr = 0;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            FT_Outline_Embolden(&slot->outline, strength);
            xstr = ystr = strength * 2;
        } else if (slot->format == FT_GLYPH_FORMAT_BITMAP) {
            ystr = strength & ~63;
            xstr = std::max<FT_Pos>(ystr, 64);
            if (FT_Bitmap_Embolden(gLibrary, &slot->bitmap, xstr, ystr) == 0) slot->bitmap_top += (FT_Int)(ystr >> 6);
        }
        advance += xstr;
    }
    if (italic && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Matrix shear = {0x10000, 0x6000, 0, 0x10000};
        FT_Outline_Transform(&slot->outline, &shear);
    }
    if (slot->format != FT_GLYPH_FORMAT_BITMAP &&
        FT_Render_Glyph(slot, aa ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0)
        return false;
    const FT_Bitmap& b = slot->bitmap;
    qzFreeTypeGlyph g{};
    g.valid = 1;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.advance = advance;
    g.width = (int)b.width;
    g.rows = (int)b.rows;
    g.pitch = std::abs(b.pitch);
    g.oneBit = b.pixel_mode == FT_PIXEL_MODE_MONO;
    g.buffer = b.buffer;
    if (b.pixel_mode != FT_PIXEL_MODE_MONO && b.pixel_mode != FT_PIXEL_MODE_GRAY)
        g.width = g.rows = 0;  // colour or LCD bitmaps are not drawn
    if (cached) {
        size_t bytes = (size_t)g.pitch * (size_t)g.rows;
        g.buffer = nullptr;
        if (bytes) {
            g.buffer = static_cast<uint8_t*>(OsAlloc(bytes, 0));
            if (!g.buffer) {
                *out = g;
                out->buffer = b.buffer;
                return true;
            }
            std::memcpy(g.buffer, b.buffer, bytes);
        }
        fr->glyphs[aa][code] = g;
    }
    *out = g;
    return true;
}

// The pen advance of one glyph in pixels, with the unscaled kerning k of the pair. The glyph's
// advance comes scaled by the face's transform already; only the kerning is scaled here.
int64_t PenAdvance(const qzFont* font, const qzFreeTypeFace* fr, int64_t advance, int64_t kerning) {
    int64_t ppem = std::max<int64_t>(fr->face->size->metrics.x_ppem, 1);
    int64_t upem = std::max<int64_t>(fr->face->units_per_EM, 1);
    int64_t a16 = (int64_t)fr->empixels * ((advance << 10) / ppem);
    int64_t k16 = (int64_t)fr->empixels * ((kerning << 16) / upem);
    return (int64_t)std::trunc(((double)a16 + font->scalex * (double)k16) / 65536.0);
}

FT_UInt CharIndex(qzFreeTypeFace* fr, uint32_t code) {
    if (code > 255) return FT_Get_Char_Index(fr->face, code);
    if (!fr->charindex[code]) fr->charindex[code] = FT_Get_Char_Index(fr->face, code) + 1;
    return fr->charindex[code] - 1;
}

// The unscaled kerning of a glyph pair, remembered per face.
int64_t PairKerning(qzFreeTypeFace* fr, FT_UInt left, FT_UInt right) {
    FT_Vector delta{};
    if (left > 0xFFFF || right > 0xFFFF) {
        FT_Get_Kerning(fr->face, left, right, FT_KERNING_UNSCALED, &delta);
        return delta.x;
    }
    uint32_t pair = (uint32_t)(left << 16 | right) + 1;
    auto& slot = fr->kerncache[(pair * 2654435761u) >> 23];
    if (slot.pair == pair) return slot.kerning;
    if (FT_Get_Kerning(fr->face, left, right, FT_KERNING_UNSCALED, &delta) != 0) delta.x = 0;
    slot.pair = pair;
    slot.kerning = (int32_t)delta.x;
    return delta.x;
}

// Calls visit(glyph, pen) for each character with a loadable glyph; returns the final pen.
template <typename Visit>
int64_t WalkFreeTypeText(qzFont* font, const char* text, size_t length, int style, int encoding, bool* ok,
                         Visit visit) {
    auto* fr = static_cast<qzFreeTypeFace*>(font->enginedata);
    qzCodepoints cps(text, length, encoding);
    *ok = cps.ok();
    if (!*ok) return 0;
    FT_Face face = fr->face;
    bool kerning = FT_HAS_KERNING(face);
    int64_t pen = 0;
    FT_UInt index = cps.count ? CharIndex(fr, cps.codes[0]) : 0;
    for (size_t i = 0; i < cps.count; i++) {
        FT_UInt next = i + 1 < cps.count ? CharIndex(fr, cps.codes[i + 1]) : 0;
        int64_t k = kerning && i + 1 < cps.count ? PairKerning(fr, index, next) : 0;
        qzFreeTypeGlyph g;
        if (GetFreeTypeGlyph(fr, cps.codes[i], index, style, &g)) {
            visit(cps.codes[i], g, pen);
            pen += PenAdvance(font, fr, g.advance, k);
        }
        index = next;
    }
    return pen;
}

}  // namespace

int FontEngineInitFreeType() {
    if (gLibrary) return 0;
    if (FT_Init_FreeType(&gLibrary) != 0) {
        gLibrary = nullptr;
        return ERR_FT2;
    }
    return 0;
}

void FontEngineDoneFreeType() {
    if (gLibrary) FT_Done_FreeType(gLibrary);
    gLibrary = nullptr;
    delete gSizingSums;
    gSizingSums = nullptr;
}

bool FreeTypeStarted() { return gLibrary != nullptr; }

FT_Library GetFreeTypeLibrary() { return gLibrary; }

const qzEmbeddedFace* GetEmbeddedFaces(int* count) {
    static const qzEmbeddedFace kFaces[] = {
        {"Bitstream Vera Sans", kEmbeddedVeraSans, kEmbeddedVeraSansSize},
        {"Bitstream Vera Serif", kEmbeddedVeraSerif, kEmbeddedVeraSerifSize},
        {"Bitstream Vera Sans Mono", kEmbeddedVeraMono, kEmbeddedVeraMonoSize},
    };
    *count = 3;
    return kFaces;
}

int OpenFreeTypeFont(const char* name, int size, int cache, qzFont* font) {
    if (!gLibrary) return 0;
    auto* fr = static_cast<qzFreeTypeFace*>(OsAlloc(sizeof(qzFreeTypeFace), 1));
    if (!fr) return 0;
    // The record, its face and file go on every way out until the font takes them, also when a
    // name or the sizing table runs out of memory and unwinds through here.
    std::unique_ptr<qzFreeTypeFace, void (*)(qzFreeTypeFace*)> owner(fr, FreeFaceRecord);
    fr->hres = fr->vres = 72;
    fr->cache = cache ? 1 : 0;
    std::string key;
    const qzEmbeddedFace* embedded = nullptr;
    qzFontLocation where;
    if (IsChunkName(name) || EndsWithNoCase(name, ".ttf") || EndsWithNoCase(name, ".otf")) {
        where.path = name;
    } else {
        int count = 0;
        const qzEmbeddedFace* faces = GetEmbeddedFaces(&count);
        for (int i = 0; i < count; i++)
            if (CompareNoCase(name, faces[i].family) == 0) embedded = &faces[i];
        if (!embedded && !FindFontFile(name, -1, -1, &where)) return 0;
    }
    if (embedded) {
        key = std::string("embedded:") + embedded->family;
        if (FT_New_Memory_Face(gLibrary, embedded->data, (FT_Long)embedded->size, 0, &fr->face) != 0) {
            fr->face = nullptr;
            return 0;
        }
    } else {
        fr->file = VfsOpen(where.path.c_str(), QZ_VFS_READ, nullptr);
        int64_t fileSize = fr->file ? VfsGetFileSize(fr->file) : -1;
        if (!fr->file || fileSize <= where.offset) return 0;
        fr->base = where.offset;
        int64_t streamSize = where.size > 0 ? std::min(where.size, fileSize - where.offset) : fileSize - where.offset;
        fr->stream.base = nullptr;
        fr->stream.size = (unsigned long)streamSize;
        fr->stream.pos = 0;
        fr->stream.descriptor.pointer = fr;
        fr->stream.read = ReadStream;
        fr->stream.close = CloseStream;
        FT_Open_Args args{};
        args.flags = FT_OPEN_STREAM;
        args.stream = &fr->stream;
        if (FT_Open_Face(gLibrary, &args, where.faceIndex, &fr->face) != 0) {
            fr->face = nullptr;
            return 0;
        }
        key = where.path + "|" + std::to_string(where.offset) + "|" + std::to_string(streamSize) + "|" +
              std::to_string(where.faceIndex);
    }
    // Size the face: the em size e in pixels makes the tallest glyph extent (largest top bearing
    // plus largest depth at 100 pixels per em, s) fill the requested size: e = size * 100 / s.
    if (!gSizingSums) gSizingSums = new std::map<std::string, int64_t>;
    auto known = gSizingSums->find(key);
    int64_t sum = known != gSizingSums->end() ? known->second : SizingSum(fr->face);
    if (known == gSizingSums->end() && sum > 0) (*gSizingSums)[key] = sum;
    if (sum <= 0) return 0;
    // Tiny sizes never reach a pixel size of zero or less: the em size is at least 2 (1 pixel
    // per em after the step below).
    int64_t em = std::max<int64_t>((int64_t)std::max(size, 0) * 100 / sum, 2);
    em = std::min<int64_t>(em, 1 << 20);
    if (FT_Set_Pixel_Sizes(fr->face, (FT_UInt)(em - 1), 0) != 0) return 0;
    fr->empixels = (int)em;
    font->enginedata = owner.release();
    font->kind = FONTKIND_FREETYPE;
    font->scalable = 1;
    font->antialias = 1;
    font->size = (uint32_t)size;
    font->height = font->baseheight = size;
    font->baseline = font->basebaseline = FreeTypeBaseline(fr->face, size);
    font->scalex = font->scaley = 1.0;
    std::string fontName = fr->face->family_name ? fr->face->family_name : name;
    const char* styleName = fr->face->style_name;
    if (styleName && *styleName && !IsPlainStyle(styleName)) fontName += std::string(" ") + styleName;
    std::strncpy(font->name, fontName.c_str(), QZ_FONT_NAME_SIZE - 1);
    font->name[QZ_FONT_NAME_SIZE - 1] = '\0';
    return 1;
}

void CloseFreeTypeFont(qzFont* font) {
    FreeFaceRecord(static_cast<qzFreeTypeFace*>(font->enginedata));
    font->enginedata = nullptr;
}

int MeasureFreeTypeText(qzFont* font, const char* text, size_t length, int style, int encoding, qzTextExtents* out) {
    int64_t minx = 10000, miny = 10000, maxx = 0, maxy = 0;
    bool ok = false;
    int64_t pen = WalkFreeTypeText(font, text, length, style, encoding, &ok,
                                   [&](uint32_t code, const qzFreeTypeGlyph& g, int64_t penX) {
                                       if (code == 32) return;
                                       minx = std::min<int64_t>(minx, penX + g.left);
                                       maxx = std::max<int64_t>(maxx, penX + g.left + g.width);
                                       miny = std::min<int64_t>(miny, -g.top);
                                       maxy = std::max<int64_t>(maxy, -g.top + g.rows);
                                   });
    if (!ok) return ERR_MEM;
    out->advance = (int32_t)std::clamp<int64_t>(pen, INT32_MIN, INT32_MAX);
    out->height = font->height;
    out->minx = minx == 10000 ? 0 : (int32_t)std::clamp<int64_t>(minx, INT32_MIN, INT32_MAX);
    out->miny = miny == 10000 ? 0 : (int32_t)std::clamp<int64_t>(miny, INT32_MIN, INT32_MAX);
    out->maxx = (int32_t)std::clamp<int64_t>(maxx, INT32_MIN, INT32_MAX);
    out->maxy = (int32_t)std::clamp<int64_t>(maxy, INT32_MIN, INT32_MAX);
    return 0;
}

int RenderFreeTypeText(qzFont* font, qzBitMap* bitmap, qzBitMap* mask, int x, int y, const char* text, size_t length,
                       int style, int encoding, const qzFontClip* clip, uint32_t colour) {
    qzGlyphTarget target;
    if (!BeginGlyphTarget(&target, bitmap, mask, clip, colour)) return 0;
    bool ok = false;
    WalkFreeTypeText(font, text, length, style, encoding, &ok, [&](uint32_t, const qzFreeTypeGlyph& g, int64_t pen) {
        qzGlyphImage image{g.buffer, g.pitch, 0, g.width, g.rows, g.oneBit};
        DrawGlyphImage(&target, x + pen + g.left, (int64_t)y + font->baseline - g.top, image);
    });
    EndGlyphTarget(&target);
    return ok ? 0 : ERR_MEM;
}

void SetFreeTypeScale(qzFont* font, double scalex, double scaley) {
    auto* fr = static_cast<qzFreeTypeFace*>(font->enginedata);
    FreeGlyphCache(fr);
    FT_Matrix m = {(FT_Fixed)(scalex * 65536.0), 0, 0, (FT_Fixed)(scaley * 65536.0)};
    FT_Set_Transform(fr->face, &m, nullptr);
    font->baseline = FreeTypeBaseline(fr->face, font->height);
}

int GetFreeTypeKerning(qzFont* font, const char* text, size_t length, int encoding) {
    auto* fr = static_cast<qzFreeTypeFace*>(font->enginedata);
    if (!FT_HAS_KERNING(fr->face)) return 0;
    qzCodepoints cps(text, std::strlen(text), encoding);
    if (cps.count != 2) return 0;
    FT_UInt left = FT_Get_Char_Index(fr->face, cps.codes[0]);
    FT_UInt right = FT_Get_Char_Index(fr->face, cps.codes[1]);
    FT_Vector delta{};
    if (!left || !right || FT_Get_Kerning(fr->face, left, right, FT_KERNING_UNSCALED, &delta) != 0) return 0;
    return (int)((int64_t)delta.x * fr->empixels / std::max<int64_t>(fr->face->units_per_EM, 1));
}

void FlushFreeTypeGlyphCache(qzFont* font) {
    if (font && font->kind == FONTKIND_FREETYPE && font->enginedata)
        FreeGlyphCache(static_cast<qzFreeTypeFace*>(font->enginedata));
}
