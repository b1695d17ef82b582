#include "vector/layer_fill_tags.h"

#include "base/error_codes.h"
#include "display/gradient_tags.h"
#include "runtime/option_table.h"

namespace {

// The form-style bits that switch the layer's shadow and border instead.
constexpr uint32_t kLayerBits = FORM_SHADOW | FORM_EDGE;

}  // namespace

int SameDrawState(const qzDrawState& a, const qzDrawState& b) {
    return a.fillStyle == b.fillStyle && a.formStyle == b.formStyle && SameGradient(a.gradient, b.gradient) &&
           a.textureBrush.number == b.textureBrush.number && a.textureBrush.pointer == b.textureBrush.pointer &&
           a.edgeSize == b.edgeSize && a.edgeColor == b.edgeColor && a.shadowSize == b.shadowSize &&
           a.shadowDirection == b.shadowDirection && a.shadowColor == b.shadowColor && a.lineWidth == b.lineWidth &&
           a.textureX == b.textureX && a.textureY == b.textureY;
}

int ParseLayerFillTags(VmState* state, int tableIndex, qzDrawState* ds, uint32_t* color, int* changed) {
    const qzDrawState before = *ds;
    const uint32_t colorBefore = *color;
    int32_t value = 0;
    if (GetTableFieldInt(state, tableIndex, "color", &value, nullptr))
        *color = (*color & 0xFF000000u) | (uint32_t(value) & 0xFFFFFF);
    // NORMAL starts the style afresh; the other bits are added.
    if (GetTableFieldInt(state, tableIndex, "formstyle", &value, nullptr)) {
        const uint32_t bits = uint32_t(value) & ~kLayerBits;
        if (bits & FORM_NORMAL) ds->formStyle = FORM_NORMAL;
        ds->formStyle |= bits;
    }
    if (GetTableFieldInt(state, tableIndex, "formstyleclear", &value, nullptr))
        ds->formStyle &= ~(uint32_t(value) & ~kLayerBits);
    if (GetTableFieldInt(state, tableIndex, "fillstyle", &value, nullptr)) {
        if (value < FILLNONE || value > FILLTEXTURE) return ERR_WRONGUSAGE;
        ds->fillStyle = value;
    }
    qzGradient& g = ds->gradient;
    if (GetTableFieldInt(state, tableIndex, "gradientstyle", &value, nullptr)) g.style = value;
    if (GetTableFieldInt(state, tableIndex, "gradientangle", &value, nullptr)) g.angle = value;
    // A new start or end colour replaces a list of colour stops.
    if (GetTableFieldInt(state, tableIndex, "gradientstartcolor", &value, nullptr)) {
        g.startColor = uint32_t(value);
        g.stops.clear();
    }
    if (GetTableFieldInt(state, tableIndex, "gradientendcolor", &value, nullptr)) {
        g.endColor = uint32_t(value);
        g.stops.clear();
    }
    if (ds->fillStyle == FILLGRADIENT) {
        if (int error = ReadGradientOptions(state, tableIndex, &g, "gradientcenterx", "gradientcentery",
                                            "gradientbalance", "gradientborder", "gradientcolors", nullptr))
            return error;
    }
    GetTableFieldObjectId(state, tableIndex, "texturebrush", &ds->textureBrush, nullptr);
    GetTableFieldInt(state, tableIndex, "texturex", &ds->textureX, nullptr);
    GetTableFieldInt(state, tableIndex, "texturey", &ds->textureY, nullptr);
    if (!SameDrawState(before, *ds) || colorBefore != *color) *changed = 1;
    return 0;
}

void SetLayerFillFields(VmState* state, const qzDrawState& ds, uint32_t color) {
    SetTableFieldUInt(state, "color", color & 0xFFFFFF);
    SetTableFieldUInt(state, "formstyle", ds.formStyle);
    SetTableFieldInt(state, "fillstyle", ds.fillStyle);
    SetTableFieldInt(state, "gradientstyle", ds.gradient.style);
    SetTableFieldInt(state, "gradientangle", ds.gradient.angle);
    SetTableFieldUInt(state, "gradientstartcolor", ds.gradient.startColor);
    SetTableFieldUInt(state, "gradientendcolor", ds.gradient.endColor);
    SetTableFieldObjectId(state, "texturebrush", ds.textureBrush);
    SetTableFieldInt(state, "texturex", ds.textureX);
    SetTableFieldInt(state, "texturey", ds.textureY);
}
