// Layer styles: ApplyLayerStyle reads a table of style tags for each addressed layer into copies
// of what the layer holds, and only when every tag was read does it change the layer, so a
// failing tag leaves the layer as it was. The single-purpose commands (transparency, tint, scale,
// rotation, matrix, anchor, filters, the next anim frame) build such a table.
#include "libs/layers/layers_style.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/draw_tags.h"
#include "display/layer.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "display/layer_transform.h"
#include "display/picture.h"
#include "display/rect_list.h"
#include "gfx/bitmap.h"
#include "gfx/clip_region.h"
#include "gfx/position.h"
#include "image/draw_options.h"
#include "image/image_display.h"
#include "libs/graphics/graphics.h"
#include "libs/layers/layer_render.h"
#include "libs/layers/layers_lib.h"
#include "libs/system/system.h"
#include "runtime/applet_version.h"
#include "runtime/arg_check.h"
#include "runtime/option_table.h"
#include "text/text_layer.h"
#include "text/text_object.h"
#include "vector/draw_state.h"
#include "vector/layer_fill_tags.h"
#include "vector/path_buffer.h"
#include "vector/path_layer.h"
#include "vector/path_render.h"
#include "vector/path_style.h"
#include "vector/shape_layer.h"
#include "vector/vector_engine.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

bool IsImageType(int32_t type) {
    return type == QZ_LAYER_BRUSH || type == QZ_LAYER_BRUSHPART || type == QZ_LAYER_BGPICPART;
}

// Layers whose content is one object named by "id".
bool ShownById(int32_t type) { return IsImageType(type) || type == QZ_LAYER_TEXTOBJECT; }

// Layers that may be given content of another kind (a video layer's video stops then; no layer
// becomes a video layer this way).
bool ContentReplaceable(int32_t type) { return IsLayerType(type); }

// The look of a path that becomes a layer's content: its path style (whose dash lengths it owns),
// draw state, colour and vector engine.
struct PathLook {
    qzPathRenderParams params;
    PathLook() = default;
    PathLook(const PathLook&) = delete;
    PathLook& operator=(const PathLook&) = delete;
    ~PathLook() { FreePathStyleCopy(&params.pathStyle); }
};

// What the tags of one table ask of one layer, read before anything changes.
struct StyleWork {
    int32_t type = 0;
    qzObjectId id = {0, nullptr};
    PathLook path;                              // the look of a path that becomes the layer's content
    std::unique_ptr<qzShapeLayerRecord> shape;  // the shape that a layer of another kind becomes
    int32_t textX = 0, textY = 0;               // where a layer that becomes a PRINT or TEXTOUT layer goes
    int32_t partX = 0, partY = 0, partWidth = 0, partHeight = 0;
    bool objectChanged = false;  // object, part or type of an image or text-object layer
    int32_t frame = 0;           // anims, 0-based
    bool frameChanged = false;
    bool videoPartChanged = false;                 // the rectangle of its frame that a video layer shows
    ScratchState scratch{nullptr, StateOwner{0}};  // the type's own tags
    bool kindChanged = false;
    int kindEffects = 0;  // QZ_KINDSTYLE_ shadow and border switches of the type's own tags
    qzTransformTags transform;
    bool transformChanged = false;
    double anchorx = 0, anchory = 0;
    bool anchorChanged = false;
    int32_t x = 0, y = 0;
    bool moved = false;
    int32_t smooth = 0;
    int32_t transparency = 0;
    qzFilterEntry filters[QZ_LAYER_FILTERS];
    bool filtersChanged = false;
    int32_t hidden = 0;
    qzShadowTags shadow;
    qzBorderTags border;
};

bool Present(VmState* state, int table, const char* key) {
    VmPushString(state, key);
    VmGetTable(state, table);
    const bool present = VmType(state, -1) != VM_TNIL;
    VmPop(state, 1);
    return present;
}

// The SHADOW and EDGE bits of a shape or path layer's "formstyle" and "formstyleclear" tags switch
// the layer's shadow and border on and off instead of changing the content's style.
constexpr int32_t kStyleShadow = 32, kStyleEdge = 64;

void ReadStyleSwitches(VmState* state, int table, StyleWork* w) {
    if (!IsShapeLayerType(w->type) && w->type != QZ_LAYER_VECTORPATH) return;
    int32_t bits = 0;
    if (GetTableFieldInt(state, table, "formstyle", &bits, nullptr)) {
        if (bits & kStyleShadow) w->shadow.shadow = 1;
        if (bits & kStyleEdge) w->border.border = 1;
    }
    if (GetTableFieldInt(state, table, "formstyleclear", &bits, nullptr)) {
        if (bits & kStyleShadow) w->shadow.shadow = 0;
        if (bits & kStyleEdge) w->border.border = 0;
    }
}

bool SameShadow(const qzShadowTags& a, const qzShadowTags& b) {
    if (a.shadow != b.shadow) return false;
    return !a.shadow || (a.shadowcolor == b.shadowcolor && a.shadowdir == b.shadowdir && a.shadowsize == b.shadowsize &&
                         a.shadowradius == b.shadowradius && a.shadowsigma == b.shadowsigma);
}

