// The module replayer on modules written by the tests: the loader's layout and its clipping of
// files that lie, every effect's pitch, volume and row movement tick by tick, and the rendered
// output's timing, pitch and level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "media/sound/module_replayer.h"
#include "media/sound/module_state.h"
#include "media/sound/sound_source.h"
#include "module_test_util.h"
#include "sound_test_util.h"

namespace module_replayer_test {

namespace {

using moduletest::Cell;
using moduletest::OpenBytes;
using moduletest::Song;
using moduletest::Square;

constexpr int32_t kOne = kModuleFixedOne;

struct Opened {
    qzModule* m;
    explicit Opened(const Song& song) : m(OpenBytes(song.Bytes())) {}
    ~Opened() { FreeModule(m); }
};

// Samples most tests use: 1 a looped square at volume 64, 2 the same at volume 40 and finetune
// 1, 3 an unlooped square of 64 bytes.
Song Base() {
    Song song;
    song.samples.push_back({Square(32, 64), 64, 0, 0, 2048});
    song.samples.push_back({Square(32, 64), 40, 1, 0, 2048});
    song.samples.push_back({Square(32, 2), 64, 0, 0, 0});
    return song;
}

void Ticks(qzModule* m, int n) {
    for (int i = 0; i < n; i++) RunModuleTick(m);
}

TEST(ModuleReplayer, LoaderLayout) {
    Song song = Base();
    song.name = "a name of more than twenty bytes";
    song.At(0, 1, 2) = {0x123, 0x1F, 0xE, 0xA7};
    song.extraOrder = {{100, 40}};  // past the song length, still counted
    song.At(40, 0, 0) = {};
    qzModule* m = OpenBytes(song.Bytes());
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->name, "a name of more than ");
    EXPECT_EQ(m->patternCount, 41);
    EXPECT_EQ(m->songLength, 1);
    const qzModuleCell& c = m->patterns[1 * 4 + 2];
    EXPECT_EQ(c.period, 0x123);
    EXPECT_EQ(c.sample, 0x1F);
    EXPECT_EQ(c.effect, 0xE);
    EXPECT_EQ(c.param, 0xA7);
    EXPECT_EQ(c.high, 0xA);
    EXPECT_EQ(c.low, 7);
    // The sample data comes after all 41 patterns.
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(m->samples[1].data), m->data + 1084 + 41 * 1024);
    EXPECT_EQ(m->samples[1].length, 2048u * kOne);
    EXPECT_EQ(m->samples[2].data, m->samples[1].data + 2048);
    EXPECT_EQ(m->samples[2].finetune, 1);
    EXPECT_EQ(m->samples[2].volume, 40);
    EXPECT_EQ(m->samples[1].loopEnd, 2048u * kOne);
    EXPECT_EQ(m->samples[4].length, 0u);
    EXPECT_EQ(m->internalRate, 96000);
    EXPECT_EQ(m->samplesPerTick, 1920);
    EXPECT_EQ(m->speed, 6);
    EXPECT_EQ(m->tempo, 125);
    EXPECT_EQ(m->voices[0].position, -1);
    EXPECT_EQ(m->voices[1].pan, 255);
    EXPECT_EQ(m->voices[3].pan, 0);
    FreeModule(m);
}

TEST(ModuleReplayer, FilesThatLie) {
    std::vector<unsigned char> tooShort = Base().Bytes();
    tooShort.resize(1083);
    EXPECT_EQ(OpenBytes(tooShort), nullptr);
    // The order list names pattern 5 but the file holds one pattern and no more.
    Song missing = Base();
    missing.extraOrder = {{127, 5}};
    std::vector<unsigned char> bytes = missing.Bytes();
    bytes.resize(1084 + 5 * 1024 + 1023);
    EXPECT_EQ(OpenBytes(bytes), nullptr);

    // Sample 1 claims more than remains; sample 2 starts past the end; sample 3's loop runs past
    // its data and sample 4's loop starts past it.
    Song lies;
    lies.samples.push_back({Square(32, 2), 64, 0, 0, 64, 100});
    lies.samples.push_back({Square(32, 2), 64, 0, 0, 64});
    std::vector<unsigned char> file = lies.Bytes();
    file.resize(file.size() - 64 - 10);  // 54 bytes of sample 1 remain, none of sample 2
    qzModule* m = OpenBytes(file);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->samples[1].length, 54u * kOne);
    EXPECT_EQ(m->samples[1].loopEnd, 54u * kOne);
    EXPECT_EQ(m->samples[2].length, 0u);
    EXPECT_EQ(m->samples[2].data, nullptr);
    FreeModule(m);

    Song loops;
    loops.samples.push_back({Square(32, 2), 64, 0, 40, 100});
    loops.samples.push_back({Square(32, 2), 64, 0, 80, 8});
    m = OpenBytes(loops.Bytes());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->samples[1].loopStart, 40u * kOne);
    EXPECT_EQ(m->samples[1].loopLength, 24u * kOne);
    EXPECT_EQ(m->samples[2].loopLength, 0u);
    FreeModule(m);

    // Song length 200 plays the 128 entries; a cell naming sample 255 names none.
    Song longSong = Base();
    longSong.songLength = 200;
    longSong.At(0, 0, 0) = {428, 0xFF};
    longSong.At(0, 1, 0) = {0, 0, 0xB, 0x7F};
    longSong.At(1, 0, 0) = {};
    longSong.extraOrder = {{127, 1}};
    Opened o(longSong);
    ASSERT_NE(o.m, nullptr);
    EXPECT_EQ(o.m->songLength, 128);
    Ticks(o.m, 7);
    EXPECT_EQ(o.m->voices[0].sample, 0);
    EXPECT_EQ(o.m->songPosition, 127);
    Ticks(o.m, 64 * 6);
    EXPECT_EQ(o.m->songPosition, 0);
    // A jump to a position the song does not have plays from its start.
    EXPECT_EQ(QueryModulePosition(o.m, 0, 200), 0);
    int16_t out[64];
    RenderModuleToBuffer(o.m, out, 32);
    Ticks(o.m, 6);
    EXPECT_EQ(o.m->songPosition, 0);
    EXPECT_EQ(o.m->patternRow, 1);
}

