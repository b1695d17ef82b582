// The channel table on the native output, rendered through the headless device by hand: levels,
// volume and pan, pitch, clipping, passes and time limits, loop and end events, the channel
// search, the busy-mutex rule; and the same sample path through an audio-adapter plugin.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "media/sound/audio_channels.h"
#include "media/sound/native_output.h"
#include "media/sound/sound_events.h"
#include "media/sound/sound_record.h"
#include "media/sound/sound_source.h"
#include "media/sound/stream_channel.h"
#include "module_test_util.h"
#include "platform/audio_graph.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/plugin_api.h"
#include "runtime/plugin_manager.h"
#include "sound_test_util.h"
#include "support/manual_clock.h"

namespace sound_mixer_test {

namespace {

using namespace soundtest;

constexpr int32_t kRate = 48000;

// A sound of `frames` frames of one 16-bit value per channel (left, right for stereo).
struct TestSound {
    qzSound* sound = nullptr;
    TestSound(uint32_t frames, int16_t left, int32_t right = INT32_MIN, uint32_t rate = kRate) {
        bool stereo = right != INT32_MIN;
        uint32_t channels = stereo ? 2 : 1;
        int16_t* data = static_cast<int16_t*>(OsAlloc(static_cast<size_t>(frames) * channels * 2, 0));
        for (uint32_t f = 0; f < frames; f++) {
            data[f * channels] = left;
            if (stereo) data[f * channels + 1] = static_cast<int16_t>(right);
        }
        NewSoundRecord(reinterpret_cast<unsigned char*>(data), frames, rate, stereo ? 5 : 4, &sound, nullptr);
    }
    // A sine of `hz` at `rate`.
    static TestSound Sine(uint32_t frames, double hz, uint32_t rate) {
        TestSound t(frames, 0, INT32_MIN, rate);
        int16_t* data = reinterpret_cast<int16_t*>(t.sound->data);
        for (uint32_t f = 0; f < frames; f++)
            data[f] = static_cast<int16_t>(std::lround(16000 * std::sin(2 * M_PI * hz * f / rate)));
        return t;
    }
    TestSound(TestSound&& o) noexcept : sound(o.sound) { o.sound = nullptr; }
    ~TestSound() { FreeSoundRecord(sound); }
};

int Play(const TestSound& s, int32_t volume = 64, int32_t pan = 128, int32_t passes = 1, int32_t timeMs = -1,
         int32_t pitch = kRate, int32_t id = 1) {
    int error = PlaySoundOnChannel(s.sound, qzObjectId{id, nullptr}, s.sound->format, 0, pitch, volume, pan, timeMs,
                                   passes, nullptr);
    StartPendingSamples();
    return error;
}

// Frames whose left or right side is not silent.
size_t Sounding(const std::vector<float>& out) {
    size_t n = 0;
    for (size_t f = 0; f + 1 < out.size(); f += 2) n += out[f] != 0.0f || out[f + 1] != 0.0f;
    return n;
}

struct SoundMixer : SoundOutputTest {};

TEST_F(SoundMixer, LevelsVolumeAndPan) {
    ASSERT_EQ(OutputRate(), kRate);
    const struct {
        const char* what;
        int16_t left;
        int32_t right;  // INT32_MIN: mono
        int32_t volume;
        int32_t pan;
        float expectLeft;
        float expectRight;
    } rows[] = {
        {"mono, full volume, centre", 16384, INT32_MIN, 64, 128, 0.5f, 0.5f},
        {"volume 8 is half the level", 16384, INT32_MIN, 8, 128, 0.25f, 0.25f},
        {"volume 0 is silence", 16384, INT32_MIN, 0, 128, 0.0f, 0.0f},
        {"pan left", 16384, INT32_MIN, 64, 0, 0.5f, 0.0f},
        {"pan right", 16384, INT32_MIN, 64, 255, 0.0f, 0.5f},
        {"pan three quarters right", -16384, INT32_MIN, 64, 191, -0.5f * 2 * (1 - 191 / 255.0f), -0.5f},
        {"stereo keeps its sides", 8192, -16384, 64, 128, 0.25f, -0.5f},
        {"stereo panned left", 8192, -16384, 64, 64, 0.25f, -0.5f * 2 * (64 / 255.0f)},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        TestSound s(4800, r.left, r.right);
        ASSERT_EQ(Play(s, r.volume, r.pan), 0);
        std::vector<float> out = Render(1000);
        EXPECT_NEAR(out[2 * 500], r.expectLeft, 1e-6);
        EXPECT_NEAR(out[2 * 500 + 1], r.expectRight, 1e-6);
        StopSoundChannels(nullptr);
    }
}

TEST_F(SoundMixer, GainAndPanCurves) {
    EXPECT_EQ(MacVolumeToGain(64), 1.0f);
    EXPECT_EQ(MacVolumeToGain(0), 0.0f);
    EXPECT_FLOAT_EQ(MacVolumeToGain(8), 0.5f);
    EXPECT_EQ(PanToValue(128), 0.5f);
    EXPECT_FLOAT_EQ(PanToValue(127), 127 / 255.0f);
    EXPECT_EQ(PanToValue(0), 0.0f);
    EXPECT_EQ(PanToValue(255), 1.0f);
}

TEST_F(SoundMixer, PitchSetsTheFrequencyAlsoWhilePlaying) {
    TestSound s = TestSound::Sine(8000 * 4, 500, 8000);
    ASSERT_EQ(Play(s, 64, 128, 1, -1, 8000), 0);
    std::vector<float> out = Render(24000);
    Capture c{kRate, 2, out};
    EXPECT_NEAR(Frequency(Side(c, 0), 2000, 20000, kRate), 500.0, 1.0);
    // Twice the rate: twice the frequency.
    SetSampleChannelAttributes(s.sound, 16000, -1, -1);
    out = Render(24000);
    c.samples = out;
    EXPECT_NEAR(Frequency(Side(c, 0), 2000, 20000, kRate), 1000.0, 2.0);
    EXPECT_NEAR(Rms(Side(c, 0), 2000, 20000), 16000 / 32768.0 / std::sqrt(2.0), 0.01);
}

TEST_F(SoundMixer, TheSumIsClipped) {
    TestSound a(4800, 26214), b(4800, 26214);  // 0.8 each
    ASSERT_EQ(Play(a), 0);
    ASSERT_EQ(Play(b), 0);
    std::vector<float> out = Render(1000);
    EXPECT_EQ(out[1000], 1.0f);
    EXPECT_EQ(out[1001], 1.0f);
}

TEST_F(SoundMixer, PassesAndTimeLimits) {
    const struct {
        const char* what;
        uint32_t frames;
        int32_t passes;
        int32_t timeMs;
        int32_t expectPasses;
        uint32_t expectLastFrames;
        int32_t expectLastMs;
        size_t expectSounding;
    } rows[] = {
        {"three passes", 4800, 3, -1, 3, 4800, 100, 14400},
        {"2500 ms of a 1000 ms sample", 48000, 1, 2500, 3, 24000, 500, 120000},
        {"a time limit on a whole number of passes", 4800, 1, 200, 3, 0, 0, 9600},
        {"a sound shorter than a millisecond", 10, 1, 5, 25, 0, 0, 240},
        {"times of 0 play once", 4800, 0, -1, 0, 4800, 100, 4800},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        TestSound s(r.frames, 1000);
        int32_t n = -1;
        ASSERT_EQ(PlaySoundOnChannel(s.sound, qzObjectId{1, nullptr}, 4, 0, kRate, 64, 128, r.timeMs, r.passes, &n), 0);
        const qzAudioChannel& c = GetSoundChannels()[n];
        EXPECT_EQ(c.passes, r.expectPasses);
        EXPECT_EQ(c.lastPassFrames, r.expectLastFrames);
        EXPECT_EQ(c.lastPassMs, r.expectLastMs);
        StartPendingSamples();
        std::vector<float> out = Render(200000);
        EXPECT_EQ(Sounding(out), r.expectSounding);
        EXPECT_FALSE(IsSoundPlaying(s.sound));
    }
}

TEST_F(SoundMixer, LoopAndEndEventsInOrder) {
    SetSoundEventHook("onsampleloop", 1);
    SetSoundEventHook("OnSampleEnd", 1);
    TestSound s(480, 1000);  // 10 ms a pass
    ASSERT_EQ(Play(s, 64, 128, 3, -1, kRate, 7), 0);
    Render(4000);
    std::vector<Event> events = Events();
    ASSERT_EQ(events.size(), 4u);
    const int32_t expected[4][3] = {{6, 0, 1}, {6, 10, 2}, {6, 20, 3}, {5, 30, 3}};
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(events[i].code, expected[i][0]);
        EXPECT_EQ(events[i].time, expected[i][1]);
        EXPECT_EQ(events[i].starts, expected[i][2]);
        EXPECT_EQ(events[i].object.number, 7);
    }
    // Without an "onsampleend" handler no end event is made at all.
    SetSoundEventHook("onsampleend", 0);
    SetSoundEventHook("onsampleloop", 0);
    ASSERT_EQ(Play(s, 64, 128, 2), 0);
    Render(4000);
    EXPECT_TRUE(Events().empty());
}

TEST_F(SoundMixer, SubSecondLoopsLoseNoEvent) {
    SetSoundEventHook("onsampleloop", 1);
    SetSoundEventHook("onsampleend", 1);
    TestSound s(48, 1000);  // 1 ms a pass, far shorter than a rendered block
    ASSERT_EQ(Play(s, 64, 128, 2000), 0);
    Render(2000 * 48 + 4096);
    std::vector<Event> events = Events();
    ASSERT_EQ(events.size(), 2001u);
    for (int32_t i = 0; i < 2000; i++) {
        ASSERT_EQ(events[i].code, 6);
        ASSERT_EQ(events[i].starts, i + 1);
    }
    EXPECT_EQ(events[2000].code, 5);
    EXPECT_EQ(events[2000].time, 2000);
    EXPECT_EQ(DroppedAudioEvents(), 0u);
}

TEST_F(SoundMixer, ChannelsAreTakenInOrderAndFreedByHousekeeping) {
    TestSound shortSound(100, 1000), longSound(480000, 1000);
    ASSERT_EQ(Play(shortSound), 0);
    for (int i = 1; i < 8; i++) ASSERT_EQ(Play(longSound), 0);
    EXPECT_EQ(Play(longSound), ERR_NOCHANNEL);
    // Once the short sample has played out, the next search frees and takes its channel.
    Render(2048);
    int32_t n = -1;
    ASSERT_EQ(PlaySoundOnChannel(longSound.sound, qzObjectId{2, nullptr}, 4, 0, kRate, 64, 128, -1, 1, &n), 0);
    EXPECT_EQ(n, 0);
    StopSoundChannels(longSound.sound);
    EXPECT_FALSE(IsSoundPlaying(longSound.sound));
}

TEST_F(SoundMixer, AttributesChangeTheFirstChannelOnly) {
    TestSound s(48000, 1000);
    ASSERT_EQ(Play(s), 0);
    ASSERT_EQ(Play(s), 0);
    SetSampleChannelAttributes(s.sound, -1, 8, 0);
    EXPECT_FLOAT_EQ(AudioGraphBusGain(0), 0.5f);
    EXPECT_EQ(AudioGraphBusPan(0), 0.0f);
    EXPECT_EQ(AudioGraphBusGain(1), 1.0f);
    EXPECT_EQ(AudioGraphBusPan(1), 0.5f);
    int32_t ms = 0, pass = 0;
    Render(480);
    EXPECT_EQ(GetSampleChannelPosition(s.sound, &ms, &pass), 1);
    EXPECT_EQ(pass, 0);
}

TEST_F(SoundMixer, PendingSamplesWaitForTheirStart) {
    TestSound a(4800, 1000), b(4800, 2000);
    int32_t n = -1;
    ASSERT_EQ(PlaySoundOnChannel(a.sound, qzObjectId{1, nullptr}, 4, 0, kRate, 64, 128, -1, 1, &n), 0);
    ASSERT_EQ(PlaySoundOnChannel(b.sound, qzObjectId{2, nullptr}, 4, 0, kRate, 64, 128, -1, 1, &n), 0);
    EXPECT_EQ(Sounding(Render(480)), 0u);
    StartPendingSamples();
    std::vector<float> out = Render(480);
    EXPECT_NEAR(out[0], 3000 / 32768.0f, 1e-6);
}

TEST_F(SoundMixer, ABusyAudioMutexGivesSilenceAndChangesNothing) {
    TestSound s(4800, 1000);
    int32_t n = -1;
    ASSERT_EQ(PlaySoundOnChannel(s.sound, qzObjectId{1, nullptr}, 4, 0, kRate, 64, 128, -1, 1, &n), 0);
    StartPendingSamples();
    std::mutex m;
    std::condition_variable cv;
    bool locked = false, release = false;
    std::thread holder([&] {
        OsLockMutex(AudioMutex());
        std::unique_lock<std::mutex> lock(m);
        locked = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        OsUnlockMutex(AudioMutex());
    });
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return locked; });
    }
    EXPECT_EQ(Sounding(Render(512)), 0u);
    EXPECT_EQ(GetSoundChannels()[n].position.load(), 0u);
    EXPECT_EQ(GetSoundChannels()[n].needsStartStamp.load(), 1);
    {
        std::lock_guard<std::mutex> lock(m);
        release = true;
    }
    cv.notify_all();
    holder.join();
    EXPECT_EQ(Sounding(Render(512)), 512u);
}

