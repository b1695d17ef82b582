// End to end: playing a second music while one plays. An applet of format 6.0 plays both at once;
// an older applet, or one that turns the "singlemusic" switch on, stops the first music. The
// headless device's capture shows which musics were mixed.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "media/sound_test_util.h"

namespace music_play_e2e_test {

namespace {

using namespace soundtest;

// Opens music 1 (LOUD) and music 2 (SOFT), plays one after the other, prints whether each plays
// and lets them sound for half a second.
const char* const kTwoMusicsApplet = R"(
.applet
.record 10 u8 MAJOR u8 0
.function main
  .source "@two.qzs"
  .line 1
    GETGLOBAL r0 "legacycontrol"
    LOADK r1 "singlemusic"
    LOADK r2 SINGLE
    CALL r0 3 1
  .line 2
    GETGLOBAL r0 "openmusic"
    LOADK r1 1
    LOADK r2 "LOUD"
    CALL r0 3 1
    GETGLOBAL r0 "openmusic"
    LOADK r1 2
    LOADK r2 "SOFT"
    CALL r0 3 1
  .line 3
    GETGLOBAL r0 "playmusic"
    LOADK r1 1
    CALL r0 2 1
    GETGLOBAL r0 "playmusic"
    LOADK r1 2
    CALL r0 2 1
  .line 4
    GETGLOBAL r0 "debugprint"
    GETGLOBAL r1 "ismusicplaying"
    LOADK r2 1
    CALL r1 2 2
    GETGLOBAL r2 "ismusicplaying"
    LOADK r3 2
    CALL r2 2 2
    CALL r0 3 1
  .line 5
    GETGLOBAL r0 "wait"
    LOADK r1 25
    CALL r0 2 1
    RETURN r0 1
.end
)";

constexpr int kLoud = 8000;
constexpr int kSoft = 2000;

// One second of 16-bit mono at 48000 Hz, every frame at level.
std::string ConstantWave(const TempDir& dir, const std::string& name, int level) {
    std::string data;
    for (int f = 0; f < 48000; f++) PutLE16(&data, static_cast<uint16_t>(level));
    std::string path = dir.File(name);
    WriteFile(path, RiffWave(RiffChunk("fmt ", FmtBody(1, 1, 48000, 16)) + RiffChunk("data", data)));
    return path;
}

void Replace(std::string* text, const std::string& what, const std::string& with) {
    text->replace(text->find(what), what.size(), with);
}

// Assembles the applet, plays it headless with its sound captured and gives what it printed.
std::string Play(const TempDir& dir, const std::string& text, const std::string& capture) {
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(text.c_str(), &error);
    EXPECT_FALSE(bytes.empty()) << error;
    std::string applet = dir.File("a.qza");
    WriteBytes(applet, bytes);
    int status = -1;
    std::string output =
        CaptureOutput("env -u QUARNELIX_INPUT QUARNELIX_DRIVER=headless QUARNELIX_AUDIO_CAPTURE='" + capture + "' " +
                          PlayerTimeout() + "'" + BinaryDir() + "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout '" + applet +
                          "' 2>'" + dir.File("stderr") + "'",
                      &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output << ReadAll(dir.File("stderr"));
    return output;
}

TEST(MusicPlayE2E, OneMusicAtATimeForOldAppletsAndTheSingleMusicSwitch) {
    const struct {
        int major;
        int single;
        const char* printed;  // IsMusicPlaying of the first and the second
        int level;            // what the capture holds once the second plays
    } rows[] = {
        {6, 0, "1 1\n", kLoud + kSoft},
        {6, 1, "0 1\n", kSoft},
        {5, 0, "0 1\n", kSoft},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "format " << r.major << ".0, singlemusic " << r.single);
        TempDir dir;
        std::string text = kTwoMusicsApplet;
        Replace(&text, "MAJOR", std::to_string(r.major));
        Replace(&text, "SINGLE", std::to_string(r.single));
        Replace(&text, "LOUD", ConstantWave(dir, "loud.wav", kLoud));
        Replace(&text, "SOFT", ConstantWave(dir, "soft.wav", kSoft));
        std::string capture = dir.File("capture.wav");
        std::string output = Play(dir, text, capture);
        EXPECT_EQ(output, r.printed);
        // A quarter of a second after the sound began, for a tenth of a second: the level of what
        // plays, on both sides.
        Capture c = ReadFloatWave(capture);
        ASSERT_EQ(c.rate, 48000u);
        size_t at = Onset(c) + 12000;
        ASSERT_LE(at + 4800, c.Frames());
        for (int side = 0; side < 2; side++) {
            std::vector<float> x = Side(c, side);
            for (size_t f = at; f < at + 4800; f++) ASSERT_NEAR(x[f] * 32768.0, r.level, 1.0) << "frame " << f;
        }
    }
}

// Under the switch, a FillMusicBuffer handler that plays another music gets the callback error,
// and the music that plays goes on: no stream stops while the handler runs.
const char* const kPlayInHandlerApplet = R"(
.applet
.record 10 u8 6 u8 0
.function main
  .source "@handler.qzs"
  .line 1
    GETGLOBAL r0 "legacycontrol"
    LOADK r1 "singlemusic"
    LOADK r2 1
    CALL r0 3 1
    GETGLOBAL r0 "installeventhandler"
    NEWTABLE r1 0 1
    CLOSURE r2 fill
    SETTABLE r1 "fillmusicbuffer" r2
    CALL r0 2 1
  .line 2
    GETGLOBAL r0 "openmusic"
    LOADK r1 1
    LOADK r2 "LOUD"
    CALL r0 3 1
    GETGLOBAL r0 "openmusic"
    LOADK r1 3
    LOADK r2 "SOFT"
    CALL r0 3 1
    GETGLOBAL r0 "playmusic"
    LOADK r1 1
    CALL r0 2 1
  .line 3
    GETGLOBAL r0 "createmusic"
    LOADK r1 2
    LOADK r2 48000
    LOADK r3 1
    CALL r0 4 1
  .line 4
    GETGLOBAL r0 "debugprint"
    GETGLOBAL r1 "ismusicplaying"
    LOADK r2 1
    CALL r1 2 2
    GETGLOBAL r2 "ismusicplaying"
    LOADK r3 3
    CALL r2 2 2
    CALL r0 3 1
    RETURN r0 1
  .function fill
    .params 1
    .line 10
      GETGLOBAL r1 "exitonerror"
      LOADBOOL r2 0 0
      CALL r1 2 1
      GETGLOBAL r1 "playmusic"
      LOADK r2 3
      CALL r1 2 1
      GETGLOBAL r1 "debugprint"
      GETGLOBAL r2 "getlasterror"
      CALL r2 1 2
      CALL r1 2 1
      GETGLOBAL r1 "exitonerror"
      LOADBOOL r2 1 0
      CALL r1 2 1
      RETURN r0 1
  .end
.end
)";

TEST(MusicPlayE2E, PlayingInsideAFillMusicBufferHandlerStopsNothing) {
    TempDir dir;
    std::string text = kPlayInHandlerApplet;
    Replace(&text, "LOUD", ConstantWave(dir, "loud.wav", kLoud));
    Replace(&text, "SOFT", ConstantWave(dir, "soft.wav", kSoft));
    EXPECT_EQ(Play(dir, text, dir.File("capture.wav")), "1478\n1 0\n");
}

}  // namespace

}  // namespace music_play_e2e_test