// Every voice of a module that lies plays only what its samples hold: renders under the address
// sanitizer read nothing outside the loaded data.
TEST(ModuleReplayer, LyingSamplesPlayWithinTheirData) {
    Song song;
    song.samples.push_back({Square(32, 2), 64, 0, 0, 64});
    song.samples.push_back({Square(32, 1), 64, 0, 30, 60});        // loop past its data
    song.samples.push_back({Square(16, 1), 64, 0, 2, 6});          // short loop, offsets past it
    song.samples.push_back({Square(32, 1), 64, 0, 0, 0, 0xFFFF});  // far past the end
    song.samples.push_back({Square(32, 1), 64, 0, 0, 0, 0x8000});  // starts past the end
    const Cell rows[][4] = {
        {{113, 1}, {113, 2}, {113, 3, 9, 0xFF}, {856, 4}},
        {{4095, 5, 9, 0x80}, {1, 2}, {0, 4, 14, 0x1F}, {113, 4}},
        {{0, 3}, {0, 0, 14, 0x2F}, {500, 3, 9, 0x01}, {0, 0, 14, 0xFF}},
        {{0, 0, 0, 0xFF}, {428, 0, 0, 0}, {0, 3, 4, 0xFF}, {0, 0, 14, 0x93}},
        {{214, 3, 14, 0xFF}, {0, 4, 0, 0}, {0, 2, 0, 0}, {0, 5, 14, 0x1F}},
    };
    for (int r = 0; r < 64; r++)
        for (int v = 0; v < 4; v++) song.At(0, r, v) = rows[r % 5][v];
    std::vector<unsigned char> file = song.Bytes();
    file.resize(file.size() - 40);  // sample 4 cut short, none of sample 5
    qzModule* m = OpenBytes(file);
    ASSERT_NE(m, nullptr);
    std::vector<int16_t> out(2 * 48000);
    for (int block = 0; block < 8; block++) RenderModuleToBuffer(m, out.data(), 48000);
    FreeModule(m);
}

// Periods the table holds map to their note; others to the nearest note; notes up stop at the
// table's top.
TEST(ModuleReplayer, FinetunedPeriods) {
    const struct {
        int32_t period, finetune, up, expected;
    } cases[] = {
        {428, 0, 0, 428},  {428, 0, 12, 214}, {856, 8, 0, 907},  {856, 15, 1, 814}, {113, 7, 0, 108},
        {113, 0, 12, 113}, {430, 0, 0, 428},  {4095, 0, 0, 856}, {1, 0, 0, 113},    {0, 3, 0, 111},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.period);
        EXPECT_EQ(GetFinetunedPeriod(c.period, c.finetune, c.up), c.expected);
    }
}