// A module whose voice 1 (the left side) plays a constant looped sample on two positions.
TEST_F(SoundMixer, ModulesPlayOnTheirChannel) {
    moduletest::Song song;
    song.samples.push_back({std::vector<int8_t>(64, 64), 64, 0, 0, 64});
    song.At(0, 0, 1) = {428, 1};
    song.At(1, 0, 1) = {428, 1};
    song.order = {0, 1};
    qzModule* m = moduletest::OpenBytes(song.Bytes());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(ModulePosition(m, 2, 0), -1);  // not on a channel
    ASSERT_EQ(PlayMusicOnChannel(QZ_MUSIC_MODULE, m, qzObjectId{3, nullptr}, 1, 1, 64, nullptr), 0);
    std::vector<float> out = Render(2000);
    // 64 x 63 x 255 >> 7 on the left, 48000 Hz on a 48000 Hz device; the first tick comes after
    // 960 frames.
    EXPECT_EQ(out[2 * 950], 0.0f);
    EXPECT_NEAR(out[3000], 8032 / 32768.0f, 1e-3);
    EXPECT_EQ(out[3001], 0.0f);
    EXPECT_EQ(ModulePosition(m, 1, 0), 1);
    EXPECT_EQ(ModulePosition(m, 2, 0), 0);
    EXPECT_EQ(ModulePosition(m, 0, 1), 0);
    Render(6000);
    EXPECT_EQ(ModulePosition(m, 2, 0), 1);
    StopMusicOnChannel(QZ_MUSIC_MODULE, m, 0, nullptr, nullptr);
    EXPECT_EQ(ModulePosition(m, 1, 0), -1);
    EXPECT_EQ(QueryModulePosition(m, 2, 0), 0);  // the stop rewound it
    FreeModule(m);
}

