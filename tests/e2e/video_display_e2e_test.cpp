// End to end: videos on displays. A CDXL file written here shows four coloured quadrants; it plays
// partly or wholly off the display's edges, on a display whose scale changes while the video is
// paused, and on a display whose window is made anew while the video plays or is paused. The
// window snapshots show which part of the frame lies where.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "e2e/png_pixels.h"
#include "libs/oracle.h"

namespace video_display_e2e_test {

namespace {

using libtest::TempDir;

constexpr int kWidth = 32, kHeight = 16, kFrames = 10;
constexpr int kChunk = 7680;  // 20 frames per second
constexpr uint32_t kBackground = 0x204060;

// The quadrants' palette words (0x0RGB): top left, top right, bottom left, bottom right.
constexpr uint32_t kWords[4] = {0xF00, 0x0F0, 0x00F, 0xFF0};
uint32_t Colour(int index) {
    const uint32_t w = kWords[index];
    return ((w >> 8) & 15) * 17 << 16 | ((w >> 4) & 15) * 17 << 8 | (w & 15) * 17;
}
// The quadrant of a pixel of the frame.
int Quadrant(int x, int y) { return (x >= kWidth / 2 ? 1 : 0) | (y >= kHeight / 2 ? 2 : 0); }

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v >> 16);
    Put16(out, v & 0xFFFF);
}

// Two planes: plane 0 set in the right half, plane 1 in the bottom half, so that each pixel's
// colour index is its quadrant.
std::string QuadrantCdxl() {
    std::string out;
    const int rowBytes = (kWidth + 15) / 16 * 2;
    for (int f = 0; f < kFrames; ++f) {
        const size_t start = out.size();
        out += '\1';
        out += '\0';
        Put32(out, kChunk);
        Put32(out, f == 0 ? 0 : kChunk);
        Put32(out, static_cast<uint32_t>(f));
        Put16(out, kWidth);
        Put16(out, kHeight);
        out += '\0';
        out += '\2';
        Put16(out, 8);
        Put16(out, 0);
        out.append(8, '\0');
        for (uint32_t w : kWords) Put16(out, w);
        for (int y = 0; y < kHeight; ++y) {
            for (int b = 0; b < rowBytes; ++b) out += static_cast<char>(b >= rowBytes / 2 ? 0xFF : 0x00);
            out.append(static_cast<size_t>(rowBytes), y >= kHeight / 2 ? '\xff' : '\0');
        }
        out.resize(start + kChunk, '\0');
    }
    return out;
}

std::string Lower(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}
std::string Call(const std::string& command, const std::vector<std::string>& args) {
    std::string code = "    GETGLOBAL r0 \"" + Lower(command) + "\"\n";
    int r = 1;
    for (const std::string& a : args) code += "    LOADK r" + std::to_string(r++) + " " + a + "\n";
    return code + "    CALL r0 " + std::to_string(r) + " 1\n";
}
std::string Print(const std::string& command, const std::vector<std::string>& args) {
    std::string code = "    GETGLOBAL r0 \"" + Lower(command) + "\"\n";
    int r = 1;
    for (const std::string& a : args) code += "    LOADK r" + std::to_string(r++) + " " + a + "\n";
    return code + "    CALL r0 " + std::to_string(r) + " 2\n    GETGLOBAL r1 \"debugprint\"\n    MOVE r2 r0\n" +
           "    CALL r1 2 1\n";
}
std::string Refused(const std::string& command, const std::vector<std::string>& args) {
    return Call(command, args) + Print("GetLastError", {});
}
// SetDisplayAttributes with one table of fields ("key value" pairs as assembler operands).
std::string SetAttributes(const std::vector<std::string>& fields) {
    std::string code = "    GETGLOBAL r0 \"setdisplayattributes\"\n    NEWTABLE r1 0 0\n";
    for (const std::string& f : fields) code += "    SETTABLE r1 " + f + "\n";
    return code + "    CALL r0 2 1\n" + Print("GetLastError", {});
}

