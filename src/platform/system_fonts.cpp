// fontconfig and FreeType behind the system fonts; see system_fonts.h.
#include "platform/system_fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "platform/os_alloc.h"

namespace {

FcConfig* gConfig = nullptr;
FT_Library gLibrary = nullptr;

FcConfig* Config() {
    if (!gConfig) gConfig = FcInitLoadConfigAndFonts();
    return gConfig;
}

FT_Library Library() {
    if (!gLibrary && FT_Init_FreeType(&gLibrary) != 0) gLibrary = nullptr;
    return gLibrary;
}

std::string PatternString(FcPattern* p, const char* object) {
    FcChar8* value = nullptr;
    if (FcPatternGetString(p, object, 0, &value) != FcResultMatch || !value) return std::string();
    return reinterpret_cast<const char*>(value);
}

int PatternInt(FcPattern* p, const char* object) {
    int value = 0;
    if (FcPatternGetInteger(p, object, 0, &value) != FcResultMatch) return 0;
    return value;
}

// fontconfig's patterns, object sets and font sets, destroyed on every way out of a scope (the
// strings copied out of them may run out of memory and unwind).
using qzPatternOwner = std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)>;
using qzObjectSetOwner = std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)>;
using qzFontSetOwner = std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)>;

// The file and face index of the first face that fontconfig lists for the pattern (the pattern is
// destroyed). False when it lists none.
bool FirstListed(FcPattern* pattern, std::string* path, int* index, std::string* family) {
    qzPatternOwner patternOwner(pattern, FcPatternDestroy);
    bool found = false;
    FcConfig* config = Config();
    qzObjectSetOwner objects(FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, (char*)nullptr), FcObjectSetDestroy);
    qzFontSetOwner set(config && objects ? FcFontList(config, pattern, objects.get()) : nullptr, FcFontSetDestroy);
    if (set) {
        for (int i = 0; i < set->nfont && !found; i++) {
            std::string file = PatternString(set->fonts[i], FC_FILE);
            if (file.empty()) continue;
            *path = file;
            *index = PatternInt(set->fonts[i], FC_INDEX);
            if (family) *family = PatternString(set->fonts[i], FC_FAMILY);
            found = true;
        }
    }
    return found;
}

}  // namespace

bool OsListSystemFaces(std::vector<qzSystemFace>* out) {
    out->clear();
    FcConfig* config = Config();
    if (!config) return false;
    qzPatternOwner pattern(FcPatternCreate(), FcPatternDestroy);
    qzObjectSetOwner objects(FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_INDEX, (char*)nullptr),
                             FcObjectSetDestroy);
    qzFontSetOwner set(pattern && objects ? FcFontList(config, pattern.get(), objects.get()) : nullptr,
                       FcFontSetDestroy);
    if (set) {
        for (int i = 0; i < set->nfont; i++) {
            qzSystemFace face;
            face.family = PatternString(set->fonts[i], FC_FAMILY);
            face.style = PatternString(set->fonts[i], FC_STYLE);
            face.path = PatternString(set->fonts[i], FC_FILE);
            face.index = PatternInt(set->fonts[i], FC_INDEX);
            if (!face.family.empty() && !face.path.empty()) out->push_back(std::move(face));
        }
    }
    // fontconfig's order follows its cache files; sort by path and index so that a scan gives
    // the same order on every run.
    std::stable_sort(out->begin(), out->end(), [](const qzSystemFace& a, const qzSystemFace& b) {
        return a.path != b.path ? a.path < b.path : a.index < b.index;
    });
    return true;
}

void OsResetSystemFonts() {
    if (gConfig) FcConfigDestroy(gConfig);
    gConfig = nullptr;
}

// ---------------------------------------------------------------------------------------------
// The system font engine.

enum { FACE_REGULAR = 0, FACE_BOLD = 1, FACE_ITALIC = 2, FACE_BOLDITALIC = 3 };

struct qzSystemFont {
    unsigned char* memory = nullptr;  // font file bytes of a font opened from memory
    std::string family;
    FT_Face faces[4] = {};  // by FACE_*; null until asked for
    bool real[4] = {};      // the face is the family's own style face
    bool tried[4] = {};
    FT_F26Dot6 points = 0;  // the chosen size (26.6 points at 72 dpi = pixels)
};

