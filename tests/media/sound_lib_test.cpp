// The sound library's commands: creating, loading, playing and querying samples, their errors,
// the library's hooks, editing (mix, copy, insert) and saving, with WAVE files checked by soxi and
// python's wave module.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "libs/dos/dos.h"
#include "libs/memblock/memblock.h"
#include "libs/sound/sound.h"
#include "media/sound/audio_channels.h"
#include "media/sound/sound_record.h"
#include "platform/os_time.h"
#include "runtime/runtime.h"
#include "sound_test_util.h"
#include "support/commands.h"
#include "support/headless_start.h"

namespace sound_lib_test {

namespace {

using namespace soundtest;
using qztest::Arg;
using qztest::N;
using qztest::S;
using qztest::V;
Arg Nil() { return Arg(qztest::Nil{}); }

struct SoundLib : ::testing::Test {
    TempDir dir;
    std::unique_ptr<qztest::Commands> vm;
    bool manual = true;

    void SetUp() override {
        ASSERT_TRUE(qztest::StartHeadlessDriver(manual));
        vm = std::make_unique<qztest::Commands>(
            std::initializer_list<const qzLibraryDescriptor*>{&qzDosLibrary, &qzMemblockLibrary, &qzSoundLibrary});
        SetRuntimeAttrs(*vm, {{QZ_RTA_QUIET, 1}});
    }
    void TearDown() override {
        vm.reset();
        SetRuntimeAttrs(nullptr, {{QZ_RTA_QUIET, 0}});
        HeadlessSetManualAudio(0);
        HostStopDriver();
    }

