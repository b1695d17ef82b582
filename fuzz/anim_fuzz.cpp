// The anim loader on arbitrary GIF bytes: an anim loaded in memory or decoded from disk, every
// frame taken, scaled and copied, then freed; broken files fail with an error code and leave
// no anim and nothing open behind.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "anim/anim.h"
#include "anim/anim_load.h"
#include "image_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Other bytes go to the picture loaders, which have fuzz targets of their own.
    if (size < 6 || std::memcmp(data, "GIF8", 4) != 0) return 0;
    imagefuzz::CapAllocations();
    imagefuzz::InputFile input(data, size, "fuzz.gif");
    if (!input.Valid()) return 0;
    qzAnimLoadOptions options;
    options.file = input.Name().c_str();
    options.fromDisk = size & 1;
    options.loadTransparency = (size >> 1) & 1;
    qzAnim* anim = nullptr;
    if (LoadAnimFileQuietly(nullptr, {1, nullptr}, options, &anim) == 0) {
        if (static_cast<int64_t>(anim->width) * anim->height <= imagefuzz::kMaxDecodedPixels) {
            const int32_t frames = anim->frames < 16 ? anim->frames : 16;
            for (int32_t i = 0; i < frames; i++) {
                qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
                int owned = 0;
                if (GetAnimFrameBitmaps(anim, i, 1, 0, &bitmap, &mask, &alpha, &owned) == 0 && owned)
                    FreeAnimFrameBitmaps(bitmap, mask, alpha);
                volatile uint32_t delay = GetAnimFrameDelay(anim, i);
                (void)delay;
            }
            qzAnim* copy = nullptr;
            DuplicateAnim(nullptr, anim, {2, nullptr}, &copy);
            ScaleAnimFrames(anim, 3, 2, size & 2);
        }
    }
    FreeAllAnims(nullptr);
    return 0;
}
