#include "display/draw_tags.h"

#include <cstring>

namespace {

struct DefaultPair {
    qzTransformTags transform;
    qzLayerTags layer;
    DefaultPair() {
        InitTransformTags(&transform);
        InitLayerTags(&layer);
    }
};

DefaultPair& Defaults() {
    static DefaultPair pair;
    return pair;
}

}  // namespace

void InitTransformTags(qzTransformTags* tags) {
    std::memset(tags, 0, sizeof(*tags));
    tags->matrix[0] = tags->matrix[3] = 1.0;
    tags->scalex = tags->scaley = 1.0;
}

void InitLayerTags(qzLayerTags* tags) {
    std::memset(tags, 0, sizeof(*tags));
    tags->shadow.shadowcolor = 0x80000000u;
    tags->shadow.shadowsize = 4;
    tags->shadow.shadowdir = QZ_SHDWSOUTHEAST;
    tags->shadow.shadowradius = 5.0;
    tags->shadow.shadowsigma = 5.0 / 3.0;
    tags->border.bordersize = 2;
    for (int type = 0; type < QZ_LAYER_FILTERS; type++) SetFilterDefaults(&tags->filters[type], type);
}

qzTransformTags* DefaultTransformTags() { return &Defaults().transform; }
qzLayerTags* DefaultLayerTags() { return &Defaults().layer; }

void ResetDefaultDrawTags() {
    InitTransformTags(&Defaults().transform);
    InitLayerTags(&Defaults().layer);
}

void CopyDefaultTransformTags(qzTransformTags* tags) { *tags = Defaults().transform; }
void CopyDefaultLayerTags(qzLayerTags* tags) { *tags = Defaults().layer; }

int IsIdentityMatrix(const double matrix[4]) {
    return matrix[0] == 1.0 && matrix[1] == 0.0 && matrix[2] == 0.0 && matrix[3] == 1.0 ? 1 : 0;
}
