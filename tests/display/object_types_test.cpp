// The rows of operations per object type: what a type without a row answers, and a row
// installed for one type serving that type alone.
#include <gtest/gtest.h>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/object_types.h"

namespace object_types_test {

namespace {

TEST(ObjectTypes, TypeWithoutRowIsNotFound) {
    struct Case {
        int32_t type;
        int error;
    };
    const Case cases[] = {
        {QZ_TYPE_BRUSH_OBJECT, ERR_FINDBRUSH},
        {QZ_TYPE_SPRITE_OBJECT, ERR_FINDSPRITE},
        {QZ_TYPE_ANIM_OBJECT, ERR_FINDANIM},
        {QZ_TYPE_TEXT_OBJECT, ERR_FINDTEXTOBJECT},
        {22, ERR_WRONGUSAGE},
    };
    int table = 0;
    for (const Case& c : cases) {
        qzObjectBitmaps out;
        out.width = 5;
        ClearErrorArg();
        EXPECT_EQ(GetObjectBitmaps(nullptr, c.type, {12, nullptr}, 0, &out), c.error) << c.type;
        EXPECT_EQ(GetErrorArgIndex(), 12) << c.type;
        EXPECT_EQ(out.bitmap, nullptr);
        EXPECT_EQ(out.width, 0) << c.type;
        // A table given where the object's number belongs.
        EXPECT_EQ(GetObjectBitmaps(nullptr, c.type, {0, &table}, 0, &out), ERR_FINDARRAY) << c.type;
        EXPECT_EQ(ObjectTypeOps(c.type).collision, nullptr);
    }
}

int FrameAsked = -1;

int FrameBitmaps(VmState*, const qzObjectId& id, int32_t frame, qzObjectBitmaps* out) {
    FrameAsked = frame;
    if (id.number != 1) return ERR_FINDANIM;
    out->width = 4;
    out->frames = 3;
    return 0;
}

TEST(ObjectTypes, RowServesItsTypeUntilRemoved) {
    const qzObjectTypeOps ops = {.bitmaps = FrameBitmaps};
    SetObjectTypeOps(QZ_TYPE_ANIM_OBJECT, &ops);
    qzObjectBitmaps out;
    EXPECT_EQ(GetObjectBitmaps(nullptr, QZ_TYPE_ANIM_OBJECT, {1, nullptr}, 2, &out), 0);
    EXPECT_EQ(FrameAsked, 2);
    EXPECT_EQ(out.width, 4);
    EXPECT_EQ(out.frames, 3);
    EXPECT_EQ(GetObjectBitmaps(nullptr, QZ_TYPE_ANIM_OBJECT, {2, nullptr}, 0, &out), ERR_FINDANIM);
    // The other types keep answering not found, the row's owner is not asked.
    FrameAsked = -1;
    EXPECT_EQ(GetObjectBitmaps(nullptr, QZ_TYPE_SPRITE_OBJECT, {1, nullptr}, 0, &out), ERR_FINDSPRITE);
    EXPECT_EQ(FrameAsked, -1);
    // A type that has no row cannot be given one.
    SetObjectTypeOps(22, &ops);
    EXPECT_EQ(ObjectTypeOps(22).bitmaps, nullptr);
    SetObjectTypeOps(QZ_TYPE_ANIM_OBJECT, nullptr);
    EXPECT_EQ(GetObjectBitmaps(nullptr, QZ_TYPE_ANIM_OBJECT, {1, nullptr}, 0, &out), ERR_FINDANIM);
    EXPECT_EQ(FrameAsked, -1);
}

}  // namespace

}  // namespace object_types_test
