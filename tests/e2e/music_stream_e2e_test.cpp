// End to end: a music stream that the script feeds through its FillMusicBuffer handler plays, in
// the headless device's capture, exactly the frames the script fed, and ends at the end mark.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "media/sound_test_util.h"

namespace music_stream_e2e_test {

namespace {

using namespace soundtest;

// A script-fed stream of TOTAL frames of 16-bit mono at 48000 Hz: frame p holds
// (p % 1000) x 50 - 25000. The handler feeds what it is asked for, up to the end, and then queues
// the end mark.
const char* const kFedStreamApplet = R"(
.applet
.record 10 u8 6 u8 0
.function main
  .source "@stream.qzs"
  .line 1
    LOADK r0 0
    SETGLOBAL r0 "pos"
    GETGLOBAL r0 "installeventhandler"
    NEWTABLE r1 0 2
    CLOSURE r2 fill
    SETTABLE r1 "fillmusicbuffer" r2
    CLOSURE r2 ended
    SETTABLE r1 "onmusicend" r2
    CALL r0 2 1
  .line 2
    GETGLOBAL r0 "createmusic"
    LOADK r1 1
    LOADK r2 48000
    LOADK r3 1
    CALL r0 4 1
    GETGLOBAL r0 "playmusic"
    LOADK r1 1
    CALL r0 2 1
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
  .function fill
    .params 1
    .line 10
      GETTABLE r1 r0 "samples"
      GETGLOBAL r2 "pos"
      LOADK r3 TOTAL
      SUB r4 r3 r2
      LT 0 r4 r1
      JMP +1
      MOVE r1 r4
      NEWTABLE r5 0 0
      LOADK r6 0
    next:
      LT 1 r6 r1
      JMP body
      JMP feed
    body:
      ADD r7 r2 r6
      MOD r7 r7 1000
      MUL r7 r7 50
      SUB r7 r7 25000
      SETTABLE r5 r6 r7
      ADD r6 r6 1
      JMP next
    feed:
      GETGLOBAL r8 "fillmusicbuffer"
      GETTABLE r9 r0 "id"
      LOADK r10 "pcm"
      MOVE r11 r1
      NEWTABLE r12 0 1
      SETTABLE r12 "data" r5
      CALL r8 5 1
      ADD r2 r2 r1
      SETGLOBAL r2 "pos"
      LT 1 r2 r3
      JMP done
      GETGLOBAL r8 "fillmusicbuffer"
      GETTABLE r9 r0 "id"
      LOADK r10 "end"
      LOADK r11 0
      CALL r8 4 1
    done:
      RETURN r0 1
  .end
  .function ended
    .params 1
    .line 20
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

// Plays the applet headless with its sound captured: the debug output.
std::string Play(const TempDir& dir, const char* text, const std::string& capture) {
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(text, &error);
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

void CheckFedStream(size_t total) {
    TempDir dir;
    std::string capture = dir.File("capture.wav");
    std::string text = kFedStreamApplet;
    text.replace(text.find("TOTAL"), 5, std::to_string(total));
    EXPECT_EQ(Play(dir, text.c_str(), capture), "OnMusicEnd 1\ndone\n");
    Capture c = ReadFloatWave(capture);
    ASSERT_EQ(c.rate, 48000u);
    size_t first = Onset(c, 0, 1e-7f);
    ASSERT_LE(first + total, c.Frames());
    size_t differ = 0;
    for (size_t f = 0; f < total; f++) {
        double want = static_cast<double>(f % 1000) * 50 - 25000;
        for (int side = 0; side < 2; side++) {
            double got = c.samples[2 * (first + f) + side] * 32768.0;
            if (std::fabs(got - want) > 1.0 && differ++ < 5)
                ADD_FAILURE() << "frame " << f << " side " << side << ": " << got << " for " << want;
        }
    }
    EXPECT_EQ(differ, 0u);
    if (c.Frames() > first + total) {
        EXPECT_LT(Rms(Side(c, 0), first + total, c.Frames() - first - total), 1e-6);
    }
}

TEST(MusicStreamE2E, ScriptFedStreamPlaysWhatTheScriptFedThenEnds) {
    // Two seconds come from the call CreateMusic makes, the rest from the calls the event loop
    // makes while the stream plays.
    // The end falls on a whole number of one-second refill blocks, or inside one.
    for (size_t total : {144000u, 100000u}) {
        SCOPED_TRACE(total);
        CheckFedStream(total);
    }
}

}  // namespace

}  // namespace music_stream_e2e_test
