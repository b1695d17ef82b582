// The system font engine over the platform's system fonts; see system_font_engine.h.
#include "text/system_font_engine.h"

#include <cstring>

#include "base/error_codes.h"
#include "platform/chunk_name.h"
#include "platform/system_fonts.h"
#include "platform/vfs.h"
#include "text/glyph_draw.h"
#include "text/utf8_decode.h"

namespace {

// The system engine's record of a font: the platform font, or the font of a kind-1 or kind-2
// font's native fallback.
qzSystemFont* SystemFontOf(const qzFont* font) {
    return static_cast<qzSystemFont*>(font->kind == FONTKIND_SYSTEM ? font->enginedata : font->nativefallback);
}

// The characters of a text for the system engine: UTF-8 must be valid.
int TextCodes(const char* text, size_t length, int encoding, qzCodepoints* codes) {
    if (length >= QZ_SYSTEM_TEXT_LIMIT) return ERR_INTERNAL;
    if (encoding == ENCODING_UTF8 && length && !codes->decoded) return ERR_TEXTCONVERT;
    return codes->ok() ? 0 : ERR_MEM;
}

int PlatformStyle(int style) { return style & (SYSFONT_BOLD | SYSFONT_ITALIC | SYSFONT_UNDERLINE | SYSFONT_ANTIALIAS); }

}  // namespace

int MacOpenFont(const char* name, int size, int flags, qzFont* font) {
    unsigned char* data = nullptr;
    size_t dataSize = 0;
    if (IsChunkName(name) && VfsLoadFile(name, nullptr, nullptr, &data, &dataSize, false) != 0) return 0;
    qzSystemFontInfo info;
    qzSystemFont* sf = OsOpenSystemFont(name, data, dataSize, size, &info);
    if (!sf) return 0;
    const char* fontName = data ? info.name.c_str() : name;
    std::strncpy(font->name, fontName, 1023);
    font->name[1023] = '\0';
    font->size = (uint32_t)size;
    font->height = font->baseheight = info.height;
    font->baseline = font->basebaseline = info.baseline;
    font->kind = FONTKIND_SYSTEM;
    font->scalable = 1;
    font->antialias = 1;
    font->scalex = font->scaley = 1.0;
    font->enginedata = sf;
    return 1;
}

void MacCloseFont(qzFont* font) {
    OsCloseSystemFont(SystemFontOf(font));
    if (font->kind == FONTKIND_SYSTEM)
        font->enginedata = nullptr;
    else
        font->nativefallback = nullptr;
}

int MacMeasureText(qzFont* font, const char* text, size_t length, int style, int encoding, qzTextExtents* out) {
    qzCodepoints codes(text, length, encoding);
    int error = TextCodes(text, length, encoding, &codes);
    if (error) return error;
    qzSystemTextBox box;
    OsMeasureSystemText(SystemFontOf(font), codes.codes, codes.count, PlatformStyle(style), font->scalex, font->scaley,
                        &box);
    out->advance = box.advance;
    out->height = font->height;
    out->minx = box.minx;
    out->miny = box.miny;
    out->maxx = box.maxx;
    out->maxy = box.maxy;
    return 0;
}

int MacRenderText(qzFont* font, qzBitMap* bitmap, qzBitMap* mask, int x, int y, const char* text, size_t length,
                  int style, int encoding, const qzFontClip* clip, uint32_t colour) {
    qzCodepoints codes(text, length, encoding);
    int error = TextCodes(text, length, encoding, &codes);
    if (error) return error;
    qzSystemTextImage image;
    OsRenderSystemText(SystemFontOf(font), codes.codes, codes.count, PlatformStyle(style), font->scalex, font->scaley,
                       &image);
    if (image.width <= 0 || image.height <= 0) return 0;
    qzGlyphTarget target;
    if (!BeginGlyphTarget(&target, bitmap, mask, clip, colour)) return 0;
    qzGlyphImage glyph{image.coverage.data(), image.width, 0, image.width, image.height, 0};
    DrawGlyphImage(&target, (int64_t)x + image.left, (int64_t)y + font->baseline + image.top, glyph);
    EndGlyphTarget(&target);
    return 0;
}
