// Text layers: their text drawn anew from its parameters, their borders and their style tags.
#include "text/text_layer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>

#include "base/error_codes.h"
#include "base/out_of_memory.h"
#include "display/display.h"
#include "display/draw_tags.h"
#include "display/layer.h"
#include "display/layer_kinds.h"
#include "display/layer_source.h"
#include "gfx/position.h"
#include "runtime/option_table.h"
#include "text/font_cache.h"
#include "text/font_engine.h"
#include "text/text_object.h"
#include "text/text_output.h"
#include "vm/vm.h"

namespace {

struct TextLayerRecord {
    qzTextStyle style;
    int32_t literal = 0;
};

// The records of PRINT and TEXTOUT layer states, by state. A state without one (made while the
// rows were not installed) is a plain record.
std::unordered_map<const qzLayerState*, std::unique_ptr<TextLayerRecord>> records;

TextLayerRecord* RecordOf(const qzLayerState* layerState) {
    const auto found = records.find(layerState);
    return found == records.end() ? nullptr : found->second.get();
}

int ModeOf(int32_t type) { return type == QZ_LAYER_PRINT ? TEXTMODE_PRINT : TEXTMODE_TEXTOUT; }

void FreeTextState(qzLayerState* layerState) {
    records.erase(layerState);
    delete layerState;
}

// A copy of the base state with a copy of its text style; null when memory runs out.
qzLayerState* CopyTextState(const qzLayer*, const qzLayerState* base) {
    qzLayerState* copy = nullptr;
    const int error = CatchOutOfMemory([&]() -> int {
        std::unique_ptr<qzLayerState> owned(new qzLayerState(*base));
        if (const TextLayerRecord* record = RecordOf(base))
            records.insert_or_assign(owned.get(), std::make_unique<TextLayerRecord>(*record));
        copy = owned.release();
        return 0;
    });
    return error ? nullptr : copy;
}

// Puts a rendered block into the state as its own bitmaps and drawn size.
void TakeBlock(qzLayerState* target, qzTextBlock* block) {
    FreeBitMapTrio(&target->own);
    target->own = {block->bitmap, block->mask, block->alpha};
    target->width = block->width;
    target->height = block->height;
    target->partX = target->partY = 0;
    *block = qzTextBlock{};
}

// Renders the text style anew under the transform into the state. The style's layout tables, when
// it has them, are followed, so that the lines break at the same words at every size.
int RenderStyleInto(VmState* state, const qzTextStyle& style, int mode, int literal, const qzTransformTags* transform,
                    qzLayerState* target) {
    qzTextStyle work = style;
    qzTextBlock block;
    const int error = RenderFormattedText(
        state, &work, mode, literal, transform, nullptr,
        TEXTRENDER_RERENDER | TEXTRENDER_KEEPTABLES | TEXTRENDER_RETURN | TEXTRENDER_SCALECURSOR, &block);
    if (error) return error;
    TakeBlock(target, &block);
    return 0;
}

int RenderTextContent(VmState* state, qzLayer* layer, qzLayerState* target, const qzTransformTags* transform) {
    const TextLayerRecord* record = RecordOf(target);
    if (!record) record = RecordOf(layer->base);
    if (!record || !transform) return ERR_WRONGUSAGE;
    return RenderStyleInto(state, record->style, ModeOf(layer->type), record->literal, transform, target);
}

// A state without bitmaps of its own (a layer made under a transform, drawn untransformed since)
// gets its text drawn at scale 1 when it is first drawn.
int TextStateBitmaps(VmState* state, const qzLayer* layer, const qzLayerState* layerState, int32_t,
                     qzLayerSource* out) {
    qzLayerState* st = const_cast<qzLayerState*>(layerState);
    if (!st->own.bitmap) {
        const TextLayerRecord* record = RecordOf(st);
        if (!record) return ERR_WRONGUSAGE;
        qzTransformTags identity;
        InitTransformTags(&identity);
        const int32_t width = st->width, height = st->height;
        const int error = RenderStyleInto(state, record->style, ModeOf(layer->type), record->literal, &identity, st);
        if (error) return error;
        // The box stays as the layer measured it.
        st->width = width, st->height = height;
    }
    out->trio = st->own;
    out->width = st->width;
    out->height = st->height;
    return 0;
}

// The border of a text layer: the text's outline grown by the border size (at the scale the
// state is drawn at) in the border colour. The layer redraw applies the colour's transparency.
int RenderTextBorder(VmState* state, qzLayer* layer, qzLayerState* st, double scaleX, double scaleY) {
    qzLayerSource source;
    int error = GetLayerSourceBitmaps(state, layer, st, 0, 0, -1, &source);
    if (error) return error;
    if (!source.trio.bitmap) return 0;
    const double scale = std::max(scaleX, scaleY);
    const int32_t size = std::max(1, (int32_t)std::lround(layer->border.bordersize * (scale > 0 ? scale : 1.0)));
    int32_t width = 0, height = 0;
    qzBitMapTrio border = {};
    error = CreateLayerBorderBitmap(source.trio.mask, source.trio.alpha, st->width, st->height,
                                    layer->border.bordercolor & 0xFFFFFF, size, &width, &height, &border.bitmap,
                                    &border.mask, &border.alpha);
    if (error) return error;
    FreeBitMapTrio(&st->border);
    st->border = border;
    st->borderGrowX = st->borderGrowY = size;
    return 0;
}

// The matrix of a text object's layer applied after the object's own transform.
void ComposeWithObject(const qzTextObject* object, qzTransformTags* transform) {
    const double* o = object->transform.matrix;
    if (IsIdentityMatrix(o)) return;
    const double l[4] = {transform->matrix[0], transform->matrix[1], transform->matrix[2], transform->matrix[3]};
    // Points map as (x * m0 + y * m2, x * m1 + y * m3).
    transform->matrix[0] = l[0] * o[0] + l[2] * o[1];
    transform->matrix[1] = l[1] * o[0] + l[3] * o[1];
    transform->matrix[2] = l[0] * o[2] + l[2] * o[3];
    transform->matrix[3] = l[1] * o[2] + l[3] * o[3];
}

int RenderTextObjectContent(VmState* state, qzLayer* layer, qzLayerState* target, const qzTransformTags* transform) {
    if (!transform) return ERR_WRONGUSAGE;
    qzTextObject* object = nullptr;
    const int error = FindTextObject(state, layer->id, &object, QZ_FINDTEXT_KEPT);
    if (error) return error;
    qzTransformTags t = *transform;
    ComposeWithObject(object, &t);
    return RenderStyleInto(state, *object->style, TEXTMODE_TEXTOBJECT, 0, &t, target);
}

void GetTextObjectStyle(VmState* state, const qzLayer* layer) { SetTableFieldObjectId(state, "id", layer->id); }

// The engine a font was opened with, as the "engine" option names it.
int32_t EngineOf(const qzFont* font) { return font && font->kind == FONTKIND_FREETYPE ? FONTENGINE_INBUILT : 0; }

// The font style bits a tag gives: NORMAL resets the style, the other style bits are added;
// SHADOW and EDGE switch the layer's shadow and border.
constexpr uint32_t kTextStyleBits = FONTSTYLE_BOLD | FONTSTYLE_ITALIC | FONTSTYLE_UNDERLINED | FONTSTYLE_ANTIALIAS;

// Reads "tabs": a table of numbers from index 0. ERR_TABEXPECTED for another type,
// ERR_NUMTABLEARG for an entry that is not a number.
int ReadTabs(VmState* state, int table, qzTextStyle* style, bool* found) {
    VmPushString(state, "tabs");
    VmGetTable(state, table);
    const int type = VmType(state, -1);
    if (type == VM_TNIL) {
        VmPop(state, 1);
        return 0;
    }
    if (type != VM_TTABLE) {
        VmPop(state, 1);
        return ERR_TABEXPECTED;
    }
    int32_t stops[QZ_MAX_TAB_STOPS];
    int32_t count = 0;
    for (int i = 0;; i++) {
        VmRawGetI(state, -1, i);
        const int entry = VmType(state, -1);
        if (entry == VM_TNIL) {
            VmPop(state, 1);
            break;
        }
        if (entry != VM_TNUMBER) {
            VmPop(state, 2);
            return ERR_NUMTABLEARG;
        }
        if (count < QZ_MAX_TAB_STOPS) stops[count++] = (int32_t)VmToNumber(state, -1);
        VmPop(state, 1);
    }
    VmPop(state, 1);
    std::sort(stops, stops + count);
    style->tabCount = count;
    std::copy(stops, stops + count, style->tabStops);
    *found = true;
    return 0;
}

// The tags of a PRINT or TEXTOUT layer (type), read into the scratch state's copy of the text
// style.
int ParseTextTags(VmState* state, int32_t type, int table, qzLayerState* scratch, int* changed) {
    TextLayerRecord* record = RecordOf(scratch);
    if (!record) return 0;
    qzTextStyle& ts = record->style;
    const qzTextStyle before = ts;
    const bool print = type == QZ_LAYER_PRINT;
    int32_t value = 0;
    if (GetTableFieldInt(state, table, "color", &value, nullptr)) ts.style.color = (uint32_t)value;
    int effects = 0;
    if (GetTableFieldInt(state, table, "fontstyle", &value, nullptr)) {
        if (value & FONTSTYLE_NORMAL) ts.style.style = FONTSTYLE_NORMAL;
        ts.style.style |= (uint32_t)value & kTextStyleBits;
        if (value & FONTSTYLE_SHADOW) effects |= QZ_KINDSTYLE_SHADOWON;
        if (value & FONTSTYLE_EDGE) effects |= QZ_KINDSTYLE_BORDERON;
    }
    if (GetTableFieldInt(state, table, "fontstyleclear", &value, nullptr)) {
        ts.style.style &= ~((uint32_t)value & kTextStyleBits);
        if (value & FONTSTYLE_SHADOW) effects = (effects & ~QZ_KINDSTYLE_SHADOWON) | QZ_KINDSTYLE_SHADOWOFF;
        if (value & FONTSTYLE_EDGE) effects = (effects & ~QZ_KINDSTYLE_BORDERON) | QZ_KINDSTYLE_BORDEROFF;
    }
    if (GetTableFieldInt(state, table, "encoding", &value, nullptr)) {
        if (value != ENCODING_ISO8859_1 && value != ENCODING_UTF8) return ERR_WRONGUSAGE;
        ts.encoding = value;
    }
    GetTableFieldInt(state, table, "rightmargin", &ts.rightMargin, nullptr);
    if (!print) GetTableFieldInt(state, table, "align", &ts.alignment, nullptr);
    bool tabsChanged = false;
    if (print) {
        GetTableFieldInt(state, table, "leftmargin", &ts.leftMargin, nullptr);
        GetTableFieldInt(state, table, "cursorx", &ts.cursorX, nullptr);
        GetTableFieldInt(state, table, "cursory", &ts.cursorY, nullptr);
        // The text starts at the cursor itself: no place is resolved against a size here.
        if (IsXPositionConstant(ts.cursorX) || IsYPositionConstant(ts.cursorY)) return ERR_NOCOORDCST;
        const int error = ReadTabs(state, table, &ts, &tabsChanged);
        if (error) return error;
    }
    // A new font, size or engine opens the font anew.
    const qzFont* font = ts.style.font ? ts.style.font : GetInbuiltFont();
    std::string name = font ? font->name : "";
    int32_t size = font ? (int32_t)font->size : 8;
    int32_t engine = EngineOf(font), cache = 1;
    bool reopen = false;
    reopen |= GetTableFieldString(state, table, "font", nullptr, 0, &name, nullptr) != 0;
    reopen |= GetTableFieldInt(state, table, "fontsize", &size, nullptr) != 0;
    reopen |= GetTableFieldInt(state, table, "fontengine", &engine, nullptr) != 0;
    reopen |= GetTableFieldInt(state, table, "fontcache", &cache, nullptr) != 0;
    if (reopen) {
        qzFont* opened = nullptr;
        const int error = OpenFontWithDefaults(name.c_str(), size, engine, cache, 0, &opened);
        if (error) return error;
        ts.style.font = opened;
    }
    std::string text;
    if (GetTableFieldString(state, table, "text", nullptr, 0, &text, nullptr)) ts.text = text;
    // Recorded line breaks and tab choices count words and tabs of the old text.
    if (ts.text != before.text || ts.encoding != before.encoding) {
        ts.hasLineBreaks = ts.hasTabTable = false;
        ts.lineBreaks.clear();
        ts.tabTable.clear();
    }
    const qzFontStyle &a = ts.style, &b = before.style;
    const bool same = a.style == b.style && a.color == b.color && a.font == b.font && ts.text == before.text &&
                      ts.encoding == before.encoding && ts.rightMargin == before.rightMargin &&
                      ts.alignment == before.alignment && ts.leftMargin == before.leftMargin &&
                      ts.cursorX == before.cursorX && ts.cursorY == before.cursorY && !tabsChanged;
    *changed = (same ? 0 : QZ_KINDSTYLE_CONTENT) | effects;
    return 0;
}

int ParseTextStyle(VmState* state, const qzLayer* layer, int table, qzLayerState* scratch, int* changed) {
    return ParseTextTags(state, layer->type, table, scratch, changed);
}

void GetTextStyle(VmState* state, const qzLayer* layer) {
    const TextLayerRecord* record = RecordOf(layer->base);
    if (!record) return;
    const qzTextStyle& ts = record->style;
    uint32_t bits = ts.style.style;
    if (layer->shadow.shadow) bits |= FONTSTYLE_SHADOW;
    if (layer->border.border) bits |= FONTSTYLE_EDGE;
    const qzFont* font = ts.style.font ? ts.style.font : GetInbuiltFont();
    SetTableFieldUInt(state, "color", ts.style.color);
    SetTableFieldUInt(state, "fontstyle", bits);
    SetTableFieldInt(state, "align", ts.alignment);
    SetTableFieldInt(state, "leftmargin", ts.leftMargin);
    SetTableFieldInt(state, "rightmargin", ts.rightMargin);
    SetTableFieldInt(state, "fontsize", font ? (int32_t)font->size : 0);
    SetTableFieldInt(state, "encoding", ts.encoding);
    VmPushString(state, "text");
    VmPushLString(state, ts.text.data(), ts.text.size());
    VmSetTable(state, -3);
    SetTableFieldString(state, "font", font ? font->name : "");
}

}  // namespace

