// Font file readers on arbitrary input: the disk bitmap font loader (then rendering and measuring
// with what it loaded), the name-table reader of the font-folder scan on ".ttf", ".ttc" and
// ".dfont" files, and UTF-8 decoding. The first byte picks the reader; the rest is the file.
// None may read outside its data, allocate what a header merely claims, or leak.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "gfx/bitmap.h"
#include "text/bitmap_font.h"
#include "text/font_files.h"
#include "text/utf8_decode.h"

namespace {

std::string Folder() {
    static std::string folder;
    if (folder.empty()) {
        char pattern[] = "/tmp/qzfontfuzz-XXXXXX";
        folder = mkdtemp(pattern);
        std::string sub = folder + "/f";
        mkdir(sub.c_str(), 0700);
        // A contents file with one entry: size 13 in f/13.
        unsigned char contents[4 + 260] = {0x0F, 0x00, 0x00, 0x01};
        std::snprintf(reinterpret_cast<char*>(contents + 4), 256, "f/13");
        contents[4 + 257] = 13;
        FILE* f = std::fopen((folder + "/f.font").c_str(), "wb");
        std::fwrite(contents, 1, sizeof contents, f);
        std::fclose(f);
    }
    return folder;
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::string folder = Folder();
    int mode = data[0] % 5;
    data++;
    size--;
    if (mode == 0) {
        Write(folder + "/f/13", data, size);
        qzFont font{};
        if (LoadDiskFont((folder + "/f").c_str(), 13, &font, "f")) {
            qzBitMap* colour = CreateBitMap(37, 21, 0, nullptr);
            qzBitMap* mask = CreateMaskBitMap(nullptr, 37, 21, 1, nullptr, 0);
            const char text[] = "Ag\x01\xff Wq";
            qzFontClip clip{3, 2, 30, 15};
            RenderBitmapFontText(&font, colour, mask, -5, -3, text, sizeof text - 1, 0, 0, nullptr, FONT_NO_COLOR);
            RenderBitmapFontText(&font, colour, nullptr, 20, 10, text, sizeof text - 1, 0, 0, &clip, 0x123456);
            RenderBitmapFontText(&font, nullptr, mask, 30, 15, text, sizeof text - 1, 0, 0, nullptr, FONT_NO_COLOR);
            qzTextExtents e{};
            BitmapTextExtent(&font, text, sizeof text - 1, 0, 0, &e);
            DeleteBitMap(colour);
            DeleteMaskBitMap(mask);
            CloseBitmapFont(&font);
        }
    } else if (mode <= 3) {
        static const char* const kNames[] = {"", "face.ttc", "face.dfont", "face.ttf"};
        std::string scan = folder + "/scan";
        mkdir(scan.c_str(), 0700);
        Write(scan + "/" + kNames[mode], data, size);
        ScanFontDirectory(scan.c_str());
        FreeFontFileList();
        unlink((scan + "/" + kNames[mode]).c_str());
    } else {
        qzCodepoints codes(reinterpret_cast<const char*>(data), size, ENCODING_UTF8);
        (void)codes.count;
    }
    return 0;
}
