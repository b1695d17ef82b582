// End to end: the bundled demo (demos/demo.qzs, what `make demo` runs) plays headless at full
// speed; its three snapshots are compared with the reference pictures in tests/e2e/data/ and its
// sound must hold the module it plays. Escape and a left click end it at once.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "e2e/png_pixels.h"
#include "media/sound_test_util.h"

namespace demo_e2e_test {

namespace {

constexpr int kW = 640, kH = 480;

std::string SourceDir() {
    const char* env = std::getenv("QZ_SOURCE_DIR");
    return env && *env ? env : QZ_SOURCE_DIR;
}

// A picture as 0xRRGGBB pixels, empty when the file is not a kW x kH PNG.
std::vector<uint32_t> ReadPicture(const std::string& path) { return ReadPngPixels(path, kW, kH); }

// The largest difference of one colour channel between two pixels.
int ChannelDifference(uint32_t a, uint32_t b) {
    int most = 0;
    for (int shift = 0; shift < 24; shift += 8)
        most = std::max(most, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return most;
}

// A part of the display and how closely it must match the reference: a pixel differs when one
// of its channels is more than `tolerance` away, and at most `allowed` pixels may differ. It is
// checked in the snapshots whose bits are set in `snapshots` (bit 0: demo-1.png).
struct Region {
    const char* what;
    int x, y, width, height;
    int tolerance, allowed;
    unsigned snapshots;
};

// demo-1.png shows the first act (layers), demo-2.png and demo-3.png the second (sprites over a
// picture with text drawn into it). The gradient backgrounds where no layer or sprite ever passes
// and the status line in the inbuilt bitmap font are drawn exactly. The rest holds anti-aliased
// text in TrueType faces, anti-aliased paths and smoothly scaled and rotated brushes: there a
// channel may be off by 32, and 600 pixels (0.2 % of the display) by more. Edge coverage that
// changes by a few levels passes, and so does one shape moved by a pixel (about 400 pixels for
// the star); a shape moved by three pixels, a layer or sprite missing or mis-coloured, or a text
// changed fails. The GIF's frames differ from the next ones by more than 32 in the colour of a
// few dots, so its rings must show the right frame.
const Region kRegions[] = {
    {"gradient background, top left corner", 0, 0, 130, 80, 0, 0, 1},
    {"gradient background, left edge", 0, 190, 28, 240, 0, 0, 1},
    {"gradient background, right edge", 616, 200, 24, 220, 0, 0, 1},
    {"second picture's gradient, left edge", 0, 0, 36, 430, 0, 0, 6},
    {"second picture's gradient, right edge", 604, 50, 36, 380, 0, 0, 6},
    {"the GIF's ring as an anim layer", 536, 16, 48, 48, 32, 20, 1},
    {"the GIF's ring as sprite 10", 40, 112, 48, 48, 32, 20, 6},
    {"the GIF's ring as sprite 11", 552, 112, 48, 48, 32, 20, 6},
    {"status line in the inbuilt 8 x 8 font", 0, 458, 640, 22, 0, 0, 7},
    {"whole display", 0, 0, kW, kH, 32, 600, 7},
};

// The amplitude of the sine of `frequency` Hz in [from, from + count) of one channel.
double Amplitude(const std::vector<float>& x, size_t from, size_t count, double frequency, double rate) {
    double re = 0, im = 0;
    for (size_t i = 0; i < count && from + i < x.size(); i++) {
        const double phase = 2 * M_PI * frequency * double(i) / rate;
        re += x[from + i] * std::cos(phase);
        im += x[from + i] * std::sin(phase);
    }
    return count ? 2 * std::hypot(re, im) / double(count) : 0.0;
}

class DemoE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/qzdemoXXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        dir = dirTemplate;
        std::string error;
        const std::vector<uint8_t> bytes = QzAssemble(ReadAll(SourceDir() + "/demos/demo.qzs"), &error);
        ASSERT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/demo.qza", bytes);
        // The module and the GIF lie beside the applet.
        const std::string copy =
            "cp '" + SourceDir() + "/demos/demo.mod' '" + SourceDir() + "/demos/demo.gif' '" + dir + "/'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }

    // Plays the demo headless with the given environment settings; what it printed.
    std::string Play(const std::string& environment) {
        int status = 0;
        const std::string output = CaptureOutput("cd '" + dir + "' && QUARNELIX_DRIVER=headless QZDEMO_OUT='" + dir +
                                                     "' " + environment + " " + PlayerTimeout() + "'" + BinaryDir() +
                                                     "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout demo.qza 2>&1",
                                                 &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        return output;
    }

    std::string dir;
};

TEST_F(DemoE2E, SnapshotsMatchTheReferencePicturesAndTheModulePlays) {
    ASSERT_EQ(Play("QZDEMO_FAST=1 QUARNELIX_AUDIO_CAPTURE=demo-sound.wav"), "");
    // The module's voices are panned hard, its bass to the right: the first notes are C, a
    // triangle of 32 bytes played at a period of 856, that is 3579327 / 856 bytes a second
    // (131 Hz), which the chime (in the middle, 523 Hz and up) does not have. A fifth of a second
    // is heard even at full speed.
    const soundtest::Capture sound = soundtest::ReadFloatWave(dir + "/demo-sound.wav");
    ASSERT_EQ(sound.channels, 2u);
    const size_t onset = soundtest::Onset(sound), window = sound.rate / 5;
    ASSERT_LE(onset + window, sound.Frames()) << "the sound is silent or too short";
    const std::vector<float> right = soundtest::Side(sound, 1);
    const double bass = Amplitude(right, onset, window, 3579327.0 / 856 / 32, sound.rate);
    EXPECT_GT(bass, 0.05) << "no bass";
    EXPECT_GT(bass, 4 * Amplitude(right, onset, window, 100, sound.rate)) << "a noise, not the module's bass";
    for (int n = 1; n <= 3; n++) {
        const std::string name = "demo-" + std::to_string(n) + ".png";
        const std::string reference = SourceDir() + "/tests/e2e/data/" + name;
        const std::vector<uint32_t> ours = ReadPicture(dir + "/" + name), theirs = ReadPicture(reference);
        ASSERT_EQ(ours.size(), size_t(kW * kH)) << "no snapshot " << name;
        ASSERT_EQ(theirs.size(), size_t(kW * kH)) << "no reference picture " << reference;
        bool failed = false;
        for (const Region& r : kRegions) {
            if (!(r.snapshots & (1u << (n - 1)))) continue;
            int differing = 0, most = 0;
            for (int y = r.y; y < r.y + r.height; y++)
                for (int x = r.x; x < r.x + r.width; x++) {
                    const int d = ChannelDifference(ours[y * kW + x], theirs[y * kW + x]);
                    most = std::max(most, d);
                    differing += d > r.tolerance;
                }
            EXPECT_LE(differing, r.allowed)
                << name << ", " << r.what << ": " << differing << " pixels differ, by up to " << most;
            failed |= differing > r.allowed;
        }
        if (failed) {
            // Kept for a look, or to become the new reference when the change is right.
            const std::string kept = BinaryDir() + "/" + name;
            EXPECT_EQ(std::system(("cp '" + dir + "/" + name + "' '" + kept + "'").c_str()), 0);
            ADD_FAILURE() << "the snapshot is kept as " << kept;
        }
    }
}

// At normal speed the first saved frame comes after more than two seconds; an Escape or a left click
// at the start ends the demo before it.
TEST_F(DemoE2E, EscapeOrAClickEndsIt) {
    const struct {
        const char* what;
        const char* input;
    } cases[] = {
        {"Escape", "0 key escape\n"},
        {"left click", "0 click left 100 100\n"},
    };
    for (const auto& c : cases) {
        {
            std::ofstream input(dir + "/input.txt");
            input << c.input;
        }
        EXPECT_EQ(Play("QUARNELIX_INPUT=input.txt"), "") << c.what;
        EXPECT_FALSE(std::ifstream(dir + "/demo-1.png").good()) << c.what << " did not end the demo";
        std::remove((dir + "/demo-1.png").c_str());
    }
}

}  // namespace

}  // namespace demo_e2e_test
