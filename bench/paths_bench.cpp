// Vector paths: filling a closed path of 10,000 line segments, stroking one of 5,000 (FreeType
// outlines hold at most 32,767 points, and a stroke has two borders), and an outline of 200
// glyphs of Vera Sans at 24 pixels, as DrawPath does it with the inbuilt engine (the extents that
// size the image, then the coverage drawn into an 8-bit plane, anti-aliased), beside cairo
// drawing the same path into an A8 surface of the same size in the same run.
#include <benchmark/benchmark.h>
#include <cairo-ft.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_times.h"
#include "text/embedded_fonts.h"
#include "text/font_cache.h"
#include "text/font_engine.h"
#include "text/freetype_font.h"
#include "vector/outline_engine.h"
#include "vector/path_buffer.h"
#include "vector/path_style.h"
#include "vector/vector_engine.h"
#include "vector/vector_fonts.h"

namespace {

constexpr int kSegments = 10000;
constexpr int kStrokeSegments = 5000;
constexpr int kGlyphLines = 4;
constexpr int kGlyphsPerLine = 50;
constexpr double kTextSize = 24;

// A wavy ring of `segments` points around (500, 500).
std::vector<std::pair<double, double>> RingPoints(int segments) {
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i < segments; i++) {
        double a = 2 * M_PI * i / segments;
        double r = 400 + 40 * std::sin(a * 97);
        points.push_back({500 + r * std::cos(a), 500 + r * std::sin(a)});
    }
    return points;
}

std::string Line(int n) {
    const std::string words = "The quick brown fox jumps over the lazy dog. Pack my box with five dozen jugs. ";
    return words.substr(size_t(n) * 7 % 20, kGlyphsPerLine);
}

// A path record made once and kept for the whole run.
struct OurPath {
    qzPath* path = nullptr;
    OurPath() {
        InitInbuiltVectorEngine();
        path = NewPathRecord(qzObjectId{1, nullptr});
    }
    ~OurPath() { FreePathRecord(nullptr, path); }
    void Add(uint32_t op, std::vector<qzPathArg> args) { AppendPathRecord(path, op, args.data(), int(args.size())); }
};

void FillRing(OurPath& p, int segments) {
    auto points = RingPoints(segments);
    p.Add(QZ_PATHOP_MOVE, {PathU32(0), PathDouble(points[0].first), PathDouble(points[0].second)});
    for (size_t i = 1; i < points.size(); i++)
        p.Add(QZ_PATHOP_LINE, {PathU32(0), PathDouble(points[i].first), PathDouble(points[i].second)});
    p.Add(QZ_PATHOP_CLOSE, {});
}

struct Fonts {
    qzFont* font = nullptr;
    uint32_t id = 0;
    Fonts() {
        qzFont* topaz = nullptr;
        InitFontSystem(&topaz);
        InitInbuiltVectorEngine();
        if (OpenFontWithDefaults(QZ_FONT_SANS, int(kTextSize), FONTENGINE_NATIVE, 1, 0, &font) == 0)
            GetVectorFont(font, GetInbuiltVectorEngine(), &id);
    }
    ~Fonts() {
        FreeVectorFonts();
        FreeFontSystem(nullptr);
    }
};

void FillText(OurPath& p, uint32_t id) {
    for (int line = 0; line < kGlyphLines; line++) {
        p.Add(QZ_PATHOP_MOVE, {PathU32(0), PathDouble(10), PathDouble(30 + 30 * line)});
        std::string text = Line(line);
        p.Add(QZ_PATHOP_TEXT, {PathHandle(id), PathU32(uint32_t(kTextSize)), PathString(text.c_str())});
    }
}

// What DrawPath asks of the engine: the extents, then the coverage of an image of their size. The
// glyph outlines stay cached between draws, as they do for text drawn again.
void DrawOurs(benchmark::State& state, const qzPath* path, int fill, int width) {
    std::vector<uint8_t> plane;
    for (auto _ : state) {
        // Every draw builds its outline once (the measure), as the first draw of a path does.
        ForgetLastOutline();
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        GetEngineExtents(GetInbuiltVectorEngine(), path->buffer, GetPathStyle(), fill, width, 0, 0, nullptr, &x1, &y1,
                         &x2, &y2);
        int w = int(std::ceil(x2) - std::floor(x1)), h = int(std::ceil(y2) - std::floor(y1));
        plane.assign(size_t(w) * size_t(h), 0);
        if (!EngineDrawPath(GetInbuiltVectorEngine(), path->buffer, GetPathStyle(), 1, fill, plane.data(), w, w, h,
                            width, nullptr, 0, 0, 0, 0)) {
            state.SkipWithError("draw failed");
            break;
        }
        benchmark::DoNotOptimize(plane.data());
    }
}

