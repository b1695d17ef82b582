// End to end: an applet draws a table of shapes (a box, an ellipse, a rounded box, a pie, a
// polygon and an anti-aliased circle) on a display, headless, with layers off and on, and each
// shape of the snapshot is compared with cairo's rendering of the same geometry. A box drawn
// hidden shows that the second run made layers.
#include <gtest/gtest.h>

#include <cairo.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "vector/cairo_oracle.h"

namespace draw_e2e_test {

namespace {

using shapetest::CairoPlane;
using shapetest::EllipsePath;
using shapetest::Plane;
using shapetest::RoundedBoxPath;

constexpr int kW = 320, kH = 240;

// One command call with constant arguments ("5", "\"text\"").
std::string Call(const std::string& command, const std::vector<std::string>& args) {
    std::string name = command;  // globals are looked up in lower case
    for (char& c : name) c = (char)std::tolower((unsigned char)c);
    std::string code = "    GETGLOBAL r0 \"" + name + "\"\n";
    int r = 1;
    for (const std::string& a : args) code += "    LOADK r" + std::to_string(r++) + " " + a + "\n";
    return code + "    CALL r0 " + std::to_string(r) + " 1\n";
}

// Polygon(x, y, points, count, colour) with the points as a list built by a table constructor
// (at most 32 numbers: one SETLIST).
std::string PolygonCall(int x, int y, const std::vector<int>& points, const std::string& colour) {
    std::string code = "    GETGLOBAL r0 \"polygon\"\n    LOADK r1 " + std::to_string(x) + "\n    LOADK r2 " +
                       std::to_string(y) + "\n    NEWTABLE r3 " + std::to_string(points.size()) + " 0\n";
    for (size_t i = 0; i < points.size(); i++)
        code += "    LOADK r" + std::to_string(4 + i) + " " + std::to_string(points[i]) + "\n";
    code += "    SETLIST r3 " + std::to_string(points.size() - 1) + "\n";
    return code + "    LOADK r4 " + std::to_string(points.size() / 2) + "\n    LOADK r5 " + colour +
           "\n    CALL r0 6 1\n";
}

// A shape of the applet: where it lies on the display and cairo's drawing of it.
struct ShapeRow {
    const char* what;
    int x, y, width, height;  // the cell it is compared in
    bool antialias;
    std::function<void(cairo_t*)> reference;
};

// Shapes fill a box of 2r + 1 pixels: as areas they reach half a pixel beyond their outline
// points, and the outline's edges are drawn as lines over the fill. Curve points are floored to
// whole pixels, which moves the right and lower rims of a curve by up to a pixel: at these radii
// that stays within the overlap the shapes are held to.
const std::vector<ShapeRow>& Rows() {
    static const std::vector<ShapeRow> rows = {
        {"box", 0, 0, 80, 60, false,
         [](cairo_t* cr) {
             cairo_rectangle(cr, 8, 8, 60, 40);
             cairo_fill(cr);
         }},
        {"ellipse", 80, 0, 140, 105, false,
         [](cairo_t* cr) {
             EllipsePath(cr, 90 + 60.5, 8 + 45.5, 60.5, 45.5);
             cairo_fill(cr);
         }},
        {"rounded box", 220, 0, 100, 100, false,
         [](cairo_t* cr) {
             RoundedBoxPath(cr, 225, 8, 90, 80, 20.5);  // 50 % of half the smaller side
             cairo_fill(cr);
         }},
        {"pie", 0, 100, 135, 140, false,
         [](cairo_t* cr) {
             cairo_move_to(cr, 8 + 60.5, 105 + 60.5);
             cairo_arc(cr, 8 + 60.5, 105 + 60.5, 60, 30 * M_PI / 180, 250 * M_PI / 180);
             cairo_close_path(cr);
             cairo_fill_preserve(cr);
             cairo_set_line_width(cr, 1);
             cairo_stroke(cr);
         }},
        {"polygon", 135, 105, 88, 100, false,
         [](cairo_t* cr) {
             const int points[] = {0, 0, 80, 0, 40, 70, 0, 0};
             for (int i = 0; i < 8; i += 2) cairo_line_to(cr, 140 + points[i] + 0.5, 115 + points[i + 1] + 0.5);
             cairo_close_path(cr);
             cairo_fill_preserve(cr);
             cairo_set_line_width(cr, 1);
             cairo_stroke(cr);
         }},
        {"anti-aliased circle", 223, 100, 97, 100, true,
         [](cairo_t* cr) {
             EllipsePath(cr, 225 + 45.5, 105 + 45.5, 45.5, 45.5);
             cairo_fill(cr);
         }},
    };
    return rows;
}

// The applet's drawing: white shapes on black, filled; the circle anti-aliased.
std::string DrawShapes() {
    const std::string white = "16777215";
    return Call("SetFillStyle", {"1"}) + Call("Box", {"8", "8", "60", "40", white}) +
           Call("Ellipse", {"90", "8", "60", "45", white}) + Call("Box", {"225", "8", "90", "80", white, "50"}) +
           Call("Arc", {"8", "105", "60", "60", "30", "250", white}) +
           PolygonCall(140, 115, {0, 0, 80, 0, 40, 70}, white) + Call("SetFormStyle", {"16"}) +
           Call("Circle", {"225", "105", "45", white}) +
           // Only a layer can be hidden: without layers the box is drawn.
           "    GETGLOBAL r0 \"box\"\n    LOADK r1 300\n    LOADK r2 220\n    LOADK r3 10\n    LOADK r4 10\n"
           "    LOADK r5 16777215\n    NEWTABLE r6 0 0\n    LOADBOOL r7 1 0\n    SETTABLE r6 \"hidden\" r7\n"
           "    CALL r0 7 1\n";
}

class DrawE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/qzdrawXXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        dir = dirTemplate;
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }

