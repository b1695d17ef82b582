// The event loop connected to the runtime and the timer thread, as start-up connects them: a
// timed wait returns through the timer thread's wake-up, a quit request ends it as a user abort,
// and the event pump of waits reports the quit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "base/error_codes.h"
#include "display/event_pump.h"
#include "platform/host/event_loop.h"
#include "platform/host/headless/headless.h"
#include "platform/os_timer.h"
#include "player/event_loop_link.h"
#include "runtime/runtime.h"

namespace event_loop_link_test {

namespace {

class EventLoopLink : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUARNELIX_DRIVER", "headless", 1);
        unsetenv("QUARNELIX_INPUT");
        std::string message;
        ASSERT_EQ(MacInitPlatform(&message), 0) << message;
        LinkEventLoop();
        ASSERT_EQ(OsStartTimerThread(), 0);
    }
    void TearDown() override {
        OsStopTimerThread();
        UnlinkEventLoop();
        MacShutdownPlatform();
        SetQuitFlag(0);
    }
};

TEST_F(EventLoopLink, TimedWaitReturnsThroughTheTimerThread) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(OsWaitPumpingEvents(nullptr, 60), 0);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(60));
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_FALSE(IsQuitRequested());
}

TEST_F(EventLoopLink, QuitRequestEndsTheWaitAndThePump) {
    qzHostEvent quit;
    quit.kind = QZ_HEV_QUIT;
    HeadlessSetInputScript({{30000, 0, 1, quit}});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(OsWaitPumpingEvents(nullptr, 60000), ERR_USERABORT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(IsQuitRequested());
    int error = -1;
    EXPECT_NE(PumpEvents(nullptr, QZ_PUMP_WAIT, &error), 0);
    EXPECT_EQ(error, 0);
}

}  // namespace

}  // namespace event_loop_link_test
