// A thread the system refuses (pthread_create failing, as when a process may start no more
// threads) fails opening the sound output with its error instead of ending the process, and
// leaves nothing open: the next open succeeds.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>

#include <atomic>
#include <string>

#include "base/error_codes.h"
#include "platform/audio_graph.h"
#include "platform/host_test_util.h"

namespace refused_thread_test {

namespace {

// Counts down the thread starts: the one that brings it from 1 to 0 is refused.
std::atomic<int> gRefuseThread{0};

}  // namespace

// Every thread of this test binary starts here; the system's own function does the work.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const Create create = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    if (gRefuseThread.load() > 0 && gRefuseThread.fetch_sub(1) == 1) return EAGAIN;
    return create(thread, attr, start, arg);
}

namespace {

class RefusedThread : public HostTest {
protected:
    void SetUp() override { StartPlatform("headless"); }
};

TEST_F(RefusedThread, SoundOutputReportsItAndOpensLater) {
    // The first thread is the wake-up helper, the second the headless device's.
    for (int refused : {1, 2}) {
        std::string message;
        gRefuseThread = refused;
        EXPECT_EQ(AudioGraphOpen(4, &message), ERR_OPENAUDIO) << refused;
        EXPECT_EQ(gRefuseThread.load(), 0) << refused;
        gRefuseThread = 0;
        EXPECT_NE(message.find("thread"), std::string::npos) << refused << ": " << message;
        EXPECT_FALSE(AudioGraphIsOpen()) << refused;
        EXPECT_EQ(AudioGraphOpen(4, &message), 0) << refused << ": " << message;
        EXPECT_TRUE(AudioGraphIsOpen());
        AudioGraphClose();
    }
}

}  // namespace

}  // namespace refused_thread_test
