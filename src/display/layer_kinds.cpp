#include "display/layer_kinds.h"

#include "base/error_codes.h"
#include "display/picture.h"

namespace {

struct KindRow {
    int32_t type;
    const char* name;
    uint32_t purgeBit;
    qzLayerKindOps ops;
};

// Background-picture parts show the picture itself (the size scripts see).
int PictureSourceBitmaps(VmState* state, const qzLayer* layer, const qzLayerState*, int32_t, qzLayerSource* out) {
    qzBGPic* pic = nullptr;
    int error = FindBGPic(state, layer->id, &pic, QZ_FINDPIC_LAYERONLY);
    if (error) return error;
    out->trio = {pic->scaledBitmap, pic->scaledMask, pic->scaledAlpha};
    out->width = pic->scaledWidth;
    out->height = pic->scaledHeight;
    return 0;
}

const qzLayerKindOps kNoOps = {};

// The built-in rows: background-picture parts are the display code's own.
qzLayerKindOps BuiltInOps(int32_t type) {
    qzLayerKindOps ops = {};
    if (type == QZ_LAYER_BGPICPART) {
        ops.sourceBitmaps = PictureSourceBitmaps;
        ops.purgeOrphans = FreeOrphanedBGPics;
    }
    return ops;
}

KindRow rows[] = {
    {QZ_LAYER_BRUSH, "BRUSH", 1, {}},
    {QZ_LAYER_ANIM, "ANIM", 2, {}},
    {QZ_LAYER_NOOBJECT, "NOOBJECT", 0, {}},
    {QZ_LAYER_TEXTOBJECT, "TEXTOBJECT", 4, {}},
    {QZ_LAYER_TEXTOUT, "TEXTOUT", 0, {}},
    {QZ_LAYER_PRINT, "PRINT", 0, {}},
    {QZ_LAYER_BRUSHPART, "BRUSHPART", 1, {}},
    {QZ_LAYER_BGPICPART, "BGPICPART", 8, BuiltInOps(QZ_LAYER_BGPICPART)},
    {QZ_LAYER_BOX, "BOX", 0, {}},
    {QZ_LAYER_CIRCLE, "CIRCLE", 0, {}},
    {QZ_LAYER_ELLIPSE, "ELLIPSE", 0, {}},
    {QZ_LAYER_LINE, "LINE", 0, {}},
    {QZ_LAYER_POLYGON, "POLYGON", 0, {}},
    {QZ_LAYER_ARC, "ARC", 0, {}},
    {QZ_LAYER_VECTORPATH, "VECTORPATH", 0, {}},
    {QZ_LAYER_VIDEO, "VIDEO", 16, {}},
};

KindRow* FindRow(int32_t type) {
    for (KindRow& row : rows)
        if (row.type == type) return &row;
    return nullptr;
}

}  // namespace

void SetLayerKindOps(int32_t type, const qzLayerKindOps* ops) {
    KindRow* row = FindRow(type);
    if (!row) return;
    row->ops = ops ? *ops : BuiltInOps(type);
}

const qzLayerKindOps& LayerKindOps(int32_t type) {
    const KindRow* row = FindRow(type);
    return row ? row->ops : kNoOps;
}

int IsLayerType(int32_t type) { return FindRow(type) ? 1 : 0; }

const char* LayerTypeName(int32_t type) {
    const KindRow* row = FindRow(type);
    return row ? row->name : "UNKNOWN";
}

uint32_t LayerPurgeBit(int32_t type) {
    const KindRow* row = FindRow(type);
    return row ? row->purgeBit : 0;
}

int LayerShowsPart(int32_t type) {
    return type == QZ_LAYER_BRUSHPART || type == QZ_LAYER_BGPICPART || type == QZ_LAYER_VIDEO ? 1 : 0;
}

int IsShapeLayerType(int32_t type) {
    return type == QZ_LAYER_BOX || type == QZ_LAYER_CIRCLE || type == QZ_LAYER_ELLIPSE || type == QZ_LAYER_LINE ||
                   type == QZ_LAYER_POLYGON || type == QZ_LAYER_ARC
               ? 1
               : 0;
}

int IsTextLayerType(int32_t type) {
    return type == QZ_LAYER_TEXTOBJECT || type == QZ_LAYER_TEXTOUT || type == QZ_LAYER_PRINT ? 1 : 0;
}
