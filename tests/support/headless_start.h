// Starts the headless driver for a test that calls commands directly: no input script and no
// audio capture file; with `manualAudio` the sound device pulls frames only when the test
// renders them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/host/headless/headless.h"
#include "platform/host/host.h"

namespace qztest {

inline ::testing::AssertionResult StartHeadlessDriver(bool manualAudio) {
    setenv("QUARNELIX_DRIVER", "headless", 1);
    unsetenv("QUARNELIX_INPUT");
    unsetenv("QUARNELIX_AUDIO_CAPTURE");
    std::string message;
    if (HostStartDriver(&message) != 0) return ::testing::AssertionFailure() << message;
    HeadlessSetManualAudio(manualAudio ? 1 : 0);
    return ::testing::AssertionSuccess();
}

}  // namespace qztest