// An audio-adapter plugin that records what the sound core asks of it.
struct AdapterLog {
    int opens = 0;
    int closes = 0;
    std::vector<qzAudioChannel*> channels;
    std::vector<int> rates;
    std::vector<int> formats;
    std::vector<std::vector<std::pair<uint32_t, intptr_t>>> attributes;
    int frees = 0;
};
AdapterLog gLog;

struct SoundAdapter : ::testing::Test {
    qzPluginInfo info = {};
    ManualClock clock;

    void SetUp() override {
        gLog = AdapterLog();
        info.capabilities = QZ_PLUGINCAPS_AUDIOADAPTER;
        info.moduleName = "fakeaudio";
        info.OpenAudio = [](intptr_t, const qzTagItem*) -> void* {
            gLog.opens++;
            return &gLog;
        };
        info.CloseAudio = [](void*) { gLog.closes++; };
        info.AllocAudioChannel = [](void*, int rate, void* feed, intptr_t, void* channel, intptr_t, int,
                                    int format) -> void* {
            EXPECT_EQ(feed, reinterpret_cast<void*>(&MixerFeed));
            gLog.channels.push_back(static_cast<qzAudioChannel*>(channel));
            gLog.rates.push_back(rate);
            gLog.formats.push_back(format);
            return channel;
        };
        info.FreeAudioChannel = [](void*, void*) { gLog.frees++; };
        info.SetChannelAttributes = [](void*, void*, const qzTagItem* tags) -> int {
            std::vector<std::pair<uint32_t, intptr_t>> list;
            for (; tags->tag; tags++) list.push_back({tags->tag, tags->value});
            gLog.attributes.push_back(list);
            return 1;
        };
        SetPluginStartupPhase(1);
        ASSERT_EQ(InitSoundEventMutex(), 0);
        ResetSoundEventHooks();
    }
    void TearDown() override {
        ResetSoundEventHooks();
        FreeSoundEventsAtExit();
        RemoveAudioAdapter();
        SetPluginStartupPhase(0);
    }
    // Pulls frames of the channel as the adapter would.
    std::vector<int16_t> Feed(qzAudioChannel* channel, int frames, int* delivered) {
        std::vector<int16_t> out(static_cast<size_t>(frames), 0);
        *delivered = MixerFeed(&gLog, nullptr, out.data(), frames, channel);
        return out;
    }
};