// The music code opens a module through the file sniffer; a file with the mark that is too short
// for its patterns is refused with the open error.
TEST(ModuleReplayer, OpenedAsMusic) {
    soundtest::TempDir dir;
    Song song = Base();
    song.At(0, 0, 0) = {428, 1};
    std::vector<unsigned char> bytes = song.Bytes();
    std::string good = dir.File("good.mod");
    soundtest::WriteFile(good, std::string(bytes.begin(), bytes.end()));
    int32_t kind = 0;
    void* object = nullptr;
    ASSERT_EQ(OpenMusicSource(good.c_str(), nullptr, nullptr, 0, &kind, &object, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(IsModuleMusic(kind), 1);
    EXPECT_EQ(static_cast<qzModule*>(object)->patternCount, 1);
    FreeMusicSource(kind, object);

    bytes.resize(2000);
    std::string cut = dir.File("cut.mod");
    soundtest::WriteFile(cut, std::string(bytes.begin(), bytes.end()));
    object = nullptr;
    EXPECT_EQ(OpenMusicSource(cut.c_str(), nullptr, nullptr, 0, &kind, &object, nullptr, nullptr, nullptr),
              ERR_OPENSOUND2);
    EXPECT_EQ(object, nullptr);
}

// A song, the ticks to run after the first, and what the voice or song then holds.
struct EffectCase {
    const char* what;
    std::function<void(Song&)> write;
    int ticks;
    std::function<void(qzModule*)> check;
};

TEST(ModuleReplayer, EffectsAfterTicks) {
    auto step = [](qzModule* m, int32_t period) { return StepFromPeriod(m, period); };
    const EffectCase cases[] = {
        {"sample volume 64 plays at 63",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1};
         },
         1,
         [&](qzModule* m) {
             EXPECT_EQ(m->voices[0].outVolume, 63);
             EXPECT_EQ(m->voices[0].step, step(m, 428));
         }},
        {"sample finetune 8 plays row 8",
         [](Song& s) {
             s.samples[0].finetune = 8;
             s.At(0, 0, 0) = {428, 1};
         },
         1, [](qzModule* m) { EXPECT_EQ(m->voices[0].basePeriod, 453); }},
        {"C40 gives 63",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xC, 0x40};
         },
         1, [](qzModule* m) { EXPECT_EQ(m->voices[0].outVolume, 63); }},
        {"EA8 at 60 gives 63",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xC, 60};
             s.At(0, 1, 0) = {0, 0, 0xE, 0xA8};
         },
         7, [](qzModule* m) { EXPECT_EQ(m->voices[0].outVolume, 63); }},
        {"EB5 from 40 gives 35",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 2};
             s.At(0, 1, 0) = {0, 0, 0xE, 0xB5};
         },
         7, [](qzModule* m) { EXPECT_EQ(m->voices[0].outVolume, 35); }},
        {"A01 lowers by 6 a row, first tick included",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xA, 0x01};
             s.At(0, 1, 0) = {0, 0, 0xA, 0x01};
         },
         12, [](qzModule* m) { EXPECT_EQ(m->voices[0].outVolume, 51); }},
        {"A50 raises up to 63",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 2, 0xA, 0x50};
         },
         5, [](qzModule* m) { EXPECT_EQ(m->voices[0].volume, 63); }},
        {"101 raises the pitch in 5 steps",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 1, 1};
         },
         6,
         [&](qzModule* m) {
             EXPECT_EQ(m->voices[0].period, 423);
             EXPECT_EQ(m->voices[0].step, step(m, 423));
         }},
        {"203 lowers it",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 2, 3};
         },
         6, [](qzModule* m) { EXPECT_EQ(m->voices[0].period, 443); }},
        {"1FF stops at 113",
         [](Song& s) {
             s.At(0, 0, 0) = {214, 1, 1, 0xFF};
         },
         6, [](qzModule* m) { EXPECT_EQ(m->voices[0].period, 113); }},
        {"304 slides to the target by 4 a tick, volume reset",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xC, 10};
             s.At(0, 1, 0) = {404, 2, 3, 4};
         },
         12,
         [&](qzModule* m) {
             EXPECT_EQ(m->voices[0].period, 408);
             EXPECT_EQ(m->voices[0].portaTarget, 401);  // sample 2's finetune
             EXPECT_EQ(m->voices[0].outVolume, 40);
             EXPECT_EQ(m->voices[0].sample, 2);
         }},
        {"300 keeps the speed and stops at the target",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1};
             s.At(0, 1, 0) = {404, 0, 3, 0x10};
             s.At(0, 2, 0) = {0, 0, 3, 0};
         },
         18,
         [&](qzModule* m) {
             EXPECT_EQ(m->voices[0].period, 404);
             EXPECT_EQ(m->voices[0].step, step(m, 404));
         }},
        {"E31 glissando rounds the step to semitones",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xE, 0x31};
             s.At(0, 1, 0) = {320, 0, 3, 8};
         },
         12,
         [&](qzModule* m) {
             EXPECT_EQ(m->voices[0].period, 388);
             EXPECT_EQ(m->voices[0].step, step(m, 381));
         }},
        {"5A0 slides tone and volume",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 2};
             s.At(0, 1, 0) = {404, 0, 3, 2};
             s.At(0, 2, 0) = {0, 0, 5, 0x20};
         },
         18,
         [](qzModule* m) {
             EXPECT_EQ(m->voices[0].period, 405);  // 425 - 2 x 5 - 2 x 5
             EXPECT_EQ(m->voices[0].volume, 52);
         }},
        {"602 goes on with the vibrato and slides the volume",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 4, 0x4F};
             s.At(0, 1, 0) = {0, 0, 6, 0x02};
         },
         12,
         [](qzModule* m) {
             EXPECT_EQ(m->voices[0].period, 416);  // the sine at 36: -97 x 15 >> 7
             EXPECT_EQ(m->voices[0].volume, 51);
         }},
        {"E13 and E22 move the base period only",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xE, 0x13};
             s.At(0, 0, 1) = {428, 1, 0xE, 0x22};
         },
         1,
         [&](qzModule* m) {
             EXPECT_EQ(m->voices[0].basePeriod, 425);
             EXPECT_EQ(m->voices[0].period, 428);
             EXPECT_EQ(m->voices[0].step, step(m, 425));
             EXPECT_EQ(m->voices[1].basePeriod, 430);
         }},
        {"E51 plays finetune 1",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xE, 0x51};
         },
         1,
         [&](qzModule* m) {
             EXPECT_EQ(m->voices[0].finetune, 1);
             EXPECT_EQ(m->voices[0].step, step(m, 425));
         }},
        {"a period with effect 4 keeps the sample, volume and finetune",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 2};
             s.At(0, 1, 0) = {0, 0, 0xC, 20};
             s.At(0, 2, 0) = {428, 0, 4, 0x11};
         },
         13,
         [](qzModule* m) {
             EXPECT_EQ(m->voices[0].sample, 2);
             EXPECT_EQ(m->voices[0].volume, 20);
             EXPECT_EQ(m->voices[0].basePeriod, 425);
         }},
        {"a period with effect 0 takes the last sample and keeps the volume",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 2};
             s.At(0, 1, 0) = {0, 0, 0xC, 12};
             s.At(0, 2, 0) = {320, 0};
         },
         13,
         [](qzModule* m) {
             EXPECT_EQ(m->voices[0].sample, 2);
             EXPECT_EQ(m->voices[0].volume, 12);
             EXPECT_EQ(m->voices[0].basePeriod, 318);
         }},
        {"F00 changes nothing",
         [](Song& s) {
             s.At(0, 0, 0) = {0, 0, 0xF, 0};
         },
         1,
         [](qzModule* m) {
             EXPECT_EQ(m->speed, 6);
             EXPECT_EQ(m->samplesPerTick, 1920);
         }},
        {"F1F sets speed 31",
         [](Song& s) {
             s.At(0, 0, 0) = {0, 0, 0xF, 0x1F};
         },
         30,
         [](qzModule* m) {
             EXPECT_EQ(m->speed, 31);
             EXPECT_EQ(m->patternRow, 1);
         }},
        {"F20 sets tempo 32",
         [](Song& s) {
             s.At(0, 0, 0) = {0, 0, 0xF, 0x20};
         },
         1,
         [](qzModule* m) {
             EXPECT_EQ(m->tempo, 32);
             EXPECT_EQ(m->samplesPerTick, 7500);
         }},
        {"D00 goes to row 0 of the next position",
         [](Song& s) {
             s.At(0, 0, 2) = {0, 0, 0xD, 0};
         },
         1,
         [](qzModule* m) {
             EXPECT_EQ(m->songPosition, 1);
             EXPECT_EQ(m->patternRow, 0);
         }},
        {"D70 too",
         [](Song& s) {
             s.At(0, 0, 2) = {0, 0, 0xD, 0x70};
         },
         1,
         [](qzModule* m) {
             EXPECT_EQ(m->songPosition, 1);
             EXPECT_EQ(m->patternRow, 0);
         }},
        {"D32 goes to row 32",
         [](Song& s) {
             s.At(0, 0, 2) = {0, 0, 0xD, 0x32};
         },
         1,
         [](qzModule* m) {
             EXPECT_EQ(m->songPosition, 1);
             EXPECT_EQ(m->patternRow, 32);
         }},
        {"B and D on one row",
         [](Song& s) {
             s.At(0, 0, 3) = {0, 0, 0xB, 2};
             s.At(0, 0, 1) = {0, 0, 0xD, 0x05};
         },
         1,
         [](qzModule* m) {
             EXPECT_EQ(m->songPosition, 2);
             EXPECT_EQ(m->patternRow, 5);
         }},
        {"after the last entry the song goes on at position 0",
         [](Song& s) {
             s.At(0, 0, 0) = {0, 0, 0xB, 2};
             s.At(2, 0, 0) = {0, 0, 0xD, 0};
         },
         7,
         [](qzModule* m) {
             EXPECT_EQ(m->songPosition, 0);
             EXPECT_EQ(m->patternRow, 0);
         }},
        {"EE2 holds the row for two more rows",
         [](Song& s) {
             s.At(0, 0, 0) = {0, 0, 0xE, 0xE2};
         },
         18,
         [](qzModule* m) {
             EXPECT_EQ(m->patternRow, 1);
             Ticks(m, 1);
             EXPECT_EQ(m->patternRow, 2);
         }},
        {"902 starts at byte 512, 900 again",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 9, 2};
             s.At(0, 1, 0) = {428, 1, 9, 0};
         },
         1,
         [](qzModule* m) {
             EXPECT_EQ(m->voices[0].position, 512 * kOne);
             m->voices[0].position = 7;
             Ticks(m, 6);
             EXPECT_EQ(m->voices[0].position, 512 * kOne);
         }},
        {"E00 turns the filter on, E01 off",
         [](Song& s) {
             s.At(0, 0, 0) = {0, 0, 0xE, 0x00};
         },
         1,
         [](qzModule* m) {
             EXPECT_EQ(m->filterOn, 1);
             m->patterns[4].effect = 0xE;
             m->patterns[4].low = 1;
             Ticks(m, 6);
             EXPECT_EQ(m->filterOn, 0);
         }},
    };
    for (const EffectCase& c : cases) {
        SCOPED_TRACE(c.what);
        Song song = Base();
        song.order = {0, 1, 2};
        song.At(2, 0, 0) = {};
        c.write(song);
        Opened o(song);
        ASSERT_NE(o.m, nullptr);
        Ticks(o.m, c.ticks);
        c.check(o.m);
    }
}

