#include <cmath>
#include <cstring>
#include <string>

#include "base/double_list.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer_filters.h"
#include "gfx/draw_modes.h"
#include "gfx/filter_types.h"
#include "image/draw_options.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

qzLayerNameLookup layerLookup = nullptr;

int LookupLayer(const char* name) { return layerLookup ? layerLookup(name) : 0; }

int32_t CountPictureLayers(const qzBGPic* pic) {
    int32_t n = 0;
    if (!pic) return 0;
    for (const qzDoubleNode* node = pic->layers.front.next; node && node != &pic->layers.back; node = node->next) n++;
    return n;
}

// The matrix of a target size, scale factors and a rotation (the size wins over the factors).
void RebuildMatrix(qzTransformTags* t, int32_t srcWidth, int32_t srcHeight) {
    const int32_t w = t->width ? t->width : srcWidth;
    const int32_t h = t->height ? t->height : srcHeight;
    if (w == srcWidth && h == srcHeight)
        BuildScaleRotateMatrix(t->scalex, t->scaley, t->rotate, t->matrix);
    else
        BuildScaleRotateMatrix(srcWidth ? (double)w / srcWidth : 1, srcHeight ? (double)h / srcHeight : 1, t->rotate,
                               t->matrix);
    t->hasusermatrix = 0;
}

int ParseTransform(VmState* state, int table, int32_t srcWidth, int32_t srcHeight, int32_t targetWidth,
                   int32_t targetHeight, int smoothDefault, qzTransformTags* t, int flags) {
    double matrix[4];
    int found = 0;
    if (GetTableFieldMatrix(state, table, "transform", matrix, &found)) {
        if (matrix[0] == 0 || matrix[3] == 0) return ERR_WRONGUSAGE;
        std::memcpy(t->usermatrix, matrix, sizeof matrix);
        std::memcpy(t->matrix, matrix, sizeof matrix);
        t->hasusermatrix = 1;
        return 0;
    }
    bool given = targetWidth || targetHeight;
    double value = 0;
    if (GetTableFieldNumber(state, table, "scalex", &value, nullptr)) {
        if (value == 0) return ERR_WRONGUSAGE;
        t->scalex = value;
        given = true;
    }
    if (GetTableFieldNumber(state, table, "scaley", &value, nullptr)) {
        if (value == 0) return ERR_WRONGUSAGE;
        t->scaley = value;
        given = true;
    }
    if (!(flags & QZ_DRAWTAGS_NOSIZE)) {
        int32_t size = 0;
        if (GetTableFieldInt(state, table, "width", &size, nullptr)) t->width = size;
        if (GetTableFieldInt(state, table, "height", &size, nullptr)) t->height = size;
        if (t->width || t->height) given = true;
    }
    if (!(flags & QZ_DRAWTAGS_NOROTATE) && GetTableFieldNumber(state, table, "rotate", &value, nullptr)) {
        t->rotate = std::isfinite(value) ? std::fmod(value, 360.0) : 0;
        if ((flags & QZ_DRAWTAGS_SMOOTHROTATE) && t->rotate != 0) t->smoothscale = smoothDefault;
        given = true;
    }
    if (given) RebuildMatrix(t, srcWidth, srcHeight);
    int32_t smooth = 0;
    if (GetTableFieldInt(state, table, "smoothscale", &smooth, nullptr)) t->smoothscale = smooth;
    for (auto [key, field] : {std::pair<const char*, double*>{"anchorx", &t->anchorx}, {"anchory", &t->anchory}}) {
        if (!GetTableFieldNumber(state, table, key, &value, nullptr)) continue;
        if (!(value >= 0 && value <= 1)) return ERR_WRONGUSAGE;
        *field = value;
    }
    return 0;
}

int ParseLayer(VmState* state, int table, qzLayerTags* tags) {
    int32_t value = 0;
    if (GetTableFieldBool(state, table, "hidden", &value, nullptr)) tags->hidden = value != 0;
    ReadLevelTag(state, table, "transparency", &tags->transparency);
    qzFilterEntry& tint = tags->filters[FILTER_TINT];
    int32_t level = 0;
    if (ReadLevelTag(state, table, "tint", &level)) {
        tint.ints[1] = level;
        tint.enabled = level != 0;
    }
    if (GetTableFieldInt(state, table, "tintcolor", &value, nullptr)) tint.ints[0] = value;
    int32_t position = 0;
    int found = 0;
    if (GetTableFieldLayerId(state, table, "insertpos", LookupLayer, &position, &found)) {
        if (position < 0) return ERR_INVINSERT;
        const int32_t n = CountPictureLayers(CurrentBGPic());
        if (n > 0 && position > n + 1) position = n + 1;
        tags->insertpos = position;
    }
    int error = ParseShadowTags(state, table, &tags->shadow);
    if (!error) error = ParseBorderTags(state, table, 0, &tags->border);
    if (!error) {
        int changed = 0;
        ParseLayerFilters(state, table, tags->filters, &changed, &error);
    }
    if (error) return error;
    tags->effects = (tags->hidden || tags->transparency || HasEnabledFilter(tags->filters) || tags->shadow.shadow ||
                     tags->border.border)
                        ? 1
                        : 0;
    std::string name;
    if (GetTableFieldString(state, table, "name", nullptr, 0, &name, nullptr)) {
        if (name.size() >= (size_t)QZ_LAYER_NAME_SIZE) return ERR_NAMETOOLONG;
        std::memcpy(tags->name, name.c_str(), name.size() + 1);
    }
    return 0;
}

