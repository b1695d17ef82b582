// A 1,000-character text in Bitstream Vera Sans at 16 pixels, anti-aliased, with a shadow and an
// edge of 2, laid out in lines of 100 characters and drawn into a block by the text engine,
// beside cairo drawing the same text from the same face with the same effects (the shadow filled
// at its offset, the edge stroked 2e wide, the text filled) into an ARGB surface of the same
// size, in the same run. Then plain text: one line of 1,000 characters in the same face, anti-aliased,
// printed at the text cursor of a display 10,240 pixels wide (the fast route of plain text; the
// general route's time for the same Print beside it), against cairo's show_text of the same line
// onto an ARGB surface of the same size. A table of ratios (ours / cairo, lower is better) ends
// the run.
#include <benchmark/benchmark.h>

#include <cairo-ft.h>
#include <cairo.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_times.h"
#include "display/display.h"
#include "gfx/blit_display.h"
#include "text/embedded_fonts.h"
#include "text/font_cache.h"
#include "text/font_engine.h"
#include "text/formatted_text.h"
#include "text/text_output.h"

namespace {

// Ten lines of 100 characters.
std::string Text() {
    std::string line;
    const char* words = "The quick brown fox jumps over the lazy dog; ";
    while (line.size() < 100) line += words;
    line.resize(100);
    std::string text;
    for (int i = 0; i < 10; i++) text += line + (i < 9 ? "\n" : "");
    return text;
}

void BM_Print1000_Ours(benchmark::State& state) {
    qzFont* topaz = nullptr;
    InitFontSystem(&topaz);
    qzFont* font = nullptr;
    if (OpenFontWithDefaults(QZ_FONT_SANS, 16, FONTENGINE_INBUILT, 1, 0, &font) != 0) {
        state.SkipWithError("open failed");
        return;
    }
    ResetFontStyleState();
    qzTextStyle ts;
    ts.style = *GetFontStyleState();
    ts.style.font = font;
    ts.style.style = FONTSTYLE_NORMAL | FONTSTYLE_ANTIALIAS | FONTSTYLE_SHADOW | FONTSTYLE_EDGE;
    ts.style.edgeSize = 2;
    ts.style.shadowSize = 4;
    ts.text = Text();
    for (auto _ : state) {
        qzTextBlock block;
        qzTextLayout layout;
        if (RenderTextBlock(nullptr, &ts, TEXTMODE_TEXTOUT, 0, 0, 0, &block, &layout) != 0) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(block.bitmap);
        state.counters["width"] = block.width;
        state.counters["height"] = block.height;
        FreeTextBlock(&block);
    }
    FreeFontSystem(nullptr);
}

void BM_Print1000_Cairo(benchmark::State& state) {
    FT_Library library;
    FT_Init_FreeType(&library);
    int count = 0;
    const qzEmbeddedFace* faces = GetEmbeddedFaces(&count);
    FT_Face face;
    FT_New_Memory_Face(library, faces[0].data, (FT_Long)faces[0].size, 0, &face);
    cairo_font_face_t* cf = cairo_ft_font_face_create_for_ft_face(face, 0);
    const std::string text = Text();
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    const int width = 900, height = 10 * 16 + 8;
    for (auto _ : state) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_t* cr = cairo_create(surface);
        cairo_set_font_face(cr, cf);
        cairo_set_font_size(cr, 16);
        for (size_t i = 0; i < lines.size(); i++) {
            const double y = 2 + 12 + 16.0 * i;
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_move_to(cr, 2 + 4, y + 4);
            cairo_text_path(cr, lines[i].c_str());
            cairo_fill(cr);
            cairo_set_source_rgb(cr, 0, 0.58, 0.87);
            cairo_set_line_width(cr, 4);
            cairo_move_to(cr, 2, y);
            cairo_text_path(cr, lines[i].c_str());
            cairo_stroke(cr);
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_move_to(cr, 2, y);
            cairo_show_text(cr, lines[i].c_str());
        }
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    cairo_font_face_destroy(cf);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

// One line of 1,000 characters.
std::string PlainLine() {
    std::string line;
    while (line.size() < 1000) line += "The quick brown fox jumps over the lazy dog; ";
    line.resize(1000);
    return line;
}

constexpr int kLineDisplayWidth = 10240, kLineDisplayHeight = 24;

// A display of kLineDisplayWidth x kLineDisplayHeight described to the blitters, current while it
// lives; presenting does nothing.
struct LineDisplay {
    static inline qzBlitDisplayInfo* info = nullptr;
    static void* Current() { return info; }
    static void Describe(void*, qzBlitDisplayInfo* out) { *out = *info; }
    static void Present(const qzBitMap*, int, int, void*, int, int, int, int, int, int, uint32_t, const qzBitMap*,
                        const qzBitMap*) {}
    static constexpr qzBlitDisplayHooks kHooks = {Current, Describe, Present};
    qzBlitDisplayInfo own;
    qzDisplay display;
    LineDisplay() {
        own.firstBuffer = CreateBitMap(kLineDisplayWidth, kLineDisplayHeight, 0, nullptr);
        own.secondBuffer = CreateBitMap(kLineDisplayWidth, kLineDisplayHeight, 0, nullptr);
        own.targetWidth = kLineDisplayWidth;
        own.targetHeight = kLineDisplayHeight;
        info = &own;
        SetBlitDisplayHooks(&kHooks);
        display.width = kLineDisplayWidth;
        display.height = kLineDisplayHeight;
        display.textRightMargin = kLineDisplayWidth - 1;
        SetCurrentDisplay(&display);
    }
    ~LineDisplay() {
        SetCurrentDisplay(nullptr);
        SetBlitDisplayHooks(nullptr);
        info = nullptr;
        DeleteBitMap(own.firstBuffer);
        DeleteBitMap(own.secondBuffer);
    }
};

// Prints the line at the start of the display, through the route that flags choose.
void PlainPrint(benchmark::State& state, uint32_t flags) {
    qzFont* topaz = nullptr;
    InitFontSystem(&topaz);
    qzFont* font = nullptr;
    if (OpenFontWithDefaults(QZ_FONT_SANS, 16, FONTENGINE_INBUILT, 1, 0, &font) != 0) {
        state.SkipWithError("open failed");
        return;
    }
    {
        LineDisplay screen;
        ResetFontStyleState();
        qzTextStyle ts;
        ts.x = TEXT_ALIGN_CENTER;
        ts.style = *GetFontStyleState();
        ts.style.font = font;
        ts.style.style = FONTSTYLE_NORMAL | FONTSTYLE_ANTIALIAS;
        ts.text = PlainLine();
        ts.rightMargin = kLineDisplayWidth - 1;
        for (auto _ : state) {
            qzTextStyle print = ts;
            if (RenderFormattedText(nullptr, &print, TEXTMODE_PRINT, 0, nullptr, nullptr, flags, nullptr) != 0) {
                state.SkipWithError("print failed");
                break;
            }
            benchmark::DoNotOptimize(screen.display.textCursorX);
        }
        state.counters["width"] = screen.display.textCursorX;
    }
    FreeFontSystem(nullptr);
}

void BM_PlainPrint1000_Ours(benchmark::State& state) { PlainPrint(state, 0); }
void BM_PlainPrint1000_General(benchmark::State& state) { PlainPrint(state, TEXTRENDER_GENERALPATH); }

void BM_PlainPrint1000_Cairo(benchmark::State& state) {
    FT_Library library;
    FT_Init_FreeType(&library);
    int count = 0;
    const qzEmbeddedFace* faces = GetEmbeddedFaces(&count);
    FT_Face face;
    FT_New_Memory_Face(library, faces[0].data, (FT_Long)faces[0].size, 0, &face);
    cairo_font_face_t* cf = cairo_ft_font_face_create_for_ft_face(face, 0);
    const std::string line = PlainLine();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kLineDisplayWidth, kLineDisplayHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_font_face(cr, cf);
    cairo_set_font_size(cr, 16);
    cairo_set_source_rgb(cr, 1, 1, 1);
    for (auto _ : state) {
        cairo_move_to(cr, 0, 13);
        cairo_show_text(cr, line.c_str());
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    cairo_font_face_destroy(cf);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

}  // namespace

BENCHMARK(BM_Print1000_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Print1000_Cairo)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainPrint1000_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainPrint1000_General)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainPrint1000_Cairo)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::FunctionTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-16s %9s %9s %11s\n", "text", "ours ms", "cairo ms", "ours/cairo");
    for (const auto& [name, ms] : reporter.times) {
        const size_t cut = name.rfind("_Ours");
        if (cut == std::string::npos) continue;
        auto it = reporter.times.find(name.substr(0, cut) + "_Cairo");
        if (it == reporter.times.end() || it->second <= 0) continue;
        std::printf("%-16s %9.3f %9.3f %11.2f\n", name.substr(3, cut - 3).c_str(), ms, it->second, ms / it->second);
    }
    const auto fast = reporter.times.find("BM_PlainPrint1000_Ours"),
               general = reporter.times.find("BM_PlainPrint1000_General");
    if (fast != reporter.times.end() && general != reporter.times.end() && general->second > 0)
        std::printf("\nplain Print, fast route / general route: %.3f / %.3f ms = %.2f\n", fast->second, general->second,
                    fast->second / general->second);
    benchmark::Shutdown();
    return 0;
}
