// The text engine: the current style, measuring styled slices and drawing runs with their emulated
// styles, shadow, edge and alignment. Runs are drawn through private 8-bit planes (coverage) and a
// 32-bit colour plane; the finished block is then written into bitmaps once.
#include "text/text_engine.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "base/error_codes.h"
#include "display/shadow_direction.h"
#include "gfx/bitmap_pixels.h"
#include "platform/os_alloc.h"
#include "platform/os_console.h"
#include "text/font_engine.h"

namespace {

qzFontStyle gFontStyle;
bool gFontStyleSet = false;
int32_t gDefaultEncoding = ENCODING_ISO8859_1;

qzFont* RunFont(const qzFontStyle* style) { return style->font ? style->font : GetInbuiltFont(); }

// How a style is drawn with a font: the bits handed to the engine and the ones emulated here.
struct StyleUse {
    int engineStyle;
    bool antialias;
    bool bold;
    bool italic;
    bool underline;
};

StyleUse UseOfStyle(const qzFont* font, uint32_t style) {
    StyleUse use{};
    const bool native = font && IsNativeFont(font);
    use.antialias = (style & FONTSTYLE_ANTIALIAS) && font && font->antialias;
    if (native) {
        use.engineStyle = (int)style;
        return use;
    }
    // Anti-aliased glyphs come from the engine with its own bold and italic; 1-bit strips get
    // all three emulated.
    use.underline = style & FONTSTYLE_UNDERLINED;
    if (use.antialias) {
        use.engineStyle = (int)(style & ~(uint32_t)FONTSTYLE_UNDERLINED);
    } else {
        use.engineStyle =
            (int)(style & ~(uint32_t)(FONTSTYLE_UNDERLINED | FONTSTYLE_BOLD | FONTSTYLE_ITALIC | FONTSTYLE_ANTIALIAS));
        use.bold = style & FONTSTYLE_BOLD;
    }
    use.italic = (style & FONTSTYLE_ITALIC) && !use.antialias;
    return use;
}

int32_t Transparency(uint32_t colour) { return (int32_t)(colour >> 24); }

// The output block while it is drawn: a colour plane and a coverage plane (0/255 in mask mode).
struct Canvas {
    int32_t width = 0;
    int32_t height = 0;
    bool alphaMode = false;
    std::vector<uint32_t> rgb;
    std::vector<uint8_t> cover;
};

uint32_t Mix(uint32_t under, uint32_t over, uint32_t level) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t a = (under >> shift) & 255, b = (over >> shift) & 255;
        out |= ((a * (255 - level) + b * level + 127) / 255) << shift;
    }
    return out;
}

// Puts a colour at a pixel with a coverage level: in mask mode any level sets the pixel; with an
// alpha channel the colour is laid over what is there (paint, merge or both).
void PutPixel(Canvas* canvas, int64_t index, uint32_t colour, uint32_t level, bool paint, bool merge) {
    if (!level) return;
    uint32_t& rgb = canvas->rgb[index];
    uint8_t& cover = canvas->cover[index];
    const uint32_t transparency = colour >> 24;
    colour &= 0xFFFFFF;
    if (!canvas->alphaMode) {
        if (paint) rgb = colour;
        cover = 255;
        return;
    }
    if (paint) rgb = cover ? Mix(rgb, colour, level) : colour;
    if (merge) {
        const uint32_t over = level * (255 - transparency) / 255;
        cover = (uint8_t)(over + (uint32_t)cover * (255 - over) / 255);
    }
}

// A plane of coverage bytes in pen coordinates: column i lies at pen x x0 + i, row r at line row r.
struct Plane {
    int32_t x0 = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> cover;
    std::vector<uint32_t> rgb;  // colour fonts: the glyph colours
};

// Lays a plane onto the canvas with its column 0 at x, row 0 at y, clipped to the canvas. With a
// colour plane the plane's own colours are used.
void Stamp(Canvas* canvas, const Plane& plane, int64_t x, int64_t y, uint32_t colour, bool paint, bool merge,
           uint32_t transparency) {
    for (int32_t r = 0; r < plane.height; r++) {
        const int64_t cy = y + r;
        if (cy < 0 || cy >= canvas->height) continue;
        for (int32_t i = 0; i < plane.width; i++) {
            const int64_t cx = x + i;
            if (cx < 0 || cx >= canvas->width) continue;
            const size_t p = (size_t)r * plane.width + i;
            const uint32_t level = plane.cover[p];
            if (!level) continue;
            const uint32_t c = plane.rgb.empty() ? colour : plane.rgb[p];
            PutPixel(canvas, cy * canvas->width + cx, c | (transparency << 24), level, paint, merge);
        }
    }
}

