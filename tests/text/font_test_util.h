// What the font tests share: a temporary folder, a reader for the glyphs of Debian's PCF fonts
// (xfonts-base), a writer of disk bitmap fonts in the player's format (contents file and font
// files), an isolated fontconfig configuration, and a runner for python3 with fontTools.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "platform/system_fonts.h"
#include "text/font_cache.h"
#include "text/font_engine.h"

namespace fonttest {

namespace fs = std::filesystem;

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
}

// Runs a shell command and returns its standard output.
inline std::string RunShell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
    return out;
}

// A fresh temporary folder for one test, removed when the test ends.
struct TempDir {
    std::string path;
    TempDir() {
        char pattern[] = "/tmp/qzfonts-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// ---------------------------------------------------------------------------------------------
// PCF fonts.

struct PcfGlyph {
    int left = 0, right = 0, advance = 0, ascent = 0, descent = 0;
    std::vector<std::vector<uint8_t>> pixels;  // ascent + descent rows of right - left columns
    bool Ink(int column, int row) const { return pixels[row][column] != 0; }
};

struct PcfFont {
    int ascent = 0, descent = 0;
    std::map<uint32_t, PcfGlyph> glyphs;
};

inline uint32_t PcfWord(const std::vector<uint8_t>& d, size_t at, bool msb, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++) v = msb ? v << 8 | d[at + i] : v | (uint32_t)d[at + i] << (8 * i);
    return v;
}

// Reads a gzip-compressed PCF font of Debian's xfonts-base.
inline PcfFont ReadPcf(const std::string& path) {
    PcfFont font;
    std::vector<uint8_t> d;
    gzFile gz = gzopen(path.c_str(), "rb");
    if (!gz) return font;
    uint8_t buffer[65536];
    int n;
    while ((n = gzread(gz, buffer, sizeof buffer)) > 0) d.insert(d.end(), buffer, buffer + n);
    gzclose(gz);
    std::map<uint32_t, std::pair<uint32_t, uint32_t>> toc;  // type -> format, offset
    uint32_t tables = PcfWord(d, 4, false, 4);
    for (uint32_t i = 0; i < tables; i++)
        toc[PcfWord(d, 8 + 16 * i, false, 4)] = {PcfWord(d, 12 + 16 * i, false, 4), PcfWord(d, 20 + 16 * i, false, 4)};
    auto table = [&](uint32_t type, uint32_t* format, bool* msb) {
        uint32_t off = toc[type].second;
        *format = PcfWord(d, off, false, 4);
        *msb = *format & 4;
        return off;
    };
    uint32_t format;
    bool msb;
    // Metrics.
    uint32_t off = table(4, &format, &msb);
    std::vector<PcfGlyph> metrics;
    if (format & 0x100) {
        uint32_t count = PcfWord(d, off + 4, msb, 2);
        for (uint32_t i = 0; i < count; i++) {
            PcfGlyph g;
            size_t at = off + 6 + 5 * i;
            g.left = d[at] - 0x80;
            g.right = d[at + 1] - 0x80;
            g.advance = d[at + 2] - 0x80;
            g.ascent = d[at + 3] - 0x80;
            g.descent = d[at + 4] - 0x80;
            metrics.push_back(g);
        }
    } else {
        uint32_t count = PcfWord(d, off + 4, msb, 4);
        for (uint32_t i = 0; i < count; i++) {
            PcfGlyph g;
            size_t at = off + 8 + 12 * i;
            g.left = (int16_t)PcfWord(d, at, msb, 2);
            g.right = (int16_t)PcfWord(d, at + 2, msb, 2);
            g.advance = (int16_t)PcfWord(d, at + 4, msb, 2);
            g.ascent = (int16_t)PcfWord(d, at + 6, msb, 2);
            g.descent = (int16_t)PcfWord(d, at + 8, msb, 2);
            metrics.push_back(g);
        }
    }
    // Bitmaps.
    off = table(8, &format, &msb);
    uint32_t count = PcfWord(d, off + 4, msb, 4);
    size_t bits = off + 8 + 4 * count + 16;
    int pad = 1 << (format & 3);
    bool msbBit = format & 8;
    for (uint32_t i = 0; i < count && i < metrics.size(); i++) {
        PcfGlyph& g = metrics[i];
        int width = g.right - g.left, rows = g.ascent + g.descent;
        int stride = ((width + 7) / 8 + pad - 1) / pad * pad;
        size_t start = bits + PcfWord(d, off + 8 + 4 * i, msb, 4);
        g.pixels.assign(rows, std::vector<uint8_t>(width, 0));
        for (int r = 0; r < rows; r++)
            for (int c = 0; c < width; c++) {
                uint8_t byte = d[start + r * stride + c / 8];
                g.pixels[r][c] = msbBit ? (byte >> (7 - c % 8)) & 1 : (byte >> (c % 8)) & 1;
            }
    }
    // Encodings.
    off = table(0x20, &format, &msb);
    uint32_t min2 = PcfWord(d, off + 4, msb, 2), max2 = PcfWord(d, off + 6, msb, 2);
    uint32_t min1 = PcfWord(d, off + 8, msb, 2), max1 = PcfWord(d, off + 10, msb, 2);
    for (uint32_t b1 = min1; b1 <= max1; b1++)
        for (uint32_t b2 = min2; b2 <= max2; b2++) {
            uint32_t index = PcfWord(d, off + 14 + 2 * ((b1 - min1) * (max2 - min2 + 1) + b2 - min2), msb, 2);
            if (index != 0xFFFF && index < metrics.size()) font.glyphs[b1 * 256 + b2] = metrics[index];
        }
    // Accelerators: the font's ascent and descent.
    off = toc.count(0x100) ? table(0x100, &format, &msb) : table(2, &format, &msb);
    font.ascent = (int32_t)PcfWord(d, off + 12, msb, 4);
    font.descent = (int32_t)PcfWord(d, off + 16, msb, 4);
    return font;
}

// ---------------------------------------------------------------------------------------------
// Disk bitmap fonts, written in the player's format (values big-endian, pointers counted from
// file offset 32).

struct DiskFont {
    uint32_t ysize = 0, xsize = 0, baseline = 0, lochar = 32, hichar = 126, flags = 0, style = 0;
    uint32_t modulo = 0;
    std::vector<uint8_t> chardata;
    std::vector<uint32_t> charloc;
    std::vector<int16_t> charspace, charkern;
    // Colour fonts (style bit 6).
    int depth = 0, planePick = 0xFF, planeOnOff = 0;
    std::vector<uint16_t> colors;
    std::vector<std::vector<uint8_t>> planes;
    uint16_t colorCountOverride = 0;  // a colour count other than colors.size() (0: none)
};

inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = (uint8_t)(v >> 8);
    b[at + 1] = (uint8_t)v;
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v >> 16);
    Put16(b, at + 2, v & 0xFFFF);
}