// A value of the voice after each tick of a short song, the position set to a marker before each
// tick so that a restart shows as 0.
struct SequenceCase {
    const char* what;
    std::function<void(Song&)> write;
    std::function<int32_t(qzModule*)> value;
    std::vector<int32_t> expected;
};

TEST(ModuleReplayer, EffectsTickByTick) {
    constexpr int32_t kMark = 1000 * kOne;
    auto stepOf = [](int32_t period) {
        qzModule m = {};
        m.internalRate = 96000;
        return StepFromPeriod(&m, period);
    };
    auto up = [](int n) { return GetFinetunedPeriod(428, 0, n); };
    const SequenceCase cases[] = {
        {"037 arpeggio plays y, x, the note",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0, 0x37};
         },
         [](qzModule* m) { return m->voices[0].step; },
         {stepOf(up(7)), stepOf(up(3)), stepOf(428), stepOf(up(7)), stepOf(up(3)), stepOf(428), stepOf(428)}},
        {"44F vibrato moves the period and returns it",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 4, 0x4F};
         },
         [](qzModule* m) { return m->voices[0].period; },
         // the first tick skipped, then sine 0, 97, 180, 235, 255 x 15 >> 7; the next row is the note
         {428, 428, 439, 449, 455, 457, 428}},
        {"the step returns with the period after a vibrato",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 4, 0x4F};
         },
         [](qzModule* m) { return m->voices[0].step; },
         {stepOf(428), stepOf(428), stepOf(439), stepOf(449), stepOf(455), stepOf(457), stepOf(428)}},
        {"E41 ramp vibrato",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xE, 0x41};
             s.At(0, 1, 0) = {0, 0, 4, 0xF8};
         },
         [](qzModule* m) { return m->voices[0].period; },
         // row 0, the skipped tick, then the ramp at 0, 15, 30, 45, 60: 0, 120, 240, -152, -32 x 8 >> 7
         {428, 428, 428, 428, 428, 428, 428, 428, 435, 443, 418, 426}},
        {"78F tremolo moves the output volume",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 2, 7, 0x8F};
         },
         [](qzModule* m) { return m->voices[0].outVolume; },
         {40, 61, 63, 61, 40, 18, 40}},
        {"EC0 cuts at the first tick",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xE, 0xC0};
         },
         [](qzModule* m) { return m->voices[0].outVolume; },
         {0, 0, 0}},
        {"EC3 cuts at the fourth",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xE, 0xC3};
         },
         [](qzModule* m) { return m->voices[0].outVolume; },
         {63, 63, 63, 0, 0}},
        {"E92 restarts every second tick",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1, 0xE, 0x92};
         },
         [](qzModule* m) { return m->voices[0].position; },
         {0, kMark, 0, kMark, 0, kMark, kMark}},
        {"ED2 sounds the note at the third tick",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1};
             s.At(0, 1, 0) = {404, 2, 0xE, 0xD2};
         },
         [](qzModule* m) { return m->voices[0].position; },
         {0, kMark, kMark, kMark, kMark, kMark, kMark, kMark, 0}},
        {"ED2 changes sample and pitch at once",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1};
             s.At(0, 1, 0) = {404, 2, 0xE, 0xD2};
         },
         [](qzModule* m) { return m->voices[0].step * 100 + m->voices[0].sample; },
         {stepOf(428) * 100 + 1, stepOf(428) * 100 + 1, stepOf(428) * 100 + 1, stepOf(428) * 100 + 1,
          stepOf(428) * 100 + 1, stepOf(428) * 100 + 1, stepOf(401) * 100 + 2}},
        {"304 with a sample does not restart",
         [](Song& s) {
             s.At(0, 0, 0) = {428, 1};
             s.At(0, 1, 0) = {404, 1, 3, 4};
         },
         [](qzModule* m) { return m->voices[0].position; },
         {0, kMark, kMark, kMark, kMark, kMark, kMark}},
        {"E60 and E62 play rows 0 to 4 three times",
         [](Song& s) {
             s.At(0, 0, 0) = {0, 0, 0xE, 0x60};
             s.At(0, 2, 0) = {0, 0, 0xE, 0x60};  // no new start while the loop row is marked
             s.At(0, 4, 0) = {0, 0, 0xE, 0x62};
             for (int row = 0; row < 64; row++) s.At(0, row, 3) = {0, 0, 0xF, 1};  // a row a tick
         },
         [](qzModule* m) { return static_cast<int32_t>(m->patternRow); },
         {1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 5, 6}},
        {"E60 and E61 inside a pattern stay on its position",
         [](Song& s) {
             s.order = {0, 1};
             s.At(0, 0, 0) = {0, 0, 0xB, 1};
             s.At(0, 0, 3) = {0, 0, 0xF, 1};
             s.At(1, 2, 0) = {0, 0, 0xE, 0x60};
             s.At(1, 3, 0) = {0, 0, 0xE, 0x61};
         },
         [](qzModule* m) { return m->songPosition * 100 + m->patternRow; },
         {100, 101, 102, 103, 102, 103, 104, 105}},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.what);
        Song song = Base();
        c.write(song);
        Opened o(song);
        ASSERT_NE(o.m, nullptr);
        std::vector<int32_t> got;
        for (size_t i = 0; i < c.expected.size(); i++) {
            if (i > 0) o.m->voices[0].position = kMark;
            RunModuleTick(o.m);
            got.push_back(c.value(o.m));
        }
        EXPECT_EQ(got, c.expected);
    }
}

