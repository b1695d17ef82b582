// The fonts installed on the system, through fontconfig and FreeType: the list of faces that
// fontconfig knows (read from its cache, no font file is opened), and the system font engine
// that opens a face by its full name or from a font file's bytes, picks the point size whose
// capital "A" is as tall as the requested pixel size, and measures and renders text with bold,
// italic and underline from a real face of the family when there is one, else emboldened,
// sheared and underlined from the face's own underline metrics.
//
// fontconfig reads its configuration the way it always does (FONTCONFIG_FILE, FONTCONFIG_PATH,
// the system and user files); OsResetSystemFonts drops what was read so that the next call
// reads it again, which lets tests point FONTCONFIG_FILE at a fixture configuration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One face as fontconfig lists it.
struct qzSystemFace {
    std::string family;  // the first (preferred) family name
    std::string style;   // the first style name
    std::string path;    // the font file
    int index;           // face index inside the file
};

// Every face fontconfig knows, in its list order. False when fontconfig cannot be set up.
bool OsListSystemFaces(std::vector<qzSystemFace>* out);
// Drops the fontconfig configuration and every cached answer.
void OsResetSystemFonts();

// Style bits the system engine reads.
enum {
    SYSFONT_BOLD = 2,
    SYSFONT_ITALIC = 4,
    SYSFONT_UNDERLINE = 8,
    SYSFONT_ANTIALIAS = 16,
};

struct qzSystemFont;

// What an open system font reports.
struct qzSystemFontInfo {
    std::string name;  // the face's full name
    int height;        // line height in pixels at the chosen size
    int baseline;      // pixels from the top of the line to the baseline
};

// Opens a system font: by full name (matched exactly by fontconfig, never a substitute), or from
// the bytes of a font file (`data`, `size`), which the font takes over and frees with OsFree.
// Returns null when the name is unknown or the face cannot be opened or sized.
qzSystemFont* OsOpenSystemFont(const char* fullName, unsigned char* data, size_t size, int pixelSize,
                               qzSystemFontInfo* info);
void OsCloseSystemFont(qzSystemFont* font);

// Measures text (code points) with the style bits and scale factors: the pen advance and the
// inked box relative to the pen origin on the baseline (min y negative above the baseline).
struct qzSystemTextBox {
    int advance;
    int minx, miny, maxx, maxy;
};
void OsMeasureSystemText(qzSystemFont* font, const uint32_t* codes, size_t count, int style, double scalex,
                         double scaley, qzSystemTextBox* out);

// Renders text into a coverage image (one byte a pixel, 0..255; 0 or 255 only without
// SYSFONT_ANTIALIAS) whose top-left pixel lies at (left, top) from the pen origin on the baseline.
struct qzSystemTextImage {
    std::vector<uint8_t> coverage;
    int width = 0;
    int height = 0;
    int left = 0;
    int top = 0;
};
void OsRenderSystemText(qzSystemFont* font, const uint32_t* codes, size_t count, int style, double scalex,
                        double scaley, qzSystemTextImage* out);