    std::string Run(const std::string& command, const std::vector<Arg>& args = {}) { return vm->Run(command, args); }
    std::vector<float> Render(int32_t frames) {
        std::vector<float> out(2 * static_cast<size_t>(frames));
        HeadlessRenderAudio(out.data(), frames);
        return out;
    }
    qzSample* Sample(int32_t id) { return FindSampleById(qzObjectId{id, nullptr}); }
    // The channels that play the sample.
    std::vector<const qzAudioChannel*> ChannelsOf(int32_t id) {
        std::vector<const qzAudioChannel*> out;
        qzSample* s = Sample(id);
        for (int32_t i = 0; s && i < GetSoundChannelCount(); i++) {
            const qzAudioChannel& c = GetSoundChannels()[i];
            if (c.state.load() != QZ_CHANNEL_FREE && c.sound == s->sound) out.push_back(&c);
        }
        return out;
    }
    int FreeChannels() {
        int n = 0;
        for (int32_t i = 0; i < GetSoundChannelCount(); i++) n += GetSoundChannels()[i].state.load() == QZ_CHANNEL_FREE;
        return n;
    }
    // A sample of `frames` frames of value v (16-bit mono) under id.
    void Make(int32_t id, int32_t frames, int32_t v = 100, int32_t rate = 48000) {
        std::vector<Arg> values;
        for (int32_t i = 0; i < frames; i++) values.push_back(N(v));
        ASSERT_EQ(Run("CreateSample", {id, Arg::List(values), rate, 1}), "");
    }
    qzSoundAttrQuery Attr(uint32_t tag, int32_t id) {
        qzSoundAttrQuery q = {};
        q.id = qzObjectId{id, nullptr};
        q.number = -99;
        q.number2 = -99;
        int known = qzSoundLibrary.getAttr(*vm, tag, &q);
        if (!known) q.number = -1000;
        return q;
    }
};

TEST_F(SoundLib, CreateSampleSourcesAndErrors) {
    std::string raw = dir.File("raw.bin");
    WriteFile(raw, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    ASSERT_EQ(Run("OpenFile", {1, raw}), "");
    ASSERT_EQ(Run("OpenFile", {2, dir.File("out.bin"), 1006}), "");
    ASSERT_EQ(Run("AllocMem", {1, 6}), "");
    ASSERT_EQ(Run("Poke", {1, 0, 0x0102, 6}), "");  // a 16-bit value, big-endian

    const struct {
        const char* what;
        std::vector<Arg> args;
        std::string result;
        std::vector<int32_t> values;  // the sample's values afterwards
    } rows[] = {
        {"pcm mono 8-bit", {10, Arg::List({N(1), N(-128), N(127)}), 8000}, "", {1, -128, 127}},
        {"pcm stereo 16-bit", {10, Arg::List({N(-32768), N(32767)}), 8000, 3}, "", {-32768, 32767}},
        {"a value that is no number is 0", {10, Arg::List({N(5), S("x"), N(6)}), 8000}, "", {5, 0, 6}},
        {"frames given read that many values", {10, Arg::List({N(5)}), 8000, 0, 3}, "", {5, 0, 0}},
        {"stereo pcm of 5 values", {10, Arg::List({N(1), N(2), N(3), N(4), N(5)}), 8000, 2}, "ERR 1055", {}},
        {"no values", {10, Arg::Table({}), 8000}, "ERR 1055", {}},
        {"a value out of range", {10, Arg::List({N(128)}), 8000}, "ERR 1447", {}},
        {"a 16-bit value out of range", {10, Arg::List({N(-32769)}), 8000, 1}, "ERR 1447", {}},
        {"a rate of 255", {10, Arg::List({N(1)}), 255}, "ERR 1479", {}},
        {"an unknown format", {10, Arg::List({N(1)}), 8000, 4}, "ERR 1055", {}},
        {"negative frames", {10, Arg::List({N(1)}), 8000, 0, -1}, "ERR 1055", {}},
        {"file", {10, Arg::Table({{S("source"), S("file")}, {S("id"), N(1)}}), 8000, 1, 2}, "", {0x0201, 0x0403}},
        {"file, swapped",
         {10, Arg::Table({{S("source"), S("file")}, {S("id"), N(1)}, {S("swap"), N(1)}}), 8000, 1, 2},
         "",
         {0x0506, 0x0708}},
        {"file too short", {10, Arg::Table({{S("source"), S("file")}, {S("id"), N(1)}}), 8000, 1, 2}, "ERR 1009", {}},
        {"file written only",
         {10, Arg::Table({{S("source"), S("file")}, {S("id"), N(2)}}), 8000, 1, 2},
         "ERR 1142",
         {}},
        {"file without frames", {10, Arg::Table({{S("source"), S("file")}, {S("id"), N(1)}}), 8000}, "ERR 1055", {}},
        {"memory, swapped",
         {10, Arg::Table({{S("source"), S("memory")}, {S("id"), N(1)}, {S("swap"), N(1)}}), 8000, 1, 1},
         "",
         {0x0102}},
        {"memory at an offset",
         {10, Arg::Table({{S("source"), S("memory")}, {S("id"), N(1)}, {S("offset"), N(1)}}), 8000, 0, 5},
         "",
         {2, 0, 0, 0, 0}},
        {"memory past the block",
         {10, Arg::Table({{S("source"), S("memory")}, {S("id"), N(1)}, {S("offset"), N(2)}}), 8000, 1, 3},
         "ERR 1146",
         {}},
        {"an unknown source", {10, Arg::Table({{S("source"), S("tape")}}), 8000, 0, 1}, "ERR 1055", {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Run("FreeSample", {10});
        EXPECT_EQ(Run("CreateSample", r.args), r.result);
        if (!r.result.empty()) continue;
        qzSample* s = Sample(10);
        ASSERT_NE(s, nullptr);
        std::vector<int32_t> values;
        for (uint32_t i = 0; i < s->sound->frames * s->sound->channels; i++)
            values.push_back(GetSoundSampleValue(s->sound, i));
        EXPECT_EQ(values, r.values);
        EXPECT_EQ(s->volume, 64);
        EXPECT_EQ(s->panning, 128);
        EXPECT_EQ(s->pitch, 8000);
    }
    // An automatic identifier gives a handle.
    EXPECT_EQ(vm->Call("CreateSample", {Nil(), Arg::List({N(1)}), 8000}), 0);
    EXPECT_EQ(VmType(*vm, -1), VM_TLIGHTUSERDATA);
}

TEST_F(SoundLib, LoadSampleAndItsQueries) {
    std::string path = dir.File("u8.wav");
    WriteFile(path,
              RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 11025, 8)) + RiffChunk("data", std::string("\xC8\x80\x00", 3))));
    ASSERT_EQ(Run("LoadSample", {1, path}), "");
    EXPECT_EQ(Run("GetSampleData", {1}), "table, 3");
    ASSERT_EQ(vm->Call("GetSampleData", {1}), 0);
    VmRawGetI(*vm, -2, 0);
    EXPECT_EQ(VmToNumber(*vm, -1), 72);  // unsigned 200
    VmRawGetI(*vm, -3, 2);
    EXPECT_EQ(VmToNumber(*vm, -1), -128);
    EXPECT_EQ(Run("IsSample", {path}), "1");
    EXPECT_EQ(Run("IsSample", {dir.File("none.wav")}), "0");
    EXPECT_EQ(Run("IsSound"), "1");
    EXPECT_EQ(Run("LoadSample", {2, dir.File("none.wav")}), "ERR 1045");
    EXPECT_EQ(Run("LoadSample", {2, path, Arg::Table({{S("loader"), S("native")}})}), "");
    EXPECT_STREQ(Attr(31, 2).text, "native");

    EXPECT_EQ(Attr(7, 1).number, 0);                          // MONO8
    EXPECT_DOUBLE_EQ(Attr(8, 1).number, 3.0 / 11025 * 1000);  // 3 frames at 11025 Hz: 0.272... ms
    EXPECT_EQ(Attr(9, 1).number, 11025);
    EXPECT_EQ(Attr(24, 1).number, 3);
    EXPECT_EQ(Attr(30, 1).number, 0);
    EXPECT_STREQ(Attr(31, 1).text, "inbuilt");
    qzSoundAttrQuery position = Attr(16, 1);
    EXPECT_EQ(position.number, -1);
    EXPECT_EQ(position.number2, -1);
    EXPECT_EQ(Attr(24, 5).number, -1000);  // no such sample
    EXPECT_EQ(Attr(6, 1).number, -1000);   // not a sound selector
    Make(3, 96000);
    EXPECT_EQ(Attr(8, 3).number, 2000);
    ASSERT_EQ(Run("PlaySample", {3}), "");
    Render(4800);
    EXPECT_EQ(Attr(30, 3).number, 1);
    EXPECT_EQ(Attr(16, 3).number2, 0);
    EXPECT_EQ(Run("IsSamplePlaying", {3}), "1");
    EXPECT_EQ(Run("StopSample", {3}), "");
    EXPECT_EQ(Run("IsSamplePlaying", {3}), "0");

    EXPECT_EQ(Run("FreeSample", {9}), "ERR 1178");
    EXPECT_EQ(Run("FreeSample", {Arg::Pointer(this)}), "ERR 1041");
    // Names are case-insensitive; SetMasterVolume takes anything and does nothing.
    EXPECT_EQ(Run("playsample", {1}), "");
    EXPECT_EQ(Run("SetMasterVolume", {S("any"), N(1), Nil()}), "");
}

TEST_F(SoundLib, NoSoundLoadsNothingAndRaisesNothing) {
    qzSoundLibrary.setAttr(*vm, 2, 1);
    std::string path = dir.File("s.wav");
    WriteFile(path, RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 11025, 8)) + RiffChunk("data", "ab")));
    EXPECT_EQ(Run("LoadSample", {1, path}), "");
    EXPECT_EQ(Run("LoadSample", {Nil(), path}), "");
    EXPECT_EQ(Sample(1), nullptr);
    EXPECT_EQ(Run("IsSound"), "0");
    EXPECT_EQ(Run("PlaySample", {1}), "");
    EXPECT_FALSE(AreSoundChannelsOpen());
}

