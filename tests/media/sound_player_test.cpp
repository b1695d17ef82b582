// End to end: the real player plays a sine made by sox, left and then right at twice the pitch;
// headless, the WAVE capture holds exactly that (levels by sox, frequencies and sides by sample),
// and SDL's real audio path with its "disk" driver writes the same frames. -NOSOUND leaves the
// sound system closed.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "sound_test_util.h"

namespace sound_player_test {

namespace {

using namespace soundtest;

// Plays sample 1 from `wave` left at its own pitch, then right at twice its pitch, waiting for
// each, then prints "done".
std::string PlayingApplet(const std::string& wave) {
    return R"(
.applet
.record 10 u8 6 u8 0
.function main
  .source "@sound.qzs"
  .line 1
    GETGLOBAL r0 "loadsample"
    LOADK r1 1
    LOADK r2 ")" +
           wave + R"("
    CALL r0 3 1
  .line 2
    GETGLOBAL r0 "playsample"
    LOADK r1 1
    NEWTABLE r2 0 0
    SETTABLE r2 "panning" 0
    CALL r0 3 1
  .line 3
    GETGLOBAL r0 "waitsampleend"
    LOADK r1 1
    CALL r0 2 1
  .line 4
    GETGLOBAL r0 "playsample"
    LOADK r1 1
    NEWTABLE r2 0 0
    SETTABLE r2 "panning" 255
    SETTABLE r2 "pitch" 96000
    CALL r0 3 1
  .line 5
    GETGLOBAL r0 "waitsampleend"
    LOADK r1 1
    CALL r0 2 1
  .line 6
    GETGLOBAL r0 "debugprint"
    LOADK r1 "done"
    CALL r0 2 1
    RETURN r0 1
.end
)";
}

const char* const kIsSoundApplet = R"(
.applet
.record 10 u8 6 u8 0
.function main
  .source "@issound.qzs"
  .line 1
    GETGLOBAL r0 "debugprint"
    GETGLOBAL r1 "issound"
    CALL r1 1 2
    CALL r0 2 1
    RETURN r0 1
.end
)";

// Opens `music` as music 1, seeks it to 500 ms and plays it twice; its end event prints the
// event's action and id, then "done".
std::string MusicApplet(const std::string& music) {
    return R"(
.applet
.record 10 u8 6 u8 0
.function main
  .source "@music.qzs"
  .line 1
    GETGLOBAL r0 "installeventhandler"
    NEWTABLE r1 0 1
    CLOSURE r2 handler
    SETTABLE r1 "onmusicend" r2
    CALL r0 2 1
  .line 2
    GETGLOBAL r0 "openmusic"
    LOADK r1 1
    LOADK r2 ")" +
           music + R"("
    CALL r0 3 1
    GETGLOBAL r0 "seekmusic"
    LOADK r1 1
    LOADK r2 500
    CALL r0 3 1
    GETGLOBAL r0 "playmusic"
    LOADK r1 1
    LOADK r2 2
    CALL r0 3 1
  .line 3
loop:
    GETGLOBAL r0 "waitevent"
    CALL r0 1 1
    GETGLOBAL r0 "ended"
    TEST r0 0 0
    JMP loop
  .line 4
    GETGLOBAL r0 "debugprint"
    LOADK r1 "done"
    CALL r0 2 1
    RETURN r0 1
  .function handler
    .params 1
    .line 10
      GETGLOBAL r1 "debugprint"
      GETTABLE r2 r0 "action"
      GETTABLE r3 r0 "id"
      CALL r1 3 1
      LOADBOOL r1 1 0
      SETGLOBAL r1 "ended"
      RETURN r0 1
  .end
.end
)";
}

struct SoundPlayer : ::testing::Test {
    TempDir dir;
    std::string wave;

    void SetUp() override {
        if (access((BinaryDir() + "/bin/qzplayer").c_str(), X_OK) != 0) GTEST_SKIP() << "no player binary";
        wave = dir.File("sine.wav");
        ASSERT_TRUE(Shell("sox -n -r 48000 -b 16 -e signed-integer -c 1 '" + wave + "' synth 0.5 sine 440 vol 0.5"));
    }

