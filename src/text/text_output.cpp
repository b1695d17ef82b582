// Putting formatted text on the current output.
#include "text/text_output.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_filters.h"
#include "display/layer_records.h"
#include "gfx/blit_display.h"
#include "gfx/position.h"
#include "gfx/safe_blt.h"
#include "image/brush_bitmaps.h"
#include "image/image_display.h"
#include "image/output_select.h"
#include "text/font_engine.h"
#include "text/plain_text.h"
#include "text/text_layer.h"

namespace {

int32_t ScaleValue(int32_t value, double factor) {
    const double v = std::nearbyint((double)value * factor);
    return (int32_t)std::clamp(v, -2147483647.0, 2147483647.0);
}

// Sets a scalable font's scale for one rendering and puts it back to 1 x 1 at the end.
struct FontScale {
    qzFont* font = nullptr;
    ~FontScale() {
        if (font) FontEngineSetScale(font, 1.0, 1.0);
    }
};

// Moves edge, shadow and transparency of the style into the layer's own border, shadow and
// transparency, so that the layer draws them.
void MoveEffectsToLayer(qzFontStyle* style, qzLayerTags* tags) {
    if (style->style & FONTSTYLE_EDGE) {
        tags->border.border = 1;
        tags->border.bordercolor = style->edgeColor;
        tags->border.bordersize = style->edgeSize;
        style->style &= ~(uint32_t)FONTSTYLE_EDGE;
        tags->effects = 1;
    }
    if (style->style & FONTSTYLE_SHADOW) {
        tags->shadow.shadow = 1;
        tags->shadow.shadowcolor = style->shadowColor;
        tags->shadow.shadowsize = style->shadowSize;
        tags->shadow.shadowdir = style->shadowDirection;
        style->style &= ~(uint32_t)FONTSTYLE_SHADOW;
        tags->effects = 1;
    }
    if (style->color >> 24) {
        tags->transparency = (int32_t)(style->color >> 24);
        style->color &= 0xFFFFFF;
        tags->effects = 1;
    }
}

// Turns a block by a matrix (rotation, mirroring, shear) into new bitmaps; the block's offsets
// become the new top-left relative to the text origin.
int TransformBlock(qzTextBlock* block, const double matrix[4], int smooth) {
    const double anchor[2] = {0.0, 0.0};
    qzBitMap *b = nullptr, *m = nullptr, *a = nullptr;
    int32_t x = 0, y = 0, w = 0, h = 0;
    const int error =
        TransformBrushBitmap(0, nullptr, block->bitmap, block->mask, block->alpha, 0, 0, block->left, block->top,
                             block->width, block->height, anchor, matrix, smooth, 0, &b, &m, &a, &x, &y, &w, &h);
    if (error) return error;
    FreeTextBlock(block);
    block->bitmap = b, block->mask = m, block->alpha = a;
    block->left = x, block->top = y, block->width = w, block->height = h;
    return 0;
}

}  // namespace

