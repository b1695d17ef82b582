// The sound library's music commands on streams (WAVE and IFF 8SVX): their state machine and
// errors, the music attributes, pausing and resuming at the frame reached, seeking while playing,
// and the end of a music, rendered through the headless device by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "libs/sound/sound.h"
#include "media/sound/audio_channels.h"
#include "media/sound/sound_events.h"
#include "media/sound/stream_channel.h"
#include "runtime/runtime.h"
#include "sound_test_util.h"
#include "support/commands.h"
#include "support/headless_start.h"

namespace sound_music_test {

namespace {

using namespace soundtest;
using qztest::Arg;
using qztest::N;
using qztest::S;
Arg Nil() { return Arg(qztest::Nil{}); }

constexpr int32_t kRate = 48000;

int16_t ValueAt(uint32_t f) { return static_cast<int16_t>(100 + (f * 7) % 20000); }

struct SoundMusic : ::testing::Test {
    TempDir dir;
    std::unique_ptr<qztest::Commands> vm;

    void SetUp() override {
        ASSERT_TRUE(qztest::StartHeadlessDriver(true));
        vm = std::make_unique<qztest::Commands>(std::initializer_list<const qzLibraryDescriptor*>{&qzSoundLibrary});
        SetRuntimeAttrs(*vm, {{QZ_RTA_QUIET, 1}});
    }
    void TearDown() override {
        vm.reset();
        SetRuntimeAttrs(nullptr, {{QZ_RTA_QUIET, 0}});
        HeadlessSetManualAudio(0);
        HostStopDriver();
    }

    std::string Run(const std::string& command, const std::vector<Arg>& args = {}) { return vm->Run(command, args); }

    // A 16-bit mono WAVE file of `frames` frames at 48000 Hz.
    std::string Wave(uint32_t frames) {
        std::string data;
        for (uint32_t f = 0; f < frames; f++) PutLE16(&data, static_cast<uint16_t>(ValueAt(f)));
        std::string path = dir.File("music" + std::to_string(frames) + ".wav");
        WriteFile(path, RiffWave(RiffChunk("fmt ", FmtBody(1, 1, kRate, 16)) + RiffChunk("data", data)));
        return path;
    }

    qzSoundAttrQuery Attr(uint32_t tag, int32_t id) {
        qzSoundAttrQuery q = {};
        q.id = qzObjectId{id, nullptr};
        if (!qzSoundLibrary.getAttr(*vm, tag, &q)) q.number = -1000;
        return q;
    }

