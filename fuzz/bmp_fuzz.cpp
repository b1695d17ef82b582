// BMP reader on arbitrary bytes: palettes, bit fields and RLE8 escapes never reach outside the
// palette, the picture or the data.
#include <cstddef>
#include <cstdint>

#include "image/bmp_reader.h"
#include "image_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefuzz::CapAllocations();
    imagefuzz::InputFile input(data, size, "fuzz.bmp");
    qzVfsFile* file = input.Open();
    if (!file) return 0;
    int width = 0, height = 0;
    uint32_t* pixels = nullptr;
    if (LoadBMP(file, 1, &width, &height, &pixels) == 0 &&
        static_cast<int64_t>(width) * height <= imagefuzz::kMaxDecodedPixels) {
        VfsSeek(file, 0, QZ_VFS_SEEK_BEGINNING);
        if (LoadBMP(file, 0, &width, &height, &pixels) == 0) {
            volatile uint32_t sum = 0;
            for (int64_t i = 0; i < static_cast<int64_t>(width) * height; ++i) sum = sum + pixels[i];
            OsFree(pixels);
        }
    }
    VfsClose(file);
    return 0;
}
