// End to end: applets open a CDXL file written here from the format (solid-colour frames) and a
// file that ffmpeg made, grab frames as brushes, play the CDXL on a display headless to its end
// and again, and meet the library's refusals; the snapshot and what the applets print are compared
// with the frames as written.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e/video_applet.h"
#include "media/sound_test_util.h"

namespace video_e2e_test {

namespace {

using namespace videotest;

class VideoE2E : public VideoApplet {
protected:
    // Runs the body on display 2 headless; what it printed.
    std::string Play(const std::string& body, const std::string& env = "") { return RunApplet(body, env); }
};

// Frames grabbed by number and by time, the video played to its end (finished, not playing) with
// its last frame left on the display, played again without a stop, and the refusals.
TEST_F(VideoE2E, CdxlFramesGrabbedAndPlayedToTheEnd) {
    Write("v.cdxl", SolidCdxl());
    Write("text.txt", "no video here\n");
    const std::string body =
        Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("GetVideoFrame", {"10", "1", "3"}) +
        Call("DisplayBrush", {"10", "0", "32"}) +
        // At 200 ms, 15 frames after the seek are decoded: past the end of a 10-frame video.
        Refused("GetVideoFrame", {"11", "1", "200", "1"}) + Call("GetVideoFrame", {"11", "1", "200", "1", "0"}) +
        Call("DisplayBrush", {"11", "16", "32"}) + Refused("GetVideoFrame", {"12", "1", "11"}) +
        Refused("GetVideoFrame", {"12", "1", "0"}) + Refused("SeekVideo", {"1", "500"}) + Refused("StopVideo", {"1"}) +
        Refused("PauseVideo", {"1"}) + Refused("ResumeVideo", {"1"}) + Refused("PlayVideo", {"99"}) +
        Refused("OpenVideo", {"3", "\"text.txt\""}) + Call("PlayVideo", {"1", "32", "0"}) +
        Print("IsVideoPlaying", {"1"}) + Refused("PlayVideo", {"1"}) + Refused("GetVideoFrame", {"12", "1", "1"}) +
        Call("Wait", {"60"}) + Print("IsVideoPlaying", {"1"}) + Call("PlayVideo", {"1", "32", "0"}) +
        Print("IsVideoPlaying", {"1"}) + Call("Wait", {"60"});
    EXPECT_EQ(Play(body), "1457\n1457\n1457\n1233\n1516\n1451\n1452\n1449\n1450\n1\n1501\n1456\n0\n1\n");
    EXPECT_EQ(Pixel(4, 40), Colour(2)) << "frame 3";
    EXPECT_EQ(Pixel(20, 40), Colour(4)) << "the frame at 200 ms";
    EXPECT_EQ(Pixel(40, 8), Colour(kFrames - 1)) << "the last frame stays";
    EXPECT_EQ(Pixel(60, 40), 0x204060u);
}

// A video that plays, with and without sound, while it is closed, when the applet ends (also
// after its display refused to close under it): its threads stop, and the player ends normally
// (the sanitizers watch).
TEST_F(VideoE2E, PlaybackEndsCleanlyWhateverEndsIt) {
    const struct {
        const char* name;
        std::string ending;
        const char* output;
    } rows[] = {
        {"display close refused", Refused("CloseDisplay", {"2"}) + Call("Wait", {"5"}), "1455\n0\n"},
        {"video closed", Call("CloseVideo", {"1"}) + Call("Wait", {"5"}), "0\n"},
        {"applet ended", "", "0\n"},
        {"paused, then the applet ended", Call("PauseVideo", {"1"}), "0\n"},
    };
    for (bool sound : {false, true}) {
        Write("v.cdxl", SolidCdxl(kFrames, kChunk, sound ? 400 : 0));
        for (const auto& r : rows) {
            SCOPED_TRACE(testing::Message() << r.name << (sound ? ", with sound" : ""));
            const std::string body = Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("PlayVideo", {"1", "0", "0"}) +
                                     Call("Wait", {"6"}) + r.ending + Print("GetLastError", {});
            EXPECT_EQ(Play(body), r.output);
        }
    }
}

// The video's sound reaches the output whole: half a second of its 500 Hz sine, then silence.
TEST_F(VideoE2E, SoundOfTheVideoIsHeard) {
    Write("v.cdxl", SolidCdxl(kFrames, kChunk, 400));
    const std::string body =
        Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("PlayVideo", {"1", "0", "0"}) + Call("Wait", {"50"});
    const std::string capture = dir.path + "/capture.wav";
    EXPECT_EQ(Play(body, "QUARNELIX_AUDIO_CAPTURE='" + capture + "'"), "");
    soundtest::Capture c = soundtest::ReadFloatWave(capture);
    ASSERT_GT(c.rate, 0u);
    size_t onset = soundtest::Onset(c, 0, 0.05f);
    ASSERT_LT(onset, c.Frames());
    // The last loud frame: the sound lasts as long as the video.
    size_t last = onset;
    for (size_t f = onset; f < c.Frames(); f++)
        if (std::fabs(c.L(f)) > 0.05f) last = f;
    EXPECT_NEAR(static_cast<double>(last - onset) / c.rate, 0.5, 0.03);
    std::vector<float> left = soundtest::Side(c, 0);
    EXPECT_NEAR(soundtest::Frequency(left, onset, last - onset, c.rate), 500.0, 5.0);
}

// DumpVideo writes frame files numbered from 0 and one WAVE file whose data is padded to 4 bytes;
// a playing video and a sixth format are refused.
TEST_F(VideoE2E, DumpVideoWritesFramesAndSound) {
    const struct {
        int frames;
        int audioBytes;  // 8-bit samples a frame
        uint32_t dataSize, riffSize;
    } rows[] = {{kFrames, 0, 0, 36}, {3, 1, 6, 44}, {kFrames, 400, 8000, 8036}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.frames << " frames, " << r.audioBytes << " sound bytes each");
        Write("v.cdxl", SolidCdxl(r.frames, kChunk, r.audioBytes));
        std::system(("rm -f '" + dir.path + "'/d*").c_str());
        const std::string body = Call("OpenVideo", {"1", "\"v.cdxl\""}) +
                                 Call("DumpVideo", {"1", "0", "0", "\"d\"", "1"}) + Print("GetLastError", {}) +
                                 Refused("DumpVideo", {"1", "0", "0", "\"e\"", "5"}) +
                                 Call("PlayVideo", {"1", "32", "0"}) + Refused("DumpVideo", {"1"});
        EXPECT_EQ(Play(body), "0\n1055\n1055\n");
        std::string wave = ReadAll(dir.path + "/d.wav");
        ASSERT_GE(wave.size(), 44u);
        auto le32 = [&](size_t at) {
            return uint32_t(uint8_t(wave[at])) | uint32_t(uint8_t(wave[at + 1])) << 8 |
                   uint32_t(uint8_t(wave[at + 2])) << 16 | uint32_t(uint8_t(wave[at + 3])) << 24;
        };
        EXPECT_EQ(wave.substr(0, 4), "RIFF");
        EXPECT_EQ(le32(4), r.riffSize);
        EXPECT_EQ(wave.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(le32(40), r.dataSize);
        EXPECT_EQ(wave.size(), 8 + r.riffSize);
        if (r.audioBytes) {
            // The first sample: the 8-bit sample times 256.
            int16_t first = static_cast<int16_t>(uint8_t(wave[44]) | uint8_t(wave[45]) << 8);
            EXPECT_EQ(first, 0);
            int16_t second = static_cast<int16_t>(uint8_t(wave[46]) | uint8_t(wave[47]) << 8);
            EXPECT_EQ(second, std::lround(100 * std::sin(2 * M_PI * 500 / 8000.0)) * 256);
        }
        for (int f = 0; f < r.frames; f++) {
            std::vector<uint32_t> pixels = ReadPngPixels(dir.path + "/d" + std::to_string(f) + ".png", kWidth, kHeight);
            ASSERT_FALSE(pixels.empty()) << f;
            EXPECT_EQ(pixels[5 * kWidth + 7] & 0xFFFFFF, Colour(f)) << f;
        }
        EXPECT_FALSE(ReadPngPixels(dir.path + "/d" + std::to_string(r.frames) + ".png", kWidth, kHeight).size());
        EXPECT_EQ(Pixel(4, 4), Colour(r.frames - 1)) << "the last frame dumped stays on the display";
    }
}

// A file that ffmpeg made goes to the platform's player: its first frame grabbed; a file cut short
// before its first frame is no video.
TEST_F(VideoE2E, FfmpegFileFrameGrabbedAndTruncatedFileRefused) {
    int status = 0;
    CaptureOutput("cd '" + dir.path +
                      "' && ffmpeg -nostdin -v error -y -f lavfi -i color=c=0xC03020:s=32x16:d=1:r=10 "
                      "-c:v mjpeg -q:v 2 -pix_fmt yuvj420p m.avi && head -c 200 m.avi > cut.avi",
                  &status);
    ASSERT_EQ(status, 0);
    const std::string body = Call("OpenVideo", {"1", "\"m.avi\""}) + Call("GetVideoFrame", {"10", "1", "1"}) +
                             Call("DisplayBrush", {"10", "0", "0"}) + Refused("OpenVideo", {"2", "\"cut.avi\""});
    EXPECT_EQ(Play(body), "1450\n");
    uint32_t p = Pixel(8, 8);
    EXPECT_NEAR(static_cast<int>(p >> 16), 0xC0, 6);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 0x30, 6);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 0x20, 6);
}

