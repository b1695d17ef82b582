#include <gtest/gtest.h>

#include "runtime/console.h"
#include "runtime/runtime.h"

namespace console_test {

TEST(Console, ProgressLines) {
    ASSERT_EQ(InitRuntime(), 0);
    testing::internal::CaptureStdout();
    PrintProgressStart("Loading brush %s", "/data/gfx/Brush 100%.png", true);
    PrintProgressDone();
    PrintProgressStart("Loading brush %s", ":::chunk10:20*gfx/pic.png?/a/b.qza", false);
    PrintProgressFailed();
    PrintProgressStart("Preparing display", nullptr, true);
    PrintProgressSkipped();
    PrintProgressStart("100% plain %s %d", nullptr, false);  // printed as it is
    PrintConsole("\n%d-%s\n", 7, "x");
    SetRuntimeAttrs(nullptr, {{QZ_RTA_QUIET, 1}});
    PrintProgressStart("Loading brush %s", "quiet.png", true);
    PrintProgressDone();
    PrintConsole("console %s\n", "stays");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Loading brush Brush 100%.png...done\n"
              "Loading brush pic.pngfailed\n"
              "Preparing display...skipped\n"
              "100% plain %s %d\n7-x\n"
              "console stays\n");
    FreeRuntime(nullptr);
    EXPECT_EQ(EscapePercentSigns("a%b%%c"), "a%%b%%%%c");
    EXPECT_EQ(EscapePercentSigns(nullptr), "");
}

}  // namespace console_test
