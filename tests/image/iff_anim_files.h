// IFF ANIM files of solid frames for the anim library and end-to-end tests: 16 pixels wide, two
// planes, the colours red, lime, blue and yellow by index, each later frame a delta against the
// frame two back; and field animations whose deltas each paint one field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_test_util.h"

namespace imgtest {

// 16 x height, two planes, palette red, lime, blue, yellow.
inline std::string SolidIffFirstFrame(int colour, int height) {
    IlbmSpec first;
    first.width = 16;
    first.height = height;
    first.planes = 2;
    first.indices.assign(static_cast<size_t>(16) * height, static_cast<uint8_t>(colour));
    first.cmap = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    return BuildIlbm(first);
}

// An ANHD of the operation with the relative time in jiffies and the bits field.
inline std::string IffAnimHeader(int op, uint32_t jiffies, uint32_t bits) {
    std::string a(40, '\0');
    a[0] = static_cast<char>(op);
    for (int i = 0; i < 4; ++i) a[14 + i] = static_cast<char>(jiffies >> (24 - 8 * i) & 0xFF);
    for (int i = 0; i < 4; ++i) a[20 + i] = static_cast<char>(bits >> (24 - 8 * i) & 0xFF);
    return a;
}

// A DLTA of two planes: the offset table, then the data of plane 0 and plane 1.
inline std::string TwoPlaneDelta(const std::string& plane0, const std::string& plane1) {
    std::string dlta;
    PutBe32(dlta, 64);
    PutBe32(dlta, 64 + static_cast<uint32_t>(plane0.size()));
    return dlta + std::string(56, '\0') + plane0 + plane1;
}

inline std::string IffForm(const std::string& type, const std::string& chunks) {
    std::string f = "FORM";
    PutBe32(f, static_cast<uint32_t>(type.size() + chunks.size()));
    return f + type + chunks;
}

// 16 x 8 frames each in one colour, by index; the deltas are byte vertical (operation 5), 6
// jiffies each.
inline std::string SolidIffAnim(const std::vector<int>& colours) {
    std::string all = SolidIffFirstFrame(colours[0], 8);
    for (size_t n = 1; n < colours.size(); ++n) {
        std::string planes[2];
        for (int p = 0; p < 2; ++p)
            for (int column = 0; column < 2; ++column) {
                planes[p] += std::string("\x01\x88", 2);  // one literal of the column's 8 rows
                planes[p] += std::string(8, colours[n] >> p & 1 ? '\xFF' : '\0');
            }
        std::string chunks;
        PutChunk(chunks, "ANHD", IffAnimHeader(5, 6, 0));
        PutChunk(chunks, "DLTA", TwoPlaneDelta(planes[0], planes[1]));
        all += IffForm("ILBM", chunks);
    }
    return IffForm("ANIM", all);
}

// 16 x 4 frames of field deltas (operation 101 with the field bit): delta n paints its field in
// colours[n], the even rows for odd n and the odd rows for even n. Six colours make four frames.
inline std::string SolidFieldIffAnim(const std::vector<int>& colours) {
    const int height = 4;
    std::string all = SolidIffFirstFrame(colours[0], height);
    for (size_t n = 1; n < colours.size(); ++n) {
        std::string planes[2];
        for (int p = 0; p < 2; ++p) {
            PutBe16(planes[p], 1);                                     // one run
            PutBe16(planes[p], static_cast<uint16_t>(-(height / 2)));  // of literal words, a row apart
            PutBe32(planes[p], n % 2 ? 0 : 2);                         // from the field's first row
            for (int y = 0; y < height / 2; ++y) PutBe16(planes[p], colours[n] >> p & 1 ? 0xFFFF : 0);
        }
        std::string chunks;
        PutChunk(chunks, "ANHD", IffAnimHeader(101, 1, 0x40));
        PutChunk(chunks, "DLTA", TwoPlaneDelta(planes[0], planes[1]));
        all += IffForm("ILBM", chunks);
    }
    return IffForm("ANIM", all);
}

}  // namespace imgtest