bool SameBorder(const qzBorderTags& a, const qzBorderTags& b) {
    return a.border == b.border && (!a.border || (a.bordercolor == b.bordercolor && a.bordersize == b.bordersize));
}

// The 0-based frame that an anim layer is to show: 1..count as given, 0 the next one (the first
// after the last), -1 the last. ERR_ANIMFRAME for anything else.
int ResolveAnimFrame(const qzLayer* layer, int32_t frame, int32_t* out) {
    const int32_t count = layer->base->partY, current = layer->base->partX;
    if (frame == 0)
        *out = count > 0 ? (current + 1) % count : 0;
    else if (frame == -1)
        *out = std::max(count - 1, 0);
    else if (frame >= 1 && frame <= count)
        *out = frame - 1;
    else
        return ERR_ANIMFRAME;
    return 0;
}

// The size of the frame that a video layer shows a rectangle of: its own bitmap, which holds the
// whole frame, else the video's frame size.
void VideoLayerFrameSize(const qzLayer* layer, int32_t* width, int32_t* height) {
    const qzLayerState* base = layer->base;
    if (const qzBitMap* frame = base->own.bitmap) {
        *width = frame->width;
        *height = frame->height;
        return;
    }
    *width = base->width;
    *height = base->height;
    if (const auto frameSize = LayerKindOps(layer->type).videoFrameSize) frameSize(layer, width, height);
}

// The part tags of a video layer: the rectangle of the frame to show, refused as a part of a
// brush is (ERR_BADDIMENSIONS, ERR_NEGCOORDS, ERR_COORDSRANGE) and cut to what lies in the frame.
int ReadVideoPart(VmState* state, const qzLayer* layer, int table, StyleWork* w) {
    bool given = false;
    given |= GetTableFieldInt(state, table, "partx", &w->partX, nullptr) != 0;
    given |= GetTableFieldInt(state, table, "party", &w->partY, nullptr) != 0;
    given |= GetTableFieldInt(state, table, "partwidth", &w->partWidth, nullptr) != 0;
    given |= GetTableFieldInt(state, table, "partheight", &w->partHeight, nullptr) != 0;
    if (!given) return 0;
    int32_t frameWidth = 0, frameHeight = 0;
    VideoLayerFrameSize(layer, &frameWidth, &frameHeight);
    if (w->partWidth < 1 || w->partHeight < 1) return ERR_BADDIMENSIONS;
    if (w->partX < 0 || w->partY < 0) return ERR_NEGCOORDS;
    if (w->partX >= frameWidth || w->partY >= frameHeight) return ERR_COORDSRANGE;
    w->partWidth = std::min(w->partWidth, frameWidth - w->partX);
    w->partHeight = std::min(w->partHeight, frameHeight - w->partY);
    const qzLayerState* base = layer->base;
    w->videoPartChanged = w->partX != base->partX || w->partY != base->partY || w->partWidth != base->width ||
                          w->partHeight != base->height;
    return 0;
}

// Shows another rectangle of the video layer's frame: the base state keeps the whole frame and
// draws the rectangle from its corner; the layer's size (a target size, or scale factors) applies
// to the rectangle. On failure the layer shows what it showed.
int SetVideoPart(VmState* state, qzLayer* layer, const StyleWork& w) {
    qzLayerState* base = layer->base;
    const qzLayerState saved = *base;
    const qzTransformTags savedTransform = layer->transform;
    const auto place = [&](int32_t x, int32_t y, int32_t width, int32_t height) {
        base->partX = x;
        base->partY = y;
        base->width = base->sourceWidth = width;
        base->height = base->sourceHeight = height;
        base->untransformedLeft = base->left = base->x - int32_t(std::trunc(layer->anchorx * width));
        base->untransformedTop = base->top = base->y - int32_t(std::trunc(layer->anchory * height));
        FreeBitMapTrio(&base->resized);
        FreeLayerBorders(layer);
        FreeLayerCaches(layer);
        RestoreLayerMatrix(&layer->transform, width, height);
    };
    place(w.partX, w.partY, w.partWidth, w.partHeight);
    const int error = RenderLayerStates(state, layer);
    if (error) {
        layer->transform = savedTransform;
        place(saved.partX, saved.partY, saved.width, saved.height);
        RenderLayerStates(state, layer);
    }
    return error;
}

// Shows the frame in every state of the anim layer.
int SetAnimFrame(VmState* state, qzLayer* layer, int32_t frame) {
    qzLayerState* states[3];
    const int count = DistinctLayerStates(layer, states);
    for (int i = 0; i < count; i++) states[i]->partX = frame;
    FreeLayerCaches(layer);
    if (layer->transformed != layer->base || layer->display != layer->transformed)
        return RenderLayerStates(state, layer);
    return 0;
}

void TextObjectOffset(VmState* state, const qzLayer* layer, int32_t* x, int32_t* y);

