// JPEG reader on arbitrary bytes, from memory and from a file: any data decodes to a picture of
// the size the header gives or fails with an error code; a stream that ends early decodes as far
// as it reaches.
#include <cstddef>
#include <cstdint>

#include "image/jpeg_codec.h"
#include "image_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefuzz::CapAllocations();
    if (size == 0) return 0;
    int width = 0, height = 0;
    uint32_t* pixels = nullptr;
    if (LoadJPEG(data, size, 1, &width, &height, &pixels) != 0) return 0;
    if (static_cast<int64_t>(width) * height > imagefuzz::kMaxDecodedPixels) return 0;
    // The memory source for even first bytes, the file source for odd ones: both paths are fuzzed.
    int rc;
    if (data[size - 1] & 1) {
        imagefuzz::InputFile input(data, size, "fuzz.jpg");
        qzVfsFile* file = input.Open();
        if (!file) return 0;
        rc = LoadJPEG(file, 0, 0, &width, &height, &pixels);
        VfsClose(file);
    } else {
        rc = LoadJPEG(data, size, 0, &width, &height, &pixels);
    }
    if (rc == 0) {
        volatile uint32_t sum = 0;
        for (int64_t i = 0; i < static_cast<int64_t>(width) * height; ++i) sum = sum + pixels[i];
        OsFree(pixels);
    }
    return 0;
}
