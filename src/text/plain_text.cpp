// The fast route of plain text; see plain_text.h.
//
// What the general route makes of plain text, and what this route reproduces without it: every
// line is one run at x 0 (a Print line at the cursor), lines lie one font height apart, and each
// run's glyphs are rendered once into a strip one line height plus one row tall. The block spans
// from the leftmost ink (or 0) to the widest line; 1-bit glyphs set mask bits, anti-aliased ones
// give alpha bytes; the block is blitted in the text colour through its mask or alpha channel. Here
// each strip is as wide as that block and is blitted where the block would put it. Strips of
// adjacent lines share one row (the last row of a line and the first of the next); 1-bit coverage
// sets the same pixels in either order, but alpha coverage that meets there is composed once by the
// general route, so anti-aliased text whose ink reaches that row on a line with a line below it
// goes the general way.
#include "text/plain_text.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer_filters.h"
#include "gfx/blit.h"
#include "gfx/blit_display.h"
#include "gfx/position.h"
#include "gfx/safe_blt.h"
#include "text/font_engine.h"
#include "text/text_output.h"

namespace {

struct PlainLine {
    const char* text;
    size_t length;
    int32_t y;  // the line's top within the block
    qzTextExtents extents;
};

// Frees the strips of one call.
struct Strips {
    qzBitMap* colour = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    ~Strips() {
        DeleteBitMap(colour);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
    }
};

// The bytes of a locked coverage strip, cleared.
bool ClearStrip(const qzBitMap* strip, int32_t rows) {
    qzLockInfo lock{};
    if (!LockBitMapPixels(strip, 0, &lock)) return false;
    std::memset(lock.pixels, 0, (size_t)lock.rowLength * (size_t)rows);
    UnlockBitMapPixels(&lock);
    return true;
}

}  // namespace