qzLayerState* NewTextLayerState(const qzTextStyle& style, int literal) {
    qzLayerState* made = nullptr;
    const int error = CatchOutOfMemory([&]() -> int {
        auto record = std::make_unique<TextLayerRecord>();
        record->style = style;
        record->literal = literal;
        std::unique_ptr<qzLayerState> owned(NewLayerState());
        if (!owned) return ERR_MEM;
        records.insert_or_assign(owned.get(), std::move(record));
        made = owned.release();
        return 0;
    });
    return error ? nullptr : made;
}

const qzTextStyle* TextLayerStyle(const qzLayerState* layerState) {
    const TextLayerRecord* record = RecordOf(layerState);
    return record ? &record->style : nullptr;
}

int NewTextLayerContent(VmState* state, int32_t type, int table, int32_t x, int32_t y, qzTextLayerContent* out) {
    *out = qzTextLayerContent{};
    if (type != QZ_LAYER_PRINT && type != QZ_LAYER_TEXTOUT) return ERR_WRONGUSAGE;
    // Without the text rows a state could not keep its text style.
    if (LayerKindOps(type).freeState != FreeTextState) return ERR_WRONGUSAGE;
    // The text as TextOut or Print would draw it now; the layer draws its own shadow and border and
    // keeps its own transparency, so the style's effects are left out.
    qzTextStyle ts;
    ts.style = *GetFontStyleState();
    ts.style.style &= ~uint32_t(FONTSTYLE_SHADOW | FONTSTYLE_EDGE);
    ts.style.color &= 0xFFFFFF;
    ts.alignment = TEXT_ALIGN_LEFT;
    if (type == QZ_LAYER_PRINT) {
        ts.x = TEXT_ALIGN_CENTER;
        ts.encoding = ENCODING_ISO8859_1;
        ts.cursorX = x;
        ts.cursorY = y;
        if (const qzDisplay* display = CurrentDisplay()) {
            ts.leftMargin = display->textLeftMargin;
            ts.rightMargin = display->textRightMargin;
            ts.tabCount = std::clamp(display->textTabCount, 0, QZ_MAX_TAB_STOPS);
            std::copy(display->textTabStops, display->textTabStops + ts.tabCount, ts.tabStops);
        }
    } else {
        ts.x = x;
        ts.y = y;
        ts.encoding = GetDefaultTextEncoding();
    }
    std::unique_ptr<qzLayerState, void (*)(qzLayerState*)> st(NewTextLayerState(ts, 0), FreeTextState);
    if (!st) return ERR_MEM;
    int changed = 0;
    int error = ParseTextTags(state, type, table, st.get(), &changed);
    if (error) return error;
    qzTextStyle work = RecordOf(st.get())->style;
    qzTransformTags identity;
    InitTransformTags(&identity);
    qzTextBlock block;
    error = RenderFormattedText(state, &work, ModeOf(type), 0, &identity, nullptr,
                                TEXTRENDER_RERENDER | TEXTRENDER_RETURN, &block);
    if (error) return error;
    // Placed as TextOut places its block at x, y and Print at its cursor.
    if (type == QZ_LAYER_PRINT) {
        out->x = work.leftMargin + block.startOffset + block.left;
        out->y = work.cursorY + block.top;
    } else {
        out->x = work.x + block.left;
        out->y = work.y + block.top;
    }
    TakeBlock(st.get(), &block);
    out->effects = changed & ~QZ_KINDSTYLE_CONTENT;
    out->layerState = st.release();
    return 0;
}

void AddTextObjectLayerOps(qzLayerKindOps* ops) {
    ops->renderContent = RenderTextObjectContent;
    ops->renderBorder = RenderTextBorder;
    ops->getStyle = GetTextObjectStyle;
}

void InstallTextOutputLayerKinds(bool on) {
    qzLayerKindOps ops = {};
    ops.freeState = FreeTextState;
    ops.sourceBitmaps = TextStateBitmaps;
    ops.renderBorder = RenderTextBorder;
    ops.copyState = CopyTextState;
    ops.renderContent = RenderTextContent;
    ops.parseStyle = ParseTextStyle;
    ops.getStyle = GetTextStyle;
    for (int32_t type : {QZ_LAYER_TEXTOUT, QZ_LAYER_PRINT}) SetLayerKindOps(type, on ? &ops : nullptr);
    if (!on) records.clear();
}