inline std::vector<uint8_t> WriteDiskFontFile(const DiskFont& f) {
    bool colour = f.style & 64;
    std::vector<uint8_t> b(colour ? 186 : 142, 0);
    Put16(b, 50, 0x0F80);
    auto append = [&](const std::vector<uint8_t>& bytes) {
        uint32_t pointer = (uint32_t)(b.size() - 32);
        b.insert(b.end(), bytes.begin(), bytes.end());
        return pointer;
    };
    auto words16 = [](const std::vector<int16_t>& v) {
        std::vector<uint8_t> out(v.size() * 2);
        for (size_t i = 0; i < v.size(); i++) Put16(out, 2 * i, (uint16_t)v[i]);
        return out;
    };
    std::vector<uint8_t> loc(f.charloc.size() * 4);
    for (size_t i = 0; i < f.charloc.size(); i++) Put32(loc, 4 * i, f.charloc[i]);
    uint32_t chardata = append(f.chardata);
    uint32_t charloc = append(loc);
    uint32_t charspace = f.charspace.empty() ? 0 : append(words16(f.charspace));
    uint32_t charkern = f.charkern.empty() ? 0 : append(words16(f.charkern));
    size_t d = 110;
    Put16(b, d, f.ysize);
    b[d + 2] = (uint8_t)f.style;
    b[d + 3] = (uint8_t)f.flags;
    Put16(b, d + 4, f.xsize);
    Put16(b, d + 6, f.baseline);
    Put16(b, d + 8, 1);
    b[d + 12] = (uint8_t)f.lochar;
    b[d + 13] = (uint8_t)f.hichar;
    Put32(b, d + 14, chardata);
    Put16(b, d + 18, f.modulo);
    Put32(b, d + 20, charloc);
    Put32(b, d + 24, charspace);
    Put32(b, d + 28, charkern);
    if (colour) {
        std::vector<int16_t> colors(f.colors.begin(), f.colors.end());
        uint32_t colorData = append(words16(colors));
        std::vector<uint8_t> table(8, 0);
        Put16(table, 2, f.colorCountOverride ? f.colorCountOverride : (uint32_t)f.colors.size());
        Put32(table, 4, colorData);
        uint32_t colorTable = append(table);
        std::vector<uint32_t> planePointers;
        for (const auto& plane : f.planes) planePointers.push_back(append(plane));
        size_t e = 142;
        b[e + 2] = (uint8_t)f.depth;
        b[e + 6] = (uint8_t)f.planePick;
        b[e + 7] = (uint8_t)f.planeOnOff;
        Put32(b, e + 8, colorTable);
        for (size_t p = 0; p < planePointers.size() && p < 8; p++) Put32(b, e + 12 + 4 * p, planePointers[p]);
    }
    return b;
}

