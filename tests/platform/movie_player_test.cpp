// The platform's movie player on FFmpeg, with videos that ffmpeg makes from its test sources:
// frames read off-screen equal ffmpeg's own decode (exactly for solid colours), files that are no
// movie are refused without a word on standard error, and a movie in a window is drawn by its
// clock, ends once, and queues its sound.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "platform/file_test_util.h"
#include "platform/host/backend_draw.h"
#include "platform/host/backend_window.h"
#include "platform/host_test_util.h"
#include "platform/movie_player.h"
#include "support/manual_clock.h"

namespace movie_player_test {

using filetest::ReadFile;
using filetest::Shell;
using filetest::TempDir;
using filetest::WriteFile;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
const char* const kRed = "0xC03020";
const char* const kBlue = "0x2040D0";

// The videos, made once for the whole suite.
struct Videos {
    TempDir dir;
    std::string solid, pattern9, patternJpeg, sound, translucent;
    Videos() {
        solid = dir / "solid.mp4";
        pattern9 = dir / "pattern.webm";
        patternJpeg = dir / "pattern.avi";
        sound = dir / "sine.wav";
        const std::string ffmpeg = "ffmpeg -nostdin -v error -y ";
        const std::string size = "s=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) + ":r=10";
        // One second of each colour, with a 440 Hz sine.
        Shell(ffmpeg + "-f lavfi -i color=c=" + kRed + ":" + size + ":d=1 -f lavfi -i color=c=" + kBlue + ":" + size +
              ":d=1 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -filter_complex "
              "'[0:v][1:v]concat=n=2:v=1[v]' -map '[v]' -map 2:a -c:v libx264 -pix_fmt yuv420p -c:a aac '" +
              solid + "'");
        Shell(ffmpeg + "-f lavfi -i testsrc=" + size + ":d=1 -c:v libvpx-vp9 -deadline realtime -cpu-used 8 '" +
              pattern9 + "'");
        Shell(ffmpeg + "-f lavfi -i testsrc2=" + size + ":d=1 -c:v mjpeg -q:v 3 '" + patternJpeg + "'");
        Shell(ffmpeg + "-f lavfi -i sine=frequency=440:duration=1 '" + sound + "'");
        // Frames with an alpha channel, half transparent.
        translucent = dir / "translucent.mkv";
        Shell(ffmpeg + "-f lavfi -i color=c=" + kRed + "@0.5:" + size + ":d=1,format=rgba -c:v png '" + translucent +
              "'");
    }
};

const Videos& TestVideos() {
    static Videos videos;
    return videos;
}

// ffmpeg's decode of every frame, converted as the player converts.
std::vector<std::vector<uint32_t>> FfmpegFrames(const std::string& path) {
    const std::string raw = Shell("ffmpeg -nostdin -v error -i '" + path +
                                  "' -vsync passthrough -sws_flags bicubic+accurate_rnd+full_chroma_int -f rawvideo "
                                  "-pix_fmt bgra -");
    const size_t frameBytes = size_t(kWidth) * kHeight * 4;
    std::vector<std::vector<uint32_t>> frames;
    for (size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes) {
        std::vector<uint32_t> frame(size_t(kWidth) * kHeight);
        std::memcpy(frame.data(), raw.data() + at, frameBytes);
        frames.push_back(frame);
    }
    return frames;
}

// A pixel drawn into a window while the film plays: the fast conversion keeps every channel within
// a few levels of ffmpeg's accurate one.
bool Drawn(uint32_t pixel, uint32_t expected) {
    for (int shift = 0; shift < 24; shift += 8) {
        int a = static_cast<int>((pixel >> shift) & 255), b = static_cast<int>((expected >> shift) & 255);
        if (a - b > 4 || b - a > 4) return false;
    }
    return true;
}

double Psnr(const uint32_t* a, const std::vector<uint32_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            const double d = double((a[i] >> shift) & 0xFF) - double((b[i] >> shift) & 0xFF);
            sum += d * d;
        }
    }
    const double mse = sum / (b.size() * 3.0);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct Movie {
    qzMacMovie* movie = nullptr;
    int error = -1;
    int32_t width = 0, height = 0;
    uint32_t duration = 0;
    int kind = 0;
    explicit Movie(const std::string& path) {
        error = MacOpenMovie(path.c_str(), &movie, &width, &height, &duration, &kind);
    }
    ~Movie() { MacCloseMovie(movie); }
    // The frame read in that mode, or its error.
    int Grab(int64_t position, int mode, const uint32_t** pixels) {
        uint32_t* out = nullptr;
        int32_t w = 0, h = 0, row = 0;
        const int result = MacGetMovieFrame(movie, position, mode, &out, &w, &h, &row);
        if (result == 0) {
            EXPECT_EQ(w, kWidth);
            EXPECT_EQ(h, kHeight);
            EXPECT_EQ(row, kWidth);
        }
        *pixels = out;
        return result;
    }
};

}  // namespace