// EFF inverts one byte of the loop a row, from the byte after the loop start; the byte after the
// loop, here past the end of the file, is never touched.
TEST(ModuleReplayer, FunkInvertsTheLoopInPlace) {
    Song song;
    song.samples.push_back({{1, 2, 3, 4, 5, 6}, 64, 0, 2, 4});
    song.At(0, 0, 0) = {428, 1, 0xE, 0xFF};
    Opened o(song);
    ASSERT_NE(o.m, nullptr);
    const signed char* data = o.m->samples[1].data;
    Ticks(o.m, 30);
    EXPECT_EQ(std::vector<int>(data, data + 6), (std::vector<int>{1, 2, 3, ~4, ~5, ~6}));
    Ticks(o.m, 6);
    EXPECT_EQ(data[2], ~3);
}

// Mixes a few internal samples after each of n ticks, so that positions move.
void TicksWithMixing(qzModule* m, int n, uint32_t frames) {
    std::vector<int16_t> out(2 * frames);
    for (int i = 0; i < n; i++) {
        RunModuleTick(m);
        m->sampleCounter = 0;
        ReplayModule(m, out.data(), out.data() + 1, 4, frames);
    }
}

TEST(ModuleReplayer, ASampleNumberAloneWaitsForTheLoop) {
    Song song = Base();
    song.At(0, 0, 0) = {428, 1};  // looped
    song.At(0, 1, 0) = {0, 2};
    song.At(0, 0, 1) = {428, 3};  // unlooped, 64 bytes
    song.At(0, 1, 1) = {0, 2};
    Opened o(song);
    ASSERT_NE(o.m, nullptr);
    TicksWithMixing(o.m, 7, 10);
    const qzModuleVoice& looped = o.m->voices[0];
    const qzModuleVoice& once = o.m->voices[1];
    EXPECT_EQ(looped.sample, 1);
    EXPECT_EQ(looped.queuedSample, 2);
    EXPECT_EQ(looped.outVolume, 40);
    // About 0.087 bytes an internal sample: 2048 bytes wrap within 16 ticks of 1920.
    TicksWithMixing(o.m, 16, 960);
    EXPECT_EQ(looped.sample, 2);
    EXPECT_GE(looped.position, 0);
    EXPECT_EQ(once.sample, 3);
    EXPECT_EQ(once.position, -1);
}