// A layer of another kind becomes a PRINT or TEXTOUT layer: its text ("text" required), drawn
// now with the current font style and the table's text tags, starts where the layer lies.
int ReadNewText(VmState* state, const qzLayer* layer, int table, int32_t type, StyleWork* w) {
    if (!ContentReplaceable(layer->type)) return ERR_WRONGUSAGE;
    if (!Present(state, table, "text")) return ERR_MISSINGPARAMTR;
    int32_t x = layer->base->x, y = layer->base->y;
    TextObjectOffset(state, layer, &x, &y);
    qzTextLayerContent text;
    const int error = NewTextLayerContent(state, type, table, x, y, &text);
    if (error) return error;
    w->scratch = ScratchState(text.layerState, StateOwner{type});
    w->textX = text.x;
    w->textY = text.y;
    w->type = type;
    w->objectChanged = true;
    w->kindEffects = text.effects;
    return 0;
}

// A shape that a layer of another kind becomes: its defining tags (required), colour and fill
// style over the current draw state and colour 0. The shadow and edge of the draw state are left
// out: the layer keeps its own shadow and border unless the table switches them.
int ReadNewShape(VmState* state, const qzLayer* layer, int table, int32_t type, StyleWork* w) {
    if (!LayerKindOps(type).parseStyle || !ShapesGoToLayers()) return ERR_WRONGUSAGE;
    auto shape = std::make_unique<qzShapeLayerRecord>();
    shape->drawState = *GetDrawState();
    shape->drawState.formStyle &= ~uint32_t(FORM_SHADOW | FORM_EDGE);
    shape->color = 0;
    const int error = ParseNewShapeTags(state, table, shape.get());
    if (error) return error;
    w->type = type;
    w->shape = std::move(shape);
    w->objectChanged = true;
    return 0;
}

// Steps 1 and 2: the type and the content tags.
int ReadContent(VmState* state, const qzLayer* layer, int table, StyleWork* w) {
    const qzLayerState* base = layer->base;
    w->type = layer->type;
    w->id = layer->id;
    w->partX = base->partX;
    w->partY = base->partY;
    w->partWidth = base->width;
    w->partHeight = base->height;
    int32_t type = layer->type;
    const bool typeGiven = GetTableFieldInt(state, table, "type", &type, nullptr);
    if (typeGiven && type != layer->type) {
        if (type == QZ_LAYER_VIDEO) return ERR_WRONGUSAGE;
        // A layer may become a shape (given by the shape's defining tags), a path, an image or a
        // text object (given by "id"), or PRINT or TEXTOUT text (given by "text").
        if (IsShapeLayerType(type) && IsShapeLayerType(layer->type)) {
            w->type = type;
        } else if (IsShapeLayerType(type)) {
            return ReadNewShape(state, layer, table, type, w);
        } else if (type == QZ_LAYER_VECTORPATH) {
            // A path given by "id", drawn with the current draw state, path style and vector engine
            // and the table's own tags for them.
            if (!Present(state, table, "id")) return ERR_MISSINGPARAMTR;
            qzObjectId id = w->id;
            GetTableFieldObjectId(state, table, "id", &id, nullptr);
            qzPath* path = nullptr;
            int error = FindPath(id, &path);
            if (error) return error;
            if (!path->buffer || PathReadU32(path->buffer) == QZ_PATHOP_END) return ERR_EMPTYPATH;
            qzPathRenderParams& look = w->path.params;
            if (CopyPathStyle(GetPathStyle(), &look.pathStyle) != 0) return ERR_MEM;
            look.drawState = *GetDrawState();
            look.color = 0;
            look.engine = GetCurrentVectorEngine();
            int changed = 0;
            error = ParseLayerFillTags(state, table, &look.drawState, &look.color, &changed);
            if (!error) error = ParsePathStyleTags(state, table, &look.pathStyle, &look.engine);
            if (error) return error;
            w->type = type;
            w->id = path->header.id;
            w->objectChanged = true;
            return 0;
        } else if (type == QZ_LAYER_TEXTOUT || type == QZ_LAYER_PRINT) {
            return ReadNewText(state, layer, table, type, w);
        } else {
            if (!ShownById(type) || !ContentReplaceable(layer->type)) return ERR_WRONGUSAGE;
            if (!Present(state, table, "id")) return ERR_MISSINGPARAMTR;
            w->type = type;
            w->objectChanged = true;
            if (type == QZ_LAYER_BRUSH) {
                w->partX = w->partY = 0;
            } else if (!IsImageType(layer->type)) {
                // No part shown before: the whole object unless the part tags say otherwise
                // (the display core cuts the size to the object).
                w->partX = w->partY = 0;
                w->partWidth = w->partHeight = INT32_MAX;
            }
        }
    }
    if (IsImageType(w->type)) {
        qzObjectId id = w->id;
        if (GetTableFieldObjectId(state, table, "id", &id, nullptr) && !SameObjectId(id, w->id)) {
            w->id = id;
            w->objectChanged = true;
        }
        bool part = false;
        part |= GetTableFieldInt(state, table, "partx", &w->partX, nullptr) != 0;
        part |= GetTableFieldInt(state, table, "party", &w->partY, nullptr) != 0;
        part |= GetTableFieldInt(state, table, "partwidth", &w->partWidth, nullptr) != 0;
        part |= GetTableFieldInt(state, table, "partheight", &w->partHeight, nullptr) != 0;
        if (part) {
            w->objectChanged = true;
            if (w->type == QZ_LAYER_BRUSH) w->type = QZ_LAYER_BRUSHPART;
        }
        return 0;
    }
    if (w->type == QZ_LAYER_VIDEO) return ReadVideoPart(state, layer, table, w);
    if (w->type == QZ_LAYER_TEXTOBJECT) {
        // Another text object: it must exist now (a freed one kept by layers does not count).
        qzObjectId id = w->id;
        if (GetTableFieldObjectId(state, table, "id", &id, nullptr) &&
            (!SameObjectId(id, w->id) || w->type != layer->type)) {
            qzTextObject* object = nullptr;
            const int error = FindTextObject(state, id, &object, 0);
            if (error) return error;
            w->id = id;
            w->objectChanged = true;
        }
        return 0;
    }
    if (layer->type == QZ_LAYER_ANIM) {
        int32_t frame = 0;
        if (!GetTableFieldInt(state, table, "frame", &frame, nullptr)) return 0;
        const int error = ResolveAnimFrame(layer, frame, &w->frame);
        if (error) return error;
        w->frameChanged = w->frame != base->partX;
        return 0;
    }
    const qzLayerKindOps& ops = LayerKindOps(layer->type);
    if (!ops.parseStyle || !ops.copyState) return 0;
    qzLayerState* scratch = NewLayerStateFromBase(layer);
    if (!scratch) return ERR_MEM;
    w->scratch = ScratchState(scratch, StateOwner{layer->type});
    int changed = 0;
    const int error = ops.parseStyle(state, layer, table, scratch, &changed);
    if (error) return error;
    w->kindChanged = (changed & QZ_KINDSTYLE_CONTENT) != 0;
    w->kindEffects = changed;
    return 0;
}

