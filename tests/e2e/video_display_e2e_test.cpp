// End to end: videos on displays. A CDXL file written here shows four coloured quadrants; it plays
// partly or wholly off the display's edges, on a display whose scale changes while the video is
// paused, and on a display whose window is made anew while the video plays or is paused. The
// window snapshots show which part of the frame lies where.
#include <string>
#include <vector>

#include "e2e/video_applet.h"

namespace video_display_e2e_test {

namespace {

using namespace videotest;

// The quadrants' palette words (0x0RGB): top left, top right, bottom left, bottom right.
constexpr uint32_t kWords[4] = {0xF00, 0x0F0, 0x00F, 0xFF0};
uint32_t QuadrantColour(int index) { return Rgb(kWords[index]); }
// The quadrant of a pixel of the frame.
int Quadrant(int x, int y) { return (x >= kWidth / 2 ? 1 : 0) | (y >= kHeight / 2 ? 2 : 0); }

// Two planes whose colour index at each pixel is its quadrant.
std::string QuadrantCdxl() {
    std::string out;
    for (int f = 0; f < kFrames; ++f) {
        CdxlFrame frame;
        frame.palette.assign(kWords, kWords + 4);
        frame.index = Quadrant;
        AppendCdxlFrame(out, f, kChunk, frame);
    }
    return out;
}

// SetDisplayAttributes with one table of fields ("key value" pairs as assembler operands).
std::string SetAttributes(const std::vector<std::string>& fields) {
    std::string code = "    GETGLOBAL r0 \"setdisplayattributes\"\n    NEWTABLE r1 0 0\n";
    for (const std::string& f : fields) code += "    SETTABLE r1 " + f + "\n";
    return code + "    CALL r0 2 1\n" + Print("GetLastError", {});
}

class VideoDisplayE2E : public VideoApplet {
protected:
    void SetUp() override { Write("q.cdxl", QuadrantCdxl()); }
    // Runs the body on display 2 (created with the extra fields) with video 1 open; what it
    // printed.
    std::string Play(const std::string& body, const std::vector<std::string>& displayFields = {}) {
        return RunApplet(Call("OpenVideo", {"1", "\"q.cdxl\""}) + body, "", displayFields);
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
                const uint32_t want = inside ? QuadrantColour(Quadrant(fx, fy)) : kBackground;
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
        {20, 20, QuadrantColour(0)}, {60, 20, QuadrantColour(1)}, {20, 44, QuadrantColour(2)},
        {76, 46, QuadrantColour(3)}, {79, 47, QuadrantColour(3)}, {17, 17, QuadrantColour(0)},
        {14, 20, kBackground},       {81, 30, kBackground},       {40, 49, kBackground},
        {100, 80, kBackground},
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
        EXPECT_EQ(pixels[20 * 64 + 20], QuadrantColour(0));
        EXPECT_EQ(pixels[28 * 64 + 44], QuadrantColour(3));
        EXPECT_EQ(pixels[40 * 64 + 20], 0xFFFFFFu) << "a point drawn beside the video";
        EXPECT_EQ(pixels[40 * 64 + 21], kBackground);
    }
}

}  // namespace

}  // namespace video_display_e2e_test