// The frames at which the first slot's level changes, with the level from there on.
std::vector<std::pair<size_t, int>> LevelChanges(const std::vector<int16_t>& out, int slot) {
    std::vector<std::pair<size_t, int>> changes;
    int level = 0;
    for (size_t f = 0; 2 * f + 1 < out.size(); f++) {
        if (out[2 * f + slot] != level) {
            level = out[2 * f + slot];
            changes.push_back({f, level});
        }
    }
    return changes;
}

// Rows last speed x samples-per-tick internal samples, the first tick after one tick of silence;
// a constant sample at volume v on voice 1 gives 64 x v x 255 >> 7 on the first slot.
TEST(ModuleRender, RowTimingAndLevels) {
    Song song;
    song.samples.push_back({std::vector<int8_t>(64, 64), 64, 0, 0, 64});
    song.At(0, 0, 1) = {428, 1};
    song.At(0, 1, 1) = {0, 0, 0xC, 32};
    song.At(0, 1, 0) = {0, 0, 0xF, 0x20};  // tempo 32: 7500 internal samples a tick
    song.At(0, 2, 1) = {0, 0, 0xC, 16};
    Opened o(song);
    ASSERT_NE(o.m, nullptr);
    std::vector<int16_t> out(2 * 40000);
    RenderModuleToBuffer(o.m, out.data(), 40000);
    EXPECT_EQ(LevelChanges(out, 0),
              (std::vector<std::pair<size_t, int>>{{960, 8032}, {6720, 4080}, {6720 + 3 * 7500, 2040}}));
    EXPECT_TRUE(LevelChanges(out, 1).empty());
}