class VideoDisplayE2E : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        const std::string bytes = QuadrantCdxl();
        WriteBytes(dir.path + "/q.cdxl", std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    // Runs the body on display 2 (64 x 48, colour #204060, created with the extra fields) with video
    // 1 open; what it printed.
    std::string Play(const std::string& body, const std::vector<std::string>& displayFields = {}) {
        std::string create =
            "    GETGLOBAL r0 \"createdisplay\"\n    LOADK r1 2\n    NEWTABLE r2 0 0\n"
            "    SETTABLE r2 \"width\" 64\n    SETTABLE r2 \"height\" 48\n    SETTABLE r2 \"color\" 2113632\n";
        for (const std::string& f : displayFields) create += "    SETTABLE r2 " + f + "\n";
        const std::string text =
            ".applet\n.record 10 u8 6 u8 0\n.function main\n  .source \"@video.qzs\"\n  .line 1\n" + create +
            "    CALL r0 3 1\n" + Call("OpenDisplay", {"2"}) +
            "    GETGLOBAL r0 \"exitonerror\"\n    LOADBOOL r1 0 0\n    CALL r0 2 1\n" +
            Call("OpenVideo", {"1", "\"q.cdxl\""}) + body + "    RETURN r0 1\n.end\n";
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        EXPECT_FALSE(bytes.empty()) << error;
        WriteBytes(dir.path + "/video.qza", bytes);
        int status = 0;
        std::string output = CaptureOutput("cd '" + dir.path +
                                               "' && env -u QUARNELIX_INPUT QUARNELIX_DRIVER=headless "
                                               "QUARNELIX_SNAPSHOT_DIR='" +
                                               dir.path + "' " + PlayerTimeout() + "'" + BinaryDir() +
                                               "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout video.qza 2>&1",
                                           &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        return output;
    }
    std::vector<uint32_t> Snapshot(int width, int height) {
        std::vector<uint32_t> pixels = ReadPngPixels(dir.path + "/display-2.png", width, height);
        for (uint32_t& p : pixels) p &= 0xFFFFFF;
        return pixels;
    }
};

// The video at x, y (display pixels) shows the frame pixel (x - vx, y - vy), or the background
// where it does not reach: the part that lies off the left or top edge is cut from the frame, not
// moved onto the display.
TEST_F(VideoDisplayE2E, VideoPartlyOrWhollyOffTheEdgesShowsItsVisiblePart) {
    const struct { int x, y; } rows[] = {{-8, -4}, {-20, 6}, {40, 40}, {-40, 0}, {10, -30}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "at " << r.x << ", " << r.y);
        // Played to its end: the last frame stays.
        const std::string body = Call("PlayVideo", {"1", std::to_string(r.x), std::to_string(r.y)}) +
                                 Call("Wait", {"50"}) + Print("IsVideoPlaying", {"1"});
        EXPECT_EQ(Play(body), "0\n");
        const std::vector<uint32_t> pixels = Snapshot(64, 48);
        ASSERT_EQ(pixels.size(), 64u * 48u);
        int wrong = 0;
        for (int y = 0; y < 48; y++) {
            for (int x = 0; x < 64; x++) {
                const int fx = x - r.x, fy = y - r.y;
                const bool inside = fx >= 0 && fy >= 0 && fx < kWidth && fy < kHeight;
                const uint32_t want = inside ? Colour(Quadrant(fx, fy)) : kBackground;
                if (pixels[size_t(y) * 64 + size_t(x)] != want && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << ", " << y << ": " << std::hex
                                  << pixels[size_t(y) * 64 + size_t(x)] << " instead of " << want;
            }
        }
    }
}

// A paused video on a display that auto-scales: when the scaled size changes, the video takes its
// place and size at the new scale and its paused frame is drawn again there.
TEST_F(VideoDisplayE2E, RescaledDisplayPlacesTheVideoAndRedrawsItsPausedFrame) {
    const std::string body = Call("PlayVideo", {"1", "8", "8"}) + Call("Wait", {"5"}) + Call("PauseVideo", {"1"}) +
                             SetAttributes({"\"scalewidth\" 128", "\"scaleheight\" 96"}) + Call("Wait", {"5"}) +
                             Print("IsVideoPlaying", {"1"});
    EXPECT_EQ(Play(body, {"\"scalemode\" 1"}), "0\n0\n");
    const std::vector<uint32_t> pixels = Snapshot(128, 96);
    ASSERT_EQ(pixels.size(), 128u * 96u);
    const struct {
        int x, y;
        uint32_t want;
    } points[] = {
        {20, 20, Colour(0)},   {60, 20, Colour(1)},    {20, 44, Colour(2)},   {76, 46, Colour(3)},
        {79, 47, Colour(3)},   {17, 17, Colour(0)},    {14, 20, kBackground}, {81, 30, kBackground},
        {40, 49, kBackground}, {100, 80, kBackground},
    };
    for (const auto& p : points)
        EXPECT_EQ(pixels[size_t(p.y) * 128 + size_t(p.x)], p.want)
            << std::hex << "at " << std::dec << p.x << ", " << p.y;
}

// The display's window is made anew (it loses its border) while the video plays or is paused:
// the video keeps its state and draws into the new window, a paused one at once. While a video is
// on the display, the display cannot be closed or double-buffered, and a point drawn where it plays
// stays under its picture.
TEST_F(VideoDisplayE2E, WindowMadeAnewKeepsTheVideoGoing) {
    const struct {
        const char* name;
        std::string before, after;
        std::string output;
    } rows[] = {
        {"playing", "", Print("IsVideoPlaying", {"1"}) + Call("Wait", {"50"}), "0\n1\n"},
        {"paused, then resumed", Call("PauseVideo", {"1"}),
         Print("IsVideoPlaying", {"1"}) + Refused("PauseVideo", {"1"}) + Call("ResumeVideo", {"1"}) +
             Print("IsVideoPlaying", {"1"}) + Call("Wait", {"50"}),
         "0\n0\n1451\n1\n"},
        {"paused", Call("PauseVideo", {"1"}), Call("Wait", {"10"}) + Print("IsVideoPlaying", {"1"}), "0\n0\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string body = Call("PlayVideo", {"1", "16", "16"}) + Call("Wait", {"5"}) + r.before +
                                 SetAttributes({"\"borderless\" 1"}) + r.after + Refused("CloseDisplay", {"2"}) +
                                 Refused("BeginDoubleBuffer", {}) + Call("Plot", {"20", "20", "16777215"}) +
                                 Call("Plot", {"20", "40", "16777215"});
        EXPECT_EQ(Play(body), r.output + "1455\n1455\n");
        const std::vector<uint32_t> pixels = Snapshot(64, 48);
        ASSERT_EQ(pixels.size(), 64u * 48u);
        EXPECT_EQ(pixels[20 * 64 + 20], Colour(0));
        EXPECT_EQ(pixels[28 * 64 + 44], Colour(3));
        EXPECT_EQ(pixels[40 * 64 + 20], 0xFFFFFFu) << "a point drawn beside the video";
        EXPECT_EQ(pixels[40 * 64 + 21], kBackground);
    }
}

}  // namespace

}  // namespace video_display_e2e_test