namespace {

// The face for a style: the family's own bold/italic face when fontconfig lists one, else the
// regular face, on which the missing styles are synthesised.
FT_Face StyleFace(qzSystemFont* font, int which, bool* real) {
    if (which != FACE_REGULAR && !font->tried[which]) {
        font->tried[which] = true;
        if (!font->memory && !font->family.empty()) {
            const int slants[2] = {FC_SLANT_ITALIC, FC_SLANT_OBLIQUE};
            int tries = which & FACE_ITALIC ? 2 : 1;
            for (int t = 0; t < tries && !font->faces[which]; t++) {
                FcPattern* p = FcPatternCreate();
                FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(font->family.c_str()));
                FcPatternAddInteger(p, FC_WEIGHT, which & FACE_BOLD ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
                FcPatternAddInteger(p, FC_SLANT, which & FACE_ITALIC ? slants[t] : FC_SLANT_ROMAN);
                std::string path;
                int index = 0;
                FT_Face face = nullptr;
                if (FirstListed(p, &path, &index, nullptr) && FT_New_Face(Library(), path.c_str(), index, &face) == 0) {
                    if (FT_Set_Char_Size(face, 0, font->points, 72, 72) == 0) {
                        font->faces[which] = face;
                        font->real[which] = true;
                    } else {
                        FT_Done_Face(face);
                    }
                }
            }
        }
    }
    if (font->faces[which]) {
        *real = font->real[which];
        return font->faces[which];
    }
    *real = which == FACE_REGULAR;
    return font->faces[FACE_REGULAR];
}

struct GlyphWalk {
    qzSystemFont* font;
    FT_Face face;
    bool boldSynth, italicSynth, mono;
    FT_Matrix scale;
};

GlyphWalk StartWalk(qzSystemFont* font, int style, double scalex, double scaley) {
    int which = (style & SYSFONT_BOLD ? FACE_BOLD : 0) | (style & SYSFONT_ITALIC ? FACE_ITALIC : 0);
    bool real = false;
    GlyphWalk w{};
    w.font = font;
    w.face = StyleFace(font, which, &real);
    w.boldSynth = (style & SYSFONT_BOLD) && !(real && which != FACE_REGULAR);
    w.italicSynth = (style & SYSFONT_ITALIC) && !(real && which != FACE_REGULAR);
    w.mono = !(style & SYSFONT_ANTIALIAS);
    double sx = scalex > 0 ? scalex : 1.0, sy = scaley > 0 ? scaley : 1.0;
    w.scale = {(FT_Fixed)(sx * 65536.0), 0, 0, (FT_Fixed)(sy * 65536.0)};
    FT_Set_Transform(w.face, &w.scale, nullptr);
    return w;
}

// Loads one glyph with the walk's synthetic styles; its advance (26.6) in *advance.
bool LoadStyledGlyph(const GlyphWalk& w, FT_UInt index, FT_Pos* advance) {
    FT_Int32 flags = FT_LOAD_DEFAULT | (w.mono ? FT_LOAD_TARGET_MONO : 0);
    if (FT_Load_Glyph(w.face, index, flags) != 0) return false;
    FT_GlyphSlot slot = w.face->glyph;
    *advance = slot->advance.x;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (w.boldSynth) {
            FT_Pos strength = FT_MulFix(w.face->units_per_EM, w.face->size->metrics.y_scale) / 24;
            FT_Outline_Embolden(&slot->outline, strength);
            *advance += strength;
        }
        if (w.italicSynth) {
            FT_Matrix shear = {0x10000, 0x6000, 0, 0x10000};
            FT_Outline_Transform(&slot->outline, &shear);
        }
    }
    return true;
}

// Underline rows (relative to the baseline, downward positive) of the face at its size.
void UnderlineRows(FT_Face face, double scaley, int* top, int* rows) {
    FT_Fixed yscale = face->size->metrics.y_scale;
    double position = FT_IS_SCALABLE(face) ? -FT_MulFix(face->underline_position, yscale) / 64.0 : 1.0;
    double thickness = FT_IS_SCALABLE(face) ? FT_MulFix(face->underline_thickness, yscale) / 64.0 : 1.0;
    position *= scaley;
    thickness *= scaley;
    *rows = std::max(1, (int)(thickness + 0.5));
    *top = (int)(position - thickness / 2 + 0.5);
}

// Walks the text: calls glyph(slot, penX) for every loaded glyph with the pen in 26.6 pixels.
// Returns the final pen.
template <typename Fn>
FT_Pos WalkText(const GlyphWalk& w, const uint32_t* codes, size_t count, Fn glyph) {
    FT_Pos pen = 0;
    FT_UInt previous = 0;
    bool kerning = FT_HAS_KERNING(w.face);
    for (size_t i = 0; i < count; i++) {
        FT_UInt index = FT_Get_Char_Index(w.face, codes[i]);
        if (kerning && previous && index) {
            FT_Vector delta;
            if (FT_Get_Kerning(w.face, previous, index, FT_KERNING_DEFAULT, &delta) == 0)
                pen += FT_MulFix(delta.x, w.scale.xx);
        }
        FT_Pos advance = 0;
        if (LoadStyledGlyph(w, index, &advance)) glyph(w.face->glyph, pen);
        pen += advance;
        previous = index;
    }
    return pen;
}

