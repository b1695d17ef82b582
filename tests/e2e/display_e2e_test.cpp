// End to end: applets open displays with tables of options, headless, and what each window shows
// (the snapshots of QUARNELIX_SNAPSHOT_DIR) is compared with pictures that ImageMagick draws:
// fills, letterbox strips, scaled presentation (exact for nearest pixels, by PSNR when smooth)
// and the backdrop of a full screen.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace display_e2e_test {

namespace {

// A value of an option table: a number, a string or a nested table.
struct Value {
    enum Kind { NUMBER, STRING, TABLE } kind;
    double number = 0;
    std::string text;
    std::vector<std::pair<std::string, Value>> fields;
    Value(double n) : kind(NUMBER), number(n) {}
    Value(const char* s) : kind(STRING), text(s) {}
    Value(std::vector<std::pair<std::string, Value>> f) : kind(TABLE), fields(std::move(f)) {}
};
using Fields = std::vector<std::pair<std::string, Value>>;

std::string Literal(const Value& v) {
    if (v.kind == Value::STRING) return "\"" + v.text + "\"";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", v.number);
    return buffer;
}

// Instructions that build the table in register r (nested tables in the registers after it).
std::string BuildTable(const Fields& fields, int r) {
    std::string code = "    NEWTABLE r" + std::to_string(r) + " 0 0\n";
    for (const auto& [key, value] : fields) {
        if (value.kind == Value::TABLE) {
            code += BuildTable(value.fields, r + 1);
            code += "    SETTABLE r" + std::to_string(r) + " \"" + key + "\" r" + std::to_string(r + 1) + "\n";
        } else {
            code += "    SETTABLE r" + std::to_string(r) + " \"" + key + "\" " + Literal(value) + "\n";
        }
    }
    return code;
}

// A call of a command with number or string arguments and an optional option table last.
std::string Call(const std::string& command, const std::vector<Value>& args) {
    std::string code = "    GETGLOBAL r0 \"" + command + "\"\n";
    int r = 1;
    for (const Value& a : args) {
        if (a.kind == Value::TABLE)
            code += BuildTable(a.fields, r);
        else
            code += "    LOADK r" + std::to_string(r) + " " + Literal(a) + "\n";
        r++;
    }
    code += "    CALL r0 " + std::to_string(r) + " 1\n";
    return code;
}

std::string Applet(const std::string& body) {
    return ".applet\n.record 10 u8 6 u8 0\n.function main\n  .source \"@display.qzs\"\n  .line 1\n" + body +
           "    RETURN r0 1\n.end\n";
}

class DisplayE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/qzdisplayXXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        dir = dirTemplate;
    }
    void TearDown() override {
        std::string cleanup = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cleanup.c_str()), 0);
    }

    // Plays the applet headless with snapshots in the test's folder; returns what it printed.
    std::string Play(const std::string& body) {
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(Applet(body), &error);
        EXPECT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/display.qza", bytes);
        std::string command = "cd '" + dir + "' && QUARNELIX_DRIVER=headless QUARNELIX_SNAPSHOT_DIR='" + dir + "' " +
                              PlayerTimeout() + "'" + BinaryDir() +
                              "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout display.qza 2>&1";
        int status = 0;
        std::string output = CaptureOutput(command, &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        return output;
    }
    // Runs a shell command in the test's folder; its output (standard error included).
    std::string Shell(const std::string& command) {
        int status = 0;
        return CaptureOutput("cd '" + dir + "' && " + command + " 2>&1", &status);
    }
    // The number of pixels that differ between the snapshot and the reference.
    std::string Differing(const std::string& snapshot, const std::string& reference) {
        return Shell("compare -metric AE " + snapshot + " " + reference + " null:");
    }
    double Psnr(const std::string& snapshot, const std::string& reference) {
        return std::atof(Shell("compare -metric PSNR " + snapshot + " " + reference + " null:").c_str());
    }

    std::string dir;
};

// Display 2 with each table of options; its snapshot against the ImageMagick picture.
TEST_F(DisplayE2E, SnapshotsMatchReferences) {
    const struct {
        const char* what;
        Fields options;
        const char* reference;  // convert arguments that draw what the window shows
    } rows[] = {
        {"colour fill", {{"width", 64}, {"height", 48}, {"color", 0x336699}}, "-size 64x48 xc:#336699"},
        {"letterbox",
         {{"width", 40},
          {"height", 30},
          {"color", 0xFF0000},
          {"scalemode", 1},
          {"scalewidth", 100},
          {"scaleheight", 50},
          {"keepproportions", 1}},
         "-size 100x50 xc:black -fill red -draw \"rectangle 17,0 82,49\""},
        {"borderless tall letterbox",
         {{"width", 40},
          {"height", 30},
          {"color", 0x00FF00},
          {"scalemode", 1},
          {"scalewidth", 40},
          {"scaleheight", 60},
          {"keepproportions", 1},
          {"borderless", 1}},
         "-size 40x60 xc:black -fill lime -draw \"rectangle 0,15 39,44\""},
        {"scaled without proportions",
         {{"width", 10},
          {"height", 10},
          {"color", 0x0000FF},
          {"scalemode", 1},
          {"scalewidth", 30},
          {"scaleheight", "200%"}},
         "-size 30x20 xc:blue"},
    };
    for (const auto& r : rows) {
        Play(Call("createdisplay", {2, r.options}) + Call("opendisplay", {2}));
        ASSERT_EQ(Shell("convert " + std::string(r.reference) + " reference.png"), "") << r.what;
        EXPECT_EQ(Differing("display-2.png", "reference.png"), "0") << r.what;
        Shell("rm -f display-*.png reference.png");
    }
}

