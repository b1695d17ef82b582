// Vector engines from plugins: SetVectorEngine finds a loaded plugin with the vector capability by
// its file name, the path commands then call its slots with the parameter blocks, text records
// carry ids the plugin turns back into its own vector-font handles through the host's font table,
// a stub plugin answers nothing, and every vector font it made is freed when the library closes.
#include <algorithm>

#include "gfx/bitmap.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "plugin_fixture.h"
#include "text/font_cache.h"
#include "text/font_test_util.h"
#include "text/text_engine.h"
#include "vector/draw_state.h"
#include "vector/path_buffer.h"
#include "vector/path_render.h"
#include "vector/vector_engine.h"

namespace plugin_vector_engine_test {

using qztest::Arg;

namespace {

qzFont* gFont = nullptr;

struct VectorEngineTest : plugintest::PluginTest {
    const qzLibraryDescriptor* libraries[2] = {&qzVectorGraphicsLibrary, nullptr};
    void SetUp() override {
        PluginTest::SetUp();
        ASSERT_EQ(OpenLibrary(vm, &qzVectorGraphicsLibrary), 0);
    }
    void TearDown() override {
        CloseLibraries(vm, libraries);  // frees the vector fonts while their plugin is loaded
        PluginTest::TearDown();
    }
    qzPath* Path(int number) {
        qzPath* path = nullptr;
        FindPath(qzObjectId{number, nullptr}, &path);
        return path;
    }
};

}  // namespace

TEST_F(VectorEngineTest, NamesFindLoadedVectorPlugins) {
    qzPluginRecord* record = LoadAndInit("vectorengine", "vectorengine.qzp");
    ASSERT_NE(record, nullptr);
    ASSERT_NE(LoadAndInit("basic", "basic.qzp"), nullptr);
    const struct {
        const char* name;
        std::string expected;
    } rows[] = {
        {"VectorEngine", ""},      // the extension is added, case does not matter
        {"vectorengine.QZP", ""},  // a name with the extension stands as it is
        {"basic", "ERR 1531"},     // loaded, but without the vector capability
        {"vectorengine.qzp.qzp", "ERR 1531"},
        {"default", ""},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run("SetVectorEngine", {r.name}), r.expected) << r.name;
    EXPECT_TRUE(IsInbuiltVectorEngine(GetCurrentVectorEngine()));
    vm.Ok("SetVectorEngine", {"vectorengine"});
    EXPECT_EQ(GetCurrentVectorEngine(), OsGetPluginInfo(record->handle));
}

TEST_F(VectorEngineTest, SlotsReceiveTheParameterBlocks) {
    qzPluginRecord* record = LoadAndInit("vectorengine", "vectorengine.qzp");
    ASSERT_NE(record, nullptr);
    qzVectorEngine* engine = OsGetPluginInfo(record->handle);
    vm.Ok("SetVectorEngine", {"vectorengine"});
    vm.Ok("StartPath", {1});
    vm.Ok("MoveTo", {1, 10, 20});
    vm.Ok("RelLineTo", {1, 30, 5});
    vm.Ok("LineTo", {1, 15, 60});

    EXPECT_EQ(vm.Run("GetCurrentPoint", {1}), "15, 60");
    // Translation goes to the plugin, which moves the absolute points only.
    vm.Ok("TranslatePath", {1, 5, -5});
    EXPECT_EQ(vm.Run("GetCurrentPoint", {1}), "20, 55");
    // Normalising asks the plugin's extents (filled, no offset) and translates by minus their corner.
    vm.Ok("NormalizePath", {1});
    EXPECT_EQ(PathReadDouble(Path(1)->buffer + 8), 0);
    EXPECT_EQ(PathReadDouble(Path(1)->buffer + 16), 0);

    // Extents: offset, matrix and the stroke's width reach the plugin.
    const double scale[4] = {2, 0, 0, 2};
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    ASSERT_EQ(GetEngineExtents(engine, Path(1)->buffer, GetPathStyle(), 0, 4, 1, 1, scale, &x1, &y1, &x2, &y2), 1);
    // The points (0, 0), (30, 5) relative and (5, 40), moved by 1, 1, doubled, grown by 2.
    EXPECT_EQ(x1, 0);
    EXPECT_EQ(y1, 0);
    EXPECT_EQ(x2, 64);
    EXPECT_EQ(y2, 84);

    // An engine without the extents bit gets the drawing position in the offset fields.
    uint8_t plane[8 * 8] = {};
    vm.Ok("StartPath", {2});
    vm.Ok("MoveTo", {2, 0, 0});
    vm.Ok("LineTo", {2, 3, 2});
    ASSERT_EQ(EngineDrawPath(engine, Path(2)->buffer, GetPathStyle(), 1, 1, plane, 8, 8, 8, 1, nullptr, 4, 5, 0, 0), 1);
    int covered = 0;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            covered += plane[y * 8 + x] == 255 ? (x >= 4 && x < 7 && y >= 5 && y < 7 ? 1 : 100) : 0;
    EXPECT_EQ(covered, 6);
}

// A turned draw through an engine that does not size from extents gets an image that holds the
// turned path: the box is turned by the matrix as the engine applies it (x' = m0 x + m2 y).
TEST_F(VectorEngineTest, TurnedImagesHoldTheTurnedPath) {
    qzPluginRecord* record = LoadAndInit("vectorengine", "vectorengine.qzp");
    ASSERT_NE(record, nullptr);
    vm.Ok("SetVectorEngine", {"vectorengine"});
    vm.Ok("StartPath", {1});
    vm.Ok("MoveTo", {1, 0, 0});
    vm.Ok("LineTo", {1, 60, 0});
    vm.Ok("LineTo", {1, 60, 20});
    vm.Ok("LineTo", {1, 0, 20});
    qzPathRenderParams params;
    params.buffer = Path(1)->buffer;
    params.capacity = Path(1)->capacity;
    params.pathStyle = GetPathStyle();
    params.drawState = *GetDrawState();
    params.drawState.fillStyle = FILLCOLOR;
    params.engine = OsGetPluginInfo(record->handle);
    // A quarter turn of the path stretched twice across: 20 wide and 120 high.
    qzPathDrawTags tags;
    InitTransformTags(&tags.transform);
    const double matrix[4] = {0, -2, 1, 0};
    std::copy(matrix, matrix + 4, tags.transform.matrix);
    tags.transform.anchorx = tags.transform.anchory = 0.5;
    InitLayerTags(&tags.layer);
    qzPathRenderOutput out;
    ASSERT_EQ(DrawPathCore(vm, 0, 0, &params, &tags, &out, PATHRENDER_NOBLIT, 0), 0);
    EXPECT_GE(out.width, 20);
    EXPECT_GE(out.height, 120);
    DeleteBitMap(out.bitmap);
    DeleteAlphaBitMap(out.alpha);
}

TEST_F(VectorEngineTest, VectorFontsArePerEngineAndFreedAtTheEnd) {
    fonttest::FontSystem fonts;
    ASSERT_EQ(OpenFontWithDefaults(QZ_FONT_SANS, 20, FONTENGINE_NATIVE, 1, 0, &gFont), 0);
    GetFontStyleState()->font = gFont;  // the current font of AddTextToPath
    qzPluginRecord* record = LoadAndInit("vectorengine", "vectorengine.qzp");
    ASSERT_NE(record, nullptr);
    qzPluginInfo* info = OsGetPluginInfo(record->handle);

    // A text record made for the inbuilt engine is given the plugin's font when the plugin reads it.
    vm.Ok("StartPath", {1});
    vm.Ok("AddTextToPath", {1, "abc"});
    uint32_t inbuiltId = PathReadU32(Path(1)->buffer + 4);
    vm.Ok("SetVectorEngine", {"vectorengine"});
    EXPECT_EQ(vm.Run("GetCurrentPoint", {1}), "60, 0");
    EXPECT_EQ(info->userData, 1);
    EXPECT_NE(PathReadU32(Path(1)->buffer + 4), inbuiltId);
    // The second text with the same font and engine takes the same font.
    vm.Ok("AddTextToPath", {1, "d"});
    EXPECT_EQ(info->userData, 1);
    EXPECT_EQ(vm.Run("GetCurrentPoint", {1}), "80, 0");

    GetFontStyleState()->font = nullptr;
    CloseLibraries(vm, libraries);
    EXPECT_EQ(info->userData, 0);
    ASSERT_EQ(OpenLibrary(vm, &qzVectorGraphicsLibrary), 0);
}

TEST_F(VectorEngineTest, StubPluginsAnswerNothing) {
    fonttest::FontSystem fonts;
    ASSERT_EQ(OpenFontWithDefaults(QZ_FONT_SANS, 20, FONTENGINE_NATIVE, 1, 0, &gFont), 0);
    GetFontStyleState()->font = gFont;  // the current font of AddTextToPath
    ASSERT_NE(LoadAndInit("vectorengine", "stubvector.qzp"), nullptr);
    vm.Ok("SetVectorEngine", {"stubvector"});
    vm.Ok("StartPath", {1});
    vm.Ok("MoveTo", {1, 10, 20});
    EXPECT_EQ(vm.Run("GetCurrentPoint", {1}), "0, 0");
    vm.Ok("TranslatePath", {1, 5, 5});
    EXPECT_EQ(PathReadDouble(Path(1)->buffer + 8), 10);
    EXPECT_EQ(vm.Run("AddTextToPath", {1, "a"}), "ERR 1396");
    GetFontStyleState()->font = nullptr;
}

}  // namespace plugin_vector_engine_test
