#include "display/object_types.h"

#include "base/error_arg.h"
#include "base/error_codes.h"

namespace {

struct TypeRow {
    int32_t type;
    int notFound;
    qzObjectTypeOps ops;
};

TypeRow rows[] = {
    {QZ_TYPE_BRUSH_OBJECT, ERR_FINDBRUSH, {}},
    {QZ_TYPE_ANIM_OBJECT, ERR_FINDANIM, {}},
    {QZ_TYPE_TEXT_OBJECT, ERR_FINDTEXTOBJECT, {}},
    {QZ_TYPE_SPRITE_OBJECT, ERR_FINDSPRITE, {}},
};

const qzObjectTypeOps kNoOps = {};

TypeRow* FindRow(int32_t type) {
    for (TypeRow& row : rows)
        if (row.type == type) return &row;
    return nullptr;
}

}  // namespace

void SetObjectTypeOps(int32_t type, const qzObjectTypeOps* ops) {
    TypeRow* row = FindRow(type);
    if (!row) return;
    row->ops = ops ? *ops : qzObjectTypeOps{};
}

const qzObjectTypeOps& ObjectTypeOps(int32_t type) {
    const TypeRow* row = FindRow(type);
    return row ? row->ops : kNoOps;
}

int ObjectNotFound(int32_t type, const qzObjectId& id) {
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    const TypeRow* row = FindRow(type);
    return row ? row->notFound : ERR_WRONGUSAGE;
}

int GetObjectBitmaps(VmState* state, int32_t type, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out) {
    *out = qzObjectBitmaps();
    const auto bitmaps = ObjectTypeOps(type).bitmaps;
    if (!bitmaps) return ObjectNotFound(type, id);
    return bitmaps(state, id, frame, out);
}