TEST_F(SoundAdapter, InstallingTheAdapter) {
    qzPluginInfo plain = {};
    plain.capabilities = QZ_PLUGINCAPS_SOUND;
    EXPECT_EQ(SetAudioAdapter(&plain, 0, nullptr), ERR_WRONGUSAGE);
    const intptr_t none[] = {2, 0, 0};
    EXPECT_EQ(SetAudioAdapter(&info, 0, none), ERR_SETADAPTER);
    EXPECT_EQ(GetAudioAdapter(), nullptr);
    const intptr_t tags[] = {1, 4096, 2, 4, 0};
    ASSERT_EQ(SetAudioAdapter(&info, 0, tags), 0);
    EXPECT_EQ(GetAudioAdapter()->bufferSize, 4096);
    EXPECT_EQ(GetAudioAdapter()->channelCount, 4);
    // Flags bit 1 on the installed adapter: only the buffer size changes.
    const intptr_t again[] = {1, 512, 2, 16, 0};
    ASSERT_EQ(SetAudioAdapter(&info, 2, again), 0);
    EXPECT_EQ(GetAudioAdapter()->bufferSize, 512);
    EXPECT_EQ(GetAudioAdapter()->channelCount, 4);
    SetPluginStartupPhase(0);
    EXPECT_EQ(SetAudioAdapter(&info, 0, tags), ERR_SETADAPTER);
}

