// Helpers for the pixel-engine tests: synthetic test pictures, PPM files, and ImageMagick or
// libjpeg-turbo's tools run on the same pixels as independent oracles.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace gfxtest {

// 0x00RRGGBB pixels, rows packed.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    uint32_t& at(int x, int y) { return px[(size_t)y * width + x]; }
    uint32_t at(int x, int y) const { return px[(size_t)y * width + x]; }
};

inline int R(uint32_t c) { return (c >> 16) & 255; }
inline int G(uint32_t c) { return (c >> 8) & 255; }
inline int B(uint32_t c) { return c & 255; }
inline uint32_t Rgb(int r, int g, int b) { return (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b; }

// A photo-like picture: smooth colour ramps, a few hard-edged shapes and a little noise, so that
// blurs, edges and histograms all have something to work on.
inline Picture TestPicture(int w, int h, uint32_t seed = 1) {
    Picture p;
    p.width = w, p.height = h;
    p.px.resize((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            seed = seed * 1664525u + 1013904223u;
            int noise = (int)(seed >> 28) - 8;
            int r = 40 + 170 * x / (w - 1) + noise;
            int g = 30 + 190 * y / (h - 1) - noise;
            int b = 200 - 150 * (x + y) / (w + h - 2) + noise / 2;
            int dx = x - w / 3, dy = y - h / 2;
            if (dx * dx + dy * dy < (h / 4) * (h / 4)) r = 230, g = 60 + noise, b = 40;
            if (x > 2 * w / 3 && x < 2 * w / 3 + w / 8 && y > h / 5 && y < 4 * h / 5) r = g = b = 20 + noise;
            auto c = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
            p.at(x, y) = Rgb(c(r), c(g), c(b));
        }
    return p;
}

// A fresh temporary directory, removed with its contents at the end of the scope.
struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/qzgfxtest.XXXXXX";
        const char* p = mkdtemp(tmpl);
        path = p ? p : "/tmp";
    }
    ~TempDir() {
        std::string cmd = "rm -rf '" + path + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
    std::string File(const std::string& name) const { return path + "/" + name; }
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WritePpm(const std::string& path, const Picture& p) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << p.width << " " << p.height << "\n255\n";
    for (uint32_t c : p.px) {
        char rgb[3] = {(char)R(c), (char)G(c), (char)B(c)};
        out.write(rgb, 3);
    }
}

// Reads a binary PPM (P6, maxval 255) or PGM (P5); an empty picture when unreadable.
inline Picture ReadPnm(const std::string& path) {
    Picture p;
    std::string data = ReadFile(path);
    std::istringstream in(data);
    std::string magic;
    int maxval = 0;
    in >> magic >> p.width >> p.height >> maxval;
    if ((magic != "P6" && magic != "P5") || maxval != 255 || p.width < 1 || p.height < 1) return Picture{};
    in.get();
    size_t channels = magic == "P6" ? 3 : 1;
    size_t offset = (size_t)in.tellg();
    if (data.size() < offset + (size_t)p.width * p.height * channels) return Picture{};
    p.px.resize((size_t)p.width * p.height);
    const unsigned char* d = (const unsigned char*)data.data() + offset;
    for (size_t i = 0; i < p.px.size(); i++, d += channels)
        p.px[i] = channels == 3 ? Rgb(d[0], d[1], d[2]) : Rgb(d[0], d[0], d[0]);
    return p;
}

inline int Run(const std::string& cmd) { return std::system((cmd + " 2>/dev/null").c_str()); }

// ImageMagick's `convert in.ppm <options> out.ppm` on the picture.
inline Picture Magick(const Picture& in, const std::string& options) {
    TempDir dir;
    WritePpm(dir.File("in.ppm"), in);
    std::string cmd = "convert " + dir.File("in.ppm") + " " + options + " -depth 8 " + dir.File("out.ppm");
    EXPECT_EQ(Run(cmd), 0) << cmd;
    return ReadPnm(dir.File("out.ppm"));
}

// Largest channel difference between two pictures of the same size, and where it is.
inline int MaxDifference(const Picture& a, const Picture& b, int* atX = nullptr, int* atY = nullptr) {
    if (a.width != b.width || a.height != b.height) return 256;
    int worst = 0;
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++) {
            uint32_t p = a.at(x, y), q = b.at(x, y);
            int d = std::max({std::abs(R(p) - R(q)), std::abs(G(p) - G(q)), std::abs(B(p) - B(q))});
            if (d > worst) {
                worst = d;
                if (atX) *atX = x;
                if (atY) *atY = y;
            }
        }
    return worst;
}

}  // namespace gfxtest
