// The built-in decoders as music streams: the first input byte picks the form (RIFF WAVE, IFF 8SVX
// or IFF 16SV), the second the passes (1 to 4); the rest is the file behind the
// form's magic words.
#include "music_stream_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const char* const kForms[3][2] = {{"RIFF", "WAVE"}, {"FORM", "8SVX"}, {"FORM", "16SV"}};
    const int kind = data[0] % 3;
    const char* const* form = kForms[kind];
    const bool riff = kind == 0;  // RIFF sizes are little-endian, IFF sizes big-endian
    const int32_t passes = 1 + data[1] % 4;
    data += 2;
    size -= 2;
    std::string file(form[0], 4);
    uint32_t length = static_cast<uint32_t>(size + 4);
    for (int i = 0; i < 4; i++) file.push_back(static_cast<char>(riff ? length >> (8 * i) : length >> (24 - 8 * i)));
    file += form[1];
    file.append(reinterpret_cast<const char*>(data), size);
    musicfuzz::FuzzMusicFile(file, "inbuilt", passes, static_cast<uint32_t>(size * 7));
    return 0;
}
