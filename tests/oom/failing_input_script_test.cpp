// The headless input script at each failing allocation: it is read whole or memory running out
// is reported; it never ends early with a part of its events, which would leave an applet
// waiting for input that never comes.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "oom/alloc_faults.h"
#include "platform/file_test_util.h"
#include "platform/host/input_script.h"

namespace {

TEST(FailingAllocation, InputScriptIsReadWholeOrNotAtAll) {
    filetest::TempDir dir;
    const std::string path = dir / "input.txt";
    filetest::WriteFile(path, "300 @2 key h\n+150 @2 key l\n+150 @2 click 20 20\n+150 @2 close\n");
    std::vector<qzScriptedEvent> events;
    std::string message;
    bool loaded = false;
    size_t whole = 0;
    uint64_t count = ForEachFailingAllocation(
        [&] {
            events.clear();
            try {
                loaded = LoadInputScript(path.c_str(), &events, &message);
            } catch (const std::bad_alloc&) {
                loaded = false;
                events.clear();
            }
        },
        [&](uint64_t n) {
            if (n == 0) {
                ASSERT_TRUE(loaded) << message;
                whole = events.size();
            } else if (loaded) {
                EXPECT_EQ(events.size(), whole) << n;
            }
        });
    EXPECT_GT(whole, 3u);
    EXPECT_GT(count, 4u);
}

}  // namespace