    // Renders `frames` frames (at most half a second) once the refill threads have done their
    // work: the left side.
    std::vector<float> Render(int32_t frames) {
        for (int32_t i = 0; i < GetSoundChannelCount(); i++) {
            const qzAudioChannel* c = &GetSoundChannels()[i];
            for (int wait = 0; wait < 2000 && c->state.load() == QZ_CHANNEL_STREAM && !IsStreamChannelFilled(c); wait++)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::vector<float> out(2 * static_cast<size_t>(frames));
        HeadlessRenderAudio(out.data(), frames);
        std::vector<float> left(static_cast<size_t>(frames));
        for (size_t f = 0; f < left.size(); f++) left[f] = out[2 * f];
        return left;
    }
    std::vector<float> RenderMs(int32_t ms) {
        std::vector<float> all;
        for (int32_t done = 0; done < ms; done += 250) {
            std::vector<float> part = Render(kRate * (ms - done < 250 ? ms - done : 250) / 1000);
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }
};

// The first level that is not silence.
int16_t FirstLevel(const std::vector<float>& side) {
    for (float v : side)
        if (v != 0.0f) return static_cast<int16_t>(std::lround(v * 32768.0f));
    return 0;
}

TEST_F(SoundMusic, TheStateMachineAndItsErrors) {
    std::string path = Wave(kRate);  // one second
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string result;
    } steps[] = {
        {"OpenMusic", {1, path}, ""},
        {"IsMusicPlaying", {1}, "0"},
        {"StopMusic", {1}, "ERR 1232"},
        {"PauseMusic", {1}, "ERR 1232"},
        {"StopMusic", {}, "ERR 1055"},  // no current music
        {"ResumeMusic", {1}, "ERR 1264"},
        {"ResumeMusic", {}, "ERR 1055"},
        {"StopMusic", {99}, "ERR 1231"},
        {"SeekMusic", {1, 1000}, "ERR 1233"},  // the duration itself
        {"SeekMusic", {1, -1}, "ERR 1233"},
        {"PlaySubsong", {2, 1}, "ERR 1055"},
        {"PlayMusic", {1}, ""},
        {"PlayMusic", {1}, "ERR 1568"},
        {"IsMusicPlaying", {1}, "1"},
        {"PauseMusic", {}, ""},
        {"IsMusicPlaying", {1}, "0"},
        {"PlayMusic", {1}, "ERR 1567"},
        {"PauseMusic", {1}, "ERR 1232"},
        {"ResumeMusic", {}, ""},
        {"ResumeMusic", {1}, "ERR 1264"},
        {"StopMusic", {}, ""},
        {"StopMusic", {}, "ERR 1055"},
        {"PlayModule", {1, Arg::Table({{S("volume"), N(32)}, {S("times"), N(2)}})}, ""},
        {"StopModule", {1}, ""},
        {"GetSongPosition", {}, "-1"},
        {"GetPatternPosition", {}, "-1"},
        {"IsMusic", {path}, "1, \"RIFF WAVE\""},
        {"IsModule", {dir.File("none.wav")}, "0, \"Unknown\""},
        {"FreeModule", {1}, ""},
        {"IsMusicPlaying", {1}, "ERR 1231"},
        {"OpenMusic", {1, dir.File("none.wav")}, "ERR 1045"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.command);
        EXPECT_EQ(Run(s.command, s.args), s.result);
    }
    // A handle that does not play names no number.
    ASSERT_EQ(vm->Call("OpenMusic", {Nil(), path}), 0);
    void* handle = VmToUserdata(*vm, -1);
    EXPECT_EQ(Run("StopMusic", {Arg::Pointer(handle)}), "ERR 1319");
    EXPECT_EQ(Run("CloseMusic", {Arg::Pointer(handle)}), "");
}

TEST_F(SoundMusic, ScriptFedStreamCommandsOutsideTheirHandler) {
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string result;
    } steps[] = {
        {"CreateMusic", {2, kRate, 1}, "ERR 1485"},  // no FillMusicBuffer handler installed
        {"OpenMusic", {1, Wave(kRate)}, ""},
        {"FillMusicBuffer", {1, "pcm", 1, Arg::Table({{S("data"), Arg::Table({{N(0), N(5)}})}})}, "ERR 1484"},
        {"FillMusicBuffer", {1, "end", 0}, "ERR 1484"},
        {"FlushMusicBuffer", {1}, "ERR 1055"},  // not a script-fed stream
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.command);
        EXPECT_EQ(Run(s.command, s.args), s.result);
    }
}

TEST_F(SoundMusic, Attributes) {
    std::string body;
    for (int i = 0; i < 8000; i++) body.push_back(static_cast<char>(i % 50 + 1));
    std::string svx = dir.File("tone.8svx");
    WriteFile(svx, IffForm("8SVX", Vhdr(8000) + IffChunk("BODY", body)));
    ASSERT_EQ(Run("OpenMusic", {1, Wave(kRate / 2)}), "");
    ASSERT_EQ(Run("OpenMusic", {2, svx}), "");
    const struct {
        uint32_t tag;
        int32_t id;
        double number;
        const char* text;
    } rows[] = {
        {QZ_SOUNDATTR_MUSICDURATION, 1, 500, nullptr},
        {QZ_SOUNDATTR_MUSICDURATION, 2, 1000, nullptr},
        {QZ_SOUNDATTR_MUSICPOSITION, 1, 0, nullptr},
        {QZ_SOUNDATTR_MUSICFORMATNAME, 1, 0, "RIFF WAVE"},
        {QZ_SOUNDATTR_MUSICFORMATNAME, 2, 0, "IFF 8SVX"},
        {QZ_SOUNDATTR_MUSICRATE, 1, 48000, nullptr},
        {QZ_SOUNDATTR_MUSICRATE, 2, 8000, nullptr},
        {QZ_SOUNDATTR_MUSICFORMAT, 1, 1, nullptr},  // MONO16
        {QZ_SOUNDATTR_MUSICFORMAT, 2, 0, nullptr},  // MONO8
        {QZ_SOUNDATTR_MUSICSEEKABLE, 1, 1, nullptr},
        {QZ_SOUNDATTR_CURRENTSUBSONG, 1, 1, nullptr},
        {QZ_SOUNDATTR_MUSICPLAYING, 1, 0, nullptr},
        {QZ_SOUNDATTR_MUSICPAUSED, 1, 0, nullptr},
        {QZ_SOUNDATTR_MUSICLOADER, 1, 0, "inbuilt"},
        {QZ_SOUNDATTR_MUSICDURATION, 3, -1000, nullptr},  // no such music
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "tag " << r.tag << " of " << r.id);
        qzSoundAttrQuery q = Attr(r.tag, r.id);
        if (r.text) {
            ASSERT_NE(q.text, nullptr);
            EXPECT_STREQ(q.text, r.text);
        } else {
            EXPECT_EQ(q.number, r.number);
        }
    }
    // The 8SVX stream plays its signed 8-bit values.
    ASSERT_EQ(Run("PlayMusic", {2}), "");
    EXPECT_EQ(Attr(QZ_SOUNDATTR_MUSICPLAYING, 2).number, 1);
    // Its ramp of 50 values from 1 repeats every 50 frames at 8000 Hz: every 300 frames on the
    // 48000 Hz device, peaking near 50 / 128.
    std::vector<float> left = Render(kRate / 4);
    float peak = 0;
    for (size_t f = 3000; f < 6000; f++) {
        EXPECT_NEAR(left[f + 300], left[f], 0.01f) << f;
        peak = std::max(peak, left[f]);
    }
    EXPECT_GT(peak, 40 / 128.0f);
    EXPECT_LT(peak, 60 / 128.0f);  // the resampler overshoots at the drops
}

