// AVI reader on arbitrary bytes: header chunks, index entries and chunk sizes that point past the
// data, and Motion-JPEG frames with broken segments never read outside the file or the buffers,
// in order or out of it.
#include <cstddef>
#include <cstdint>

#include "image/avi_reader.h"
#include "image_fuzz_util.h"
#include "platform/os_alloc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefuzz::CapAllocations();
    imagefuzz::InputFile input(data, size, "fuzz.avi");
    int width = 0, height = 0, count = 0;
    qzAviReader* reader = OpenAviAnim(input.Open(), &width, &height, &count);
    if (!reader) return 0;
    // Every frame is a whole picture: larger ones are only opened, to keep the runs fast.
    if (static_cast<int64_t>(width) * height > imagefuzz::kMaxDecodedPixels / 16) {
        CloseAviAnim(reader);
        return 0;
    }
    // In order, then the last frame, the middle, the first twice and one past the end.
    const int frames = count < 16 ? count : 16;
    const int order[] = {count - 1, frames / 2, 0, 0, count, 1};
    for (int i = 0; i < frames + 6; ++i) {
        const int n = i < frames ? i : order[i - frames];
        uint32_t* pixels = LoadAviAnimFrame(reader, n);
        if (!pixels) continue;
        volatile uint32_t sum = 0;
        for (int64_t p = 0; p < static_cast<int64_t>(width) * height; ++p) sum = sum + pixels[p];
        OsFree(pixels);
    }
    CloseAviAnim(reader);
    return 0;
}
