// The 8SVX reader on arbitrary chunks after "FORM" and "8SVX".
#include "sound_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSoundFile("FORM", "8SVX", data, size);
}
