// The system audio-file decoder as a music stream: the input is the whole file, read by the
// system decoder only (MP3, Ogg Vorbis, Opus, FLAC, AIFF, WAVE forms the built-in decoder leaves
// to it, ...), played twice.
#include "music_stream_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file(reinterpret_cast<const char*>(data), size);
    musicfuzz::FuzzMusicFile(file, "native", 2, static_cast<uint32_t>(size * 3));
    return 0;
}