// E00 runs the output through the low-pass filter: a constant keeps its level once the filter
// has settled, a high square wave loses most of it.
TEST(ModuleRender, Filter) {
    auto render = [](std::vector<int8_t> data, int period, bool filter) {
        Song song;
        song.samples.push_back({std::move(data), 64, 0, 0, 64});
        song.At(0, 0, 1) = {period, 1, 0xE, filter ? 0 : 1};
        Opened o(song);
        std::vector<int16_t> out(2 * 6000);
        RenderModuleToBuffer(o.m, out.data(), 6000);
        return out;
    };
    std::vector<int16_t> flat = render(std::vector<int8_t>(64, 64), 428, true);
    EXPECT_LT(flat[2 * 960], 1000);
    EXPECT_EQ(flat[2 * 5000], 8032);
    auto rms = [](const std::vector<int16_t>& out) {
        double sum = 0;
        for (size_t f = 2000; f < 6000; f++) sum += static_cast<double>(out[2 * f]) * out[2 * f];
        return std::sqrt(sum / 4000);
    };
    double open = rms(render(Square(2, 32), 113, false));
    double filtered = rms(render(Square(2, 32), 113, true));
    EXPECT_GT(open, 6000);
    EXPECT_LT(filtered, open * 0.25);
}

// The sign changes of a slot over the frames, as a frequency at 48000 frames a second.
double Frequency(const std::vector<int16_t>& out, int slot, size_t from) {
    size_t first = 0, last = 0, changes = 0;
    for (size_t f = from + 1; 2 * f + 1 < out.size(); f++) {
        if ((out[2 * f + slot] >= 0) != (out[2 * (f - 1) + slot] >= 0)) {
            if (!changes) first = f;
            last = f;
            changes++;
        }
    }
    return changes < 3 ? 0 : (changes - 1) / 2.0 * 48000 / static_cast<double>(last - first);
}

// A 32-byte square wave sounds at 3579345 / period / 32 Hz: periods of the three octaves, the
// finetune rows and the voices' sides.
TEST(ModuleRender, Pitch) {
    const struct {
        int period;
        int finetune;
        int voice;
        double hz;
    } cases[] = {
        {856, 0, 0, 3579345.0 / 856 / 32}, {428, 0, 1, 3579345.0 / 428 / 32}, {214, 0, 2, 3579345.0 / 214 / 32},
        {113, 0, 3, 3579345.0 / 113 / 32}, {428, 7, 1, 3579345.0 / 407 / 32}, {428, 8, 0, 3579345.0 / 453 / 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.period * 100 + c.finetune);
        Song song;
        song.samples.push_back({Square(32, 64), 64, c.finetune, 0, 2048});
        song.At(0, 0, c.voice) = {c.period, 1};
        Opened o(song);
        ASSERT_NE(o.m, nullptr);
        std::vector<int16_t> out(2 * 48000);
        RenderModuleToBuffer(o.m, out.data(), 48000);
        int slot = c.voice == 1 || c.voice == 2 ? 0 : 1;
        EXPECT_NEAR(Frequency(out, slot, 1000), c.hz, c.hz * 0.002);
        EXPECT_NEAR(*std::max_element(out.begin() + 2000, out.end()), 64 * 63 * 255 >> 7, 1);
        EXPECT_EQ(Frequency(out, 1 - slot, 0), 0);
    }
}