TEST_F(SoundLib, NoSoundMusicCommandsDoNothing) {
    qzSoundLibrary.setAttr(*vm, 2, 1);
    std::string path = dir.File("m.wav");
    WriteFile(path, RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 11025, 8)) + RiffChunk("data", "ab")));
    EXPECT_EQ(Run("OpenMusic", {1, path}), "");
    // No music was made: the commands that name it do nothing rather than fail to find it.
    for (const char* name : {"PlayMusic", "IsMusicPlaying", "FlushMusicBuffer", "CloseMusic"})
        EXPECT_EQ(Run(name, {1}), "") << name;
    EXPECT_EQ(Run("SetMusicVolume", {1, 30}), "");
    EXPECT_EQ(Run("SeekMusic", {1, 10}), "");
    EXPECT_FALSE(AreSoundChannelsOpen());
}

TEST_F(SoundLib, PlaySampleGroupsAndOptions) {
    Make(1, 48000);
    Make(3, 48000);
    ASSERT_EQ(Run("PlaySample", {1, 2, 3}), "");
    ASSERT_EQ(ChannelsOf(1).size(), 1u);
    EXPECT_EQ(ChannelsOf(1)[0]->passes, 2);
    ASSERT_EQ(ChannelsOf(3).size(), 1u);
    EXPECT_EQ(ChannelsOf(3)[0]->passes, 1);
    EXPECT_EQ(ChannelsOf(3)[0]->state.load(), QZ_CHANNEL_SAMPLE);
    Run("StopSample", {1});
    Run("StopSample", {3});

    const struct {
        const char* what;
        std::vector<Arg> args;
        std::string result;
        int32_t passes, volume, pan, pitch, lastPassMs;
    } rows[] = {
        {"five groups", {1, 1, 1, 1, 1, 1, 1, 1, 1}, "ERR 1055", 0, 0, 0, 0, 0},
        {"a time of 0", {1, Arg::Table({{S("time"), N(0)}})}, "ERR 1055", 0, 0, 0, 0, 0},
        {"a pitch below 256", {1, Arg::Table({{S("pitch"), N(255)}})}, "ERR 1479", 0, 0, 0, 0, 0},
        {"an unknown sample", {1, 1, 7}, "ERR 1178", 0, 0, 0, 0, 0},
        {"a time", {1, Arg::Table({{S("time"), N(2500)}})}, "", 3, 64, 128, 48000, 500},
        {"times cancel a time",
         {1, Arg::Table({{S("time"), N(2500)}, {S("times"), N(4)}})},
         "",
         4,
         64,
         128,
         48000,
         1000},
        {"volume, panning and pitch",
         {1, Arg::Table({{S("volume"), N(99)}, {S("panning"), N(-90000)}, {S("pitch"), N(24000)}})},
         "",
         1,
         64,
         0,
         24000,
         2000},
        {"panning beyond the right",
         {1, Arg::Table({{S("panning"), N(300)}, {S("volume"), N(-3)}})},
         "",
         1,
         0,
         255,
         48000,
         1000},
        {"panning below the left", {1, Arg::Table({{S("panning"), N(-5)}})}, "", 1, 64, 0, 48000, 1000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(Run("PlaySample", r.args), r.result);
        std::vector<const qzAudioChannel*> channels = ChannelsOf(1);
        if (!r.result.empty()) {
            EXPECT_TRUE(channels.empty());
            continue;
        }
        ASSERT_EQ(channels.size(), 1u);
        EXPECT_EQ(channels[0]->passes, r.passes);
        EXPECT_EQ(channels[0]->volume, r.volume);
        EXPECT_EQ(channels[0]->pan, r.pan);
        EXPECT_EQ(channels[0]->pitch, r.pitch);
        EXPECT_EQ(channels[0]->lastPassMs, r.lastPassMs);
        Run("StopSample", {1});
    }
}

TEST_F(SoundLib, APlaySampleThatFailsLeavesNoGroupStarted) {
    Make(1, 48000);
    Make(2, 48000);
    for (int i = 0; i < 7; i++) ASSERT_EQ(Run("PlaySample", {1}), "");
    EXPECT_EQ(FreeChannels(), 1);
    // The first group takes the last channel, the second finds none: the first is let go again.
    EXPECT_EQ(Run("PlaySample", {2, 1, 2, 1}), "ERR 1289");
    EXPECT_EQ(FreeChannels(), 1);
    EXPECT_TRUE(ChannelsOf(2).empty());
    EXPECT_EQ(Run("PlaySample", {2}), "");
    EXPECT_EQ(FreeChannels(), 0);
}

TEST_F(SoundLib, SettingsOfAPlayingSample) {
    Make(1, 48000);
    ASSERT_EQ(Run("PlaySample", {1}), "");
    ASSERT_EQ(Run("PlaySample", {1}), "");
    EXPECT_EQ(Run("SetVolume", {1, S("50%")}), "");
    EXPECT_EQ(Sample(1)->volume, 32);
    EXPECT_EQ(Run("SetVolume", {1, 80}), "");
    EXPECT_EQ(Sample(1)->volume, 64);
    EXPECT_EQ(Run("SetPanning", {1, -90000}), "");
    EXPECT_EQ(Run("SetPitch", {1, 255}), "ERR 1479");
    EXPECT_EQ(Run("SetPitch", {1, 22050}), "");
    std::vector<const qzAudioChannel*> channels = ChannelsOf(1);
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[0]->pan, 0);
    EXPECT_EQ(channels[0]->pitch, 22050);
    EXPECT_EQ(channels[1]->pan, 128);
    EXPECT_EQ(channels[1]->pitch, 48000);
    EXPECT_EQ(Sample(1)->pitch, 22050);
}