TEST(MoviePlayer, FramesReadOffScreenEqualFfmpegsDecode) {
    const Videos& videos = TestVideos();
    const struct {
        const char* name;
        std::string path;
        int frames;
        uint32_t duration;
        bool exact;
    } rows[] = {
        {"H.264 MP4, solid colours", videos.solid, 20, 2000, true},
        {"VP9 WebM, test pattern", videos.pattern9, 10, 1000, false},
        {"MJPEG AVI, test pattern", videos.patternJpeg, 10, 1000, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<std::vector<uint32_t>> expected = FfmpegFrames(row.path);
        ASSERT_EQ(expected.size(), size_t(row.frames));
        Movie m(row.path);
        ASSERT_EQ(m.error, 0);
        EXPECT_EQ(m.width, kWidth);
        EXPECT_EQ(m.height, kHeight);
        EXPECT_EQ(m.kind, QZ_MOVIE_KIND);
        EXPECT_NEAR(double(m.duration), double(row.duration), 30.0);
        EXPECT_EQ(MacGetMovieFrameCount(m.movie), row.frames);
        auto check = [&](const uint32_t* pixels, int frame) {
            ASSERT_NE(pixels, nullptr);
            if (row.exact) {
                EXPECT_EQ(std::vector<uint32_t>(pixels, pixels + expected[frame].size()), expected[frame])
                    << "frame " << frame;
            } else {
                EXPECT_GT(Psnr(pixels, expected[frame]), 40.0) << "frame " << frame;
            }
        };
        const uint32_t* pixels = nullptr;
        for (int f = 0; f < row.frames; ++f) {
            ASSERT_EQ(m.Grab(f, QZ_MOVIEFRAME_NUMBER, &pixels), 0) << f;
            check(pixels, f);
        }
        EXPECT_EQ(m.Grab(row.frames, QZ_MOVIEFRAME_NUMBER, &pixels), ERR_VIDEOFRAME);
        // Backwards rewinds; the next frame follows the one read; a time gives the frame shown then.
        ASSERT_EQ(m.Grab(5, QZ_MOVIEFRAME_NUMBER, &pixels), 0);
        ASSERT_EQ(m.Grab(2, QZ_MOVIEFRAME_NUMBER, &pixels), 0);
        check(pixels, 2);
        ASSERT_EQ(m.Grab(0, QZ_MOVIEFRAME_NEXT, &pixels), 0);
        check(pixels, 3);
        ASSERT_EQ(m.Grab(2, QZ_MOVIEFRAME_NUMBER, &pixels), 0);
        check(pixels, 2);
        ASSERT_EQ(m.Grab(750, QZ_MOVIEFRAME_TIME, &pixels), 0);
        check(pixels, 7);
        EXPECT_EQ(MacGetMovieTime(m.movie), 700u);
        ASSERT_EQ(m.Grab(0, QZ_MOVIEFRAME_NEXT, &pixels), 0);
        check(pixels, 8);
        EXPECT_EQ(m.Grab(row.duration, QZ_MOVIEFRAME_TIME, &pixels), ERR_VIDEOFRAME);
    }
}

TEST(MoviePlayer, FilesThatAreNoMovieAreRefusedQuietly) {
    const Videos& videos = TestVideos();
    TempDir dir;
    const std::string mp4 = ReadFile(videos.solid);
    // An AVI whose video is in a format no decoder knows.
    std::string unknown = ReadFile(videos.patternJpeg);
    for (size_t at = unknown.find("MJPG"); at != std::string::npos; at = unknown.find("MJPG", at))
        unknown.replace(at, 4, "QZ9X");
    const struct {
        const char* name;
        std::string data;
    } rows[] = {
        {"text", "This is no video at all.\n"},
        {"sound only", ReadFile(videos.sound)},
        {"cut short", mp4.substr(0, mp4.size() / 2)},
        {"unknown codec", unknown},
        {"empty", ""},
    };
    // FFmpeg's complaints would go to standard error: it is caught in a file meanwhile.
    const std::string errors = dir / "stderr.txt";
    std::fflush(stderr);
    const int saved = dup(2);
    const int caught = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(caught, 0);
    dup2(caught, 2);
    std::vector<std::string> failures;
    for (const auto& row : rows) {
        const std::string path = dir / "bad.bin";
        WriteFile(path, row.data);
        ClearErrorArg();
        Movie m(path);
        if (m.error != ERR_LOADVIDEO || m.movie || std::string(GetErrorArgString()) != path)
            failures.push_back(std::string(row.name) + ": " + std::to_string(m.error));
    }
    Movie missing(dir / "missing.mp4");
    if (missing.error != ERR_LOADVIDEO) failures.push_back("missing: " + std::to_string(missing.error));
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(caught);
    EXPECT_EQ(failures, std::vector<std::string>{});
    EXPECT_EQ(ReadFile(errors), "");
}

class MovieInWindow : public HostTest {
protected:
    void SetUp() override { StartPlatform("headless"); }
    void TearDown() override {
        for (qzMacWindow* r : records) MacFreeWindowRecord(r);
        HostTest::TearDown();
    }
    qzMacWindow* OpenedWindow(int32_t id, int32_t width, int32_t height) {
        qzMacWindow* r = nullptr;
        EXPECT_EQ(MacAllocWindowRecord(nullptr, FakeDisplay(id), &r), 0);
        records.push_back(r);
        qzBackendDisplayFrame f;
        f.scriptId = id;
        f.title = "movie";
        f.width = width;
        f.height = height;
        EXPECT_EQ(MacDetermineBorderSizes(0, &f.borders), 0);
        EXPECT_EQ(MacOpenDisplay(r, f, 1, nullptr), 0);
        Drain();
        return r;
    }
    uint32_t At(qzMacWindow* r, int32_t x, int32_t y) {
        const qzHostFrame* f = BackendWindowFrame(r);
        return f->pixels[size_t(y) * f->width + x] & 0xFFFFFF;
    }
    std::vector<qzMacWindow*> records;
};

TEST_F(MovieInWindow, PlaysByItsClockEndsOnceAndQueuesItsSound) {
    const Videos& videos = TestVideos();
    const std::vector<std::vector<uint32_t>> expected = FfmpegFrames(videos.solid);
    ASSERT_EQ(expected.size(), 20u);
    const uint32_t red = expected[0][0] & 0xFFFFFF, blue = expected[19][0] & 0xFFFFFF;
    ManualClock clock;
    qzMacWindow* window = OpenedWindow(1, 80, 60);
    Movie m(videos.solid);
    ASSERT_EQ(m.error, 0);
    int ends = 0;
    MacSetMovieEndHandler(
        m.movie, [](qzMacMovie*, void* data) { ++*static_cast<int*>(data); }, &ends);

    // The frames are scaled to the rectangle; the rest of the window is left alone.
    MacAttachMovie(m.movie, window, 8, 4, 32, 24, 32);
    EXPECT_TRUE(MovieTimerInstalled());
    EXPECT_EQ(MacGetMovieVolume(m.movie), 128);
    EXPECT_PRED2(Drawn, At(window, 8, 4), red);
    EXPECT_PRED2(Drawn, At(window, 39, 27), red);
    EXPECT_EQ(At(window, 40, 28), 0u);
    EXPECT_EQ(At(window, 7, 3), 0u);

    clock.AdvanceMs(900);
    MacMovieTask();
    EXPECT_PRED2(Drawn, At(window, 20, 10), red);
    EXPECT_EQ(MacGetMovieTime(m.movie), 900u);
    // A pause holds the clock.
    MacPauseMovie(m.movie);
    clock.AdvanceMs(5000);
    MacMovieTask();
    EXPECT_EQ(MacGetMovieTime(m.movie), 900u);
    MacStartMovie(m.movie);
    clock.AdvanceMs(300);
    MacMovieTask();
    EXPECT_PRED2(Drawn, At(window, 20, 10), blue);
    EXPECT_EQ(MacGetMovieTime(m.movie), 1200u);
    EXPECT_EQ(ends, 0);

    // The sound decoded so far, read as heard from the movie's start (1.2 s ago): more than a
    // second of the sine (it is decoded ahead of the clock), at half volume.
    uint32_t rate = 0, channels = 0;
    MacGetMovieAudioFormat(m.movie, &rate, &channels);
    EXPECT_EQ(rate, 44100u);
    EXPECT_EQ(channels, 1u);
    std::vector<int16_t> sound(44100 * 3);
    const uint32_t got = MacReadMovieAudio(m.movie, sound.data(), uint32_t(sound.size()), -1.2);
    EXPECT_GT(got, 44100u);
    EXPECT_LT(got, 44100u * 2);
    int crossings = 0, peak = 0;
    for (uint32_t i = 4410; i < 4410 + 44100; ++i) {
        crossings += (sound[i - 1] < 0) != (sound[i] < 0);
        peak = std::max(peak, std::abs(int(sound[i])));
    }
    EXPECT_NEAR(crossings, 880, 10);            // two a period
    EXPECT_NEAR(peak, 0.125 * 32767 / 2, 800);  // ffmpeg's sine source has amplitude 1/8
    // Read for now (1.2 s), the sound decoded ahead is not due yet: silence until it is.
    std::vector<int16_t> early(44100, 1);
    const uint32_t silent = MacReadMovieAudio(m.movie, early.data(), uint32_t(early.size()), 0.0);
    EXPECT_NEAR(double(silent) / 44100 + 1.2, double(got) / 44100, 0.03);
    EXPECT_EQ(std::count(early.begin(), early.begin() + silent, int16_t(0)), std::ptrdiff_t(silent));

    // Past the end: one end call, however often the timer comes.
    clock.AdvanceMs(1000);
    MacMovieTask();
    MacMovieTask();
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(MacMovieEnded(m.movie));
    EXPECT_PRED2(Drawn, At(window, 20, 10), blue);

    // The timer stays while another movie is in a window.
    qzMacWindow* other = OpenedWindow(2, 80, 60);
    Movie second(videos.pattern9);
    ASSERT_EQ(second.error, 0);
    MacAttachMovie(second.movie, other, 0, 0, kWidth, kHeight, 64);
    MacStopMovie(m.movie);
    EXPECT_TRUE(MovieTimerInstalled());
    EXPECT_EQ(MacGetMovieTime(m.movie), 0u);
    MacStopMovie(second.movie);
    EXPECT_FALSE(MovieTimerInstalled());

    // Attached again, it plays from the start and may end once more.
    MacAttachMovie(m.movie, window, 8, 4, 32, 24, 64);
    EXPECT_PRED2(Drawn, At(window, 20, 10), red);
    clock.AdvanceMs(2500);
    MacMovieTask();
    EXPECT_EQ(ends, 2);
    MacStopMovie(m.movie);
}

// The frames go into the window's framebuffer as opaque pixels, whether the rectangle lies inside
// the window or reaches past its edges (where they are cut off), and also from a film whose frames
// have an alpha channel.
TEST_F(MovieInWindow, FramesAreOpaqueAndCutOffAtTheWindowsEdges) {
    const Videos& videos = TestVideos();
    ManualClock clock;
    qzMacWindow* window = OpenedWindow(1, 80, 60);
    const qzHostFrame* f = BackendWindowFrame(window);
    const struct {
        const std::string& film;
        int32_t x, y, width, height;
    } boxes[] = {{videos.solid, 0, 0, 80, 60},
                 {videos.solid, 8, 4, 32, 24},
                 {videos.solid, 40, 30, kWidth, kHeight},
                 {videos.solid, -10, -20, kWidth, kHeight},
                 {videos.translucent, 8, 4, kWidth, kHeight}};
    for (const auto& box : boxes) {
        SCOPED_TRACE(box.film + " at " + std::to_string(box.x) + "," + std::to_string(box.y));
        const uint32_t red = FfmpegFrames(box.film)[0][0] & 0xFFFFFF;
        Movie m(box.film);
        ASSERT_EQ(m.error, 0);
        MacRectFill(window, 0, 0, 80, 60, 0);
        MacAttachMovie(m.movie, window, box.x, box.y, box.width, box.height, 64);
        for (int32_t y = 0; y < 60; ++y) {
            for (int32_t x = 0; x < 80; ++x) {
                const bool inside = x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height;
                const uint32_t pixel = f->pixels[size_t(y) * 80 + x];
                ASSERT_EQ(pixel >> 24, 0xFFu) << x << "," << y;
                if (inside)
                    ASSERT_PRED2(Drawn, pixel & 0xFFFFFF, red) << x << "," << y;
                else
                    ASSERT_EQ(pixel & 0xFFFFFF, 0u) << x << "," << y;
            }
        }
        MacStopMovie(m.movie);
    }
}

TEST_F(MovieInWindow, TheMovieTimerDrivesPlaybackThroughTheEventLoop) {
    const Videos& videos = TestVideos();
    const std::vector<std::vector<uint32_t>> expected = FfmpegFrames(videos.solid);
    ASSERT_EQ(expected.size(), 20u);
    const uint32_t blue = expected[19][0] & 0xFFFFFF;
    ManualClock clock;
    qzMacWindow* window = OpenedWindow(1, 80, 60);
    Movie m(videos.solid);
    ASSERT_EQ(m.error, 0);
    MacAttachMovie(m.movie, window, 0, 0, kWidth, kHeight, 64);
    clock.AdvanceMs(1500);
    // Nothing but event passes: the timer wakes the loop, whose pass draws the frame now due.
    for (int i = 0; i < 200 && !Drawn(At(window, 10, 10), blue); ++i) {
        usleep(10000);
        Drain();
    }
    EXPECT_PRED2(Drawn, At(window, 10, 10), blue);
    MacStopMovie(m.movie);
    EXPECT_FALSE(MovieTimerInstalled());
}

}  // namespace movie_player_test