// Pixel size of the capital "A" at the face's current size: bottom - top of its box.
int CapitalHeight(FT_Face face) {
    FT_UInt index = FT_Get_Char_Index(face, 'A');
    if (!index || FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) return -1;
    return (int)((face->glyph->metrics.height + 63) / 64);
}

}  // namespace

qzSystemFont* OsOpenSystemFont(const char* fullName, unsigned char* data, size_t size, int pixelSize,
                               qzSystemFontInfo* info) {
    if (!Library()) {
        OsFree(data);
        return nullptr;
    }
    // The font file bytes are freed also when making the record runs out of memory; from then on
    // the record owns them, and it is closed with its faces on every way out until it is returned
    // (reading names and strings below may run out of memory and unwind through here).
    std::unique_ptr<unsigned char, decltype(&OsFree)> memory(data, OsFree);
    std::unique_ptr<qzSystemFont, decltype(&OsCloseSystemFont)> owner(new qzSystemFont, OsCloseSystemFont);
    qzSystemFont* font = owner.get();
    font->memory = memory.release();
    FT_Face face = nullptr;
    if (data) {
        if (FT_New_Memory_Face(gLibrary, data, (FT_Long)size, 0, &face) != 0) face = nullptr;
    } else {
        FcPattern* p = FcPatternCreate();
        FcPatternAddString(p, FC_FULLNAME, reinterpret_cast<const FcChar8*>(fullName));
        std::string path;
        int index = 0;
        if (FirstListed(p, &path, &index, &font->family) && FT_New_Face(gLibrary, path.c_str(), index, &face) != 0)
            face = nullptr;
    }
    if (!face || !FT_IS_SCALABLE(face) || face->units_per_EM == 0 || pixelSize < 1) {
        if (face) FT_Done_Face(face);
        return nullptr;
    }
    font->faces[FACE_REGULAR] = face;
    font->real[FACE_REGULAR] = true;
    font->tried[FACE_REGULAR] = true;
    if (font->family.empty() && face->family_name) font->family = face->family_name;

    // The point size whose "A" is as tall as the pixel size: start from the size that fits the
    // face's ascent and descent and step by one point until the height matches or the step would
    // turn back. The steps are bounded: a face without a usable "A" ends at the start size.
    double extent = (double)(face->ascender - face->descender) / face->units_per_EM;
    long points = extent > 0 ? (long)(pixelSize / extent) : pixelSize;
    points = std::clamp(points, 1L, 4096L);
    int direction = 0;
    for (int step = 0; step < 4096; step++) {
        if (FT_Set_Char_Size(face, 0, points * 64, 72, 72) != 0) break;
        int h = CapitalHeight(face);
        if (h < 0 || h == pixelSize) break;
        int next = h < pixelSize ? 1 : -1;
        if ((direction && next != direction) || points + next < 1 || points + next > 4096) break;
        direction = next;
        points += next;
    }
    if (FT_Set_Char_Size(face, 0, points * 64, 72, 72) != 0) return nullptr;
    font->points = points * 64;

    // The line: ascender and descender of the face at that size, so that no glyph part is cut.
    int ascender = (int)((face->size->metrics.ascender + 63) / 64);
    int descender = (int)((-face->size->metrics.descender + 63) / 64);
    info->baseline = std::max(ascender, 1);
    info->height = std::max(ascender + descender, 1);
    info->name.clear();
    FT_UInt names = FT_Get_Sfnt_Name_Count(face);
    for (FT_UInt i = 0; i < names && info->name.empty(); i++) {
        FT_SfntName n;
        if (FT_Get_Sfnt_Name(face, i, &n) != 0 || n.name_id != TT_NAME_ID_FULL_NAME) continue;
        bool utf16 = n.platform_id == TT_PLATFORM_MICROSOFT || n.platform_id == TT_PLATFORM_APPLE_UNICODE;
        if (!utf16 && !(n.platform_id == TT_PLATFORM_MACINTOSH && n.encoding_id == TT_MAC_ID_ROMAN)) continue;
        for (FT_UInt k = utf16 ? 1 : 0; k < n.string_len && info->name.size() < 1023; k += utf16 ? 2 : 1) {
            if (utf16 && n.string[k - 1] != 0)
                info->name += '?';
            else if (n.string[k])
                info->name += (char)n.string[k];
        }
    }
    if (info->name.empty()) info->name = font->family;
    return owner.release();
}

