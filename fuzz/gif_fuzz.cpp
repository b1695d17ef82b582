// GIF reader on arbitrary bytes: code streams, sub-block sizes, frames off the screen and cut
// files never reach outside the tables, the canvas or the data, read in order or out of it.
#include <cstddef>
#include <cstdint>

#include "image/gif_reader.h"
#include "image_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefuzz::CapAllocations();
    imagefuzz::InputFile input(data, size, "fuzz.gif");
    int width = 0, height = 0, count = 0;
    OpenGifAnim(input.Open(), &width, &height, &count, 1, 0, 0);
    if (static_cast<int64_t>(width) * height > imagefuzz::kMaxDecodedPixels) return 0;
    qzGifReader* reader = OpenGifAnim(input.Open(), &width, &height, &count, 0, size & 1, 1);
    if (!reader) return 0;
    // In order, then the last frame and back to the first.
    const int frames = count < 64 ? count : 64;
    const int order[] = {0, 1, 2, frames - 1, frames / 2, 0};
    for (int i = 0; i < frames + 6; ++i) {
        const int n = i < frames ? i : order[i - frames];
        int pen = 0;
        uint32_t* pixels = LoadGifAnimFrame(reader, n, &pen);
        if (!pixels) continue;
        volatile uint32_t sum = GetGifAnimFrameDelay(reader, n);
        for (int64_t p = 0; p < static_cast<int64_t>(width) * height; ++p) sum = sum + pixels[p];
        OsFree(pixels);
    }
    CloseGifAnim(reader);
    return 0;
}