int RenderFormattedText(VmState* state, qzTextStyle* ts, int mode, int literal, const qzTransformTags* transformTags,
                        const qzLayerTags* layerTags, uint32_t flags, qzTextBlock* outBlock) {
    if (outBlock) *outBlock = qzTextBlock{};
    qzTransformTags transform;
    qzLayerTags tags;
    if (transformTags)
        transform = *transformTags;
    else
        InitTransformTags(&transform);
    if (layerTags)
        tags = *layerTags;
    else
        InitLayerTags(&tags);
    const bool rerender = flags & TEXTRENDER_RERENDER;
    // A selected brush, mask or alpha channel is looked up again before the first draw into it.
    if (mode != TEXTMODE_TEXTOBJECT && !rerender)
        if (int error = UpdateSelectedOutput(state)) return error;
    if (!(flags & TEXTRENDER_GENERALPATH)) {
        bool taken = false;
        const int error = DrawPlainText(state, ts, mode, transformTags, layerTags, flags, &taken);
        if (taken || error) return error;
    }

    qzBlitDisplayInfo info;
    const bool haveOutput = DescribeBlitDisplay(nullptr, &info);
    const bool layersOn =
        haveOutput && info.layersOn && info.outputKind == OUTPUT_DISPLAY && mode != TEXTMODE_TEXTOBJECT && !rerender;
    qzTextStyle work = *ts;
    if (layersOn) MoveEffectsToLayer(&work.style, &tags);
    // With layers on a transformed text is only measured here: the layer draws it anew from its
    // parameters at the transform, as it does whenever the layer is turned or scaled later.
    const double* m = transform.matrix;
    const bool layerRenders = layersOn && !IsIdentityMatrix(m);

    // The scale of the transform goes into a scalable font; what remains turns the block.
    qzFont* font = work.style.font ? work.style.font : GetInbuiltFont();
    FontScale scaled;
    double residual[4] = {m[0], m[1], m[2], m[3]};
    if (font && font->scalable && !IsIdentityMatrix(m) && !layerRenders) {
        double sx = 1.0, sy = 1.0;
        bool intoFont = true;
        if (m[1] == 0.0 && m[2] == 0.0) {
            sx = std::fabs(m[0]), sy = std::fabs(m[3]);
        } else if (!transform.hasusermatrix) {
            // A turn after a scale: each column of the matrix is the turned axis times its scale.
            sx = std::hypot(m[0], m[1]), sy = std::hypot(m[2], m[3]);
        } else {
            intoFont = false;
        }
        if (intoFont && sx > 0.0 && sy > 0.0) {
            FontEngineSetScale(font, sx, sy);
            scaled.font = font;
            residual[0] = m[0] / sx, residual[1] = m[1] / sx;
            residual[2] = m[2] / sy, residual[3] = m[3] / sy;
            const double f = sx;
            work.leftMargin = ScaleValue(work.leftMargin, f);
            work.rightMargin = ScaleValue(work.rightMargin, f);
            if (flags & TEXTRENDER_SCALECURSOR) work.cursorX = ScaleValue(work.cursorX, f);
            for (int32_t k = 0; k < work.tabCount && k < QZ_MAX_TAB_STOPS; k++)
                work.tabStops[k] = ScaleValue(work.tabStops[k], f);
            work.style.shadowSize = ScaleValue(work.style.shadowSize, f);
            work.style.edgeSize = ScaleValue(work.style.edgeSize, f);
            ClampFontStyle(&work.style);
        }
    }

    qzTextBlock block;
    qzTextLayout layout;
    // Kept tables are followed by every later rendering; the first one records them.
    const bool record = (flags & TEXTRENDER_KEEPTABLES) && !ts->hasLineBreaks;
    int error = RenderTextBlock(state, &work, mode, literal, record, layerRenders ? 1 : 0, &block, &layout);
    if (error) return error;
    // The block's bitmaps go on every way out until they are handed on, also when copying the
    // tables or showing the block runs out of memory and unwinds through here.
    std::unique_ptr<qzTextBlock, void (*)(qzTextBlock*)> blockOwner(&block, FreeTextBlock);
    if (record) {
        ts->hasLineBreaks = work.hasLineBreaks, ts->lineBreaks = work.lineBreaks;
        ts->hasTabTable = work.hasTabTable, ts->tabTable = work.tabTable;
    }
    if (!layerRenders && !IsIdentityMatrix(residual)) {
        error = TransformBlock(&block, residual, transform.smoothscale);
        if (error) {
            FreeTextBlock(&block);
            return error;
        }
    }
    ts->renderedWidth = block.width;
    ts->renderedHeight = block.height;
    if (mode == TEXTMODE_TEXTOBJECT || (flags & TEXTRENDER_RETURN)) {
        if (outBlock) {
            *outBlock = block;
            blockOwner.release();
        } else {
            FreeTextBlock(&block);
        }
        return 0;
    }

    int32_t x = 0, y = 0;
    qzDisplay* display = CurrentDisplay();
    if (mode == TEXTMODE_PRINT) {
        x = ts->leftMargin + block.startOffset + block.left;
        y = ts->cursorY + block.top;
        if (display && !rerender) {
            display->textCursorX = ts->leftMargin + layout.endX;
            display->textCursorY = ts->cursorY + layout.endY;
        }
    } else {
        x = ResolveXPosition(ts->x, block.width, info.targetWidth, transform.anchorx) + block.left;
        y = ResolveYPosition(ts->y, block.height, info.targetHeight, transform.anchory) + block.top;
    }
    if (layersOn) {
        // The layer keeps the text style it was drawn with (its effects now the layer's), so that
        // it can draw the text anew when it is turned, scaled or restyled.
        qzLayerState* st = NewTextLayerState(work, literal);
        if (!st) {
            FreeTextBlock(&block);
            return ERR_MEM;
        }
        const int32_t type = mode == TEXTMODE_PRINT ? QZ_LAYER_PRINT : QZ_LAYER_TEXTOUT;
        const int32_t insertPos = tags.insertpos ? tags.insertpos : -1;
        // The layer owns the bitmaps from here on, also when it fails.
        blockOwner.release();
        error = AddLayerForObject(state, type, qzObjectId{0, nullptr}, x, y, block.width, block.height, &transform,
                                  &tags, block.bitmap, block.mask, block.alpha, st, insertPos, 0, nullptr);
        // A layer on top, untransformed and without effects, is not refreshed: it is drawn here.
        if (!error && !layerRenders && !tags.effects && !tags.insertpos) BlitTextBlock(state, block, x, y);
        return error;
    }
    if (HasEnabledFilter(tags.filters) || tags.transparency) {
        error = ApplyDrawTagFilters(&tags, block.bitmap, &block.mask, &block.alpha, block.width, block.height);
        if (error) {
            FreeTextBlock(&block);
            return error;
        }
    }
    BlitTextBlock(state, block, x, y);
    FreeTextBlock(&block);
    return 0;
}