void OsCloseSystemFont(qzSystemFont* font) {
    if (!font) return;
    for (FT_Face face : font->faces)
        if (face) FT_Done_Face(face);
    OsFree(font->memory);
    delete font;
}

void OsMeasureSystemText(qzSystemFont* font, const uint32_t* codes, size_t count, int style, double scalex,
                         double scaley, qzSystemTextBox* out) {
    GlyphWalk w = StartWalk(font, style, scalex, scaley);
    int64_t minx = INT_MAX, miny = INT_MAX, maxx = INT_MIN, maxy = INT_MIN;
    FT_Pos pen = WalkText(w, codes, count, [&](FT_GlyphSlot slot, FT_Pos penX) {
        if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_points == 0) return;
        FT_BBox box;
        FT_Outline_Get_CBox(&slot->outline, &box);
        minx = std::min<int64_t>(minx, (penX + box.xMin) >> 6);
        maxx = std::max<int64_t>(maxx, ((penX + box.xMax + 63) >> 6) - 1);
        miny = std::min<int64_t>(miny, -((box.yMax + 63) >> 6));
        maxy = std::max<int64_t>(maxy, -(box.yMin >> 6) - 1);
    });
    out->advance = (int)(pen / 64);
    if (style & SYSFONT_UNDERLINE) {
        int top, rows;
        UnderlineRows(w.face, scaley > 0 ? scaley : 1.0, &top, &rows);
        minx = std::min<int64_t>(minx, 0);
        maxx = std::max<int64_t>(maxx, out->advance - 1);
        miny = std::min<int64_t>(miny, top);
        maxy = std::max<int64_t>(maxy, top + rows - 1);
    }
    if (minx > maxx) {
        out->minx = out->miny = out->maxx = out->maxy = 0;
    } else {
        out->minx = (int)minx;
        out->maxx = (int)maxx;
        out->miny = (int)miny;
        out->maxy = (int)maxy;
    }
    FT_Set_Transform(w.face, nullptr, nullptr);
}

void OsRenderSystemText(qzSystemFont* font, const uint32_t* codes, size_t count, int style, double scalex,
                        double scaley, qzSystemTextImage* out) {
    qzSystemTextBox box;
    OsMeasureSystemText(font, codes, count, style, scalex, scaley, &box);
    out->coverage.clear();
    out->left = box.minx;
    out->top = box.miny;
    out->width = box.maxx - box.minx + 1;
    out->height = box.maxy - box.miny + 1;
    if (box.maxx < box.minx || box.maxy < box.miny || (int64_t)out->width * out->height > (1 << 28)) {
        out->width = out->height = 0;
        return;
    }
    out->coverage.assign((size_t)out->width * out->height, 0);
    GlyphWalk w = StartWalk(font, style, scalex, scaley);
    FT_Render_Mode mode = w.mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL;
    WalkText(w, codes, count, [&](FT_GlyphSlot slot, FT_Pos penX) {
        if (FT_Render_Glyph(slot, mode) != 0) return;
        const FT_Bitmap& b = slot->bitmap;
        int64_t gx = (penX >> 6) + slot->bitmap_left - out->left;
        int64_t gy = -slot->bitmap_top - out->top;
        for (unsigned r = 0; r < b.rows; r++) {
            int64_t y = gy + r;
            if (y < 0 || y >= out->height) continue;
            const unsigned char* row = b.buffer + (int64_t)r * b.pitch;
            for (unsigned c = 0; c < b.width; c++) {
                int64_t x = gx + c;
                if (x < 0 || x >= out->width) continue;
                int value = b.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[c >> 3] >> (7 - (c & 7))) & 1) * 255 : row[c];
                uint8_t& cell = out->coverage[(size_t)(y * out->width + x)];
                cell = (uint8_t)std::max<int>(cell, value);
            }
        }
    });
    if (style & SYSFONT_UNDERLINE) {
        int top, rows;
        UnderlineRows(w.face, scaley > 0 ? scaley : 1.0, &top, &rows);
        for (int y = top; y < top + rows; y++)
            for (int x = 0; x < box.advance; x++) {
                int64_t ix = x - out->left, iy = y - out->top;
                if (ix >= 0 && iy >= 0 && ix < out->width && iy < out->height)
                    out->coverage[(size_t)(iy * out->width + ix)] = 255;
            }
    }
    FT_Set_Transform(w.face, nullptr, nullptr);
}
