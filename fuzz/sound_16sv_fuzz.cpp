// The 16SV reader on arbitrary chunks after "FORM" and "16SV".
#include "sound_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSoundFile("FORM", "16SV", data, size);
}