// 32-bit sums of a (2e+1) square window over a plane: out (x, y) sums source rows y-2e..y and
// columns x-2e..x, for an output of (width + 2e) x (height + 2e).
std::vector<uint32_t> BoxSums(const uint8_t* source, int32_t width, int32_t height, int32_t e) {
    const int32_t span = 2 * e + 1;
    const int32_t ow = width + 2 * e, oh = height + 2 * e;
    std::vector<uint32_t> rows((size_t)ow * height);
    for (int32_t y = 0; y < height; y++) {
        uint32_t sum = 0;
        const uint8_t* s = source + (size_t)y * width;
        uint32_t* d = rows.data() + (size_t)y * ow;
        for (int32_t x = 0; x < ow; x++) {
            if (x < width) sum += s[x];
            if (x - span >= 0 && x - span < width) sum -= s[x - span];
            d[x] = sum;
        }
    }
    std::vector<uint32_t> out((size_t)ow * oh);
    for (int32_t x = 0; x < ow; x++) {
        uint32_t sum = 0;
        for (int32_t y = 0; y < oh; y++) {
            if (y < height) sum += rows[(size_t)y * ow + x];
            if (y - span >= 0 && y - span < height) sum -= rows[(size_t)(y - span) * ow + x];
            out[(size_t)y * ow + x] = sum;
        }
    }
    return out;
}

// The plane grown by e on every side: with an alpha channel the saturating dilation, in mask mode
// every pixel that any offset reaches.
Plane GrowPlane(const Plane& plane, int32_t e, bool alphaMode) {
    Plane grown;
    grown.x0 = plane.x0 - e;
    grown.width = plane.width + 2 * e;
    grown.height = plane.height + 2 * e;
    if (alphaMode) {
        grown.cover = DilateCoverage(plane.cover.data(), plane.width, plane.height, e);
        return grown;
    }
    const std::vector<uint32_t> sums = BoxSums(plane.cover.data(), plane.width, plane.height, e);
    grown.cover.resize(sums.size());
    for (size_t i = 0; i < sums.size(); i++) grown.cover[i] = sums[i] ? 255 : 0;
    return grown;
}