int DrawPlainText(VmState* state, qzTextStyle* ts, int mode, const qzTransformTags* transform,
                  const qzLayerTags* layerTags, uint32_t flags, bool* taken) {
    *taken = false;
    if (mode != TEXTMODE_TEXTOUT && mode != TEXTMODE_PRINT) return 0;
    if (flags & ~(uint32_t)TEXTRENDER_SCALECURSOR) return 0;
    if (ts->hasLineBreaks || ts->alignment != TEXT_ALIGN_LEFT) return 0;
    if (mode == TEXTMODE_TEXTOUT && IsXPositionConstant(ts->x)) return 0;
    if (transform && !IsIdentityMatrix(transform->matrix)) return 0;
    if (layerTags && (HasEnabledFilter(layerTags->filters) || layerTags->transparency)) return 0;
    const qzFontStyle& style = ts->style;
    if (style.style & ~(uint32_t)(FONTSTYLE_NORMAL | FONTSTYLE_ANTIALIAS)) return 0;
    if (style.color >> 24) return 0;
    qzFont* font = style.font ? style.font : GetInbuiltFont();
    if (!font || font->kind == FONTKIND_COLOR || font->height < 1) return 0;
    const bool alphaMode = style.style & FONTSTYLE_ANTIALIAS;
    if (alphaMode && !font->antialias) return 0;
    qzBlitDisplayInfo info;
    if (!DescribeBlitDisplay(nullptr, &info) || info.layersOn || info.outputKind != OUTPUT_DISPLAY || info.outputMask ||
        info.outputAlpha)
        return 0;

    // The quick scan: brackets, tabs and carriage returns need the general route; so does text
    // after a line feed when lines may wrap.
    const std::string& t = ts->text;
    for (const char c : t)
        if (c == '[' || c == ']' || c == '\t' || c == '\r') return 0;
    const int32_t wrapWidth = mode == TEXTMODE_PRINT ? ts->rightMargin - ts->leftMargin + 1 : ts->rightMargin;
    const int32_t startOffset = mode == TEXTMODE_PRINT ? ts->cursorX - ts->leftMargin : 0;
    const size_t firstFeed = t.find('\n');
    const bool endsWithFeed = firstFeed != std::string::npos && firstFeed + 1 == t.size();
    if ((mode == TEXTMODE_PRINT || wrapWidth) && firstFeed != std::string::npos && !endsWithFeed) return 0;

    std::vector<PlainLine> lines;
    int64_t left = 0, right = 0, lastY = 0;
    int32_t y = 0;
    for (size_t start = 0; start < t.size();) {
        size_t end = t.find('\n', start);
        if (end == std::string::npos) end = t.size();
        if (end > start) {
            PlainLine line{t.data() + start, end - start, y, {}};
            // A text the engine cannot measure goes the general way, which reports it.
            if (MeasureStyledText(line.text, line.length, ts->encoding, &line.extents, &style)) return 0;
            left = std::min<int64_t>(left, std::min(line.extents.minx, 0));
            right = std::max<int64_t>(right, line.extents.fullwidth);
            lastY = y;
            lines.push_back(line);
        }
        y += font->height;
        start = end + 1;
    }
    if (lines.empty()) return 0;
    if (wrapWidth && !((int64_t)startOffset + lines[0].extents.fullwidth < wrapWidth)) return 0;
    const int32_t lineHeight = font->height;
    if (alphaMode)
        for (size_t k = 0; k + 1 < lines.size(); k++)
            if (lines[k + 1].y == lines[k].y + lineHeight &&
                (int64_t)font->baseline + lines[k].extents.maxy >= lineHeight)
                return 0;
    const int32_t width = (int32_t)std::clamp<int64_t>(right - left, 1, INT32_MAX);
    const int32_t height = (int32_t)std::clamp<int64_t>(lastY + lineHeight + 1, 1, INT32_MAX);
    if ((int64_t)width * height > QZ_MAX_BITMAP_BYTES / 4) return 0;
    *taken = true;

    const int32_t rows = lineHeight + 1;
    Strips strips;
    strips.colour = CreateBitMap(width, rows, 0, nullptr);
    if (!strips.colour) return ERR_BITMAP;
    if (alphaMode)
        strips.alpha = CreateAlphaBitMap(width, rows, 1, nullptr, 0);
    else
        strips.mask = CreateMaskBitMap(strips.colour, width, rows, 1, nullptr, 0);
    qzBitMap* cover = alphaMode ? strips.alpha : strips.mask;
    if (!cover) return ERR_MEM;
    FillBitMapRect(strips.colour, 0, 0, width, rows, style.color & 0xFFFFFF);

    int32_t x = 0, top = 0;
    if (mode == TEXTMODE_PRINT) {
        x = ts->cursorX + (int32_t)left;
        top = ts->cursorY;
    } else {
        qzTransformTags defaults;
        if (!transform) {
            InitTransformTags(&defaults);
            transform = &defaults;
        }
        x = ResolveXPosition(ts->x, width, info.targetWidth, transform->anchorx) + (int32_t)left;
        top = ResolveYPosition(ts->y, height, info.targetHeight, transform->anchory);
    }
    qzDisplay* display = CurrentDisplay();
    if (display && display->doubleBuffer) AddRectToList(&display->rectList, x, top, width, height);
    for (const PlainLine& line : lines) {
        if (!ClearStrip(cover, rows)) return ERR_MEM;
        const int error = FontEngineRenderText(font, nullptr, cover, (int)-left, 0, line.text, line.length,
                                               (int)style.style, ts->encoding, nullptr, FONT_NO_COLOR);
        if (error) return error;
        SafeBlt(state, strips.colour, 0, 0, nullptr, x, top + line.y, width, rows, width, rows, info.targetWidth,
                info.targetHeight, SAFEBLT_FIRSTBUFFER | SAFEBLT_REDRAWLAYERS, strips.mask, strips.alpha,
                info.clipRegion);
    }

    if (mode == TEXTMODE_PRINT && display) {
        display->textCursorX = ts->leftMargin + (endsWithFeed ? 0 : startOffset + lines[0].extents.advance);
        display->textCursorY = ts->cursorY + (endsWithFeed ? font->height : 0);
    }
    ts->renderedWidth = width;
    ts->renderedHeight = height;
    return 0;
}