inline std::vector<uint8_t> WriteContentsFile(uint16_t id, const std::vector<std::pair<std::string, int>>& entries) {
    std::vector<uint8_t> b(4 + 260 * entries.size(), 0);
    Put16(b, 0, id);
    Put16(b, 2, (uint32_t)entries.size());
    for (size_t i = 0; i < entries.size(); i++) {
        std::memcpy(&b[4 + 260 * i], entries[i].first.c_str(), std::min<size_t>(entries[i].first.size(), 255));
        Put16(b, 4 + 260 * i + 256, (uint32_t)entries[i].second);
    }
    return b;
}

// ---------------------------------------------------------------------------------------------
// Bitmaps.

struct OwnedBitMap {
    qzBitMap* bitmap = nullptr;
    int kind = BITMAP_COLOR;
    OwnedBitMap(int k, int width, int height) : kind(k) {
        if (k == BITMAP_COLOR)
            bitmap = CreateBitMap(width, height, 0, nullptr);
        else if (k == BITMAP_MASK)
            bitmap = CreateMaskBitMap(nullptr, width, height, 1, nullptr, 0);
        else
            bitmap = CreateAlphaBitMap(width, height, 1, nullptr, 0);
    }
    ~OwnedBitMap() {
        if (kind == BITMAP_COLOR)
            DeleteBitMap(bitmap);
        else if (kind == BITMAP_MASK)
            DeleteMaskBitMap(bitmap);
        else
            DeleteAlphaBitMap(bitmap);
    }
    OwnedBitMap(const OwnedBitMap&) = delete;
    OwnedBitMap& operator=(const OwnedBitMap&) = delete;
    // A mask bit, an alpha byte, or a colour pixel as 0x00RRGGBB.
    uint32_t At(int x, int y) const {
        if (kind == BITMAP_COLOR) return ReadBitMapPixel(bitmap, x, y, 0);
        qzLockInfo lock;
        if (!LockBitMapPixels(bitmap, LOCKF_READONLY, &lock)) return 0;
        const uint8_t* row = static_cast<const uint8_t*>(lock.pixels) + (int64_t)y * lock.rowLength;
        uint32_t v = kind == BITMAP_MASK ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x];
        UnlockBitMapPixels(&lock);
        return v;
    }
    void Fill(uint32_t rgb) {
        std::vector<uint32_t> pixels((size_t)bitmap->width * bitmap->height, rgb);
        WriteARGBToBitMap(pixels.data(), 0, 0, bitmap->width * 4, bitmap, 0, 0, bitmap->width, bitmap->height);
    }
    // How many pixels are set (mask, alpha) or differ from rgb (colour).
    int Count(uint32_t rgb = 0) const {
        int n = 0;
        for (int y = 0; y < bitmap->height; y++)
            for (int x = 0; x < bitmap->width; x++) n += kind == BITMAP_COLOR ? At(x, y) != rgb : At(x, y) != 0;
        return n;
    }
};

// ---------------------------------------------------------------------------------------------
// The font system of one test: engines started, everything freed at the end; fontconfig sees only
// the given folder (an empty one by default).

struct FontSystem {
    TempDir fontconfigDir;
    std::string fontFolder;
    qzFont* topaz = nullptr;
    explicit FontSystem(const std::string& systemFolder = "") {
        fontFolder = systemFolder.empty() ? fontconfigDir / "fonts" : systemFolder;
        fs::create_directories(fontFolder);
        std::ofstream conf(fontconfigDir / "fonts.conf");
        conf << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n<dir>" << fontFolder
             << "</dir>\n<cachedir>" << (fontconfigDir / "cache") << "</cachedir>\n</fontconfig>\n";
        conf.close();
        setenv("FONTCONFIG_FILE", (fontconfigDir / "fonts.conf").c_str(), 1);
        OsResetSystemFonts();
        EXPECT_EQ(InitFontSystem(&topaz), 0);
    }
    ~FontSystem() {
        FreeFontSystem(nullptr);
        OsResetSystemFonts();
        unsetenv("FONTCONFIG_FILE");
    }
};

inline const std::string kVeraDir = "/usr/share/fonts/truetype/ttf-bitstream-vera";

}  // namespace fonttest