// Renders a run's slice into a plane one line high plus one row, with the emulated styles.
int RenderRunPlane(const qzTextRun& run, Plane* out) {
    qzFont* font = RunFont(&run.style);
    const StyleUse use = UseOfStyle(font, run.style.style);
    const int32_t lineHeight = std::max(font->height, 1);
    const int32_t baseline = font->baseline;
    Plane strip;
    strip.x0 = std::min(run.extents.minx, 0) - lineHeight - 2;
    const int32_t right = std::max(run.extents.fullwidth, run.extents.maxx + 1) + lineHeight + 2;
    strip.width = right - strip.x0;
    strip.height = lineHeight + 1;
    const bool colourFont = font->kind == FONTKIND_COLOR;
    // The planes' memory is taken before the bitmaps: running out of it then leaves none behind.
    strip.cover.assign((size_t)strip.width * strip.height, 0);
    if (colourFont) strip.rgb.reserve((size_t)strip.width * strip.height);
    qzBitMap* coverage = CreateAlphaBitMap(strip.width, strip.height, 1, nullptr, 0);
    if (!coverage) return ERR_MEM;
    // The strip bitmaps go also when a system font's rendering runs out of memory and unwinds
    // through here.
    std::unique_ptr<qzBitMap, void (*)(qzBitMap*)> coverageOwner(coverage, DeleteAlphaBitMap);
    qzBitMap* colour = nullptr;
    if (colourFont) {
        colour = CreateBitMap(strip.width, strip.height, 0, nullptr);
        if (!colour) return ERR_BITMAP;
    }
    std::unique_ptr<qzBitMap, void (*)(qzBitMap*)> colourOwner(colour, DeleteBitMap);
    int error = FontEngineRenderText(font, colour, coverage, -strip.x0, 0, run.text, run.length, use.engineStyle,
                                     run.encoding, nullptr, FONT_NO_COLOR);
    qzLockInfo lock{};
    if (!error && LockBitMapPixels(coverage, LOCKF_READONLY, &lock)) {
        for (int32_t r = 0; r < strip.height; r++)
            std::memcpy(&strip.cover[(size_t)r * strip.width],
                        (const uint8_t*)lock.pixels + (int64_t)r * lock.rowLength, (size_t)strip.width);
        UnlockBitMapPixels(&lock);
    }
    coverageOwner.reset();
    if (colour) {
        if (!error) {
            uint32_t* pixels = ReadBitMapPixels(colour, 0, 0, strip.width, strip.height, LOCKF_READONLY);
            if (!pixels)
                error = ERR_MEM;
            else {
                strip.rgb.assign(pixels, pixels + (size_t)strip.width * strip.height);
                OsFree(pixels);
            }
        }
        colourOwner.reset();
    }
    if (error) return error;

    Plane plane = strip;
    const size_t w = (size_t)strip.width;
    if (use.bold) {
        for (int32_t r = 0; r < strip.height; r++)
            for (size_t i = 1; i < w; i++) {
                const size_t p = r * w + i;
                if (strip.cover[p - 1] && !plane.cover[p]) {
                    plane.cover[p] = strip.cover[p - 1];
                    if (!plane.rgb.empty()) plane.rgb[p] = strip.rgb[p - 1];
                }
            }
    }
    if (use.italic) {
        const Plane upright = plane;
        std::fill(plane.cover.begin(), plane.cover.end(), 0);
        int32_t k = baseline / 2;
        for (int32_t r = 0; r < plane.height; r++) {
            for (int32_t i = 0; i < plane.width; i++) {
                const int32_t to = i + k;
                if (to < 0 || to >= plane.width) continue;
                plane.cover[r * w + to] = upright.cover[r * w + i];
                if (!plane.rgb.empty()) plane.rgb[r * w + to] = upright.rgb[r * w + i];
            }
            if ((baseline - 1 - r) & 1) k--;
        }
    }
    if (use.underline) {
        const int32_t d = lineHeight - baseline;
        const int32_t t = std::max(d / 3, 1);
        int32_t first = baseline + t, rows = t;
        if (d == 0) first = baseline, rows = 1;
        if (d == 1) first = baseline + 1, rows = 1;
        for (int32_t r = first; r < first + rows && r < plane.height; r++)
            for (int32_t x = 0; x < run.extents.advance; x++) {
                const int32_t i = x - plane.x0;
                if (r < 0 || i < 0 || i >= plane.width) continue;
                plane.cover[r * w + i] = 255;
                if (!plane.rgb.empty()) plane.rgb[r * w + i] = run.style.color & 0xFFFFFF;
            }
    }
    *out = std::move(plane);
    return 0;
}

bool RunNeedsAlpha(const qzTextRun& run) {
    const qzFontStyle& s = run.style;
    if ((s.style & FONTSTYLE_ANTIALIAS) && RunFont(&s) && RunFont(&s)->antialias) return true;
    if (Transparency(s.color)) return true;
    if ((s.style & FONTSTYLE_SHADOW) && Transparency(s.shadowColor)) return true;
    if ((s.style & FONTSTYLE_EDGE) && Transparency(s.edgeColor)) return true;
    return false;
}

// A stamp must start inside the block; one that does not is reported and skipped.
bool StampPlaceOk(int64_t x, int64_t y) {
    if (x >= 0 && y >= 0) return true;
    PrintConsole("ERROR! EDGEDRAW CALLED WITH NEGATIVE X/Y!\n");
    return false;
}