    // Runs the applet with the environment given: what it printed (the drivers' own messages on
    // standard error are left out).
    std::string Play(const std::string& text, const std::string& env, const std::string& options = "") {
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        EXPECT_FALSE(bytes.empty()) << error;
        std::string applet = dir.File("a.qza");
        WriteBytes(applet, bytes);
        std::string command = "env -u QUARNELIX_INPUT -u QUARNELIX_AUDIO_CAPTURE " + env + " '" + BinaryDir() +
                              "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout " + options + " '" + applet + "' 2>'" +
                              dir.File("stderr") + "'";
        int status = -1;
        std::string output = CaptureOutput(command, &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output << ReadFile(dir.File("stderr"));
        return output;
    }
};

// The two played regions: left at 440 Hz, then right at 880 Hz.
void CheckPlayed(const Capture& c, const std::string& wave) {
    ASSERT_EQ(c.rate, 48000u);
    std::vector<float> left = Side(c, 0), right = Side(c, 1);
    size_t first = Onset(c);
    ASSERT_LT(first + 24000, c.Frames());
    EXPECT_NEAR(Frequency(left, first + 1000, 20000, 48000), 440.0, 0.5);
    EXPECT_LT(Rms(right, first, 24000), 1e-6);
    // The sample's own level: 0.5 full scale, as sox measures the file.
    double rms = std::stod(Output("sox '" + wave + "' -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}'"));
    EXPECT_NEAR(Rms(left, first + 100, 23000), rms, 0.002);
    size_t second = Onset(c, first + 24000 + 100);
    ASSERT_LT(second + 12000, c.Frames());
    EXPECT_NEAR(Frequency(right, second + 1000, 10000, 48000), 880.0, 1.0);
    EXPECT_NEAR(Rms(right, second + 200, 11000), rms, 0.002);
    EXPECT_LT(Rms(left, second, 12000), 1e-6);
}

TEST_F(SoundPlayer, HeadlessCaptureHoldsWhatWasPlayed) {
    std::string capture = dir.File("capture.wav");
    EXPECT_EQ(Play(PlayingApplet(wave), "QUARNELIX_DRIVER=headless QUARNELIX_AUDIO_CAPTURE='" + capture + "'"),
              "done\n");
    Capture c = ReadFloatWave(capture);
    CheckPlayed(c, wave);
    // sox reads the capture as the 32-bit float stereo file it is.
    std::string stat = Output("sox '" + capture + "' -n stat 2>&1");
    EXPECT_NE(stat.find("Maximum amplitude:     0.5"), std::string::npos) << stat;
    EXPECT_EQ(Output("soxi -c '" + capture + "'"), "2\n");

    // SDL's audio path with its disk driver writes the same frames.
    std::string raw = dir.File("sdl.raw");
    EXPECT_EQ(Play(PlayingApplet(wave),
                   "QUARNELIX_DRIVER=sdl SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk "
                   "SDL_DISKAUDIOFILE='" +
                       raw + "'"),
              "done\n");
    std::string bytes = ReadFile(raw);
    Capture sdl;
    sdl.rate = 48000;
    sdl.channels = 2;
    sdl.samples.resize(bytes.size() / 4);
    std::memcpy(sdl.samples.data(), bytes.data(), sdl.samples.size() * 4);
    CheckPlayed(sdl, wave);
    size_t a = Onset(c), b = Onset(sdl);
    size_t same = 0, compared = 0;
    for (size_t f = 0; f < 24000 && a + f < c.Frames() && b + f < sdl.Frames(); f++, compared++)
        same += c.L(f + a) == sdl.L(f + b) && c.R(f + a) == sdl.R(f + b);
    EXPECT_EQ(compared, 24000u);
    EXPECT_EQ(same, compared);
}

TEST_F(SoundPlayer, MusicStreamsSampleForSampleFromItsSeekPositionPassAfterPass) {
    // 1.5 s of stereo: from 500 ms on exactly one half of the stream's double buffer.
    std::string music = dir.File("music.wav");
    ASSERT_TRUE(
        Shell("sox -n -r 48000 -b 16 -e signed-integer -c 2 '" + music + "' synth 1.5 sine 440 sine 660 vol 0.5"));
    std::vector<int16_t> ref = FfmpegS16(music, 2);
    ASSERT_EQ(ref.size(), 2u * 72000);
    std::string capture = dir.File("capture.wav");
    EXPECT_EQ(Play(MusicApplet(music), "QUARNELIX_DRIVER=headless QUARNELIX_AUDIO_CAPTURE='" + capture + "'"),
              "OnMusicEnd 1\ndone\n");
    Capture c = ReadFloatWave(capture);
    ASSERT_EQ(c.rate, 48000u);
    // The capture's first sound is the first frame from 24000 on that is not silent.
    size_t skip = 0;
    while (ref[2 * (24000 + skip)] == 0 && ref[2 * (24000 + skip) + 1] == 0) skip++;
    size_t onset = Onset(c, 0, 1e-7f);
    ASSERT_GE(onset, skip);
    size_t first = onset - skip;
    // The first pass from frame 24000, the second from frame 0: 120000 frames, then silence.
    ASSERT_LE(first + 120000, c.Frames());
    size_t differ = 0;
    for (size_t f = 0; f < 120000; f++) {
        size_t r = f < 48000 ? 24000 + f : f - 48000;
        for (int side = 0; side < 2; side++) {
            double got = c.samples[2 * (first + f) + side] * 32768.0;
            if (std::fabs(got - ref[2 * r + side]) > 1.0 && differ++ < 5)
                ADD_FAILURE() << "frame " << f << " side " << side << ": " << got << " for " << ref[2 * r + side];
        }
    }
    EXPECT_EQ(differ, 0u);
    EXPECT_LT(Rms(Side(c, 0), first + 120000, c.Frames() - first - 120000), 1e-6);
}

TEST_F(SoundPlayer, NoSoundOptionKeepsTheSoundSystemClosed) {
    EXPECT_EQ(Play(kIsSoundApplet, "QUARNELIX_DRIVER=headless"), "1\n");
    EXPECT_EQ(Play(kIsSoundApplet, "QUARNELIX_DRIVER=headless", "-NOSOUND"), "0\n");
}

TEST_F(SoundPlayer, ACaptureFileThatCannotBeMadeStopsTheStart) {
    std::string error;
    WriteBytes(dir.File("a.qza"), QzAssemble(kIsSoundApplet, &error));
    int status = -1;
    std::string output =
        CaptureOutput("QUARNELIX_DRIVER=headless QUARNELIX_AUDIO_CAPTURE=/nonexistent/dir/x.wav '" + BinaryDir() +
                          "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout '" + dir.File("a.qza") + "' 2>&1",
                      &status);
    EXPECT_NE(output.find("QUARNELIX_AUDIO_CAPTURE: cannot create \"/nonexistent/dir/x.wav\""), std::string::npos)
        << output;
    EXPECT_EQ(output.find("1\n"), std::string::npos);
}

}  // namespace

}  // namespace sound_player_test
