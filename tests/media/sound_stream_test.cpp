// Stream channels on the native output, rendered through the headless device by hand: a WAVE
// file streams through its double buffer and refill thread sample for sample, every stream ends
// (also one whose length is a whole number of halves, and short streams played several times),
// the end event, pausing keeps the pass and frame, and the same stream through an audio adapter.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "media/sound/audio_channels.h"
#include "media/sound/native_output.h"
#include "media/sound/sound_events.h"
#include "media/sound/sound_source.h"
#include "media/sound/stream_channel.h"
#include "sound_test_util.h"

namespace sound_stream_test {

namespace {

using namespace soundtest;

constexpr int32_t kRate = 48000;

// The value of frame f of the test streams: never 0, so that silence stands apart.
int16_t ValueAt(uint32_t f) { return static_cast<int16_t>(100 + (f * 7) % 20000); }

// A 16-bit mono WAVE file of `frames` frames at 48000 Hz.
std::string WriteStream(const TempDir& dir, uint32_t frames) {
    std::string data;
    for (uint32_t f = 0; f < frames; f++) PutLE16(&data, static_cast<uint16_t>(ValueAt(f)));
    std::string path = dir.File("stream" + std::to_string(frames) + ".wav");
    WriteFile(path, RiffWave(RiffChunk("fmt ", FmtBody(1, 1, kRate, 16)) + RiffChunk("data", data)));
    return path;
}

struct SoundStream : SoundOutputTest {
    qzSoundSource* source = nullptr;

    void TearDown() override {
        if (source) StopMusicOnChannel(QZ_MUSIC_SOURCE, source, 0, nullptr, nullptr);
        CloseSoundSource(source);
        SoundOutputTest::TearDown();
    }

    void Open(const std::string& path) {
        if (source) CloseSoundSource(source);
        source = nullptr;
        ASSERT_EQ(OpenSoundSource(path.c_str(), "inbuilt", nullptr, 0, 1, &source, nullptr), 0);
    }

    int32_t ChannelOf() {
        for (int32_t i = 0; i < GetSoundChannelCount(); i++)
            if (GetSoundChannels()[i].state.load() == QZ_CHANNEL_STREAM && GetSoundChannels()[i].source == source)
                return i;
        return -1;
    }