// Step 3: the transformation.
int ReadTransform(VmState* state, int table, StyleWork* w) {
    qzTransformTags& t = w->transform;
    double matrix[4];
    if (GetTableFieldMatrix(state, table, "transform", matrix, nullptr)) {
        if (matrix[0] == 0 || matrix[3] == 0) return ERR_WRONGUSAGE;
        for (int i = 0; i < 4; i++) t.usermatrix[i] = matrix[i];
        t.hasusermatrix = 1;
        t.scalex = t.scaley = 1;
        t.rotate = 0;
        t.width = t.height = 0;
        w->transformChanged = true;
        return 0;
    }
    double factor = 0;
    if (GetTableFieldNumber(state, table, "scalex", &factor, nullptr)) {
        if (!(factor > 0)) return ERR_BADDIMENSIONS;
        t.scalex = factor;
        t.width = 0;
        w->transformChanged = true;
    }
    if (GetTableFieldNumber(state, table, "scaley", &factor, nullptr)) {
        if (!(factor > 0)) return ERR_BADDIMENSIONS;
        t.scaley = factor;
        t.height = 0;
        w->transformChanged = true;
    }
    const char* sizes[2] = {"width", "height"};
    for (int axis = 0; axis < 2; axis++) {
        VmPushString(state, sizes[axis]);
        VmGetTable(state, table);
        const bool number = VmType(state, -1) == VM_TNUMBER;
        const double given = number ? VmToNumber(state, -1) : 0;
        VmPop(state, 1);
        if (number && given < 0) return ERR_BADDIMENSIONS;
        int32_t value = 0;
        if (!GetTableFieldIntOrPercent(state, table, sizes[axis], 1, &value, nullptr)) continue;
        w->transformChanged = true;
        if (value < 0) {
            // A percentage becomes a factor.
            (axis ? t.scaley : t.scalex) = -value / 100.0;
            (axis ? t.height : t.width) = 0;
        } else if (value == 0 && !number) {
            return ERR_BADDIMENSIONS;  // "0%"
        } else {
            (axis ? t.height : t.width) = value;
        }
    }
    double rotate = 0;
    if (GetTableFieldNumber(state, table, "rotate", &rotate, nullptr)) {
        t.rotate = ReduceDegrees(rotate);
        w->transformChanged = true;
    }
    if (w->transformChanged) t.hasusermatrix = 0;
    return 0;
}

