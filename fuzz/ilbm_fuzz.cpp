// ILBM reader on arbitrary bytes, with the transparency choices taken from the last byte; and the
// ByteRun1 packer on the input as a row: its output unpacks to the row again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/ilbm.h"
#include "image/ilbm_body.h"
#include "image_fuzz_util.h"

namespace {

void CheckPackRoundTrip(const uint8_t* data, size_t size) {
    if (size == 0 || size > 4096) return;
    std::vector<uint8_t> packed(ByteRun1WorstCase(size));
    size_t used = PackByteRun1Row(data, size, packed.data());
    if (used > packed.size()) std::abort();
    std::vector<uint8_t> row;
    for (size_t i = 0; i < used;) {
        int8_t n = static_cast<int8_t>(packed[i++]);
        if (n >= 0) {
            row.insert(row.end(), packed.begin() + i, packed.begin() + i + n + 1);
            i += n + 1;
        } else if (n != -128) {
            row.insert(row.end(), static_cast<size_t>(1 - n), packed[i++]);
        }
    }
    if (row.size() != size || !std::equal(row.begin(), row.end(), data)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefuzz::CapAllocations();
    CheckPackRoundTrip(data, size);
    imagefuzz::InputFile input(data, size, "fuzz.iff");
    qzVfsFile* file = input.Open();
    if (!file) return 0;
    const uint8_t flags = data[size - 1];
    static const uint32_t kCallerPalette[] = {0x112233, 0x445566, 0xFFFFFFFF};
    int width = 0, height = 0;
    int32_t transparent = 0;
    uint32_t* pixels = nullptr;
    uint32_t* palette = nullptr;
    if (LoadILBM(file, 1, nullptr, -1, 0, 0, nullptr, &width, &height, nullptr, nullptr) == 0 &&
        static_cast<int64_t>(width) * height <= imagefuzz::kMaxDecodedPixels) {
        VfsSeek(file, 0, QZ_VFS_SEEK_BEGINNING);
        int rc = LoadILBM(file, 0, (flags & 8) ? kCallerPalette : nullptr, (flags & 4) ? 0x00FF00 : -1, flags & 1,
                          (flags >> 1) & 1, &transparent, &width, &height, &pixels, &palette);
        if (rc == 0) {
            volatile uint32_t sum = 0;
            for (int64_t i = 0; i < static_cast<int64_t>(width) * height; ++i) sum = sum + pixels[i];
            OsFree(pixels);
            OsFree(palette);
        }
    }
    VfsClose(file);
    return 0;
}
