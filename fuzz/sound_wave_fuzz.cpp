// The WAVE reader on arbitrary chunks after "RIFF" and "WAVE".
#include "sound_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSoundFile("RIFF", "WAVE", data, size);
}