// Reads every tag of the table for the layer. 0 or the first tag's error; the layer is unchanged
// except by "clipregion", "nocliptransform" and "z", which act when they are read.
int ReadStyle(VmState* state, qzBGPic* pic, qzLayer* layer, int table, StyleWork* w, bool* clipChanged) {
    w->shadow = layer->shadow;
    w->border = layer->border;
    int error = ReadContent(state, layer, table, w);
    if (error) return error;
    ReadStyleSwitches(state, table, w);
    w->transform = layer->transform;
    error = ReadTransform(state, table, w);
    if (error) return error;
    // 4. Anchors.
    w->anchorx = layer->anchorx;
    w->anchory = layer->anchory;
    const char* anchors[2] = {"anchorx", "anchory"};
    for (int axis = 0; axis < 2; axis++) {
        double value = 0;
        if (!GetTableFieldNumber(state, table, anchors[axis], &value, nullptr)) continue;
        if (!(value >= 0 && value <= 1)) return ERR_WRONGUSAGE;
        (axis ? w->anchory : w->anchorx) = value;
        w->anchorChanged = true;
    }
    // 5. Position: relative, else absolute (position constants against the layer's size).
    const qzLayerState* base = layer->base;
    w->x = base->x;
    w->y = base->y;
    int32_t value = 0;
    if (GetTableFieldInt(state, table, "translatex", &value, nullptr)) {
        w->x = base->x + value;
        w->moved = true;
    } else if (GetTableFieldInt(state, table, "x", &value, nullptr)) {
        w->x = ResolveXPosition(value, layer->transformed->width, pic->width, w->anchorx, 0);
        w->moved = true;
    }
    if (GetTableFieldInt(state, table, "translatey", &value, nullptr)) {
        w->y = base->y + value;
        w->moved = true;
    } else if (GetTableFieldInt(state, table, "y", &value, nullptr)) {
        w->y = ResolveYPosition(value, layer->transformed->height, pic->height, w->anchory, 0);
        w->moved = true;
    }
    // 6, 7.
    w->smooth = w->transform.smoothscale;
    GetTableFieldBool(state, table, "smoothscale", &w->smooth, nullptr);
    w->transparency = layer->transparency;
    ReadLevelTag(state, table, "transparency", &w->transparency);
    // 8. Filters.
    std::memcpy(w->filters, layer->filters, sizeof(w->filters));
    int changed = 0;
    if (ParseLayerFilters(state, table, w->filters, &changed, &error) && error) return error;
    qzFilterEntry& tint = w->filters[FILTER_TINT];
    int32_t level = 0;
    if (ReadLevelTag(state, table, "tint", &level)) {
        tint.enabled = level != 0;
        tint.ints[1] = level;
    }
    if (GetTableFieldInt(state, table, "tintcolor", &value, nullptr)) tint.ints[0] = value;
    int32_t clear = 0;
    if (GetTableFieldBool(state, table, "clearfilters", &clear, nullptr) && clear)
        for (qzFilterEntry& f : w->filters) f.enabled = 0;
    w->filtersChanged = std::memcmp(w->filters, layer->filters, sizeof(w->filters)) != 0;
    // 9, 10.
    w->hidden = layer->hidden;
    GetTableFieldFlag(state, table, "hidden", &w->hidden, nullptr);
    if (w->kindEffects & (QZ_KINDSTYLE_SHADOWON | QZ_KINDSTYLE_SHADOWOFF))
        w->shadow.shadow = (w->kindEffects & QZ_KINDSTYLE_SHADOWON) ? 1 : 0;
    error = ParseShadowTags(state, table, &w->shadow);
    if (error) return error;
    if (w->kindEffects & (QZ_KINDSTYLE_BORDERON | QZ_KINDSTYLE_BORDEROFF))
        w->border.border = (w->kindEffects & QZ_KINDSTYLE_BORDERON) ? 1 : 0;
    error = ParseBorderTags(state, table, 1, &w->border);
    if (error) return error;
    // 11-13 act at once.
    qzObjectId region = {0, nullptr};
    if (GetTableFieldObjectId(state, table, "clipregion", &region, nullptr)) {
        qzClipRegion* clip = nullptr;
        if (!(region.number == -1 && !region.pointer)) {
            error = FindClipRegion(region, &clip, 0);
            if (error) return error;
        }
        qzLayerState* states[3];
        const int count = DistinctLayerStates(layer, states);
        for (int i = 0; i < count; i++) SetLayerStateClipRegion(states[i], clip, 0);
        *clipChanged = true;
    }
    if (GetTableFieldFlag(state, table, "nocliptransform", &layer->noClipTransform, nullptr)) {
        *clipChanged = true;
    }
    int32_t z = 0;
    if (GetTableFieldLayerId(state, table, "z", FindLayerByNameInCurrentBGPic, &z, nullptr)) {
        if (MoveLayerInList(pic, layer, z)) AddLayerToDirtyRegion(state, LayersRectList(), layer);
    }
    return 0;
}

// The look of the layer, for the layer that replaces it.
void LayerLookTags(const qzLayer* layer, qzLayerTags* tags) {
    InitLayerTags(tags);
    tags->hidden = layer->hidden;
    tags->transparency = layer->transparency;
    tags->shadow = layer->shadow;
    tags->border = layer->border;
    std::memcpy(tags->filters, layer->filters, sizeof(tags->filters));
    tags->effects = 1;
}

// A text-object layer lies at its position plus its object's offset: takes the offset away.
void TextObjectOffset(VmState* state, const qzLayer* layer, int32_t* x, int32_t* y) {
    qzTextObject* old = nullptr;
    if (layer->type != QZ_LAYER_TEXTOBJECT || FindTextObject(state, layer->id, &old, QZ_FINDTEXT_KEPT) != 0) return;
    *x -= old->left;
    *y -= old->top;
}