// The SetDrawTagsDefault parser: the table into copies of the defaults, stored back on success
// with the name cleared.
int SetDefaultsFromTable(VmState* state, int tableIndex) {
    qzTransformTags transform;
    qzLayerTags layer;
    CopyDefaultTransformTags(&transform);
    CopyDefaultLayerTags(&layer);
    VmSetTop(state, tableIndex);
    int error =
        ParseDrawTags(state, tableIndex, 0, 0, 0, 0, transform.smoothscale, &transform, &layer, QZ_DRAWTAGS_NOSIZE);
    if (error) return error;
    layer.name[0] = 0;
    *DefaultTransformTags() = transform;
    *DefaultLayerTags() = layer;
    return 0;
}

}  // namespace

int ReadLevelTag(VmState* state, int table, const char* key, int32_t* level) {
    double value = 0;
    if (!GetTableFieldPercent(state, table, key, 255, 0, &value, nullptr)) return 0;
    if (!(value > 0)) value = 0;
    if (value > 255) value = 255;
    *level = (int32_t)value;
    return 1;
}

void InitDrawTags(qzTransformTags* transformTags, qzLayerTags* layerTags, int32_t targetWidth, int32_t targetHeight,
                  int smoothDefault, int flags) {
    CopyDefaultTransformTags(transformTags);
    if (layerTags) CopyDefaultLayerTags(layerTags);
    transformTags->width = targetWidth;
    transformTags->height = targetHeight;
    if (!(flags & QZ_DRAWTAGS_SMOOTHROTATE)) transformTags->smoothscale = smoothDefault;
}

int ParseDrawTags(VmState* state, int argIndex, int32_t srcWidth, int32_t srcHeight, int32_t targetWidth,
                  int32_t targetHeight, int smoothDefault, qzTransformTags* transformTags, qzLayerTags* layerTags,
                  int flags) {
    if (targetWidth == srcWidth) targetWidth = 0;
    if (targetHeight == srcHeight) targetHeight = 0;
    if (flags & QZ_DRAWTAGS_DEFAULTS)
        InitDrawTags(transformTags, layerTags, targetWidth, targetHeight, smoothDefault, flags);
    const bool last = argIndex == VmGetTop(state);
    if (last && VmType(state, argIndex) != VM_TTABLE && (flags & QZ_DRAWTAGS_TABLEONLY)) {
        SetErrorArgIndex(argIndex);
        return ERR_TABEXPECTED;
    }
    if (!last || VmType(state, argIndex) != VM_TTABLE) {
        if (transformTags->width || transformTags->height) RebuildMatrix(transformTags, srcWidth, srcHeight);
        return 0;
    }
    int error = ParseTransform(state, argIndex, srcWidth, srcHeight, targetWidth, targetHeight, smoothDefault,
                               transformTags, flags);
    if (error || !layerTags) return error;
    return ParseLayer(state, argIndex, layerTags);
}

int ParseShadowTags(VmState* state, int tableIndex, qzShadowTags* shadow) {
    // Without "shadow" the shadow stays as the record has it (the defaults, or a layer's own).
    int32_t on = shadow->shadow;
    GetTableFieldBool(state, tableIndex, "shadow", &on, nullptr);
    shadow->shadow = on != 0;
    if (!shadow->shadow) return 0;
    int32_t value = 0;
    if (GetTableFieldInt(state, tableIndex, "shadowcolor", &value, nullptr)) shadow->shadowcolor = (uint32_t)value;
    GetTableFieldInt(state, tableIndex, "shadowdir", &shadow->shadowdir, nullptr);
    GetTableFieldInt(state, tableIndex, "shadowsize", &shadow->shadowsize, nullptr);
    GetTableFieldNumber(state, tableIndex, "shadowradius", &shadow->shadowradius, nullptr);
    GetTableFieldNumber(state, tableIndex, "shadowsigma", &shadow->shadowsigma, nullptr);
    if (!(shadow->shadowradius >= 1) || shadow->shadowsize < 0 || !(shadow->shadowsigma > 0)) return ERR_WRONGUSAGE;
    return 0;
}

int ParseBorderTags(VmState* state, int tableIndex, int edgeNames, qzBorderTags* border) {
    int32_t value = 0;
    if (GetTableFieldBool(state, tableIndex, "border", &value, nullptr)) border->border = value != 0;
    if (GetTableFieldInt(state, tableIndex, "bordercolor", &value, nullptr)) border->bordercolor = (uint32_t)value;
    GetTableFieldInt(state, tableIndex, "bordersize", &border->bordersize, nullptr);
    if (edgeNames) {
        if (GetTableFieldInt(state, tableIndex, "edgecolor", &value, nullptr)) border->bordercolor = (uint32_t)value;
        GetTableFieldInt(state, tableIndex, "edgesize", &border->bordersize, nullptr);
        GetTableFieldInt(state, tableIndex, "outlinethickness", &border->bordersize, nullptr);
    }
    if (border->border && border->bordersize <= 0) return ERR_WRONGUSAGE;
    return 0;
}

void SetDrawTagLayerLookup(qzLayerNameLookup lookup) { layerLookup = lookup; }
qzLayerNameLookup GetDrawTagLayerLookup() { return layerLookup; }

void InstallDrawTagDefaultsHooks() {
    static const qzDrawTagDefaultsHooks hooks = {.reset = ResetDefaultDrawTags, .setFromTable = SetDefaultsFromTable};
    SetDrawTagDefaultsHooks(&hooks);
}

void RemoveDrawTagDefaultsHooks() { SetDrawTagDefaultsHooks(nullptr); }
