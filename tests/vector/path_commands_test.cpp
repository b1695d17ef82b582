// The vectorgraphics library's path commands: making and freeing paths, the records they append
// and the bytes of the command buffer, copying and appending, the box options, the path style,
// text with and without a vector font, and the errors of unknown paths.
#include <gtest/gtest.h>

#include <cstring>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "libs/text/text_lib.h"
#include "path_test_util.h"
#include "vector/path_style.h"
#include "vector/vector_engine.h"

namespace path_commands_test {

using qztest::Arg;
using qztest::Nil;
using namespace vectortest;

TEST(PathCommands, PathsAreMadeEmptiedAndFreed) {
    qztest::Commands vm{&qzSystemLibrary, &qzVectorGraphicsLibrary};
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"StartPath", {1}, ""},
        {"IsPathEmpty", {1}, "1"},
        {"MoveTo", {1, 10, 20}, ""},
        {"IsPathEmpty", {1}, "0"},
        // Commands that add nothing visible still leave the path non-empty.
        {"StartPath", {1}, ""},
        {"StartSubPath", {1}, ""},
        {"IsPathEmpty", {1}, "0"},
        {"ClearPath", {1}, ""},
        {"IsPathEmpty", {1}, "1"},
        {"StartPath", {"x"}, "ERR 1138"},
        {"MoveTo", {2, 0, 0}, "ERR 1393"},
        {"FreePath", {2}, "ERR 1393"},
        {"MoveTo", {Arg::Pointer(&vm), 0, 0}, "ERR 1041"},
        {"FreePath", {1}, ""},
        {"IsPathEmpty", {1}, "ERR 1393"},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run(r.command, r.args), r.expected) << r.command;

    // Nil asks for a handle; the handle names the path.
    ASSERT_EQ(vm.CallFresh("StartPath", {Nil{}}), 0);
    EXPECT_EQ(qztest::Render(vm, 1), "userdata");
    EXPECT_EQ(vm.Run("LineTo", {qztest::V(1), 5, 5}), "");
    EXPECT_EQ(vm.Run("IsPathEmpty", {qztest::V(1)}), "0");
    EXPECT_EQ(vm.Run("FreePath", {qztest::V(1)}), "");
    EXPECT_EQ(vm.Run("FreePath", {qztest::V(1)}), "ERR 1041");
}

TEST(PathCommands, RecordsAreLaidOutAsTheBufferFormatSays) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    vm.Ok("StartPath", {1});
    vm.Ok("RelMoveTo", {1, 1.5, -2});
    vm.Ok("CurveTo", {1, 1, 2, 3, 4, 5, 6});
    vm.Ok("AddArcToPath", {1, 10, 20, 30, 40, 45, 90, 0});
    vm.Ok("AddCircleToPath", {1, 7, 8, 9});
    vm.Ok("AddBoxToPath", {1, 1, 2, 3, 4});
    vm.Ok("ClosePath", {1});
    qzPath* path = PathOf(1);
    ASSERT_NE(path, nullptr);
    // The first command allocates 1024 bytes; the write position stays on the terminator.
    EXPECT_EQ(path->capacity, 1024u);
    EXPECT_EQ(Opcodes(path), (std::vector<uint32_t>{1, 3, 7, 7, 8, 6}));
    EXPECT_EQ(PathBytesInUse(path), 24u + 56 + 56 + 56 + 52 + 4);
    EXPECT_EQ(PathReadU32(path->write), 0u);
    const uint8_t* p = path->buffer;
    EXPECT_EQ(PathReadU32(p + 4), 1u);
    EXPECT_EQ(PathReadDouble(p + 8), 1.5);
    EXPECT_EQ(PathReadDouble(p + 16), -2);
    p += 24 + 56;  // the first arc: centre, radii, angles, then the clockwise word
    EXPECT_EQ(PathReadDouble(p + 36), 45);
    EXPECT_EQ(PathReadU32(p + 52), 0u);
    p += 56;  // the circle: 0 to 360 degrees, clockwise
    EXPECT_EQ(PathReadDouble(p + 20), 9);
    EXPECT_EQ(PathReadDouble(p + 28), 9);
    EXPECT_EQ(PathReadDouble(p + 44), 360);
    EXPECT_EQ(PathReadU32(p + 52), 1u);

    // Strings take 4 * floor((length + 1) / 4) + 4 bytes.
    EXPECT_EQ(PathStringSize(3), 8u);
    EXPECT_EQ(PathStringSize(2), 4u);
    EXPECT_EQ(PathStringSize(0), 4u);
}