// A film that the platform's player plays is heard with its pictures: its 1 kHz sine runs from
// 0.2 s to 1.2 s of the film, and the capture (which starts with the video) holds it from about
// 0.2 s on, a second long. Paused in the middle for 300 ms, the sound stops and goes on where it
// stopped: nothing of it is lost or heard twice.
TEST_F(VideoE2E, NativeFilmIsHeardInTimeWithItsPictures) {
    int status = 0;
    CaptureOutput("cd '" + dir.path +
                      "' && ffmpeg -nostdin -v error -y -f lavfi -i color=c=0xC03020:s=32x16:d=1.5:r=10 "
                      "-f lavfi -i \"aevalsrc='if(gte(t,0.2)*lt(t,1.2),0.5*sin(2*PI*1000*t),0)':d=1.5:s=48000\" "
                      "-c:v mjpeg -q:v 2 -pix_fmt yuvj420p -c:a pcm_s16le -shortest m.avi",
                  &status);
    ASSERT_EQ(status, 0);
    const struct {
        const char* name;
        std::string during;  // from about 600 ms of the film on
        double gap;          // seconds of silence inside the sine
    } rows[] = {
        {"played through", Call("Wait", {"75"}), 0.0},
        {"paused for 300 ms",
         Call("PauseVideo", {"1"}) + Call("Wait", {"15"}) + Call("ResumeVideo", {"1"}) + Call("Wait", {"75"}), 0.3},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string body = Call("OpenVideo", {"1", "\"m.avi\""}) + Call("PlayVideo", {"1", "0", "0"}) +
                                 Call("Wait", {"30"}) + r.during;
        const std::string capture = dir.path + "/capture.wav";
        EXPECT_EQ(Play(body, "QUARNELIX_AUDIO_CAPTURE='" + capture + "'"), "");
        soundtest::Capture c = soundtest::ReadFloatWave(capture);
        ASSERT_GT(c.rate, 0u);
        // Blocks of 5 ms: loud where the sine is.
        const size_t block = c.rate / 200;
        std::vector<bool> loud;
        for (size_t at = 0; at + block <= c.Frames(); at += block) {
            float peak = 0;
            for (size_t f = at; f < at + block; f++) peak = std::max(peak, std::fabs(c.L(f)));
            loud.push_back(peak > 0.1f);
        }
        size_t first = 0, last = 0, count = 0;
        for (size_t b = 0; b < loud.size(); b++) {
            if (!loud[b]) continue;
            if (!count) first = b;
            last = b;
            count++;
        }
        ASSERT_GT(count, 0u);
        // The capture starts before the applet opens the film, so a loaded machine delays the sine
        // in it; its length and the gap inside it hold the timing.
        EXPECT_NEAR(first * 0.005, 0.2, 0.4) << "the sine's start, from the start of the capture";
        EXPECT_NEAR(count * 0.005, 1.0, 0.04) << "the sine's length";
        EXPECT_NEAR((last + 1 - first - count) * 0.005, r.gap, 0.1) << "silence inside the sine";
        std::vector<float> left = soundtest::Side(c, 0);
        EXPECT_NEAR(soundtest::Frequency(left, first * block, 0.2 * c.rate, c.rate), 1000.0, 5.0);
    }
}

}  // namespace

}  // namespace video_e2e_test
