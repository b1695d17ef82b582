// The style commands: SetLayerStyle, the single-purpose commands that build a style table for the
// applier, and GetLayerStyle, which gives a layer's style back as a table.
#include "base/error_codes.h"
#include "display/display.h"
#include "display/draw_tags.h"
#include "display/layer.h"
#include "display/layer_kinds.h"
#include "display/layer_list.h"
#include "display/picture.h"
#include "gfx/clip_region.h"
#include "gfx/filter_types.h"
#include "libs/graphics/graphics.h"
#include "libs/layers/layers_lib.h"
#include "libs/layers/layers_style.h"
#include "runtime/arg_check.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Sets key = the value at valueIndex in the table at tableIndex (absolute indices).
void CopyField(VmState* state, int tableIndex, const char* key, int valueIndex) {
    VmPushString(state, key);
    VmPushValue(state, valueIndex);
    VmSetTable(state, tableIndex);
}

// Leaves the layer argument alone on the stack, followed by a new table at index 2 made from the
// arguments (key and argument index pairs; absent and nil arguments are skipped), and applies it.
int ApplyArgsAsStyle(VmState* state, std::initializer_list<std::pair<const char*, int>> fields) {
    const int arguments = VmGetTop(state);
    VmNewTable(state);
    const int table = VmGetTop(state);
    for (const auto& field : fields)
        if (field.second <= arguments && VmType(state, field.second) != VM_TNIL)
            CopyField(state, table, field.first, field.second);
    VmReplace(state, 2);
    VmSetTop(state, 2);
    return ApplyLayerStyle(state, 2, 0);
}

void SetNumber(VmState* state, const char* key, double value) { SetTableFieldNumber(state, key, value); }

// A list of numbers indexed from 0 under the key of the table on the stack top.
void SetNumberList(VmState* state, const char* key, const double* values, int count) {
    VmPushString(state, key);
    VmNewTable(state);
    for (int i = 0; i < count; i++) {
        VmPushNumber(state, values[i]);
        VmRawSetI(state, -2, i);
    }
    VmSetTable(state, -3);
}

void SetFilters(VmState* state, const qzLayer* layer) {
    VmPushString(state, "filters");
    VmNewTable(state);
    int index = 0;
    for (int type = 0; type < QZ_LAYER_FILTERS; type++) {
        const qzFilterEntry& f = layer->filters[type];
        if (!f.enabled) continue;
        VmNewTable(state);
        SetTableFieldString(state, "name", GetFilterTypeName(type));
        SetTableFieldInt(state, "priority", f.priority);
        double args[5];
        SetNumberList(state, "args", args, GetFilterArguments(&f, type, args));
        VmRawSetI(state, -2, index++);
    }
    VmSetTable(state, -3);
}

void PushLayerStyle(VmState* state, const qzBGPic* pic, const qzLayer* layer) {
    VmNewTable(state);
    const qzLayerState* base = layer->base;
    const qzTransformTags& t = layer->transform;
    SetTableFieldInt(state, "type", layer->type);
    SetTableFieldInt(state, "x", base->x);
    SetTableFieldInt(state, "y", base->y);
    SetTableFieldInt(state, "width", t.width);
    SetTableFieldInt(state, "height", t.height);
    SetNumber(state, "rotate", t.rotate);
    SetNumber(state, "scalex", t.scalex);
    SetNumber(state, "scaley", t.scaley);
    SetNumber(state, "anchorx", layer->anchorx);
    SetNumber(state, "anchory", layer->anchory);
    SetTableFieldInt(state, "smoothscale", t.smoothscale);
    const double identity[4] = {1, 0, 0, 1};
    SetNumberList(state, "transform", t.hasusermatrix ? t.usermatrix : identity, 4);
    SetTableFieldInt(state, "transparency", layer->transparency);
    const qzFilterEntry& tint = layer->filters[FILTER_TINT];
    SetTableFieldInt(state, "tint", tint.enabled ? tint.ints[1] : 0);
    SetTableFieldUInt(state, "tintcolor", uint32_t(tint.ints[0]));
    SetTableFieldInt(state, "hidden", layer->hidden);
    const qzClipRegion* clip = base->clipRegion;
    if (clip)
        SetTableFieldObjectId(state, "clipregion", clip->header.id);
    else
        SetTableFieldInt(state, "clipregion", -1);
    const qzShadowTags& s = layer->shadow;
    SetTableFieldInt(state, "shadow", s.shadow);
    if (s.shadow) {
        SetTableFieldUInt(state, "shadowcolor", s.shadowcolor);
        SetTableFieldInt(state, "shadowdir", s.shadowdir);
        SetTableFieldInt(state, "shadowsize", s.shadowsize);
        SetNumber(state, "shadowradius", s.shadowradius);
        SetNumber(state, "shadowsigma", s.shadowsigma);
    }
    const qzBorderTags& b = layer->border;
    SetTableFieldInt(state, "border", b.border);
    SetTableFieldUInt(state, "bordercolor", b.bordercolor);
    SetTableFieldInt(state, "bordersize", b.bordersize);
    SetTableFieldInt(state, "outlinethickness", b.bordersize);
    SetTableFieldUInt(state, "edgecolor", b.bordercolor);
    SetTableFieldInt(state, "edgesize", b.bordersize);
    SetFilters(state, layer);
    SetTableFieldString(state, "group", layer->group);
    SetTableFieldString(state, "name", layer->name ? layer->name : "");
    SetTableFieldInt(state, "z", GetLayerPosition(pic, layer));
    switch (layer->type) {
    case QZ_LAYER_BRUSH:
    case QZ_LAYER_BRUSHPART:
    case QZ_LAYER_BGPICPART:
    case QZ_LAYER_VIDEO:
        SetTableFieldObjectId(state, "id", layer->id);
        SetTableFieldInt(state, "partx", base->partX);
        SetTableFieldInt(state, "party", base->partY);
        SetTableFieldInt(state, "partwidth", base->width);
        SetTableFieldInt(state, "partheight", base->height);
        break;
    case QZ_LAYER_ANIM:
        SetTableFieldInt(state, "frame", base->partX + 1);
        SetTableFieldObjectId(state, "id", layer->id);
        break;
    case QZ_LAYER_TEXTOBJECT: SetTableFieldObjectId(state, "id", layer->id); break;
    default: break;
    }
    if (const auto getStyle = LayerKindOps(layer->type).getStyle) getStyle(state, layer);
}

}  // namespace