// A gradient picture scaled by nearest pixels is the unscaled picture sampled; scaled smoothly it
// is close to ImageMagick's resize.
TEST_F(DisplayE2E, ScaledPresentation) {
    const Fields gradient = {{"width", 64},
                             {"height", 48},
                             {"fillstyle", 2},
                             {"gradientstartcolor", 0xFF0000},
                             {"gradientendcolor", 0x0000FF},
                             {"gradientangle", 30}};
    Fields nearest = gradient, smooth = gradient;
    for (Fields* f : {&nearest, &smooth}) {
        f->push_back({"scalemode", 1});
        f->push_back({"scalewidth", 128});
        f->push_back({"scaleheight", 96});
    }
    smooth.push_back({"smoothscale", 1});
    Play(Call("createdisplay", {2, gradient}) + Call("opendisplay", {2}) + Call("createdisplay", {3, nearest}) +
         Call("opendisplay", {3}) + Call("createdisplay", {4, smooth}) + Call("opendisplay", {4}));
    ASSERT_EQ(Shell("convert display-2.png -sample 200% sampled.png"), "");
    EXPECT_EQ(Differing("display-3.png", "sampled.png"), "0");
    ASSERT_EQ(Shell("convert display-2.png -resize 200% resized.png"), "");
    EXPECT_GT(Psnr("display-4.png", "resized.png"), 35.0);
    EXPECT_NE(Differing("display-4.png", "display-3.png"), "0");  // smooth is not the nearest pixel
}

// A full screen smaller than its screen mode has a backdrop display behind it, in the backdrop's
// colour; the display itself shows centred.
TEST_F(DisplayE2E, FullScreenBackdrop) {
    Play(Call("createdisplay", {2, Fields{{"width", 600},
                                          {"height", 400},
                                          {"color", 0xFFFF00},
                                          {"mode", "fullscreen"},
                                          {"backfill", Fields{{"type", "color"}, {"color", 0x008000}}}}}) +
         Call("opendisplay", {2}));
    ASSERT_EQ(Shell("convert -size 640x480 xc:#008000 backdrop.png"), "");
    EXPECT_EQ(Differing("display-0.png", "backdrop.png"), "0");
    ASSERT_EQ(Shell("convert -size 640x480 xc:black -fill yellow -draw \"rectangle 20,40 619,439\" full.png"), "");
    EXPECT_EQ(Differing("display-2.png", "full.png"), "0");
}

bool HaveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The same applet in a real SDL window on a private X server: the window's pixels (grabbed with
// ImageMagick's import), its title and its size match the headless run.
TEST_F(DisplayE2E, RealWindowMatchesHeadless) {
    for (const char* tool : {"xvfb-run", "import", "xdotool", "xwininfo", "xprop"})
        if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is needed";
    const std::string body = Call("createdisplay", {2, Fields{{"width", 64},
                                                              {"height", 48},
                                                              {"fillstyle", 2},
                                                              {"gradientstartcolor", 0xFF0000},
                                                              {"gradientendcolor", 0x0000FF},
                                                              {"title", "qz-e2e-window"}}}) +
                             Call("opendisplay", {2}) + Call("wait", {30.0, 0.0});
    // Headless: an input script asks to quit once the window shows.
    const std::string quit = "0 @2 waitwindow\n+200 quit\n";
    WriteBytes(dir + "/quit.txt", std::vector<uint8_t>(quit.begin(), quit.end()));
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(Applet(body), &error);
    ASSERT_FALSE(bytes.empty()) << error;
    WriteBytes(dir + "/display.qza", bytes);
    const std::string player = "'" + BinaryDir() + "/bin/qzplayer'";
    Shell("QUARNELIX_DRIVER=headless QUARNELIX_INPUT=quit.txt QUARNELIX_SNAPSHOT_DIR=. " + PlayerTimeout() + player +
          " -QUIET display.qza");
    const std::string script = "QUARNELIX_DRIVER=sdl " + player +
                               " -QUIET display.qza &\n"
                               "pid=$!\n"
                               "id=$(timeout 20 xdotool search --sync --name qz-e2e-window | head -1)\n"
                               "sleep 1\n"
                               "import -window \"$id\" grab.png\n"
                               "xwininfo -id \"$id\" > info.txt\n"
                               "xprop -id \"$id\" WM_NAME >> info.txt\n"
                               "kill $pid; wait $pid\n";
    WriteBytes(dir + "/x11.sh", std::vector<uint8_t>(script.begin(), script.end()));
    Shell("timeout 60 xvfb-run -a -s '-screen 0 1280x1024x24' sh x11.sh");
    const std::string info = ReadAll(dir + "/info.txt");
    EXPECT_NE(info.find("Width: 64\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: 48\n"), std::string::npos) << info;
    EXPECT_NE(info.find("WM_NAME(STRING) = \"qz-e2e-window\""), std::string::npos) << info;
    EXPECT_EQ(Differing("grab.png", "display-2.png"), "0");
}

}  // namespace

}  // namespace display_e2e_test