TEST(PathCommands, BuffersGrowByTheEstimateAndNeverBeyondTheirCapacity) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    vm.Ok("StartPath", {1});
    // 24-byte records: after 38 of them (912 bytes) the estimate of 128 no longer fits in 1024.
    for (int i = 0; i < 38; i++) vm.Ok("LineTo", {1, i, i});
    EXPECT_EQ(PathOf(1)->capacity, 1024u);
    vm.Ok("LineTo", {1, 0, 0});
    EXPECT_EQ(PathOf(1)->capacity, 2048u);
    EXPECT_EQ(Opcodes(PathOf(1)).size(), 39u);
    EXPECT_EQ(PathReadDouble(PathOf(1)->buffer + 36 * 24 + 8), 36);
}

TEST(PathCommands, CopyAndAppend) {
    qztest::Commands vm{&qzSystemLibrary, &qzVectorGraphicsLibrary};
    vm.Ok("StartPath", {1});
    vm.Ok("MoveTo", {1, 1, 1});
    vm.Ok("LineTo", {1, 2, 2});
    vm.Ok("StartPath", {2});
    vm.Ok("MoveTo", {2, 9, 9});
    EXPECT_EQ(vm.Run("CopyPath", {1, 1}), "ERR 1055");
    EXPECT_EQ(vm.Run("AppendPath", {1, 1}), "ERR 1055");
    EXPECT_EQ(vm.Run("CopyPath", {3, 2}), "ERR 1393");

    // A copy replaces path 2 and has its own buffer of the source's capacity.
    vm.Ok("CopyPath", {1, 2});
    EXPECT_EQ(Opcodes(PathOf(2)), (std::vector<uint32_t>{1, 2}));
    EXPECT_NE(PathOf(2)->buffer, PathOf(1)->buffer);
    EXPECT_EQ(PathOf(2)->capacity, PathOf(1)->capacity);
    ASSERT_EQ(vm.CallFresh("CopyPath", {1, Nil{}}), 0);
    EXPECT_EQ(qztest::Render(vm, 1), "userdata");

    // Appending an empty path changes nothing; appending records copies them before one end.
    vm.Ok("StartPath", {4});
    vm.Ok("AppendPath", {1, 4});
    EXPECT_EQ(Opcodes(PathOf(1)), (std::vector<uint32_t>{1, 2}));
    vm.Ok("AppendPath", {4, 1});
    vm.Ok("AppendPath", {4, 2});
    EXPECT_EQ(Opcodes(PathOf(4)), (std::vector<uint32_t>{1, 2, 1, 2}));
    EXPECT_EQ(PathBytesInUse(PathOf(4)), 96u);
    EXPECT_EQ(PathReadU32(PathOf(4)->write), 0u);
}

TEST(PathCommands, CopiedObjectDataOutlivesTheSource) {
    // The copy holds object data of its own: freeing the source leaves the copy's data intact
    // (a shared list was released twice).
    qztest::Commands vm{&qzSystemLibrary, &qzVectorGraphicsLibrary};
    vm.Ok("StartPath", {1});
    vm.Ok("SetObjectData", {QZ_TYPE_VECTORPATH, 1, "name", "first"});
    vm.Ok("CopyPath", {1, 2});
    vm.Ok("SetObjectData", {QZ_TYPE_VECTORPATH, 2, "more", 5});
    vm.Ok("FreePath", {1});
    EXPECT_EQ(vm.Run("GetObjectData", {QZ_TYPE_VECTORPATH, 2, "name"}), "\"first\"");
    EXPECT_EQ(vm.Run("GetObjectData", {QZ_TYPE_VECTORPATH, 2, "more"}), "5");
}

TEST(PathCommands, BoxCornersFromTheOptions) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    const struct {
        std::vector<Arg> args;
        uint32_t corners[4];
    } rows[] = {
        {{1, 0, 0, 40, 20}, {0, 0, 0, 0}},
        {{1, 0, 0, 40, 20, Arg::Table({{"roundlevel", 30}, {"cornerb", 150}})}, {30, 100, 30, 30}},
        {{1, 0, 0, 40, 20, Arg::Table({{"cornera", -5}, {"cornerd", 100}})}, {0, 0, 0, 100}},
    };
    for (const auto& r : rows) {
        vm.Ok("StartPath", {1});
        vm.Ok("AddBoxToPath", r.args);
        const uint8_t* p = PathOf(1)->buffer;
        for (int i = 0; i < 4; i++) EXPECT_EQ(PathReadU32(p + 36 + 4 * i), r.corners[i]) << i;
    }
    EXPECT_EQ(vm.Run("AddBoxToPath", {1, 0, 0, 1, 1, 5}), "ERR " + std::to_string(ERR_TABEXPECTED));
}