// Shows the image layer's new object or part as a layer in its place, keeping its look.
int ReplaceImageContent(VmState* state, qzBGPic* pic, qzLayer* layer, const StyleWork& w) {
    qzTransformTags transform = layer->transform;
    qzLayerTags tags;
    LayerLookTags(layer, &tags);
    const int32_t position = GetLayerPosition(pic, layer);
    const bool whole = w.type == QZ_LAYER_BRUSH;
    int32_t x = layer->base->x, y = layer->base->y;
    TextObjectOffset(state, layer, &x, &y);
    return DisplayImageObject(state, position, w.type, w.id, whole ? 0 : w.partX, whole ? 0 : w.partY, x, y,
                              whole ? 0 : w.partWidth, whole ? 0 : w.partHeight, 1, 0, &transform, &tags, nullptr,
                              nullptr, QZ_DRAWOBJ_REPLACE | QZ_DRAWOBJ_NODRAW);
}

// Shows the text-object layer's new object as a layer in its place, keeping its look. The block
// lies at the layer's position plus the object's offset, as the object is drawn.
int ReplaceTextObjectContent(VmState* state, qzBGPic* pic, qzLayer* layer, const StyleWork& w) {
    qzTextObject* object = nullptr;
    int error = FindTextObject(state, w.id, &object, 0);
    if (error) return error;
    int32_t x = layer->base->x + object->left, y = layer->base->y + object->top;
    TextObjectOffset(state, layer, &x, &y);
    qzTransformTags transform = layer->transform;
    qzLayerTags tags;
    LayerLookTags(layer, &tags);
    return AddLayerForObject(state, QZ_LAYER_TEXTOBJECT, object->header.id, x, y, object->width, object->height,
                             &transform, &tags, nullptr, nullptr, nullptr, nullptr, GetLayerPosition(pic, layer),
                             QZ_ADDLAYER_REPLACE, nullptr);
}

// Shows the path as a layer in the old layer's place, keeping its look, the path's origin at the
// layer's position (a text object's offset taken away).
int ReplacePathContent(VmState* state, qzBGPic* pic, qzLayer* layer, const StyleWork& w) {
    qzPathDrawTags tags;
    tags.transform = layer->transform;
    LayerLookTags(layer, &tags.layer);
    tags.insertPos = GetLayerPosition(pic, layer);
    tags.addFlags = QZ_ADDLAYER_REPLACE;
    int32_t x = layer->base->x, y = layer->base->y;
    TextObjectOffset(state, layer, &x, &y);
    return DrawPathAsLayer(state, w.id, x, y, w.path.params, tags);
}

// Shows the new shape as a layer in the old layer's place, keeping its look and transform, the
// shape's anchor point at the layer's position (a text object's offset taken away).
int ReplaceShapeContent(VmState* state, qzBGPic* pic, qzLayer* layer, const StyleWork& w) {
    qzLayerTags tags;
    LayerLookTags(layer, &tags);
    uint32_t flags = QZ_ADDLAYER_REPLACE;
    int32_t x = layer->base->x, y = layer->base->y;
    TextObjectOffset(state, layer, &x, &y);
    const bool modernCurves = CheckAppletVersion(6, 0) && !IsLegacyLineBasedShapes();
    return DrawShapeAsLayer(state, *w.shape, x, y, layer->transform, tags, GetLayerPosition(pic, layer), flags,
                            modernCurves);
}

// Shows the text drawn while the tags were read as a PRINT or TEXTOUT layer in the old layer's
// place, keeping its look.
int ReplaceTextOutputContent(VmState* state, qzBGPic* pic, qzLayer* layer, StyleWork* w) {
    qzTransformTags transform = layer->transform;
    qzLayerTags tags;
    LayerLookTags(layer, &tags);
    uint32_t flags = QZ_ADDLAYER_REPLACE;
    // The new layer owns the state and its bitmaps from here on, also when it fails.
    qzLayerState* st = w->scratch.release();
    const qzBitMapTrio trio = std::exchange(st->own, qzBitMapTrio{});
    return AddLayerForObject(state, w->type, qzObjectId{0, nullptr}, w->textX, w->textY, st->width, st->height,
                             &transform, &tags, trio.bitmap, trio.mask, trio.alpha, st, GetLayerPosition(pic, layer),
                             flags, nullptr);
}

// Draws the kind's new content into scratch, untransformed, before anything of the layer changes.
int RenderKindContent(VmState* state, qzLayer* layer, StyleWork* w) {
    qzTransformTags identity;
    InitTransformTags(&identity);
    identity.anchorx = w->anchorx;
    identity.anchory = w->anchory;
    return RenderLayerContent(state, layer, w->scratch.get(), &identity);
}

// Makes the drawn scratch the base state (and the transformed one drawn anew from it).
int CommitKindContent(VmState* state, qzLayer* layer, StyleWork* w) {
    qzLayerState* scratch = w->scratch.get();
    scratch->sourceWidth = scratch->width;
    scratch->sourceHeight = scratch->height;
    scratch->untransformedLeft = scratch->left = scratch->x - int32_t(std::trunc(layer->anchorx * scratch->width));
    scratch->untransformedTop = scratch->top = scratch->y - int32_t(std::trunc(layer->anchory * scratch->height));
    SetLayerStateClipRegion(scratch, layer->base->clipRegion, 0);
    qzLayerState* old = layer->base;
    const int32_t oldType = layer->type;
    layer->base = w->scratch.release();
    layer->type = w->type;
    // A path layer given another path by "id" is known by that path from now on (Undo, lookups).
    if (const qzPathLayerState* path = PathLayerStateOf(layer)) layer->id = layer->sourceId = path->params.id;
    if (layer->transformed == old) layer->transformed = layer->base;
    if (layer->display == old) layer->display = layer->base;
    FreeLayerState(oldType, old);
    // A display state of its own shows the new content too.
    return RenderLayerStates(state, layer);
}