// The three passes of one run: shadow, edge, text. (ox, oy): the run's pen origin on the canvas.
void CompositeRun(Canvas* canvas, const qzTextRun& run, const Plane& plane, int64_t ox, int64_t oy) {
    const qzFontStyle& s = run.style;
    const bool colourFont = !plane.rgb.empty();
    const int64_t px = ox + plane.x0;
    const int64_t inkX = ox + std::min(run.extents.minx, 0);
    if (colourFont) {
        if (StampPlaceOk(inkX, oy)) Stamp(canvas, plane, px, oy, 0, true, true, 0);
        return;
    }
    const bool edge = s.style & FONTSTYLE_EDGE;
    const int32_t e = std::clamp(s.edgeSize, 1, 64);
    Plane grown;
    if (edge) grown = GrowPlane(plane, e, canvas->alphaMode);
    if (s.style & FONTSTYLE_SHADOW) {
        int32_t sdx = 0, sdy = 0;
        ShadowOffset(std::clamp(s.shadowSize, 1, 64), s.shadowDirection, &sdx, &sdy);
        const uint32_t t = (uint32_t)Transparency(s.shadowColor);
        if (edge) {
            if (StampPlaceOk(inkX + sdx - e, oy + sdy - e))
                Stamp(canvas, grown, px + sdx - e, oy + sdy - e, s.shadowColor, true, true, t);
        } else if (StampPlaceOk(inkX + sdx, oy + sdy)) {
            Stamp(canvas, plane, px + sdx, oy + sdy, s.shadowColor, true, true, t);
        }
    }
    if (edge && StampPlaceOk(inkX - e, oy - e))
        Stamp(canvas, grown, px - e, oy - e, s.edgeColor, true, true, (uint32_t)Transparency(s.edgeColor));
    if (!StampPlaceOk(inkX, oy)) return;
    const uint32_t t = (uint32_t)Transparency(s.color);
    bool paint = true, merge = true;
    if (canvas->alphaMode && edge) {
        if (t == 0 && Transparency(s.edgeColor) == 0)
            merge = false;
        else if (t == 255)
            paint = false;
    }
    Stamp(canvas, plane, px, oy, s.color, paint, merge, t);
}

// Writes the finished canvas into a colour bitmap with its mask or alpha channel.
int WriteBlock(const Canvas& canvas, qzTextBlock* out) {
    qzBitMap* bitmap = CreateBitMap(canvas.width, canvas.height, 0, nullptr);
    if (!bitmap) return ERR_BITMAP;
    qzBitMap* plane = canvas.alphaMode ? CreateAlphaBitMap(canvas.width, canvas.height, 1, nullptr, 0)
                                       : CreateMaskBitMap(bitmap, canvas.width, canvas.height, 1, nullptr, 0);
    qzLockInfo lock{};
    if (!plane || !LockBitMapPixels(plane, 0, &lock)) {
        if (plane) canvas.alphaMode ? DeleteAlphaBitMap(plane) : DeleteMaskBitMap(plane);
        DeleteBitMap(bitmap);
        return ERR_MEM;
    }
    for (int32_t y = 0; y < canvas.height; y++) {
        uint8_t* row = (uint8_t*)lock.pixels + (int64_t)y * lock.rowLength;
        const uint8_t* c = &canvas.cover[(size_t)y * canvas.width];
        if (canvas.alphaMode) {
            std::memcpy(row, c, (size_t)canvas.width);
        } else {
            for (int32_t x = 0; x < canvas.width; x++)
                if (c[x]) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
        }
    }
    UnlockBitMapPixels(&lock);
    WriteARGBToBitMap(canvas.rgb.data(), 0, 0, canvas.width * 4, bitmap, 0, 0, canvas.width, canvas.height);
    out->bitmap = bitmap;
    (canvas.alphaMode ? out->alpha : out->mask) = plane;
    return 0;
}

}  // namespace

qzFontStyle* GetFontStyleState() {
    if (!gFontStyleSet) ResetFontStyleState();
    return &gFontStyle;
}

void ResetFontStyleState() {
    gFontStyle = {FONTSTYLE_NORMAL, 0xFFFFFF, 0x000000, 0x0093DD, 4, QZ_SHDWSOUTHEAST, 2, GetInbuiltFont()};
    gFontStyleSet = true;
}

int32_t GetDefaultTextEncoding() { return gDefaultEncoding; }

void SetDefaultTextEncoding(int32_t encoding) { gDefaultEncoding = encoding; }

void ClampFontStyle(qzFontStyle* style) {
    style->shadowSize = std::clamp(style->shadowSize, 1, 64);
    style->edgeSize = std::clamp(style->edgeSize, 1, 64);
    if ((uint32_t)style->shadowDirection > 7) style->shadowDirection = QZ_SHDWSOUTHEAST;
}