// Cairo draws into an A8 surface of the shape's size (as a caller who measured first would).
template <typename BuildPath>
void DrawCairo(benchmark::State& state, BuildPath build, int fill, int width, int w, int h) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_set_line_width(cr, width);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (auto _ : state) {
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        cairo_new_path(cr);
        build(cr);
        if (fill)
            cairo_fill(cr);
        else
            cairo_stroke(cr);
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

template <int Segments>
void CairoRing(cairo_t* cr) {
    static const auto points = RingPoints(Segments);
    cairo_move_to(cr, points[0].first - 59, points[0].second - 59);
    for (size_t i = 1; i < points.size(); i++) cairo_line_to(cr, points[i].first - 59, points[i].second - 59);
    cairo_close_path(cr);
}

void BM_RingFill_Ours(benchmark::State& state) {
    OurPath p;
    FillRing(p, kSegments);
    DrawOurs(state, p.path, 1, 1);
}
void BM_RingFill_Cairo(benchmark::State& state) { DrawCairo(state, CairoRing<kSegments>, 1, 1, 882, 882); }

void BM_RingStroke_Ours(benchmark::State& state) {
    OurPath p;
    FillRing(p, kStrokeSegments);
    GetPathStyle().lineJoin = PATH_JOINROUND;
    DrawOurs(state, p.path, 0, 3);
    GetPathStyle().lineJoin = PATH_JOINMITER;
}
void BM_RingStroke_Cairo(benchmark::State& state) { DrawCairo(state, CairoRing<kStrokeSegments>, 0, 3, 885, 885); }

void BM_TextFill_Ours(benchmark::State& state) {
    Fonts fonts;
    OurPath p;
    FillText(p, fonts.id);
    DrawOurs(state, p.path, 1, 1);
}

void BM_TextStroke_Ours(benchmark::State& state) {
    Fonts fonts;
    OurPath p;
    FillText(p, fonts.id);
    GetPathStyle().lineJoin = PATH_JOINROUND;
    DrawOurs(state, p.path, 0, 2);
    GetPathStyle().lineJoin = PATH_JOINMITER;
}

// Cairo's text path over the same embedded face.
struct CairoText {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    cairo_font_face_t* cf = nullptr;
    CairoText() {
        FT_Init_FreeType(&library);
        int count = 0;
        const qzEmbeddedFace* faces = GetEmbeddedFaces(&count);
        FT_New_Memory_Face(library, faces[0].data, FT_Long(faces[0].size), 0, &face);
        cf = cairo_ft_font_face_create_for_ft_face(face, FT_LOAD_NO_BITMAP);
    }
    void operator()(cairo_t* cr) const {
        cairo_set_font_face(cr, cf);
        cairo_set_font_size(cr, kTextSize);
        for (int line = 0; line < kGlyphLines; line++) {
            cairo_move_to(cr, 10, 30 + 30 * line);
            cairo_text_path(cr, Line(line).c_str());
        }
    }
};

void BM_TextFill_Cairo(benchmark::State& state) {
    static CairoText text;  // the face lives as long as cairo's font cache may keep it
    DrawCairo(state, text, 1, 1, 620, 120);
}
void BM_TextStroke_Cairo(benchmark::State& state) {
    static CairoText text;
    DrawCairo(state, text, 0, 2, 620, 120);
}

}  // namespace

BENCHMARK(BM_RingFill_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RingFill_Cairo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RingStroke_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RingStroke_Cairo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextFill_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextFill_Cairo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextStroke_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextStroke_Cairo)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    auto ratio = [&](const char* what, const char* a, const char* b) {
        double x = recorder.times[a], y = recorder.times[b];
        if (x > 0 && y > 0) std::printf("%s: %.2fx (%.1f / %.1f us)\n", what, x / y, x, y);
    };
    ratio("fill 10,000 segments, ours / cairo", "BM_RingFill_Ours", "BM_RingFill_Cairo");
    ratio("stroke 5,000 segments, ours / cairo", "BM_RingStroke_Ours", "BM_RingStroke_Cairo");
    ratio("fill 200 glyphs, ours / cairo", "BM_TextFill_Ours", "BM_TextFill_Cairo");
    ratio("stroke 200 glyphs, ours / cairo", "BM_TextStroke_Ours", "BM_TextStroke_Cairo");
    return 0;
}
