// Image saving through saver plugins: the first enabled plugin that lists the format gets the
// pixels; a disabled plugin or an unlisted format is no saver.
#include "base/error_codes.h"
#include "image/image_save.h"
#include "platform/plugin_loader.h"
#include "plugins/plugin_fixture.h"

namespace plugin_image_saver_test {

using namespace plugintest;

TEST_F(PluginTest, ImageSaverPluginsWriteTheirFormats) {
    qzPluginRecord* record = LoadAndInit("library", "lib.qzp");
    ASSERT_NE(record, nullptr);
    const uint32_t pixels[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0x80FFFFFF, 0x000000, 0x123456};
    const std::string ppm = dir / "x.ppm";
    ASSERT_EQ(SaveImageFile(7, pixels, 3, 2, ppm.c_str(), -1, 0, 90, 256, 0), 0);
    EXPECT_EQ(filetest::ReadFile(ppm),
              std::string("P6\n3 2\n255\n\xFF\0\0\0\xFF\0\0\0\xFF\xFF\xFF\xFF\0\0\0\x12\x34\x56", 11 + 18));
    const std::string raw = dir / "x.raw";
    ASSERT_EQ(SaveImageFile(8, pixels, 3, 2, raw.c_str(), -1, 1, 90, 256, 0), 0);
    EXPECT_EQ(filetest::ReadFile(raw), std::string(reinterpret_cast<const char*>(pixels), sizeof pixels));
    EXPECT_EQ(SaveImageFile(9, pixels, 3, 2, raw.c_str(), -1, 0, 90, 256, 0), ERR_UNKNOWNIMGOUT);
    SetPluginDisabled(record->handle->info, 1);
    EXPECT_EQ(SaveImageFile(7, pixels, 3, 2, ppm.c_str(), -1, 0, 90, 256, 0), ERR_UNKNOWNIMGOUT);
}

}  // namespace plugin_image_saver_test