    // Plays the body on display 2 (kW x kH, black, layers as asked) headless; what it printed.
    std::string Play(bool layers, const std::string& body) {
        std::string open = "    NEWTABLE r3 0 0\n    SETTABLE r3 \"width\" " + std::to_string(kW) +
                           "\n    SETTABLE r3 \"height\" " + std::to_string(kH) + "\n    SETTABLE r3 \"color\" 0\n" +
                           "    LOADBOOL r4 " + (layers ? "1" : "0") + " 0\n    SETTABLE r3 \"layers\" r4\n" +
                           "    GETGLOBAL r0 \"createdisplay\"\n    LOADK r1 2\n    MOVE r2 r3\n    CALL r0 3 1\n";
        const std::string text = ".applet\n.record 10 u8 6 u8 0\n.function main\n  .source \"@draw.qzs\"\n  .line 1\n" +
                                 open + Call("OpenDisplay", {"2"}) + body + "    RETURN r0 1\n.end\n";
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        EXPECT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/draw.qza", bytes);
        int status = 0;
        std::string output = CaptureOutput("cd '" + dir + "' && QUARNELIX_DRIVER=headless QUARNELIX_SNAPSHOT_DIR='" +
                                               dir + "' " + PlayerTimeout() + "'" + BinaryDir() +
                                               "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout draw.qza 2>&1",
                                           &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        return output;
    }
    // The snapshot's red channel as a coverage plane (white shapes on black).
    Plane Snapshot() {
        cairo_surface_t* png = cairo_image_surface_create_from_png((dir + "/display-2.png").c_str());
        Plane plane(kW, kH);
        if (cairo_surface_status(png) == CAIRO_STATUS_SUCCESS && cairo_image_surface_get_width(png) == kW &&
            cairo_image_surface_get_height(png) == kH) {
            cairo_surface_flush(png);
            const uint8_t* data = cairo_image_surface_get_data(png);
            const int stride = cairo_image_surface_get_stride(png);
            for (int y = 0; y < kH; y++)
                for (int x = 0; x < kW; x++)
                    plane.px[(size_t)y * kW + x] =
                        uint8_t(reinterpret_cast<const uint32_t*>(data + y * stride)[x] >> 16);
        } else {
            ADD_FAILURE() << "no snapshot of " << kW << " x " << kH;
        }
        cairo_surface_destroy(png);
        return plane;
    }

    std::string dir;
};

// The part of a plane inside a cell.
Plane Cell(const Plane& p, const ShapeRow& r) {
    Plane out(r.width, r.height);
    for (int y = 0; y < r.height; y++)
        for (int x = 0; x < r.width; x++) out.px[(size_t)y * r.width + x] = p.at(r.x + x, r.y + y);
    return out;
}

TEST_F(DrawE2E, ShapesMatchCairoWithAndWithoutLayers) {
    for (bool layers : {false, true}) {
        ASSERT_EQ(Play(layers, DrawShapes()), "") << layers;
        const Plane ours = Snapshot();
        for (const ShapeRow& r : Rows()) {
            const Plane reference =
                CairoPlane(kW, kH, r.antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE, r.reference);
            const Plane a = Cell(ours, r), b = Cell(reference, r);
            const double iou = r.antialias ? shapetest::IoU(a, b) : shapetest::BinaryIoU(a, b);
            EXPECT_GE(iou, 0.98) << r.what << " " << iou << (layers ? " with layers" : "");
        }
        EXPECT_EQ(ours.at(305, 225), layers ? 0 : 255);
        std::system(("rm -f '" + dir + "/display-2.png'").c_str());
    }
}

}  // namespace

}  // namespace draw_e2e_test