// What the styles step changes of a layer, put back when the layer's new content cannot be shown,
// so that the failing call leaves the layer as it was and refreshes nothing for it.
struct SavedLook {
    int32_t rectCount, rectsFull;  // of the rectangle list
    qzShadowTags shadow;
    qzBorderTags border;
    qzFilterEntry filters[QZ_LAYER_FILTERS];
    int32_t geometryFilter, transparency, hidden;
    double anchorx, anchory;
    qzTransformTags transform;
    qzLayerState* states[3];
    int32_t x[3], y[3];
    int count;
};

void SaveLook(const qzLayer* layer, const qzRectList* list, SavedLook* saved) {
    saved->rectCount = list->count;
    saved->rectsFull = list->full;
    saved->shadow = layer->shadow;
    saved->border = layer->border;
    std::memcpy(saved->filters, layer->filters, sizeof(saved->filters));
    saved->geometryFilter = layer->geometryFilter;
    saved->transparency = layer->transparency;
    saved->hidden = layer->hidden;
    saved->anchorx = layer->anchorx;
    saved->anchory = layer->anchory;
    saved->transform = layer->transform;
    saved->count = DistinctLayerStates(layer, saved->states);
    for (int i = 0; i < saved->count; i++) {
        saved->x[i] = saved->states[i]->x;
        saved->y[i] = saved->states[i]->y;
    }
}

void RestoreLook(qzLayer* layer, qzRectList* list, const SavedLook& saved) {
    list->count = saved.rectCount;
    list->full = saved.rectsFull;
    layer->shadow = saved.shadow;
    layer->border = saved.border;
    std::memcpy(layer->filters, saved.filters, sizeof(layer->filters));
    layer->geometryFilter = saved.geometryFilter;
    layer->transparency = saved.transparency;
    layer->hidden = saved.hidden;
    layer->anchorx = saved.anchorx;
    layer->anchory = saved.anchory;
    layer->transform = saved.transform;
    for (int i = 0; i < saved.count; i++) {
        saved.states[i]->x = saved.x[i];
        saved.states[i]->y = saved.y[i];
    }
    // Shadow, border and filter caches were dropped for the new look: they are made again.
    FreeLayerBorders(layer);
    FreeLayerCaches(layer);
}

