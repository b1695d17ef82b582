// IFF ANIM reader and delta decoder on arbitrary bytes: chunk sizes past the file, delta data that
// runs out, positions and counts outside the picture, field animations; every frame read in order,
// then out of order, never reaches outside the planes, the delta data or the palette.
#include <cstddef>
#include <cstdint>

#include "anim/iff_anim.h"
#include "image_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    imagefuzz::CapAllocations();
    imagefuzz::InputFile input(data, size, "fuzz.anim");
    int width = 0, height = 0, count = 0;
    const int deinterlace = size & 1 ? QZ_DEINTERLACE_DOUBLE : QZ_DEINTERLACE_DEFAULT;
    qzIffAnimReader* reader = OpenIffAnim(input.Open(), deinterlace, &width, &height, &count, (size >> 1) & 1);
    if (!reader) return 0;
    // Every frame is a whole picture: larger ones are only opened.
    if (static_cast<int64_t>(width) * height <= imagefuzz::kMaxDecodedPixels / 16) {
        const int frames = count < 12 ? count : 12;
        const int order[] = {frames - 1, 1, 0, frames / 2, 2};
        for (int i = 0; i < frames + 5; ++i) {
            const int n = i < frames ? i : order[i - frames];
            int pen = 0;
            uint32_t* pixels = LoadIffAnimFrame(reader, n, &pen);
            volatile uint32_t sum = GetIffAnimFrameDelay(reader, n);
            if (!pixels) continue;
            for (int64_t p = 0; p < static_cast<int64_t>(width) * height; ++p) sum = sum + pixels[p];
            OsFree(pixels);
        }
    }
    CloseIffAnim(reader);
    return 0;
}