void ShadowOffset(int32_t size, int32_t direction, int32_t* dx, int32_t* dy) {
    if ((uint32_t)direction > 7) direction = QZ_SHDWSOUTHEAST;
    *dx = kShadowStepX[direction] * size;
    *dy = kShadowStepY[direction] * size;
}

int MeasureStyledText(const char* text, size_t length, int encoding, qzTextExtents* out, const qzFontStyle* style) {
    *out = qzTextExtents{};
    qzFont* font = RunFont(style);
    if (!font) return ERR_WRONGUSAGE;
    const StyleUse use = UseOfStyle(font, style->style);
    const int error = FontEngineTextExtent(font, text, length, use.engineStyle, encoding, out);
    if (error) return error;
    out->height = font->height;
    if ((style->style & FONTSTYLE_BOLD) && !IsNativeFont(font) && !(style->style & FONTSTYLE_ANTIALIAS)) out->maxx += 1;
    if ((style->style & FONTSTYLE_ITALIC) && !IsNativeFont(font)) {
        out->maxx += font->baseline / 2;
        out->minx -= (font->height - font->baseline) / 2;
    }
    out->fullwidth = std::max(out->advance, out->maxx + 1);
    if (style->style & FONTSTYLE_EDGE) {
        const int32_t e = style->edgeSize;
        out->topgrowth = -e, out->bottomgrowth = e, out->leftgrowth = -e, out->rightgrowth = e;
    }
    if (style->style & FONTSTYLE_SHADOW) {
        int32_t dx = 0, dy = 0;
        ShadowOffset(style->shadowSize, style->shadowDirection, &dx, &dy);
        if (dx > 0) out->rightgrowth += dx;
        if (dx < 0) out->leftgrowth += dx;
        if (dy > 0) out->bottomgrowth += dy;
        if (dy < 0) out->topgrowth += dy;
    }
    return 0;
}

void FreeTextBlock(qzTextBlock* block) {
    DeleteBitMap(block->bitmap);
    DeleteMaskBitMap(block->mask);
    DeleteAlphaBitMap(block->alpha);
    block->bitmap = block->mask = block->alpha = nullptr;
}

std::vector<uint8_t> DilateCoverage(const uint8_t* source, int32_t width, int32_t height, int32_t edge) {
    const std::vector<uint32_t> sums = BoxSums(source, width, height, edge);
    std::vector<uint8_t> out(sums.size());
    const uint32_t divisor = 2 * (uint32_t)edge + 1;
    for (size_t i = 0; i < sums.size(); i++) out[i] = (uint8_t)std::min<uint32_t>(sums[i] / divisor, 255);
    return out;
}

