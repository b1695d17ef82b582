// Helpers of the image format tests: pictures as 0xAARRGGBB words, Netpbm text and binary forms
// in and out, independent decoders (ffmpeg, netpbm, ImageMagick, djpeg) run as child processes,
// and a small builder of IFF ILBM files for cases no tool writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_test_util.h"
#include "platform/vfs.h"

namespace imgtest {

using filetest::Exists;
using filetest::ReadFile;
using filetest::Shell;
using filetest::TempDir;
using filetest::WriteFile;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows packed
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A picture with smooth gradients, hard edges and a little noise: something every codec has to
// work at, and deterministic.
inline Picture TestPattern(int width, int height, uint32_t seed = 1) {
    Picture p;
    p.width = width;
    p.height = height;
    p.pixels.resize(static_cast<size_t>(width) * height);
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            uint32_t noise = (state >> 24) & 15;
            uint32_t r = (x * 255 / (width > 1 ? width - 1 : 1) + noise) & 0xFF;
            uint32_t g = (y * 255 / (height > 1 ? height - 1 : 1)) & 0xFF;
            uint32_t b = ((x / 8 + y / 8) & 1) ? 0xE0 : 0x20;
            p.pixels[static_cast<size_t>(y) * width + x] = r << 16 | g << 8 | b;
        }
    }
    return p;
}

inline std::string PpmBytes(const Picture& p) {
    std::string out = "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
    for (uint32_t c : p.pixels) {
        out += static_cast<char>(c >> 16 & 0xFF);
        out += static_cast<char>(c >> 8 & 0xFF);
        out += static_cast<char>(c & 0xFF);
    }
    return out;
}

// Reads P4, P5, P6 and P7 (GRAYSCALE, RGB, RGB_ALPHA) with maxval 255 or 65535 (high bytes kept).
inline bool ParseNetpbm(const std::string& data, Picture* out) {
    size_t pos = 0;
    auto token = [&]() {
        for (;;) {
            while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
            if (pos < data.size() && data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        size_t start = pos;
        while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
        return data.substr(start, pos - start);
    };
    std::string magic = token();
    int width = 0, height = 0, depth = 3, maxval = 255;
    bool alpha = false;
    if (magic == "P4") {
        width = std::atoi(token().c_str());
        height = std::atoi(token().c_str());
        ++pos;
        size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
        if (width < 1 || height < 1 || data.size() < pos + rowBytes * height) return false;
        out->width = width;
        out->height = height;
        out->pixels.assign(static_cast<size_t>(width) * height, 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                bool black = static_cast<unsigned char>(data[pos + y * rowBytes + x / 8]) >> (7 - x % 8) & 1;
                out->pixels[static_cast<size_t>(y) * width + x] = black ? 0 : 0xFFFFFF;
            }
        }
        return true;
    }
    if (magic == "P5" || magic == "P6") {
        width = std::atoi(token().c_str());
        height = std::atoi(token().c_str());
        maxval = std::atoi(token().c_str());
        depth = magic == "P5" ? 1 : 3;
    } else if (magic == "P7") {
        for (std::string t = token(); t != "ENDHDR" && !t.empty(); t = token()) {
            if (t == "WIDTH") width = std::atoi(token().c_str());
            if (t == "HEIGHT") height = std::atoi(token().c_str());
            if (t == "DEPTH") depth = std::atoi(token().c_str());
            if (t == "MAXVAL") maxval = std::atoi(token().c_str());
            if (t == "TUPLTYPE") alpha = token().find("ALPHA") != std::string::npos;
        }
    } else {
        return false;
    }
    ++pos;  // the single white space before the raster
    int bytes = maxval > 255 ? 2 : 1;
    size_t need = static_cast<size_t>(width) * height * depth * bytes;
    if (width < 1 || height < 1 || data.size() < pos + need) return false;
    out->width = width;
    out->height = height;
    out->pixels.assign(static_cast<size_t>(width) * height, 0);
    const unsigned char* raster = reinterpret_cast<const unsigned char*>(data.data() + pos);
    for (size_t i = 0; i < out->pixels.size(); ++i) {
        uint32_t s[4] = {0, 0, 0, 255};
        for (int c = 0; c < depth && c < 4; ++c) s[c] = raster[(i * depth + c) * bytes];
        uint32_t a = alpha ? s[depth - 1] : 0;
        out->pixels[i] = depth < 3 ? a << 24 | s[0] << 16 | s[0] << 8 | s[0] : a << 24 | s[0] << 16 | s[1] << 8 | s[2];
    }
    return true;
}

inline Picture RunNetpbm(const std::string& command) {
    Picture p;
    ParseNetpbm(Shell(command), &p);
    return p;
}

// ffmpeg's decoder of a file, as 0xAARRGGBB words (bgra bytes on this machine).
inline Picture FfmpegDecode(const std::string& path) {
    Picture p;
    std::string size =
        Shell("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x '" + path + "'");
    if (std::sscanf(size.c_str(), "%dx%d", &p.width, &p.height) != 2) return Picture();
    std::string raw = Shell("ffmpeg -v error -i '" + path + "' -frames:v 1 -f rawvideo -pix_fmt bgra -");
    if (raw.size() != static_cast<size_t>(p.width) * p.height * 4) return Picture();
    p.pixels.resize(static_cast<size_t>(p.width) * p.height);
    std::memcpy(p.pixels.data(), raw.data(), raw.size());
    return p;
}

// The largest difference of one channel between two pictures of the same size (alpha included
// when withAlpha), or 1000 when the sizes differ.
inline int MaxChannelDiff(const Picture& a, const Picture& b, bool withAlpha = false) {
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size() || a.pixels.empty())
        return 1000;
    int worst = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        for (int shift = 0; shift < (withAlpha ? 32 : 24); shift += 8) {
            int d =
                std::abs(static_cast<int>(a.pixels[i] >> shift & 0xFF) - static_cast<int>(b.pixels[i] >> shift & 0xFF));
            if (d > worst) worst = d;
        }
    }
    return worst;
}

