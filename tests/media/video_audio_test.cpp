// The sound channels of videos, on the native output rendered through the headless device by
// hand: a video's PCM reaches the mixer sample for sample through its FIFO, an ended video's
// channel falls silent, the channel goes back to the table, and every channel can be taken.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "media/sound/audio_channels.h"
#include "media/sound/video_audio.h"
#include "platform/os_lock.h"
#include "sound_test_util.h"

namespace video_audio_test {

namespace {

using namespace soundtest;

constexpr int32_t kRate = 48000;

int16_t ValueAt(uint64_t f) { return static_cast<int16_t>(100 + (f * 7) % 20000); }

// A stand-in video: mono PCM counting up frame by frame.
struct FakeVideo {
    std::atomic<uint64_t> frames{0};
    std::atomic<int> stop{0};
};

int Fill(void* video, unsigned char* dest, uint32_t bytes, qzWorkerThread*) {
    auto* v = static_cast<FakeVideo*>(video);
    if (v->stop.load()) return -1;
    uint64_t f = v->frames.load();
    for (uint32_t i = 0; i + 1 < bytes; i += 2) {
        int16_t s = ValueAt(f++);
        std::memcpy(dest + i, &s, 2);
    }
    v->frames.store(f);
    return 0;
}

struct VideoAudio : SoundOutputTest {
    FakeVideo fake;
    qzVideoAudio audio = {};

    void SetUp() override {
        SoundOutputTest::SetUp();
        audio.video = &fake;
        audio.fill = Fill;
        audio.channels = 1;
        audio.rate = kRate;
        audio.blockFrames = 1024;
        audio.volume.store(64);
        audio.channelIndex = -1;
    }

    uint32_t FifoFill(qzVideoAudioFifo* f) {
        qzMutexLock lock(f->mutex);
        return f->fill;
    }
};

TEST_F(VideoAudio, PcmReachesTheMixerWithoutGapsAndStopsWithTheVideo) {
    ASSERT_EQ(OpenVideoAudioChannel(&audio), 0);
    ASSERT_NE(audio.channel, nullptr);
    EXPECT_EQ(audio.channel->state.load(), QZ_CHANNEL_VIDEO);
    qzVideoAudioFifo* fifo = AllocVideoAudioFifo(&audio);
    ASSERT_NE(fifo, nullptr);
    std::atomic<int> result{0};
    std::thread server([&] {
        int r = 0;
        while (!fake.stop.load() && (r = FeedVideoAudio(nullptr, fifo)) == 0) {
        }
        result.store(r);
    });
    // Until the first feed attached the bus the channel is silent.
    std::vector<float> played;
    for (int block = 0; block < 40; block++) {
        for (int i = 0; i < 2000 && (fifo->firstFill || FifoFill(fifo) <= fifo->capacity / 2); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::vector<float> out = Render(2048);
        for (size_t f = 0; f < out.size(); f += 2) played.push_back(out[f]);
    }
    size_t start = 0;
    while (start < played.size() && played[start] == 0.0f) start++;
    ASSERT_LT(start, played.size());
    int mismatches = 0;
    for (size_t i = start; i < played.size(); i++) {
        float want = ValueAt(i - start) / 32768.0f;
        if (std::fabs(played[i] - want) > 1e-4f && mismatches++ < 3)
            ADD_FAILURE() << "frame " << (i - start) << ": " << played[i] << " instead of " << want;
    }
    EXPECT_EQ(mismatches, 0);

    // The end of the video silences its channel at once.
    StopVideoAudioChannel(&audio);
    std::vector<float> after = Render(1024);
    for (float s : after) ASSERT_EQ(s, 0.0f);
    fake.stop.store(1);
    server.join();
    EXPECT_LE(result.load(), 0);
    int32_t n = audio.channelIndex;
    FreeVideoAudioFifo(fifo);
    EXPECT_EQ(GetSoundChannels()[n].state.load(), QZ_CHANNEL_FREE);
    EXPECT_EQ(audio.channel, nullptr);
    EXPECT_EQ(audio.fifo.load(), nullptr);
}

TEST_F(VideoAudio, EveryChannelCanBeTakenAndThenThereIsNone) {
    std::vector<qzVideoAudio> videos(static_cast<size_t>(GetSoundChannelCount()) + 1);
    for (auto& v : videos) {
        v.video = &fake;
        v.fill = Fill;
        v.channels = 2;
        v.rate = 44100;
        v.volume.store(64);
        v.channelIndex = -1;
    }
    for (int32_t i = 0; i < GetSoundChannelCount(); i++) ASSERT_EQ(OpenVideoAudioChannel(&videos[i]), 0) << i;
    EXPECT_EQ(OpenVideoAudioChannel(&videos.back()), ERR_NOCHANNEL);
    EXPECT_EQ(videos.back().channel, nullptr);
    // Given back twice: the second time changes nothing.
    for (auto& v : videos) {
        CloseVideoAudioChannel(&v);
        CloseVideoAudioChannel(&v);
    }
    for (int32_t i = 0; i < GetSoundChannelCount(); i++) EXPECT_EQ(GetSoundChannels()[i].state.load(), QZ_CHANNEL_FREE);
}

}  // namespace

}  // namespace video_audio_test