int PrintText(VmState* state, const char* text, size_t length, int literal) {
    qzTextStyle ts;
    ts.x = TEXT_ALIGN_CENTER;
    ts.style = *GetFontStyleState();
    ts.text.assign(text, length);
    ts.alignment = TEXT_ALIGN_LEFT;
    qzDisplay* display = CurrentDisplay();
    if (display) {
        ts.cursorX = display->textCursorX;
        ts.cursorY = display->textCursorY;
        ts.leftMargin = display->textLeftMargin;
        ts.rightMargin = display->textRightMargin;
        ts.tabCount = std::clamp(display->textTabCount, 0, QZ_MAX_TAB_STOPS);
        std::copy(display->textTabStops, display->textTabStops + ts.tabCount, ts.tabStops);
    }
    ts.encoding = ENCODING_ISO8859_1;
    return RenderFormattedText(state, &ts, TEXTMODE_PRINT, literal, nullptr, nullptr, 0, nullptr);
}

void BlitTextBlock(VmState* state, const qzTextBlock& block, int32_t x, int32_t y) {
    qzBlitDisplayInfo info;
    if (!DescribeBlitDisplay(nullptr, &info)) return;
    const int w = block.width, h = block.height;
    qzDisplay* display = CurrentDisplay();
    if (info.outputKind != OUTPUT_DISPLAY && info.outputKind != OUTPUT_BGPIC && info.outputBitmap) {
        SafeBlt(state, block.bitmap, 0, 0, info.outputBitmap, x, y, w, h, w, h, info.targetWidth, info.targetHeight, 0,
                block.mask, block.alpha, info.clipRegion);
        return;
    }
    if (display && display->doubleBuffer) AddRectToList(&display->rectList, x, y, w, h);
    SafeBlt(state, block.bitmap, 0, 0, nullptr, x, y, w, h, w, h, info.targetWidth, info.targetHeight,
            SAFEBLT_FIRSTBUFFER | SAFEBLT_REDRAWLAYERS, block.mask, block.alpha, info.clipRegion);
}
