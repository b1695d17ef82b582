// End to end: an applet draws a box as a layer, selects the layer, draws a smaller box into it,
// ends the selection and turns the layer half round; the snapshot shows the inner box turned with
// the layer, so the drawing became part of the layer's content.
#include <gtest/gtest.h>

#include <cairo.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace layers_e2e_test {

namespace {

// One command call with constant arguments.
std::string Call(const std::string& command, const std::vector<std::string>& args) {
    std::string name = command;  // globals are looked up in lower case
    for (char& c : name) c = (char)std::tolower((unsigned char)c);
    std::string code = "    GETGLOBAL r0 \"" + name + "\"\n";
    int r = 1;
    for (const std::string& a : args) code += "    LOADK r" + std::to_string(r++) + " " + a + "\n";
    return code + "    CALL r0 " + std::to_string(r) + " 1\n";
}

class LayersE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/qzlayersXXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        dir = dirTemplate;
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }

    // The snapshot pixel of display 2 as 0xRRGGBB (0xFFFFFFFF without a snapshot).
    uint32_t Pixel(int x, int y) {
        cairo_surface_t* png = cairo_image_surface_create_from_png((dir + "/display-2.png").c_str());
        uint32_t pixel = 0xFFFFFFFFu;
        if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS) {
            cairo_surface_flush(png);
            const uint8_t* row = cairo_image_surface_get_data(png) + y * cairo_image_surface_get_stride(png);
            pixel = reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
        }
        cairo_surface_destroy(png);
        return pixel;
    }

    std::string dir;
};

TEST_F(LayersE2E, DrawingIntoASelectedLayerTurnsWithIt) {
    const std::string body =
        "    NEWTABLE r3 0 0\n    SETTABLE r3 \"width\" 64\n    SETTABLE r3 \"height\" 48\n"
        "    SETTABLE r3 \"color\" 0\n    LOADBOOL r4 1 0\n    SETTABLE r3 \"layers\" r4\n"
        "    GETGLOBAL r0 \"createdisplay\"\n    LOADK r1 2\n    MOVE r2 r3\n    CALL r0 3 1\n" +
        Call("OpenDisplay", {"2"}) + Call("SetFillStyle", {"1"}) + Call("Box", {"10", "10", "20", "10", "16711680"}) +
        Call("SelectLayer", {"1"}) + Call("Box", {"0", "0", "4", "4", "65280"}) + Call("EndSelect", {}) +
        Call("RotateLayer", {"1", "180"});
    const std::string text = ".applet\n.record 10 u8 6 u8 0\n.function main\n  .source \"@layers.qzs\"\n  .line 1\n" +
                             body + "    RETURN r0 1\n.end\n";
    std::string error;
    const std::vector<uint8_t> bytes = QzAssemble(text, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    WriteBytes(dir + "/layers.qza", bytes);
    int status = 0;
    const std::string output = CaptureOutput("cd '" + dir + "' && QUARNELIX_DRIVER=headless QUARNELIX_SNAPSHOT_DIR='" +
                                                 dir + "' " + PlayerTimeout() + "'" + BinaryDir() +
                                                 "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout layers.qza 2>&1",
                                             &status);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_EQ(output, "");
    EXPECT_EQ(Pixel(28, 18), 0x00FF00u);
    EXPECT_EQ(Pixel(11, 11), 0xFF0000u);
    EXPECT_EQ(Pixel(40, 40), 0x000000u);
}

}  // namespace

}  // namespace layers_e2e_test