    // Waits until the refill thread has filled what it may fill.
    void WaitFilled() {
        int32_t n = ChannelOf();
        for (int i = 0; n >= 0 && i < 2000 && !IsStreamChannelFilled(&GetSoundChannels()[n]); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // Renders in quarter seconds until the stream's channel has been freed (at most `limit`
    // frames): the left side of everything rendered.
    std::vector<float> PlayOut(size_t limit) {
        std::vector<float> left;
        while (left.size() < limit) {
            WaitFilled();
            std::vector<float> out = Render(kRate / 4);
            for (size_t f = 0; f < out.size(); f += 2) left.push_back(out[f]);
            SoundHousekeeping();
            if (ChannelOf() < 0) break;
        }
        return left;
    }
};

// The non-silent values of a rendered side, as 16-bit levels.
std::vector<int16_t> Levels(const std::vector<float>& side) {
    std::vector<int16_t> out;
    for (float v : side)
        if (v != 0.0f) out.push_back(static_cast<int16_t>(std::lround(v * 32768.0f)));
    return out;
}

TEST_F(SoundStream, EveryLengthAndPassCountPlaysWholeAndEnds) {
    TempDir dir;
    SetSoundEventHook("onmusicend", 1);
    struct Case {
        uint32_t frames;
        int32_t passes;
    };
    const Case cases[] = {
        {kRate / 2, 1},      // fits into the first half: no refill thread
        {kRate, 1},          // exactly one half
        {2 * kRate, 1},      // a whole number of halves
        {3 * kRate / 2, 1},  // ends inside a half
        {kRate / 3, 2},      // short, played twice
        {kRate / 3, 3},      // short, played three times: exactly one half
        {kRate, 3},          // whole halves, played three times
        {4800, 25},          // far shorter than a half, many passes
        {1, 1},              // a single frame
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames, " << c.passes << " passes");
        Open(WriteStream(dir, c.frames));
        ASSERT_EQ(PlayMusicOnChannel(QZ_MUSIC_SOURCE, source, qzObjectId{9, nullptr}, c.passes, 1, 64, nullptr), 0);
        size_t total = static_cast<size_t>(c.frames) * c.passes;
        std::vector<float> left = PlayOut(total + 4 * kRate);
        EXPECT_LT(ChannelOf(), 0) << "the stream never ended";
        std::vector<int16_t> levels = Levels(left);
        ASSERT_EQ(levels.size(), total);
        for (size_t i = 0; i < total; i++) {
            if (levels[i] != ValueAt(static_cast<uint32_t>(i % c.frames))) {
                ADD_FAILURE() << "frame " << i << " is " << levels[i];
                break;
            }
        }
        std::vector<Event> events = Events();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].code, QZ_SOUNDEVENT_MUSICEND);
        EXPECT_EQ(events[0].object.number, 9);
    }
}

TEST_F(SoundStream, StoppingKeepsThePassAndFrameOrGoesBackToTheStart) {
    TempDir dir;
    Open(WriteStream(dir, kRate));  // one second
    ASSERT_EQ(PlayMusicOnChannel(QZ_MUSIC_SOURCE, source, qzObjectId{1, nullptr}, 3, 1, 64, nullptr), 0);
    for (int i = 0; i < 6; i++) {  // 1.5 s: the middle of the second pass
        WaitFilled();
        Render(kRate / 4);
    }
    int32_t pass = 0;
    uint32_t position = 0;
    StopMusicOnChannel(QZ_MUSIC_SOURCE, source, 1, &pass, &position);
    EXPECT_LT(ChannelOf(), 0);
    EXPECT_EQ(pass, 2);
    // What the converter took ahead of the device is at most one of its blocks.
    EXPECT_GE(position, static_cast<uint32_t>(kRate / 2));
    EXPECT_LT(position, static_cast<uint32_t>(kRate / 2 + 4096));
    EXPECT_EQ(GetMusicSourceInfo(QZ_MUSICINFO_POSITION, QZ_MUSIC_SOURCE, source, nullptr), position * 1000 / kRate);

    // Going on from there plays the rest of pass 2 and pass 3, from the kept frame.
    ASSERT_EQ(PlayMusicOnChannel(QZ_MUSIC_SOURCE, source, qzObjectId{1, nullptr}, 3, pass, 64, nullptr), 0);
    std::vector<int16_t> levels = Levels(PlayOut(4 * kRate));
    ASSERT_EQ(levels.size(), 2 * static_cast<size_t>(kRate) - position);
    EXPECT_EQ(levels[0], ValueAt(position));
    EXPECT_EQ(levels.back(), ValueAt(kRate - 1));

    // A stop without keeping the position goes back to frame 0.
    ASSERT_EQ(PlayMusicOnChannel(QZ_MUSIC_SOURCE, source, qzObjectId{1, nullptr}, 1, 1, 64, nullptr), 0);
    WaitFilled();
    Render(kRate / 4);
    StopMusicOnChannel(QZ_MUSIC_SOURCE, source, 0, &pass, &position);
    EXPECT_EQ(source->position, 0u);
    EXPECT_EQ(GetMusicSourceInfo(QZ_MUSICINFO_POSITION, QZ_MUSIC_SOURCE, source, nullptr), 0);
}

TEST_F(SoundStream, ASourceWithoutAUsableFormatIsRefused) {
    qzSoundSource none = {};
    EXPECT_EQ(PlayMusicOnChannel(QZ_MUSIC_SOURCE, &none, qzObjectId{4, nullptr}, 1, 1, 64, nullptr),
              ERR_AUDIOCONVERTER);
    for (int32_t i = 0; i < GetSoundChannelCount(); i++) EXPECT_EQ(GetSoundChannels()[i].state.load(), 0);
    // A rate no audio has, as a header that lies gives it, would size the halves of a second; a
    // high real one plays.
    TempDir dir;
    const struct {
        uint32_t rate;
        int result;
    } rows[] = {{768000, 0},
                {768001, ERR_AUDIOCONVERTER},
                {400000000, ERR_AUDIOCONVERTER},
                {0x7FFFFFFF, ERR_AUDIOCONVERTER},
                {0xFFFFFFFF, ERR_AUDIOCONVERTER}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.rate);
        std::string path = dir.File("rate.wav");
        WriteFile(path, RiffWave(RiffChunk("fmt ", FmtBody(1, 1, r.rate, 16)) + RiffChunk("data", std::string(64, 1))));
        Open(path);
        EXPECT_EQ(PlayMusicOnChannel(QZ_MUSIC_SOURCE, source, qzObjectId{4, nullptr}, 1, 1, 64, nullptr), r.result);
        EXPECT_EQ(ChannelOf() >= 0, r.result == 0);
        StopMusicOnChannel(QZ_MUSIC_SOURCE, source, 0, nullptr, nullptr);
    }
}

}  // namespace

}  // namespace sound_stream_test