// Runs of a steady pitch in a signal: where each starts (its first sign change, so within a half
// period or two of the note's start) and its frequency, from sign changes past a threshold (so that
// ramps and ringing near zero count as none) whose spacing stays within 15% for at least four
// half periods.
struct Tone {
    double onset;
    double hz;
};
std::vector<Tone> Tones(const std::vector<float>& x, float threshold) {
    std::vector<size_t> changes;
    int sign = 0;
    for (size_t i = 0; i < x.size(); i++) {
        int now = x[i] > threshold ? 1 : x[i] < -threshold ? -1 : 0;
        if (now && now != sign) {
            if (sign) changes.push_back(i);
            sign = now;
        }
    }
    std::vector<Tone> tones;
    size_t start = 0;
    for (size_t i = 1; i <= changes.size(); i++) {
        bool ends = i == changes.size();
        if (!ends && i - start >= 2) {
            double half = static_cast<double>(changes[i - 1] - changes[start]) / static_cast<double>(i - 1 - start);
            double next = static_cast<double>(changes[i] - changes[i - 1]);
            ends = std::fabs(next - half) > 0.15 * half;
        }
        if (ends) {
            // The run's first change may be the last of the tone before, and its last the start
            // of the next tone: both are left out.
            if (i - 1 - start >= 6) {
                double half =
                    static_cast<double>(changes[i - 2] - changes[start + 1]) / static_cast<double>(i - 3 - start);
                tones.push_back({static_cast<double>(changes[start + 1]), 48000 / (2 * half)});
            }
            start = i - 1;
        }
    }
    return tones;
}

// A song of notes in three octaves and two finetunes, speed changes, pattern delay, a pattern
// loop, a note cut, a pattern break and a position jump, rendered by openmpt123 (its song ends at
// the jump back to position 0): every note starts on the same frame (within two half periods) and
// every pitch differs by the same clock ratio (the replayer's 3579329 Hz against the PAL clock
// of 3546895 Hz openmpt uses for these files).
TEST(ModuleOracle, RowTimingAndPitchAgainstOpenmpt) {
    if (std::system("command -v openmpt123 >/dev/null 2>&1") != 0) GTEST_SKIP() << "openmpt123 is not installed";
    Song song;
    song.samples.push_back({Square(32, 64), 64, 0, 0, 2048});
    song.samples.push_back({Square(32, 64), 64, 5, 0, 2048});
    song.order = {0, 1};
    const struct {
        int pattern, row;
        Cell cell;
    } notes[] = {
        {0, 0, {428, 1}},
        {0, 2, {214, 1, 0xF, 3}},
        {0, 4, {856, 2}},
        {0, 6, {320, 1}},
        {0, 8, {0, 0, 0xE, 0xC1}},
        {0, 9, {285, 2}},
        {0, 11, {190, 1, 0xE, 0xE1}},
        {0, 12, {254, 1, 0xE, 0x60}},
        {0, 13, {339, 1, 0xE, 0x61}},
        {0, 14, {170, 1, 0xD, 0x02}},
        {1, 2, {508, 2}},
        {1, 4, {404, 1, 0xB, 0}},
    };
    for (const auto& n : notes) song.At(n.pattern, n.row, 1) = n.cell;
    soundtest::TempDir dir;
    std::string path = dir.File("oracle.mod");
    std::vector<unsigned char> bytes = song.Bytes();
    soundtest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(soundtest::Shell("openmpt123 --quiet --render --force --samplerate 48000 --channels 2 --filter 1 '" +
                                 path + "'"));
    soundtest::Capture oracle = soundtest::ReadFloatWave(path + ".wav");
    ASSERT_GT(oracle.Frames(), 48000u);
    std::vector<float> theirs(oracle.Frames());
    for (size_t f = 0; f < theirs.size(); f++) theirs[f] = oracle.L(f) + oracle.R(f);

    // The replayer's first tick comes after one tick of silence.
    Opened o(song);
    ASSERT_NE(o.m, nullptr);
    std::vector<int16_t> out(2 * (960 + theirs.size()));
    RenderModuleToBuffer(o.m, out.data(), static_cast<uint32_t>(out.size() / 2));
    std::vector<float> ours(theirs.size());
    for (size_t f = 0; f < ours.size(); f++) ours[f] = out[2 * (960 + f)] + out[2 * (960 + f) + 1];

    float peak = 0;
    for (float v : theirs) peak = std::max(peak, std::fabs(v));
    std::vector<Tone> a = Tones(ours, 8032 * 0.3f);
    std::vector<Tone> b = Tones(theirs, peak * 0.3f);
    // The replayer goes on past the jump back, where openmpt stops.
    ASSERT_GE(b.size(), 13u);
    ASSERT_GE(a.size(), b.size());
    a.resize(b.size());
    for (size_t i = 0; i < a.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(a[i].onset, b[i].onset, 48000 / b[i].hz + 8);
        EXPECT_NEAR(a[i].hz / b[i].hz, 3579329.0 / 3546895.0, 0.003);
    }
}
}  // namespace

}  // namespace module_replayer_test
