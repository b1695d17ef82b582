// End to end: videos in layers. A CDXL file written here from the format (one solid colour a
// frame) plays in a layer of display 2 headless; the snapshot shows the layer with the frame the
// video reached, and the applets print what the commands answered.
#include <string>
#include <vector>

#include "e2e/video_applet.h"

namespace video_layer_e2e_test {

namespace {

using namespace videotest;

constexpr int kSlowChunk = 40000;  // 7.68 frames a second

class VideoLayerE2E : public VideoApplet {
protected:
    // Runs the body on display 2 headless, with layers on unless asked otherwise; what it printed.
    std::string Play(const std::string& body, bool layers = true) {
        return RunApplet((layers ? Call("EnableLayers", {}) : "") + body);
    }
};

const Fields kUseLayer = {{"uselayer", "true"}};

// A grid of 4 x 4 blocks of 8 x 4 pixels, each block a colour index of its own (four planes); the
// palette word of index i in frame f holds f in red and i in green.
int GridIndex(int x, int y) { return x / 8 + 4 * (y / 4); }
uint32_t GridColour(int f, int x, int y) {
    const int i = GridIndex(x, y);
    return Rgb(static_cast<uint32_t>(f << 8 | (15 - i) << 4 | ((i * 3 + f) & 15)));
}
std::string GridCdxl() {
    std::string out;
    for (int f = 0; f < kFrames; ++f) {
        CdxlFrame frame;
        for (int i = 0; i < 16; i++)
            frame.palette.push_back(static_cast<uint32_t>(f << 8 | (15 - i) << 4 | ((i * 3 + f) & 15)));
        frame.planes = 4;
        frame.index = GridIndex;
        AppendCdxlFrame(out, f, kChunk, frame);
    }
    return out;
}

// Prints the fields of GetLayerStyle's table for the layer (the table stays in r0, below the
// frames of the calls).
std::string PrintStyle(const std::string& layer, const std::vector<std::string>& keys) {
    std::string code = Call("GetLayerStyle", {layer}, {}, 2);
    for (const std::string& key : keys)
        code += "    GETGLOBAL r1 \"debugprint\"\n    GETTABLE r2 r0 \"" + key + "\"\n    CALL r1 2 1\n";
    return code;
}

// A video played in a layer runs to its end there: the layer holds the last frame at the place
// asked for, the video is finished (not playing), and the layer is a video layer on top.
TEST_F(VideoLayerE2E, VideoPlaysToItsEndInALayer) {
    Write("v.cdxl", SolidCdxl());
    const std::string body = Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("PlayVideo", {"1", "8", "20"}, kUseLayer) +
                             Print("IsVideoPlaying", {"1"}) + Call("Wait", {"60"}) + Print("IsVideoPlaying", {"1"});
    EXPECT_EQ(Play(body), "1\n0\n");
    EXPECT_EQ(Pixel(8, 20), Colour(kFrames - 1));
    EXPECT_EQ(Pixel(8 + kWidth - 1, 20 + kHeight - 1), Colour(kFrames - 1));
    EXPECT_EQ(Pixel(7, 20), kBackground);
    EXPECT_EQ(Pixel(8 + kWidth, 20), kBackground);
    EXPECT_EQ(Pixel(8, 20 + kHeight), kBackground);
}

// A video that plays already goes into the layer as a second video of the file: both play to
// their ends, on the display and in the layer.
TEST_F(VideoLayerE2E, BusyVideoPlaysInTheLayerAsASecondVideo) {
    Write("v.cdxl", SolidCdxl());
    const std::string body = Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("PlayVideo", {"1", "0", "0"}) +
                             Call("PlayVideo", {"1", "24", "30"}, kUseLayer) + Print("GetLastError", {}) +
                             Call("Wait", {"60"});
    EXPECT_EQ(Play(body), "0\n");
    EXPECT_EQ(Pixel(0, 0), Colour(kFrames - 1)) << "on the display";
    EXPECT_EQ(Pixel(24, 30), Colour(kFrames - 1)) << "in the layer";
}

// Closing a video that a layer shows: the script's number no longer finds it and can be used
// again, while the layer keeps it playing to its end.
TEST_F(VideoLayerE2E, ClosedVideoPlaysOnInItsLayer) {
    Write("v.cdxl", SolidCdxl());
    const std::string body = Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("PlayVideo", {"1", "8", "20"}, kUseLayer) +
                             Call("CloseVideo", {"1"}) + Refused("IsVideoPlaying", {"1"}) +
                             Call("OpenVideo", {"1", "\"v.cdxl\""}) + Print("IsVideoPlaying", {"1"}) +
                             Call("Wait", {"60"});
    EXPECT_EQ(Play(body), "1449\n0\n");
    EXPECT_EQ(Pixel(8, 20), Colour(kFrames - 1));
}

// The layers library drives the video of a layer: stopped at once it keeps the cleared frame or an
// early one; played again it runs to its end. Stopping a stopped video, pausing it, and the video
// commands on a brush layer are refused; so are a layer without layers on, direct play of a video
// that a layer shows, and moving or resizing a video that plays in a layer.
TEST_F(VideoLayerE2E, LayerCommandsAndRefusals) {
    Write("v.cdxl", SolidCdxl(kFrames, kSlowChunk));  // 1.3 s, time enough for the commands
    const std::string body =
        Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("PlayVideo", {"1", "8", "20"}, kUseLayer) +
        Call("StopLayer", {"1"}) + Print("IsVideoPlaying", {"1"}) + Refused("StopLayer", {"1"}) +
        Refused("PauseLayer", {"1"}) + Refused("ResumeLayer", {"1"}) + Call("PlayLayer", {"1"}) +
        Print("IsVideoPlaying", {"1"}) + Refused("PlayLayer", {"1"}) + Call("PauseLayer", {"1"}) +
        Print("IsVideoPlaying", {"1"}) + Call("SetLayerVolume", {"1", "80"}) + Call("ResumeLayer", {"1"}) +
        Print("GetLastError", {}) + Refused("SetVideoSize", {"1", "10", "10"}) +
        Refused("SetVideoPosition", {"1", "10", "10"}) + Refused("SeekLayer", {"1", "1302"}) + Call("Wait", {"300"}) +
        Refused("PlayVideo", {"1", "0", "0"}) + Call("CreateBrush", {"5", "4", "4"}) +
        Call("DisplayBrush", {"5", "60", "0"}) + Refused("PlayLayer", {"2"}) + Refused("SetLayerVolume", {"2", "3"});
    EXPECT_EQ(Play(body), "0\n1516\n1451\n1452\n1\n1501\n0\n0\n1517\n1517\n1233\n1512\n1515\n1515\n");
    EXPECT_EQ(Pixel(8, 20), Colour(kFrames - 1));
    const std::string off = Call("OpenVideo", {"1", "\"v.cdxl\""}) + Refused("PlayVideo", {"1", "8", "20"}, kUseLayer);
    EXPECT_EQ(Play(off, false), "1078\n");
}

// DisplayVideoFrame shows one frame as a layer (at 0 ms the second frame, at the drawing options'
// size): the frame exact; a busy video gives it through a second video; the layer can then play;
// InsertLayer puts a video's frame at a list position; and the refusals.
TEST_F(VideoLayerE2E, DisplayVideoFrameShowsAFrameAsALayer) {
    Write("v.cdxl", SolidCdxl());
    const std::string body = Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("DisplayVideoFrame", {"1", "0", "0", "0"}) +
                             Print("GetLastError", {}) + Refused("PlayVideo", {"1", "0", "0"}) +
                             Call("OpenVideo", {"2", "\"v.cdxl\""}) + Call("PlayVideo", {"2", "40", "0"}) +
                             Call("DisplayVideoFrame", {"2", "0", "24", "0"}, {{"width", "16"}, {"height", "8"}}) +
                             Print("GetLastError", {}) + Refused("DisplayVideoFrame", {"1", "0", "0", "500"}) +
                             Refused("DisplayVideoFrame", {"1", "0", "0", "100"}) +
                             Call("OpenVideo", {"3", "\"v.cdxl\""}) + Call("InsertLayer", {"1", "50", "3", "0", "40"}) +
                             Print("GetLastError", {}) + Call("Wait", {"60"});
    EXPECT_EQ(Play(body), "0\n1512\n0\n1233\n1457\n0\n");
    EXPECT_EQ(Pixel(40, 0), Colour(kFrames - 1)) << "the busy video played on";
    EXPECT_EQ(Pixel(0, 0), Colour(1)) << "the second frame";
    EXPECT_EQ(Pixel(kWidth - 1, kHeight - 1), Colour(1));
    EXPECT_EQ(Pixel(15, 31), Colour(1)) << "scaled to 16 x 8";
    EXPECT_EQ(Pixel(16, 31), kBackground);
    EXPECT_EQ(Pixel(15, 32), kBackground);
    EXPECT_EQ(Pixel(0, 40), Colour(1)) << "inserted at the bottom";
    const std::string played = Call("OpenVideo", {"1", "\"v.cdxl\""}) +
                               Call("DisplayVideoFrame", {"1", "8", "8", "0"}) + Call("PlayLayer", {"1"}) +
                               Call("Wait", {"60"}) + Print("GetLastError", {});
    EXPECT_EQ(Play(played), "0\n");
    EXPECT_EQ(Pixel(8, 8), Colour(kFrames - 1));
    const std::string off = Call("OpenVideo", {"1", "\"v.cdxl\""}) + Refused("DisplayVideoFrame", {"1", "0", "0", "0"});
    EXPECT_EQ(Play(off, false), "1078\n");
}

// GetAttribute reads a video and the video of a VIDEO layer; a brush made from the layer holds the
// frame it shows.
TEST_F(VideoLayerE2E, AttributesOfVideosAndVideoLayersAndBrushesFromThem) {
    Write("v.cdxl", SolidCdxl());
    // ATTRWIDTH, NUMFRAMES, DURATION, POSITION, FORMAT, SCALEWIDTH, CANSEEK, DRIVER, PLAYING, PAUSED,
    // LOADER, COUNT.
    const char* videoAttributes[] = {"0", "11", "14", "18", "19", "44", "72", "75", "83", "84", "91", "60"};
    std::string body = Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("SetVideoSize", {"1", "20", "10"});
    for (const char* a : videoAttributes) body += Print("GetAttribute", {"50", "1", a});
    // The layer: ATTRTYPE, DURATION, FORMAT, PLAYING while it plays, then PAUSED once paused.
    body += Call("OpenVideo", {"2", "\"v.cdxl\""}) + Call("DisplayVideoFrame", {"2", "0", "0", "0"}) +
            Call("ConvertToBrush", {"22", "1", "7"}) + Call("DisplayBrush", {"7", "32", "32"}) +
            Print("GetAttribute", {"22", "1", "9"}) + Print("GetAttribute", {"22", "1", "14"}) +
            Print("GetAttribute", {"22", "1", "19"}) + Call("PlayLayer", {"1"}) +
            Print("GetAttribute", {"22", "1", "83"}) + Call("PauseLayer", {"1"}) +
            Print("GetAttribute", {"22", "1", "84"}) + Refused("GetAttribute", {"22", "2", "14"}) +
            Refused("GetAttribute", {"50", "9", "14"});
    EXPECT_EQ(Play(body), "32\n10\n500\n0\nCDXL\n20\n1\n1\n0\n0\ninbuilt\n1\n50\n500\nCDXL\n1\n1\n1515\n1449\n");
    EXPECT_EQ(Pixel(32, 32), Colour(1)) << "the brush made from the layer";
    EXPECT_EQ(Pixel(32 + kWidth - 1, 32 + kHeight - 1), Colour(1));
}

// A playing video layer given a brush as content by its style: the video stops there and the
// layer shows the brush from then on.
TEST_F(VideoLayerE2E, VideoLayerRestyledAsABrushStopsItsVideo) {
    Write("v.cdxl", SolidCdxl());
    const std::string body = Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("PlayVideo", {"1", "8", "20"}, kUseLayer) +
                             Call("CreateBrush", {"5", "8", "8", "16711680"}) + Call("Wait", {"6"}) +
                             Call("SetLayerStyle", {"1"}, {{"type", "3"}, {"id", "5"}}) + Print("GetLastError", {}) +
                             Print("IsVideoPlaying", {"1"}) + Call("Wait", {"30"});
    EXPECT_EQ(Play(body), "0\n0\n");
    EXPECT_EQ(Pixel(8, 20), 0xFF0000u);
    EXPECT_EQ(Pixel(8 + 8, 20), kBackground) << "the video's frames no longer reach the layer";
}

// The part tags of SetLayerStyle show a rectangle of a video layer's frames, frame after frame while
// the video plays there, cut to the frame and scaled to the layer's size; GetLayerStyle reads them
// back; a part that does not lie in the frame is refused and leaves the layer as it was.
TEST_F(VideoLayerE2E, PartTagsShowARectangleOfTheFrames) {
    Write("g.cdxl", GridCdxl());
    const Fields part = {{"partx", "4"}, {"party", "2"}, {"partwidth", "20"}, {"partheight", "9"}};
    const std::string body =
        Call("OpenVideo", {"1", "\"g.cdxl\""}) + Call("OpenVideo", {"2", "\"g.cdxl\""}) +
        Call("OpenVideo", {"3", "\"g.cdxl\""}) + Call("DisplayVideoFrame", {"1", "0", "0", "0"}) +
        Call("DisplayVideoFrame", {"2", "40", "0", "0"}) +
        Call("DisplayVideoFrame", {"3", "0", "24", "0"}, {{"width", "32"}, {"height", "16"}}) +
        Call("SetLayerStyle", {"1"}, part) + Refused("SetLayerStyle", {"1"}, {{"partx", "-1"}}) +
        Refused("SetLayerStyle", {"1"}, {{"party", "16"}}) + Refused("SetLayerStyle", {"1"}, {{"partwidth", "0"}}) +
        Call("SetLayerStyle", {"2"}, {{"partx", "24"}, {"party", "10"}, {"partwidth", "100"}, {"partheight", "100"}}) +
        Call("SetLayerStyle", {"3"}, {{"partx", "8"}, {"party", "4"}, {"partwidth", "16"}, {"partheight", "8"}}) +
        Call("PlayLayer", {"1"}) + Call("PlayLayer", {"3"}) + Call("Wait", {"60"}) + Print("GetLastError", {}) +
        PrintStyle("1", {"partx", "party", "partwidth", "partheight"}) +
        PrintStyle("2", {"partx", "party", "partwidth", "partheight"}) +
        PrintStyle("3", {"partx", "party", "partwidth", "partheight", "width", "height"});
    EXPECT_EQ(Play(body), "1154\n1217\n1218\n0\n4\n2\n20\n9\n24\n10\n8\n6\n8\n4\n16\n8\n32\n16\n");
    const std::vector<uint32_t> pixels = Snapshot();
    ASSERT_EQ(pixels.size(), 64u * 48u);
    // Each layer's rectangle on the display, the frame it shows, the frame pixel at its corner and
    // its scale.
    const struct {
        int x, y, width, height, frame, fx, fy, scale;
    } layers[] = {
        {0, 0, 20, 9, kFrames - 1, 4, 2, 1}, {40, 0, 8, 6, 1, 24, 10, 1}, {0, 24, 32, 16, kFrames - 1, 8, 4, 2}};
    int wrong = 0;
    for (int y = 0; y < 48; y++) {
        for (int x = 0; x < 64; x++) {
            uint32_t want = kBackground;
            for (const auto& l : layers)
                if (x >= l.x && y >= l.y && x < l.x + l.width && y < l.y + l.height)
                    want = GridColour(l.frame, l.fx + (x - l.x) / l.scale, l.fy + (y - l.y) / l.scale);
            if (pixels[size_t(y) * 64 + size_t(x)] != want && wrong++ < 5)
                ADD_FAILURE() << "pixel " << x << ", " << y << ": " << std::hex << pixels[size_t(y) * 64 + size_t(x)]
                              << " instead of " << want;
        }
    }
}

// A seek of a video that a layer shows and that does not play shows the frame at the new position
// in the layer at once, without playing: a frame shown by DisplayVideoFrame (seeked by SeekLayer
// and by SeekVideo, to 0 the first frame), a video stopped in its layer, one paused there and one
// that played to its end. A paused one plays on in its layer when it is resumed.
TEST_F(VideoLayerE2E, SeekOfAVideoNotPlayingShowsItsFrameInTheLayer) {
    Write("v.cdxl", SolidCdxl(kFrames, kSlowChunk));  // 130 ms a frame
    std::string body;
    for (int v = 1; v <= 5; v++) body += Call("OpenVideo", {std::to_string(v), "\"v.cdxl\""});
    body += Call("DisplayVideoFrame", {"1", "0", "0", "0"}) + Call("SeekLayer", {"1", "300"}) +
            Call("DisplayVideoFrame", {"2", "32", "0", "0"}) + Call("SeekVideo", {"2", "700"}) +
            Call("DisplayVideoFrame", {"3", "0", "16", "0"}) + Call("SeekLayer", {"3", "0"}) +
            Call("PlayVideo", {"4", "32", "16"}, kUseLayer) + Call("StopLayer", {"4"}) +
            Call("SeekLayer", {"4", "1000"}) + Call("PlayVideo", {"5", "0", "32"}, kUseLayer) +
            Call("PauseLayer", {"5"}) + Call("SeekLayer", {"5", "800"}) + Call("Wait", {"10"}) +
            Print("IsVideoPlaying", {"5"}) + Print("GetLastError", {});
    // The video that ended: one of 20 frames a second, seeked after its end.
    Write("w.cdxl", SolidCdxl());
    body += Call("OpenVideo", {"6", "\"w.cdxl\""}) + Call("PlayVideo", {"6", "32", "32"}, kUseLayer) +
            Call("Wait", {"50"}) + Call("SeekLayer", {"6", "100"}) + Print("GetLastError", {});
    EXPECT_EQ(Play(body), "0\n0\n0\n");
    const struct {
        int x, y, frame;
        const char* name;
    } layers[] = {{0, 0, 2, "DisplayVideoFrame, SeekLayer"},  {32, 0, 5, "DisplayVideoFrame, SeekVideo"},
                  {0, 16, 0, "DisplayVideoFrame, seek to 0"}, {32, 16, 7, "stopped in its layer"},
                  {0, 32, 6, "paused in its layer"},          {32, 32, 2, "ended in its layer"}};
    for (const auto& l : layers) {
        EXPECT_EQ(Pixel(l.x, l.y), Colour(l.frame)) << l.name;
        EXPECT_EQ(Pixel(l.x + kWidth - 1, l.y + kHeight - 1), Colour(l.frame)) << l.name;
    }
    // Resumed after the seek, the paused video plays on to its end in the layer that shows the seek.
    const std::string resumed = Call("OpenVideo", {"1", "\"v.cdxl\""}) + Call("PlayVideo", {"1", "0", "0"}, kUseLayer) +
                                Call("PauseLayer", {"1"}) + Call("SeekLayer", {"1", "1100"}) +
                                Call("ResumeLayer", {"1"}) + Call("Wait", {"100"}) + Print("IsVideoPlaying", {"1"});
    EXPECT_EQ(Play(resumed), "0\n");
    EXPECT_EQ(Pixel(0, 0), Colour(kFrames - 1));
}

// A video that plays in a layer when its layer goes, layers go off, its display closes or the
// applet ends: its threads stop and the player ends normally (the sanitizers watch).
TEST_F(VideoLayerE2E, LayerPlaybackEndsCleanlyWhateverEndsIt) {
    Write("v.cdxl", SolidCdxl());
    const struct {
        const char* name;
        std::string ending;
        const char* printed;
    } rows[] = {
        {"layer removed", Call("RemoveLayer", {"1"}) + Call("Wait", {"5"}) + Print("IsVideoPlaying", {"1"}), "0\n"},
        {"layers disabled", Call("DisableLayers", {}) + Call("Wait", {"5"}) + Print("IsVideoPlaying", {"1"}), "0\n"},
        {"display closed", Call("CloseDisplay", {"2"}) + Call("Wait", {"5"}), ""},
        {"video closed, layer removed", Call("CloseVideo", {"1"}) + Call("RemoveLayer", {"1"}) + Call("Wait", {"5"}),
         ""},
        {"applet ended", "", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string body = Call("OpenVideo", {"1", "\"v.cdxl\""}) +
                                 Call("PlayVideo", {"1", "8", "20"}, kUseLayer) + Call("Wait", {"6"}) + r.ending +
                                 Print("GetLastError", {});
        EXPECT_EQ(Play(body), std::string(r.printed) + "0\n");
    }
}

}  // namespace

}  // namespace video_layer_e2e_test