// Reads the table and changes one layer. *purge collects the kinds of objects replaced.
int ApplyStyleToLayer(VmState* state, qzBGPic* pic, qzLayer* layer, int table, uint32_t* purge) {
    StyleWork w;
    bool clipChanged = false;
    int error = ReadStyle(state, pic, layer, table, &w, &clipChanged);
    if (!error && w.kindChanged) error = RenderKindContent(state, layer, &w);
    if (error) return error;
    qzRectList* list = LayersRectList();
    const bool shadowChanged = !SameShadow(w.shadow, layer->shadow);
    const bool borderChanged = !SameBorder(w.border, layer->border);
    const bool lookChanged = shadowChanged || borderChanged || w.filtersChanged || w.hidden != layer->hidden ||
                             w.transparency != layer->transparency;
    const bool wasVisible = !layer->hidden;
    SavedLook savedLook;
    if (w.objectChanged) SaveLook(layer, list, &savedLook);
    // 1. What the old look covered goes, with the decorations that follow from it.
    if (lookChanged && wasVisible) AddLayerToDirtyRegion(state, list, layer);
    if (shadowChanged || borderChanged || w.filtersChanged) FreeLayerStateAlpha(layer);
    if (borderChanged || w.filtersChanged) FreeLayerBorders(layer);
    if (w.filtersChanged) FreeLayerCaches(layer);
    // 2. The styles.
    layer->shadow = w.shadow;
    layer->border = w.border;
    std::memcpy(layer->filters, w.filters, sizeof(layer->filters));
    layer->geometryFilter = HasGeometryFilter(layer->filters);
    layer->transparency = w.transparency;
    layer->hidden = w.hidden;
    if (w.anchorChanged) {
        // The layer keeps its place; its reference point moves to the new anchor.
        qzLayerState* states[3];
        const int count = DistinctLayerStates(layer, states);
        for (int i = 0; i < count; i++) {
            qzLayerState* st = states[i];
            const int32_t dx = int32_t(std::trunc(w.anchorx * st->sourceWidth)) -
                               int32_t(std::trunc(layer->anchorx * st->sourceWidth));
            const int32_t dy = int32_t(std::trunc(w.anchory * st->sourceHeight)) -
                               int32_t(std::trunc(layer->anchory * st->sourceHeight));
            st->x += dx;
            st->y += dy;
        }
        if (!w.moved) {
            w.x = layer->base->x;
            w.y = layer->base->y;
        }
        layer->anchorx = w.transform.anchorx = w.anchorx;
        layer->anchory = w.transform.anchory = w.anchory;
    }
    w.transform.smoothscale = w.smooth;
    const bool smoothChanged = w.smooth != layer->transform.smoothscale;
    // 3. New content: the layer is drawn anew in its place.
    if (w.objectChanged) {
        if (wasVisible) AddLayerToDirtyRegion(state, list, layer);
        if (w.transformChanged) RestoreLayerMatrix(&w.transform, layer->base->sourceWidth, layer->base->sourceHeight);
        layer->transform = w.transform;
        const int32_t oldType = layer->type;
        const int32_t position = GetLayerPosition(pic, layer);
        // A video layer that shows other content from now on: its video stops first, so that no
        // frame goes to the layer that the new content replaces; the video goes with the purge.
        if (oldType == QZ_LAYER_VIDEO && w.type != QZ_LAYER_VIDEO)
            if (const auto stopVideo = LayerKindOps(oldType).stopVideo) stopVideo(state, layer);
        error = w.shape                         ? ReplaceShapeContent(state, pic, layer, w)
                : w.type == QZ_LAYER_TEXTOBJECT ? ReplaceTextObjectContent(state, pic, layer, w)
                : w.type == QZ_LAYER_VECTORPATH ? ReplacePathContent(state, pic, layer, w)
                : IsTextLayerType(w.type)       ? ReplaceTextOutputContent(state, pic, layer, &w)
                                                : ReplaceImageContent(state, pic, layer, w);
        if (error) {
            RestoreLook(layer, list, savedLook);
            return error;
        }
        qzLayer* now = GetLayerByPosition(pic, position);
        if (now && w.moved) RefreshLayerChange(state, now, 0, 0, w.x, w.y, 0, 0, list);
        if (now && !now->hidden) AddLayerToDirtyRegion(state, list, now);
        *purge |= LayerPurgeBit(oldType);
        return 0;
    }
    const qzLayerSystemHooks& hooks = LayerSystemHooks();
    if (w.kindChanged || w.frameChanged || w.videoPartChanged) {
        if (wasVisible) AddLayerToDirtyRegion(state, list, layer);
        if (w.frameChanged) {
            error = SetAnimFrame(state, layer, w.frame);
            if (error) return error;
        } else if (w.videoPartChanged) {
            error = SetVideoPart(state, layer, w);
            if (error) return error;
        } else {
            error = CommitKindContent(state, layer, &w);
            if (error) return error;
        }
    }
    // 4. Position and transformation.
    if (w.moved && (w.x != layer->base->x || w.y != layer->base->y))
        RefreshLayerChange(state, layer, 0, 0, w.x, w.y, layer->hidden, 0, list);
    if (w.transformChanged || clipChanged || smoothChanged) {
        if (!layer->hidden) AddLayerToDirtyRegion(state, list, layer);
        const qzTransformTags saved = layer->transform;
        RestoreLayerMatrix(&w.transform, layer->base->sourceWidth, layer->base->sourceHeight);
        layer->transform = w.transform;
        const qzLayerState* oldTransformed = layer->transformed;
        error = RenderLayerStates(state, layer);
        if (error) {
            layer->transform = saved;
            // A display state that failed leaves the transformed state of the old transform.
            if (layer->transformed != oldTransformed) RenderLayerObject(state, layer, QZ_RENDER_TRANSFORM);
            return error;
        }
    } else if (w.anchorChanged) {
        layer->transform.anchorx = w.anchorx;
        layer->transform.anchory = w.anchory;
    }
    // 5. The area as it looks now.
    if (!layer->hidden &&
        (lookChanged || w.transformChanged || clipChanged || w.kindChanged || w.frameChanged || w.videoPartChanged))
        AddLayerToDirtyRegion(state, list, layer);
    if (hooks.broadcastAsyncDraw) hooks.broadcastAsyncDraw(1, layer);
    return 0;
}

}  // namespace

int ShowAnimLayerFrame(VmState* state, qzLayer* layer, int32_t frame) {
    int32_t index = 0;
    const int error = ResolveAnimFrame(layer, frame, &index);
    if (error) return error;
    layer->hidden = 0;
    return index == layer->base->partX ? 0 : SetAnimFrame(state, layer, index);
}

int ApplyLayerStyle(VmState* state, int count, int noRefresh) {
    qzBGPic* pic = CheckLayerCommand(state);
    if (count < 2) return ERR_MISSINGPARAMTR;
    uint32_t purge = 0;
    int error = 0;
    // Layers changed before an error keep their changes and are shown with them, also when a later
    // argument or tag raises its error: the end of the call runs on that way out too.
    const auto finish = [&] {
        if (noRefresh)
            ClearRectList(LayersRectList());
        else
            FlushLayersRectList(state);
        if (purge) PurgePendingObjects(state, purge);
        pic->layersChanged = 1;
    };
    try {
        for (int index = 1; index + 1 <= count && !error; index += 2) {
            const std::vector<qzLayer*> layers = CheckLayerOrGroup(state, index, pic);
            VmCheckTable(state, index + 1);
            const int table = VmAbsIndex(state, index + 1);
            for (qzLayer* layer : layers) {
                error = ApplyStyleToLayer(state, pic, layer, table, &purge);
                if (error) break;
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return error;
}