int DrawTextRuns(std::vector<qzTextRun>& runs, int32_t startOffset, int32_t maxWidth, int32_t alignment, int sizesOnly,
                 qzTextBlock* out) {
    *out = qzTextBlock{};
    bool oneLine = true;
    for (const qzTextRun& run : runs)
        if (run.y != 0) oneLine = false;
    if (oneLine) {
        for (qzTextRun& run : runs) run.x -= startOffset;
        out->startOffset = startOffset;
    }
    int64_t leftReach = 0, rightReach = 0, rightInk = INT64_MIN, lastY = 0;
    int32_t topGrowth = 0, bottomGrowth = 0, lineHeight = 1;
    bool alphaMode = false;
    for (const qzTextRun& run : runs) {
        const qzTextExtents& x = run.extents;
        leftReach = std::min<int64_t>(leftReach, (int64_t)run.x + std::min(x.minx, 0) + x.leftgrowth);
        rightReach = std::max<int64_t>(rightReach, (int64_t)run.x + x.fullwidth + x.rightgrowth);
        rightInk = std::max<int64_t>(rightInk, (int64_t)run.x + x.maxx + 1);
        topGrowth = std::min(topGrowth, x.topgrowth);
        bottomGrowth = std::max(bottomGrowth, x.bottomgrowth);
        lastY = std::max<int64_t>(lastY, run.y);
        const qzFont* font = RunFont(&run.style);
        lineHeight = std::max(lineHeight, font ? font->height : 1);
        alphaMode = alphaMode || RunNeedsAlpha(run);
    }
    // Each line is shifted as a whole within the width of the widest one.
    if (alignment == TEXT_ALIGN_CENTER || alignment == TEXT_ALIGN_RIGHT) {
        for (size_t i = 0; i < runs.size();) {
            size_t end = i;
            while (end + 1 < runs.size() && runs[end + 1].y == runs[i].y) end++;
            const int64_t lineEnd = (int64_t)runs[end].x + runs[end].extents.maxx;
            int64_t shift = rightInk - lineEnd - 1;
            if (alignment == TEXT_ALIGN_CENTER) shift /= 2;
            for (size_t k = i; k <= end; k++) runs[k].x = (int32_t)(runs[k].x + shift);
            i = end + 1;
        }
    }
    int64_t width = rightReach - leftReach;
    if (maxWidth >= 1 && maxWidth - leftReach < width) width = maxWidth - leftReach;
    const int64_t height = lastY + lineHeight + bottomGrowth + 1 - topGrowth;
    out->left = (int32_t)leftReach;
    out->top = topGrowth;
    out->width = (int32_t)std::clamp<int64_t>(width, 1, INT32_MAX);
    out->height = (int32_t)std::clamp<int64_t>(height, 1, INT32_MAX);
    if (sizesOnly) return 0;
    if ((int64_t)out->width * out->height > QZ_MAX_BITMAP_BYTES / 4) return ERR_BITMAP;

    Canvas canvas;
    canvas.width = out->width;
    canvas.height = out->height;
    canvas.alphaMode = alphaMode;
    canvas.rgb.assign((size_t)canvas.width * canvas.height, 0);
    canvas.cover.assign((size_t)canvas.width * canvas.height, 0);
    for (const qzTextRun& run : runs) {
        if (!run.length) continue;
        Plane plane;
        const int error = RenderRunPlane(run, &plane);
        if (error) return error;
        CompositeRun(&canvas, run, plane, (int64_t)run.x - leftReach, (int64_t)run.y - topGrowth);
    }
    return WriteBlock(canvas, out);
}

int CreateLayerBorderBitmap(const qzBitMap* layerMask, const qzBitMap* layerAlpha, int32_t width, int32_t height,
                            uint32_t borderColor, int32_t borderSize, int32_t* outWidth, int32_t* outHeight,
                            qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha) {
    *outBitmap = *outMask = *outAlpha = nullptr;
    const int32_t s = std::clamp(borderSize, 1, 64);
    Canvas canvas;
    canvas.width = width + 2 * s + 1;
    canvas.height = height + 2 * s + 1;
    canvas.alphaMode = layerAlpha != nullptr;
    Plane plane;
    plane.width = width;
    plane.height = height;
    plane.cover.assign((size_t)width * height, layerMask || layerAlpha ? 0 : 255);
    const qzBitMap* source = layerAlpha ? layerAlpha : layerMask;
    qzLockInfo lock{};
    if (source && LockBitMapPixels(source, LOCKF_READONLY, &lock)) {
        for (int32_t y = 0; y < std::min(height, lock.height); y++) {
            const uint8_t* row = (const uint8_t*)lock.pixels + (int64_t)y * lock.rowLength;
            for (int32_t x = 0; x < std::min(width, lock.width); x++)
                plane.cover[(size_t)y * width + x] =
                    layerAlpha ? row[x] : ((row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0);
        }
        UnlockBitMapPixels(&lock);
    }
    canvas.rgb.assign((size_t)canvas.width * canvas.height, 0);
    canvas.cover.assign((size_t)canvas.width * canvas.height, 0);
    const Plane grown = GrowPlane(plane, s, canvas.alphaMode);
    Stamp(&canvas, grown, 0, 0, borderColor, true, true, (uint32_t)Transparency(borderColor));
    qzTextBlock block;
    const int error = WriteBlock(canvas, &block);
    if (error) return error == ERR_MEM ? (canvas.alphaMode ? ERR_ALLOCALPHA : ERR_ALLOCMASK) : error;
    *outBitmap = block.bitmap;
    *outMask = block.mask;
    *outAlpha = block.alpha;
    *outWidth = canvas.width;
    *outHeight = canvas.height;
    return 0;
}
