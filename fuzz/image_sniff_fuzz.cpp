// The inbuilt loader on arbitrary bytes: the header parsers of the information mode and the
// choice of reader by the first bytes, in both modes, with the inbuilt readers only.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/image_load.h"
#include "image_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefuzz::CapAllocations();
    imagefuzz::InputFile input(data, size, "fuzz.img");
    if (!input.Valid()) return 0;
    // The parsers straight on the first bytes, as the loader reads them.
    if (qzVfsFile* file = input.Open()) {
        uint8_t buffer[QZ_SNIFF_BUFFER_BYTES] = {};
        std::memcpy(buffer, data, size < QZ_SNIFF_HEADER_BYTES ? size : QZ_SNIFF_HEADER_BYTES);
        int width, height, alpha;
        int32_t transparent = 0;
        ParseImageHeader(file, buffer, &width, &height, &alpha, &transparent);
        (void)ClassifyImageKind(buffer);
        VfsClose(file);
    }
    int width = 0, height = 0, alpha = 0, native = 0;
    int32_t transparent = 0;
    if (LoadImageInbuilt(input.Name().c_str(), "inbuilt", nullptr, nullptr, -1, 0, nullptr, nullptr, &transparent,
                         &width, &height, &alpha, &native) != 0)
        return 0;
    if (static_cast<int64_t>(width) * height > imagefuzz::kMaxDecodedPixels) return 0;
    qzImageHandle* handle = nullptr;
    uint32_t* palette = nullptr;
    if (LoadImageInbuilt(input.Name().c_str(), "inbuilt", nullptr, nullptr, -1, data[0] & 3 ? 2 : 1, &handle, &palette,
                         &transparent, &width, &height, &alpha, &native) == 0) {
        volatile uint32_t sum = 0;
        const uint32_t* pixels = GetImagePixels(handle);
        for (int64_t i = 0; i < static_cast<int64_t>(width) * height; ++i) sum = sum + pixels[i];
        FreeImageHandle(handle);
        OsFree(palette);
    }
    return 0;
}
