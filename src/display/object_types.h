// What the code that owns a type of script object answers for its objects: one row of operations
// per object type (QZ_TYPE_BRUSH_OBJECT, QZ_TYPE_TEXT_OBJECT, ... of gfx/object_bitmaps.h). The
// owner of a type (brushes, text objects, sprites, anims) installs its row with SetObjectTypeOps
// when its library opens and removes it when it closes. A type without a row, or a member left
// null, answers as described at the member. Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "gfx/object_bitmaps.h"

struct VmState;
struct qzCollisionObject;

struct qzObjectTypeOps {
    // The object's bitmaps and size; frame is the 0-based frame of a sprite or an anim, and types
    // of one frame ignore it. The object's own bitmaps, or ones made for the caller with
    // out->release set (see ReleaseObjectBitmaps). 0 or the lookup's error. Null: ObjectNotFound.
    int (*bitmaps)(VmState* state, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out) = nullptr;
    // The object as the collision test sees it: its box with its own mask or alpha channel. x, y
    // place the box of an object that has no place of its own (a brush; position constants are
    // resolved against its size); an object with a place (a sprite) is taken where it is, with the
    // planes of its current frame. 0 or the lookup's error. Null: the collision test answers
    // ERR_FINDBRUSH or ERR_FINDSPRITE.
    int (*collision)(VmState* state, const qzObjectId& id, double x, double y, qzCollisionObject* out) = nullptr;
};

// Installs the row of an object type (copied); null removes it.
void SetObjectTypeOps(int32_t type, const qzObjectTypeOps* ops);
// The row of a type, every member as installed (null where none).
const qzObjectTypeOps& ObjectTypeOps(int32_t type);

// What a lookup of an object of the type answers when the type has no row: ERR_FINDARRAY for an
// id that is a table, else the type's not-found error (ERR_FINDBRUSH, ERR_FINDSPRITE,
// ERR_FINDANIM, ERR_FINDTEXTOBJECT; ERR_WRONGUSAGE for other types) with the id's number as the
// error argument.
int ObjectNotFound(int32_t type, const qzObjectId& id);
// The object's bitmaps through the type's row, or ObjectNotFound (*out is then empty). The
// caller hands them back with ReleaseObjectBitmaps.
int GetObjectBitmaps(VmState* state, int32_t type, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out);