TEST_F(SoundAdapter, SamplesFeedTheAdapterWithEventsAndTimeLimits) {
    const intptr_t tags[] = {2, 2, 0};
    ASSERT_EQ(SetAudioAdapter(&info, 0, tags), 0);
    ASSERT_EQ(InitSoundChannels(8, 30), 0);
    EXPECT_EQ(GetSoundChannelCount(), 2);
    EXPECT_EQ(gLog.opens, 1);
    SetSoundEventHook("onsampleloop", 1);
    SetSoundEventHook("onsampleend", 1);
    TestSound s(100, 0);
    int16_t* data = reinterpret_cast<int16_t*>(s.sound->data);
    for (int i = 0; i < 100; i++) data[i] = static_cast<int16_t>(i);
    // 250 ms at 400 Hz: two passes and a half, the last pass cut as on the native output.
    ASSERT_EQ(PlaySoundOnChannel(s.sound, qzObjectId{5, nullptr}, 4, 200, 400, 40, 0, 625, 1, nullptr), 0);
    ASSERT_EQ(gLog.channels.size(), 1u);
    EXPECT_EQ(gLog.rates[0], 400);
    EXPECT_EQ(gLog.formats[0], 4);
    ASSERT_EQ(gLog.attributes.size(), 1u);  // the pan, given when it is not the centre
    EXPECT_EQ(gLog.attributes[0], (std::vector<std::pair<uint32_t, intptr_t>>{{2, 0}}));
    int delivered = 0;
    std::vector<int16_t> out = Feed(gLog.channels[0], 150, &delivered);
    EXPECT_EQ(delivered, 150);
    EXPECT_EQ(out[99], 99);
    EXPECT_EQ(out[100], 0);
    EXPECT_EQ(out[149], 49);
    out = Feed(gLog.channels[0], 150, &delivered);
    EXPECT_EQ(delivered, 100);  // 2.5 passes: 250 frames
    EXPECT_EQ(out[49], 99);
    EXPECT_EQ(out[99], 49);
    out = Feed(gLog.channels[0], 10, &delivered);
    EXPECT_EQ(delivered, 0);
    std::vector<Event> events;
    Event e;
    while (PopSoundEvent(&e.code, &e.object, &e.time, &e.starts)) events.push_back(e);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[3].code, 5);
    EXPECT_EQ(events[3].time, 625);
    EXPECT_EQ(events[2].time, 500);

    // Attributes go as one tag list: volume, pan, pitch.
    SetSampleChannelAttributes(s.sound, 800, 30, 255);
    EXPECT_EQ(gLog.attributes.back(), (std::vector<std::pair<uint32_t, intptr_t>>{{1, 30}, {2, 255}, {3, 800}}));
    // A finished channel stays until a second after its end.
    clock.AdvanceMs(500);
    SoundHousekeeping();
    EXPECT_TRUE(IsSoundPlaying(s.sound));
    clock.AdvanceMs(600);
    EXPECT_FALSE(IsSoundPlaying(s.sound));
    EXPECT_EQ(gLog.frees, 1);
    CloseSoundOutput();
    EXPECT_EQ(gLog.closes, 1);
}