TEST_F(SoundLib, HookSelectors) {
    const qzLibraryDescriptor& lib = qzSoundLibrary;
    EXPECT_EQ(lib.setAttr(*vm, 12, 1), 1);
    EXPECT_TRUE(IsSoundEventHooked(6));
    EXPECT_EQ(lib.setAttr(*vm, 13, 1), 1);
    EXPECT_TRUE(IsSoundEventHooked(5));
    EXPECT_EQ(lib.setAttr(*vm, 18, 1), 1);
    EXPECT_TRUE(IsSoundEventHooked(7));
    EXPECT_EQ(lib.setAttr(*vm, 23, 1), 1);
    EXPECT_TRUE(IsSoundEventHooked(8));
    EXPECT_EQ(lib.setAttr(*vm, 13, 0), 1);
    EXPECT_FALSE(IsSoundEventHooked(5));
    EXPECT_EQ(lib.setAttr(*vm, 3, 30), 1);
    EXPECT_EQ(lib.setAttr(*vm, 4, 1), 0);
}

TEST_F(SoundLib, MixSample) {
    ASSERT_EQ(Run("CreateSample", {1, Arg::List({N(10), N(-20), N(127)}), 8000}), "");
    ASSERT_EQ(Run("CreateSample", {2, Arg::List({N(32767), N(32767)}), 8000, 1}), "");
    const struct {
        const char* what;
        std::vector<Arg> args;
        std::string result;
        std::vector<int32_t> values;
    } rows[] = {
        {"an 8-bit input into 16 bits doubles", {9, 3, 8000, 1, 1, Arg::Table({})}, "", {2560, -5120, 32512}},
        {"two full-scale inputs clip", {9, 2, 8000, 1, 2, Arg::Table({}), 2, Arg::Table({})}, "", {32767, 32767}},
        {"into 8-bit stereo", {9, 1, 8000, 2, 1, Arg::Table({})}, "", {10, 10}},
        {"half the pitch repeats each frame",
         {9, 4, 8000, 1, 1, Arg::Table({{S("pitch"), N(4000)}})},
         "",
         {2560, 2560, -5120, -5120}},
        {"offset, threshold and length",
         {9, 4, 8000, 0, 1, Arg::Table({{S("offset"), N(1)}, {S("threshold"), N(1)}, {S("length"), N(2)}})},
         "",
         {0, -20, 127, 0}},
        {"without loop the input ends", {9, 5, 8000, 0, 1, Arg::Table({{S("loop"), N(0)}})}, "", {10, -20, 127, 0, 0}},
        {"with loop it wraps", {9, 5, 8000, 0, 1, Arg::Table({})}, "", {10, -20, 127, 10, -20}},
        {"scale", {9, 1, 8000, 0, 1, Arg::Table({{S("scale"), N(0.5)}})}, "", {5}},
        {"too few arguments", {9, 1, 8000, 0, 1}, "ERR 1014", {}},
        {"an odd number of inputs", {9, 1, 8000, 0, 1, Arg::Table({}), 2}, "ERR 1055", {}},
        {"a pitch below 1", {9, 1, 8000, 0, 1, Arg::Table({{S("pitch"), N(0.5)}})}, "ERR 1055", {}},
        {"a negative offset", {9, 1, 8000, 0, 1, Arg::Table({{S("offset"), N(-1)}})}, "ERR 1447", {}},
        {"a rate below 256", {9, 1, 100, 0, 1, Arg::Table({})}, "ERR 1479", {}},
        {"an unknown format", {9, 1, 8000, 7, 1, Arg::Table({})}, "ERR 1055", {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Run("FreeSample", {9});
        EXPECT_EQ(Run("MixSample", r.args), r.result);
        if (!r.result.empty()) continue;
        qzSample* s = Sample(9);
        ASSERT_NE(s, nullptr);
        std::vector<int32_t> values;
        for (uint32_t i = 0; i < s->sound->frames * s->sound->channels; i++)
            values.push_back(GetSoundSampleValue(s->sound, i));
        EXPECT_EQ(values, r.values);
    }
    // The new sample may take the number of one of its inputs.
    EXPECT_EQ(Run("MixSample", {1, 2, 8000, 0, 1, Arg::Table({})}), "");
    ASSERT_NE(Sample(1), nullptr);
    EXPECT_EQ(Sample(1)->sound->frames, 2u);
    EXPECT_EQ(GetSoundSampleValue(Sample(1)->sound, 1), -20);
}

TEST_F(SoundLib, CopySample) {
    Make(1, 10, 7, 22050);
    Run("SetVolume", {1, 20});
    Run("SetPanning", {1, 3});
    EXPECT_EQ(Run("CopySample", {1, 1}), "ERR 1055");
    ASSERT_EQ(Run("CopySample", {1, 2}), "");
    qzSample* copy = Sample(2);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->volume, 20);
    EXPECT_EQ(copy->panning, 3);
    EXPECT_EQ(copy->pitch, 22050);
    EXPECT_EQ(copy->size, 20u);
    EXPECT_NE(copy->sound->data, Sample(1)->sound->data);
    EXPECT_EQ(GetSoundSampleValue(copy->sound, 9), 7);
    EXPECT_EQ(vm->Call("CopySample", {1, Nil()}), 0);
    EXPECT_EQ(VmType(*vm, -1), VM_TLIGHTUSERDATA);
}

TEST_F(SoundLib, InsertSample) {
    ASSERT_EQ(Run("CreateSample", {1, Arg::List({N(1), N(2), N(3)}), 8000}), "");
    ASSERT_EQ(Run("CreateSample", {2, Arg::List({N(100), N(200)}), 8000, 1}), "");
    auto values = [&](int32_t id) {
        std::vector<int32_t> out;
        const qzSound* s = Sample(id)->sound;
        for (uint32_t i = 0; i < s->frames * s->channels; i++) out.push_back(GetSoundSampleValue(s, i));
        return out;
    };
    EXPECT_EQ(Run("InsertSample", {1, 1, 0}), "ERR 1055");
    EXPECT_EQ(Run("InsertSample", {1, 2, 1}), "");
    EXPECT_EQ(values(2), (std::vector<int32_t>{100, 256, 512, 768, 200}));
    EXPECT_EQ(Sample(2)->size, 10u);
    // Beyond the end appends; more frames than the source has are the source's frame count, and
    // the range from the start loops.
    EXPECT_EQ(Run("InsertSample", {1, 2, 99, 4, Arg::Table({{S("start"), N(1)}})}), "");
    EXPECT_EQ(values(2), (std::vector<int32_t>{100, 256, 512, 768, 200, 512, 768, 512}));
    EXPECT_EQ(Run("InsertSample", {1, 2, 0, 2, Arg::Table({{S("end"), N(4)}})}), "ERR 1447");
    EXPECT_EQ(Sample(2)->sound->frames, 8u);
    // A playing target cannot change.
    ASSERT_EQ(Run("PlaySample", {2}), "");
    EXPECT_EQ(Run("InsertSample", {1, 2, 0}), "ERR 1475");
}

TEST_F(SoundLib, SaveSampleWritesWave) {
    ASSERT_EQ(
        Run("CreateSample", {1, Arg::List({N(-128), N(0), N(1), N(127), N(-1), N(5), N(6), N(7), N(8), N(9)}), 11025}),
        "");
    std::string path = dir.File("s.wav");
    ASSERT_EQ(Run("SaveSample", {1, path}), "");
    std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 44u + 12u);
    auto le32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
               uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
    };
    EXPECT_EQ(le32(4), 48u);
    EXPECT_EQ(le32(40), 10u);
    EXPECT_EQ(bytes.substr(44, 4), std::string("\x00\x80\x81\xFF", 4));
    EXPECT_EQ(bytes.substr(54, 2), std::string(2, '\0'));
    auto soxi = [](const std::string& file) {
        return Output("soxi -r '" + file + "'") + Output("soxi -c '" + file + "'") + Output("soxi -b '" + file + "'");
    };
    EXPECT_EQ(soxi(path), "11025\n1\n8\n");
    EXPECT_EQ(libtest::Python("import wave,sys\nw=wave.open(sys.argv[1])\nprint(w.getnchannels(), w.getsampwidth(), "
                              "w.getframerate(), w.getnframes(), list(w.readframes(3)))\n",
                              "'" + path + "'"),
              "1 1 11025 10 [0, 128, 129]\n");

    // 16-bit stereo at the sample's pitch, read back as it was.
    ASSERT_EQ(Run("CreateSample", {2, Arg::List({N(-32768), N(32767), N(258), N(-2)}), 8000, 3}), "");
    ASSERT_EQ(Run("SetPitch", {2, 22050}), "");
    std::string stereo = dir.File("st.wav");
    ASSERT_EQ(Run("SaveSample", {2, stereo}), "");
    EXPECT_EQ(soxi(stereo), "22050\n2\n16\n");
    EXPECT_EQ(FfmpegS16(stereo, 2), (std::vector<int16_t>{-32768, 32767, 258, -2}));
    ASSERT_EQ(Run("LoadSample", {3, stereo}), "");
    EXPECT_EQ(Sample(3)->sound->frames, 2u);
    EXPECT_EQ(std::memcmp(Sample(3)->sound->data, Sample(2)->sound->data, 8), 0);

    EXPECT_EQ(Run("SaveSample", {1, path, 77}), "ERR 1490");
    EXPECT_EQ(Run("SaveSample", {1, dir.File("no/such/dir/x.wav")}), "ERR 1052");
}

struct SoundLibRealTime : SoundLib {
    SoundLibRealTime() { manual = false; }
};

TEST_F(SoundLibRealTime, WaitSampleEndReturnsWhenTheSampleHasPlayed) {
    Make(1, 2400);  // 50 ms at 48000 Hz
    ASSERT_EQ(Run("PlaySample", {1}), "");
    uint64_t before = OsMonotonicMicros();
    ASSERT_EQ(Run("WaitSampleEnd", {1}), "");
    uint64_t waited = OsMonotonicMicros() - before;
    EXPECT_GE(waited, 40000u);
    EXPECT_LT(waited, 3000000u);
    EXPECT_EQ(Run("IsSamplePlaying", {1}), "0");
}

}  // namespace

}  // namespace sound_lib_test