int LayersSetStyle(VmState* state) { return ApplyLayerStyle(state, VmGetTop(state), 0); }

int LayersGetStyle(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    qzBGPic* pic = nullptr;
    if (display && display->outputKind != QZ_TYPE_DISPLAY && display->outputKind != QZ_TYPE_BGPIC) {
        // Drawing goes into a brush, a mask or an alpha channel: the displayed picture's layers.
        if (!display->savedLayersEnabled) return ERR_NOLAYERS;
        pic = display->bgpic;
        if (!pic) return ERR_NOLAYERS;
    } else {
        pic = CheckLayerCommand(state);
    }
    const qzLayer* layer = CheckLayer(state, 1, pic);
    PushLayerStyle(state, pic, layer);
    return 1;
}

int LayersSetTransparency(VmState* state) { return ApplyArgsAsStyle(state, {{"transparency", 2}}); }

int LayersSetTint(VmState* state) { return ApplyArgsAsStyle(state, {{"tintcolor", 2}, {"tint", 3}}); }

int LayersNextFrame(VmState* state) {
    qzBGPic* pic = CheckLayerCommand(state);
    if (CheckLayer(state, 1, pic)->type != QZ_LAYER_ANIM) return ERR_NOANMLAYER;
    if (VmGetTop(state) < 4) {
        VmSetTop(state, 3);
        VmPushNumber(state, 0);
    }
    return ApplyArgsAsStyle(state, {{"x", 2}, {"y", 3}, {"frame", 4}});
}

int LayersScale(VmState* state) { return ApplyArgsAsStyle(state, {{"width", 2}, {"height", 3}, {"smoothscale", 4}}); }

int LayersRotate(VmState* state) {
    VmCheckNumber(state, 2);
    return ApplyArgsAsStyle(state, {{"rotate", 2}, {"smoothscale", 3}});
}

int LayersTransform(VmState* state) {
    double matrix[4];
    for (int i = 0; i < 4; i++) matrix[i] = VmCheckNumber(state, 2 + i);
    VmNewTable(state);
    for (int i = 0; i < 4; i++) {
        VmPushNumber(state, matrix[i]);
        VmRawSetI(state, -2, i);
    }
    VmReplace(state, 2);  // the matrix table in place of a
    return ApplyArgsAsStyle(state, {{"transform", 2}, {"smoothscale", 6}});
}

int LayersSetAnchor(VmState* state) {
    VmCheckNumber(state, 2);
    VmCheckNumber(state, 3);
    return ApplyArgsAsStyle(state, {{"anchorx", 2}, {"anchory", 3}});
}

int LayersSetFilter(VmState* state) {
    if (VmType(state, 2) == VM_TTABLE) return ApplyArgsAsStyle(state, {{"filters", 2}});
    if (VmCheckNumber(state, 2) != 0) return ERR_WRONGUSAGE;
    VmPushNumber(state, 1);
    VmReplace(state, 2);
    return ApplyArgsAsStyle(state, {{"clearfilters", 2}});
}