// The mean difference per colour channel, for lossy codecs.
inline double MeanChannelDiff(const Picture& a, const Picture& b) {
    if (a.pixels.size() != b.pixels.size() || a.pixels.empty()) return 1000;
    double total = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8)
            total +=
                std::abs(static_cast<int>(a.pixels[i] >> shift & 0xFF) - static_cast<int>(b.pixels[i] >> shift & 0xFF));
    }
    return total / (a.pixels.size() * 3.0);
}

inline Picture FromWords(const uint32_t* pixels, int width, int height) {
    Picture p;
    p.width = width;
    p.height = height;
    p.pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
    return p;
}

inline qzVfsFile* OpenRead(const std::string& path) { return VfsOpen(path.c_str(), QZ_VFS_READ, nullptr); }

// IFF ILBM files built field by field, for masks, EHB, odd plane counts and damaged bodies.
struct IlbmSpec {
    int width = 8;
    int height = 2;
    int planes = 2;
    int masking = 0;
    int compression = 0;  // 0 raw, 1 ByteRun1 (each plane row one literal)
    int transparentIndex = 0;
    std::vector<uint8_t> indices;  // width * height colour indices (planes <= 8)
    std::vector<uint32_t> cmap;    // 0x00RRGGBB entries; empty: no CMAP chunk
    long camg = -1;                // -1: no CAMG chunk
    std::string body;              // when not empty: the BODY data as given
};

inline void PutBe32(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>(v >> shift & 0xFF);
}
inline void PutBe16(std::string& s, uint32_t v) {
    s += static_cast<char>(v >> 8 & 0xFF);
    s += static_cast<char>(v & 0xFF);
}
inline void PutChunk(std::string& s, const char* id, const std::string& data) {
    s += id;
    PutBe32(s, static_cast<uint32_t>(data.size()));
    s += data;
    if (data.size() & 1) s += '\0';
}

// The plane rows of one image row of chunky indices (plane p: bit p of each index).
inline std::string PlaneRow(const IlbmSpec& spec, int y, int plane) {
    int rowBytes = ((spec.width + 15) >> 4) * 2;
    std::string row(static_cast<size_t>(rowBytes), '\0');
    for (int x = 0; x < spec.width; ++x) {
        if (spec.indices[static_cast<size_t>(y) * spec.width + x] >> plane & 1)
            row[x >> 3] |= static_cast<char>(0x80 >> (x & 7));
    }
    return row;
}

inline std::string BuildIlbm(const IlbmSpec& spec) {
    std::string bmhd;
    PutBe16(bmhd, spec.width);
    PutBe16(bmhd, spec.height);
    PutBe32(bmhd, 0);
    bmhd += static_cast<char>(spec.planes);
    bmhd += static_cast<char>(spec.masking);
    bmhd += static_cast<char>(spec.compression);
    bmhd += '\0';
    PutBe16(bmhd, spec.transparentIndex);
    bmhd += '\1';
    bmhd += '\1';
    PutBe16(bmhd, spec.width);
    PutBe16(bmhd, spec.height);
    std::string form = "ILBM";
    PutChunk(form, "BMHD", bmhd);
    if (spec.camg >= 0) {
        std::string camg;
        PutBe32(camg, static_cast<uint32_t>(spec.camg));
        PutChunk(form, "CAMG", camg);
    }
    if (!spec.cmap.empty()) {
        std::string cmap;
        for (uint32_t c : spec.cmap) {
            cmap += static_cast<char>(c >> 16 & 0xFF);
            cmap += static_cast<char>(c >> 8 & 0xFF);
            cmap += static_cast<char>(c & 0xFF);
        }
        PutChunk(form, "CMAP", cmap);
    }
    std::string body = spec.body;
    if (body.empty()) {
        int rowBytes = ((spec.width + 15) >> 4) * 2;
        for (int y = 0; y < spec.height; ++y) {
            for (int p = 0; p < spec.planes + (spec.masking == 1 ? 1 : 0); ++p) {
                std::string row =
                    p < spec.planes ? PlaneRow(spec, y, p) : std::string(static_cast<size_t>(rowBytes), '\xFF');
                if (spec.compression) {
                    for (size_t at = 0; at < row.size(); at += 128) {
                        std::string piece = row.substr(at, 128);
                        body += static_cast<char>(piece.size() - 1);
                        body += piece;
                    }
                } else {
                    body += row;
                }
            }
        }
    }
    PutChunk(form, "BODY", body);
    std::string file = "FORM";
    PutBe32(file, static_cast<uint32_t>(form.size()));
    return file + form;
}

}  // namespace imgtest
