// The brush, sample and font services of the host API as a plugin calls them: the test plugin
// "services" reads a brush's pixels, fills its locked bitmap, makes brushes from pixels, reads and
// changes a sample's data shared and copied, and looks at the embedded faces.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/error_codes.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/sound/sound.h"
#include "plugins/plugin_fixture.h"
#include "support/headless_start.h"
#include "text/embedded_fonts.h"

namespace plugin_host_services_test {

using namespace plugintest;
using qztest::Arg;

namespace {

struct HostServices : PluginTest {
    HostServices()
        : PluginTest({&qzSystemLibrary, &qzDosLibrary, &qzGraphicsLibrary, &qzBrushLibrary, &qzSoundLibrary}) {}
    void SetUp() override {
        PluginTest::SetUp();
        ASSERT_TRUE(qztest::StartHeadlessDriver(true));  // samples need the sound system
        ASSERT_NE(LoadAndInit("services", "services.qzp"), nullptr);
    }
    void TearDown() override {
        PluginTest::TearDown();
        HeadlessSetManualAudio(0);
        HostStopDriver();
    }
};

// A 16-bit mono WAVE file of 8000 Hz with the values.
std::string Wave16(const std::vector<int16_t>& values) {
    auto le = [](uint32_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; i++) s.push_back((char)((v >> (8 * i)) & 255));
        return s;
    };
    std::string data;
    for (int16_t v : values) data += le((uint16_t)v, 2);
    const std::string fmt =
        "fmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) + le(16000, 4) + le(2, 2) + le(16, 2);
    const std::string body = "WAVE" + fmt + "data" + le((uint32_t)data.size(), 4) + data;
    return "RIFF" + le((uint32_t)body.size(), 4) + body;
}

}  // namespace

TEST_F(HostServices, BrushesAreReadLockedAndMadeFromPixels) {
    ASSERT_EQ(vm.Call("CreateBrush", {1, 4, 3, 0xFF0000}), 0);
    EXPECT_EQ(vm.Run("BrushPixels", {1}), "4, 3, 4294901760, 4294901760");  // $FFFF0000
    EXPECT_EQ(vm.Run("FillBrush", {1, 0x00FF00}), "4, 3");
    EXPECT_EQ(vm.Run("BrushPixels", {1}), "4, 3, 4278255360, 4278255360");  // $FF00FF00
    // A missing brush gives no pixels and no lock.
    EXPECT_EQ(vm.Run("BrushPixels", {7}), "");
    EXPECT_EQ(vm.Run("FillBrush", {7, 0}), "");

    // Pixel x, y of the plugin's rows is AA = $80 + x, RR = x, GG = y, BB = $40; without the alpha
    // tag the brush is opaque.
    const struct {
        int id, width, height, alpha;
        std::string pixels;
    } rows[] = {
        {2, 3, 2, 1, "3, 2, 2147483712, 2181169472"},  // $80000040 and $82020140
        {3, 3, 2, 0, "3, 2, 4278190144, 4278321472"},  // $FF000040 and $FF020140
        {2, 1, 1, 0, "1, 1, 4278190144, 4278190144"},  // replaces brush 2
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vm.Run("BrushFromPixels", {r.id, r.width, r.height, r.alpha}), "") << r.id;
        EXPECT_EQ(vm.Run("BrushPixels", {r.id}), r.pixels) << r.id;
    }
    // An automatic identifier gets a handle.
    ASSERT_EQ(vm.CallFresh("BrushFromPixels", {qztest::NilArg(), 2, 2}), 0);
    ASSERT_EQ(VmType(vm, 1), VM_TLIGHTUSERDATA);
    EXPECT_EQ(vm.Run("BrushPixels", {Arg::Stack(1)}), "2, 2, 4278190144, 4278255936");  // $FF010140
    VmSetTop(vm, 0);
    EXPECT_EQ(vm.Run("BrushFromPixels", {4, 0, 2}), "ERR " + std::to_string(ERR_BADDIMENSIONS));
}

TEST_F(HostServices, SampleDataIsSharedOrCopiedAndWrittenBack) {
    const std::string path = dir / "s.wav";
    filetest::WriteFile(path, Wave16({1000, -2000, 3000}));
    ASSERT_EQ(vm.Call("LoadSample", {1, path}), 0);
    // frames, channels, bits, first value, copied
    EXPECT_EQ(vm.Run("SampleData", {1, 0}), "3, 1, 16, 1000, 0");
    EXPECT_EQ(vm.Run("SampleData", {1, 1, 1}), "3, 1, 16, 1000, 1");   // a changed copy goes back
    EXPECT_EQ(vm.Run("SampleData", {1, 0, 1}), "3, 1, 16, -1000, 0");  // shared data changed in place
    EXPECT_EQ(vm.Run("SampleData", {1, 1}), "3, 1, 16, 1000, 1");
    EXPECT_EQ(vm.Run("SampleData", {9, 0}), "");
}

TEST_F(HostServices, EmbeddedFacesAreHandedOut) {
    int count = 0;
    const qzEmbeddedFace* faces = GetEmbeddedFaces(&count);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(vm.Run("InbuiltFonts"), std::to_string(faces[0].size) + ", " + std::to_string(faces[1].size) + ", " +
                                          std::to_string(faces[2].size) + ", 3");
}

}  // namespace plugin_host_services_test
