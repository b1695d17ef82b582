// PNG reader on arbitrary bytes: information mode and decoding either succeed with a picture of
// the size they report or fail with an error code, never reading or writing outside their data.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/png_codec.h"
#include "image_fuzz_util.h"

namespace {

// Mutations rarely keep chunk checksums right, and the library rejects a chunk whose checksum is
// wrong before reading it: every chunk's checksum is made right, so the mutated contents are read.
void FixChecksums(std::vector<uint8_t>& bytes) {
    size_t pos = 8;
    while (pos + 12 <= bytes.size()) {
        uint32_t length = uint32_t{bytes[pos]} << 24 | uint32_t{bytes[pos + 1]} << 16 | uint32_t{bytes[pos + 2]} << 8 |
                          bytes[pos + 3];
        if (length > bytes.size() - pos - 12) break;
        uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data() + pos + 4, length + 4));
        size_t at = pos + 8 + length;
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        pos = at + 4;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefuzz::CapAllocations();
    std::vector<uint8_t> bytes(data, data + size);
    FixChecksums(bytes);
    imagefuzz::InputFile input(bytes.data(), bytes.size(), "fuzz.png");
    qzVfsFile* file = input.Open();
    if (!file) return 0;
    int width = 0, height = 0, alpha = 0, error = 0;
    uint32_t* pixels = nullptr;
    LoadPNG(file, 1, &width, &height, &pixels, &alpha, &error);
    if (error == 0 && static_cast<int64_t>(width) * height <= imagefuzz::kMaxDecodedPixels) {
        VfsSeek(file, 0, QZ_VFS_SEEK_BEGINNING);
        LoadPNG(file, 0, &width, &height, &pixels, &alpha, &error);
        if (error == 0) {
            volatile uint32_t sum = 0;
            for (int64_t i = 0; i < static_cast<int64_t>(width) * height; ++i) sum = sum + pixels[i];
            OsFree(pixels);
        }
    }
    VfsClose(file);
    return 0;
}