TEST(PathCommands, StyleSettersAndDashes) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    vm.Ok("SetLineJoin", {2});
    EXPECT_EQ(GetPathStyle().lineJoin, 2);
    EXPECT_EQ(vm.Run("SetLineJoin", {Nil{}}), "ERR 1138");
    vm.Ok("SetLineCap", {2.7});
    vm.Ok("SetFillRule", {7});
    EXPECT_EQ(GetPathStyle().lineCap, 2);
    EXPECT_EQ(GetPathStyle().fillRule, 7);  // stored as given; the engine reads unknown rules as winding

    vm.Ok("SetDash", {5, 10, 4});
    ASSERT_EQ(GetPathStyle().dashCount, 2u);
    EXPECT_EQ(GetPathStyle().dashOffset, 5);
    EXPECT_EQ(GetPathStyle().dashLengths[0], 10);
    EXPECT_EQ(GetPathStyle().dashLengths[1], 4);
    vm.Ok("SetDash", {0, -1});
    EXPECT_EQ(GetPathStyle().dashCount, 0u);
    EXPECT_EQ(GetPathStyle().dashLengths, nullptr);
    EXPECT_EQ(vm.Run("SetDash", {1}), "ERR " + std::to_string(ERR_MISSINGPARAMTR));

    vm.Ok("ForcePathUse", {1});
    EXPECT_EQ(GetForcePathUse(), 1);
    // Closing the library puts everything back.
    vm.CloseLibraries();
    EXPECT_EQ(GetPathStyle().lineCap, 0);
    EXPECT_EQ(GetForcePathUse(), 0);
}

// With the text library open, text goes into paths in the font that SetFont chose.
TEST(PathCommands, TextTakesTheTextLibrarysFont) {
    qztest::Commands vm{&qzTextLibrary, &qzVectorGraphicsLibrary};
    vm.Ok("StartPath", {1});
    EXPECT_EQ(vm.Run("AddTextToPath", {1, "Hi"}), "ERR 1395");  // the inbuilt bitmap font
    vm.Ok("SetFont", {":::default_sans", 16});
    EXPECT_EQ(vm.Run("AddTextToPath", {1, "Hi"}), "");
    vm.CloseLibraries();
}

TEST(PathCommands, TextNeedsAFreeTypeFont) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    vm.Ok("StartPath", {1});
    // The inbuilt bitmap font is the current font when no text library says otherwise.
    EXPECT_EQ(vm.Run("AddTextToPath", {1, "Hi"}), "ERR 1395");
    EXPECT_EQ(vm.Run("AddTextToPath", {2, "Hi"}), "ERR 1393");

    VeraFont vera(30);
    ASSERT_NE(vera.font, nullptr);
    TextSource text(vera.font);
    EXPECT_EQ(vm.Run("AddTextToPath", {1, "Hi", Arg::Table({{"encoding", 2}})}), "ERR 1055");
    vm.Ok("AddTextToPath", {1, "\xE9t\xE9"});  // Latin-1 by default, stored as UTF-8
    vm.Ok("AddTextToPath", {1, "\xC3\xA9t\xC3\xA9", Arg::Table({{"encoding", 1}})});
    const uint8_t* first = PathOf(1)->buffer;
    EXPECT_EQ(PathReadU32(first + 8), 30u);
    EXPECT_STREQ(reinterpret_cast<const char*>(first + 12), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(PathRecordSize(first), 12u + 8);
    // Both records use one vector font.
    const uint8_t* second = first + PathRecordSize(first);
    EXPECT_EQ(PathReadU32(second), uint32_t(QZ_PATHOP_TEXT));
    EXPECT_EQ(PathReadU32(second + 4), PathReadU32(first + 4));
    vm.CloseLibraries();
}

TEST(PathCommands, VectorEngineNames) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    vm.Ok("SetVectorEngine", {"DEFAULT"});
    EXPECT_TRUE(IsInbuiltVectorEngine(GetCurrentVectorEngine()));
    EXPECT_EQ(vm.Run("SetVectorEngine", {"nothere"}), "ERR 1531");
    EXPECT_STREQ(GetErrorArgString(), "nothere");
    // A failed choice keeps the engine that was current.
    EXPECT_TRUE(IsInbuiltVectorEngine(GetCurrentVectorEngine()));
    EXPECT_EQ(FindVectorEngine(std::string(300, 'a').c_str()), nullptr);
}

}  // namespace path_commands_test
