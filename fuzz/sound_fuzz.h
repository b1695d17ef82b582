// The built-in sound decoders on arbitrary file contents: the input, behind the magic words of
// the format the target chooses, is opened from memory with the built-in decoders only, decoded
// to its end in blocks, sought and loaded whole. Nothing may be read outside the data or handed
// out uninitialised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "media/sound/sound_record.h"
#include "media/sound/sound_source.h"
#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"

inline int FuzzSoundFile(const char* form, const char* kind, const uint8_t* data, size_t size) {
    std::string file(form, 4);
    uint32_t length = static_cast<uint32_t>(size + 4);
    for (int i = 0; i < 4; i++)
        file.push_back(static_cast<char>(std::strcmp(form, "RIFF") == 0 ? length >> (8 * i) : length >> (24 - 8 * i)));
    file += kind;
    file.append(reinterpret_cast<const char*>(data), size);
    RegisterChunkMemory(file.data(), file.size());
    char name[256];
    MakeChunkName("fuzz.snd", name, sizeof name, -1, file.size(), 0, file.data());

    qzSoundSource* source = nullptr;
    if (OpenSoundSource(name, "inbuilt", nullptr, 0, 0, &source, nullptr) == 0) {
        std::vector<unsigned char> buffer(4096 * 4);
        int end = 0;
        uint64_t total = 0;
        while (uint32_t got = DecodeSoundSource(source, buffer.data(), 4096, &end)) {
            // Every byte handed out is read, so that the sanitizers see uninitialised data.
            for (size_t i = 0; i < static_cast<size_t>(got) * source->bytesPerFrame; i++) total += buffer[i];
        }
        SeekSoundSource(source, source->frames / 2);
        DecodeSoundSource(source, buffer.data(), 7, &end);
        (void)total;
        CloseSoundSource(source);
    }
    qzSound* sound = nullptr;
    if (LoadSoundAsSample(name, "inbuilt", nullptr, &sound, nullptr, nullptr, nullptr, nullptr) == 0) {
        uint64_t total = 0;
        for (uint64_t i = 0; i < static_cast<uint64_t>(sound->frames) * sound->channels; i++)
            total += static_cast<uint64_t>(GetSoundSampleValue(sound, i));
        (void)total;
        FreeSoundRecord(sound);
    }
    UnregisterChunkMemory(file.data());
    return 0;
}
