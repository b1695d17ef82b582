// The headless input script and requester answers at each failing allocation: each is read
// whole or memory running out is reported; neither ends early with a part of its lines, which
// would leave an applet waiting for input that never comes or answer a requester wrongly.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "oom/alloc_faults.h"
#include "platform/file_test_util.h"
#include "platform/host/headless/headless_answers.h"
#include "platform/host/input_script.h"

namespace failing_input_script_test {

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

TEST(FailingAllocation, AnswersAreReadWholeOrNotAtAll) {
    filetest::TempDir dir;
    const std::string path = dir / "answers.txt";
    filetest::WriteFile(path, "button 1\nfile /tmp/a.txt\ntext \"who is there\"\ncancel\n");
    std::vector<qzAnswerLine> answers;
    std::string message;
    bool loaded = false;
    size_t whole = 0;
    ForEachFailingAllocation(
        [&] {
            answers.clear();
            try {
                loaded = LoadAnswers(path.c_str(), &answers, &message);
            } catch (const std::bad_alloc&) {
                loaded = false;
                answers.clear();
            }
        },
        [&](uint64_t n) {
            if (n == 0) {
                ASSERT_TRUE(loaded) << message;
                whole = answers.size();
            } else if (loaded) {
                EXPECT_EQ(answers.size(), whole) << n;
            }
        });
    EXPECT_EQ(whole, 4u);
}

}  // namespace

}  // namespace failing_input_script_test
