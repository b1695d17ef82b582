// Fonts: opening a face at a size and measuring a 1,000-character string, beside FreeType used
// directly (load every glyph, add advances and kerning); measuring alone with the face open,
// beside cairo's text extents over the same face; and the scan of the system's fonts from fontconfig's cache, beside
// opening every font file of the same folders and reading its name table.
#include <benchmark/benchmark.h>
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_times.h"
#include "text/embedded_fonts.h"
#include "text/font_cache.h"
#include "text/font_engine.h"
#include "text/font_files.h"

namespace {

std::string Text() {
    std::string text;
    const char* words = "The quick brown fox jumps over the lazy dog. AVATAR Wolf Type ";
    while (text.size() < 1000) text += words;
    text.resize(1000);
    return text;
}

const uint8_t* VeraData(size_t* size) {
    int count = 0;
    const qzEmbeddedFace* faces = GetEmbeddedFaces(&count);
    *size = faces[0].size;
    return faces[0].data;
}

void BM_OpenMeasure_Ours(benchmark::State& state) {
    qzFont* topaz = nullptr;
    InitFontSystem(&topaz);
    std::string text = Text();
    for (auto _ : state) {
        qzFont* font = nullptr;
        if (FontEngineOpen("Bitstream Vera Sans", 24, FONTENGINE_INBUILT, 1, 0, &font) != 0) {
            state.SkipWithError("open failed");
            break;
        }
        qzTextExtents e{};
        FontEngineTextExtent(font, text.data(), text.size(), FONTSTYLE_ANTIALIAS, ENCODING_ISO8859_1, &e);
        benchmark::DoNotOptimize(e);
        FontEngineClose(font);
    }
    FreeFontSystem(nullptr);
}

void BM_OpenMeasure_FreeType(benchmark::State& state) {
    FT_Library library;
    FT_Init_FreeType(&library);
    size_t size = 0;
    const uint8_t* data = VeraData(&size);
    std::string text = Text();
    for (auto _ : state) {
        FT_Face face;
        FT_New_Memory_Face(library, data, (FT_Long)size, 0, &face);
        FT_Set_Pixel_Sizes(face, 24, 0);
        FT_Pos pen = 0;
        FT_UInt previous = 0;
        for (unsigned char c : text) {
            FT_UInt index = FT_Get_Char_Index(face, c);
            if (previous && index) {
                FT_Vector k;
                FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &k);
                pen += k.x;
            }
            if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) == 0) pen += face->glyph->advance.x;
            previous = index;
        }
        benchmark::DoNotOptimize(pen);
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
}

// Measuring only, with the face open and its glyphs cached: ours and cairo's text extents.
void BM_Measure_Ours(benchmark::State& state) {
    qzFont* topaz = nullptr;
    InitFontSystem(&topaz);
    std::string text = Text();
    qzFont* font = nullptr;
    if (FontEngineOpen("Bitstream Vera Sans", 24, FONTENGINE_INBUILT, 1, 0, &font) != 0) {
        state.SkipWithError("open failed");
        return;
    }
    for (auto _ : state) {
        qzTextExtents e{};
        FontEngineTextExtent(font, text.data(), text.size(), FONTSTYLE_ANTIALIAS, ENCODING_ISO8859_1, &e);
        benchmark::DoNotOptimize(e);
    }
    FontEngineClose(font);
    FreeFontSystem(nullptr);
}

void BM_Measure_Cairo(benchmark::State& state) {
    FT_Library library;
    FT_Init_FreeType(&library);
    size_t size = 0;
    const uint8_t* data = VeraData(&size);
    std::string text = Text();
    FT_Face face;
    FT_New_Memory_Face(library, data, (FT_Long)size, 0, &face);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 8, 8);
    cairo_font_face_t* cf = cairo_ft_font_face_create_for_ft_face(face, 0);
    cairo_t* cr = cairo_create(surface);
    cairo_set_font_face(cr, cf);
    cairo_set_font_size(cr, 24);
    for (auto _ : state) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, text.c_str(), &e);
        benchmark::DoNotOptimize(e);
    }
    cairo_destroy(cr);
    cairo_font_face_destroy(cf);
    cairo_surface_destroy(surface);
    // cairo may hold the face in its font cache until it is reset; the face and the library
    // stay alive until the process ends.
}

// The folders of the system's fonts, as their files lie.
std::vector<std::string> FontFolders() {
    std::vector<std::string> folders;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator("/usr/share/fonts", ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory()) folders.push_back(it->path().string());
    return folders;
}

void BM_Scan_FontconfigCache(benchmark::State& state) {
    size_t faces = 0;
    for (auto _ : state) {
        FreeFontFileList();
        ScanFontDirectories();
        faces = GetFontFileList().size();
    }
    state.counters["faces"] = (double)faces;
    FreeFontFileList();
}

void BM_Scan_OpenEveryFile(benchmark::State& state) {
    std::vector<std::string> folders = FontFolders();
    size_t faces = 0;
    for (auto _ : state) {
        FreeFontFileList();
        for (const std::string& folder : folders) ScanFontDirectory(folder.c_str());
        faces = GetFontFileList().size();
    }
    state.counters["faces"] = (double)faces;
    FreeFontFileList();
}

}  // namespace

BENCHMARK(BM_OpenMeasure_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenMeasure_FreeType)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Measure_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Measure_Cairo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Scan_FontconfigCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Scan_OpenEveryFile)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    auto ratio = [&](const char* what, const char* a, const char* b) {
        double x = recorder.times[a], y = recorder.times[b];
        if (x > 0 && y > 0) std::printf("%s: %.2fx (%.1f / %.1f us)\n", what, x / y, x, y);
    };
    ratio("open + measure 1000 chars, ours / FreeType directly", "BM_OpenMeasure_Ours", "BM_OpenMeasure_FreeType");
    ratio("measure 1000 chars (face open, glyphs cached), ours / cairo text extents", "BM_Measure_Ours",
          "BM_Measure_Cairo");
    ratio("font scan, fontconfig cache / opening every file", "BM_Scan_FontconfigCache", "BM_Scan_OpenEveryFile");
    return 0;
}