TEST_F(SoundMusic, PauseResumeSeekAndTheEnd) {
    SetSoundEventHook("onmusicend", 1);
    ASSERT_EQ(Run("OpenMusic", {1, Wave(kRate)}), "");
    ASSERT_EQ(Run("PlayMusic", {1, 2}), "");
    RenderMs(1250);  // into the second pass
    ASSERT_EQ(Run("PauseMusic", {1}), "");
    qzMusic* music = FindMusicById(qzObjectId{1, nullptr});
    EXPECT_EQ(music->resumePass, 2);
    EXPECT_EQ(music->resumePosition, static_cast<uint32_t>(kRate / 4));
    EXPECT_EQ(Attr(QZ_SOUNDATTR_MUSICPOSITION, 1).number, 250);
    EXPECT_EQ(Attr(QZ_SOUNDATTR_MUSICPAUSED, 1).number, 1);
    RenderMs(250);  // silence while paused
    ASSERT_EQ(Run("ResumeMusic", {}), "");
    std::vector<float> left = Render(kRate / 4);
    EXPECT_EQ(FirstLevel(left), ValueAt(kRate / 4));
    // Seeking while playing goes on from the new place.
    ASSERT_EQ(Run("SeekMusic", {1, 100}), "");
    left = Render(100);
    EXPECT_EQ(FirstLevel(left), ValueAt(kRate / 10));
    EXPECT_EQ(Run("IsMusicPlaying", {1}), "1");
    // The rest of the second pass, then the end: stopped, with its end event.
    RenderMs(1250);
    EXPECT_EQ(Run("IsMusicPlaying", {1}), "0");
    EXPECT_EQ(Run("StopMusic", {}), "ERR 1055");  // the end cleared the current music
    int32_t code = 0, time = 0, starts = 0;
    qzObjectId object;
    ASSERT_EQ(PopSoundEvent(&code, &object, &time, &starts), 1);
    EXPECT_EQ(code, QZ_SOUNDEVENT_MUSICEND);
    EXPECT_EQ(object.number, 1);
    // Played again, it starts from its beginning.
    ASSERT_EQ(Run("PlayMusic", {1}), "");
    left = Render(100);
    EXPECT_EQ(FirstLevel(left), ValueAt(0));
}

}  // namespace

}  // namespace sound_music_test