TEST_F(SoundAdapter, StreamsFeedTheAdapterPassAfterPassAndEnd) {
    const intptr_t tags[] = {2, 2, 0};
    ASSERT_EQ(SetAudioAdapter(&info, 0, tags), 0);
    ASSERT_EQ(InitSoundChannels(8, 30), 0);
    SetSoundEventHook("onmusicend", 1);
    // One second of 16-bit mono: exactly one half of the double buffer, played twice.
    TempDir dir;
    std::string data;
    for (uint32_t f = 0; f < 8000; f++) PutLE16(&data, 1 + f);
    std::string path = dir.File("second.wav");
    WriteFile(path, RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 8000, 16)) + RiffChunk("data", data)));
    qzSoundSource* source = nullptr;
    ASSERT_EQ(OpenSoundSource(path.c_str(), "inbuilt", nullptr, 0, 1, &source, nullptr), 0);
    ASSERT_EQ(PlayMusicOnChannel(QZ_MUSIC_SOURCE, source, qzObjectId{6, nullptr}, 2, 1, 64, nullptr), 0);
    ASSERT_EQ(gLog.channels.size(), 1u);
    EXPECT_EQ(gLog.rates[0], 8000);
    EXPECT_EQ(gLog.formats[0], QZ_SOUNDFMT_S16_MONO);
    qzAudioChannel* channel = gLog.channels[0];
    std::vector<int16_t> all;
    for (int i = 0; i < 10; i++) {
        for (int wait = 0; wait < 2000 && !IsStreamChannelFilled(channel); wait++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        int delivered = 0;
        std::vector<int16_t> out = Feed(channel, 3000, &delivered);
        all.insert(all.end(), out.begin(), out.begin() + delivered);
        if (delivered < 3000) break;
    }
    ASSERT_EQ(all.size(), 16000u);
    for (size_t f = 0; f < all.size(); f++) ASSERT_EQ(all[f], static_cast<int16_t>(1 + f % 8000)) << f;
    int32_t code = 0, time = 0, starts = 0;
    qzObjectId object;
    ASSERT_EQ(PopSoundEvent(&code, &object, &time, &starts), 1);
    EXPECT_EQ(code, QZ_SOUNDEVENT_MUSICEND);
    EXPECT_EQ(object.number, 6);
    // The finished channel is freed a second after its end.
    clock.AdvanceMs(1100);
    SoundHousekeeping();
    EXPECT_EQ(gLog.frees, 1);
    EXPECT_EQ(channel->state.load(), QZ_CHANNEL_FREE);
    CloseSoundSource(source);
    CloseSoundOutput();
}

}  // namespace

}  // namespace sound_mixer_test
