// Music streams on arbitrary files: the file is opened as music from memory with the decoders a
// target names, decoded in blocks of changing sizes to its end, sent back to its start and into
// its middle as a stream's passes and seeks do, and then played through a stream channel of the
// headless device, stepped by hand: its refill thread decodes the halves while the device pulls
// them through the channel's converter; the stream is paused where it stands, resumed from there
// and stopped. Nothing may be read outside the data or handed out uninitialised, and no stream's
// buffers grow to what a lying header claims.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "media/sound/audio_channels.h"
#include "media/sound/sound_events.h"
#include "media/sound/sound_source.h"
#include "media/sound/stream_channel.h"
#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"

namespace musicfuzz {

inline void StopDevice() {
    FreeSoundEventsAtExit();
    HostStopDriver();
}

// The headless driver with its device stepped by hand, and the channel table: once per process,
// closed again when the process ends (before the output's own records go).
inline bool StartDevice() {
    static const bool started = [] {
        setenv("QUARNELIX_DRIVER", "headless", 1);
        unsetenv("QUARNELIX_INPUT");
        unsetenv("QUARNELIX_AUDIO_CAPTURE");
        std::string message;
        if (HostStartDriver(&message) != 0) return false;
        HeadlessSetManualAudio(1);
        std::atexit(StopDevice);
        return InitSoundEventMutex() == 0 && InitSoundChannels(8, 30) == 0;
    }();
    return started;
}

// Every byte handed out is read, so that the sanitizers see uninitialised data.
inline uint64_t Sum(const unsigned char* data, size_t bytes) {
    uint64_t total = 0;
    for (size_t i = 0; i < bytes; i++) total += data[i];
    return total;
}

// Decodes up to `limit` frames in blocks of the sizes given in turn: the frames delivered.
inline uint64_t DecodeInBlocks(qzSoundSource* source, uint64_t limit, std::vector<unsigned char>* buffer) {
    static const uint32_t kBlocks[] = {4096, 1, 333, 7, 2048};
    uint64_t delivered = 0, total = 0;
    for (size_t i = 0; delivered < limit; i++) {
        uint32_t want = kBlocks[i % (sizeof kBlocks / sizeof kBlocks[0])];
        int end = 0;
        uint32_t got = DecodeSoundSource(source, buffer->data(), want, &end);
        if (got > want) __builtin_trap();  // more than asked for overruns the caller's buffer
        total += Sum(buffer->data(), static_cast<size_t>(got) * source->bytesPerFrame);
        delivered += got;
        if (end || got == 0) break;
    }
    (void)total;
    return delivered;
}

// The stream channel that plays source, or -1.
inline int32_t ChannelOf(const qzSoundSource* source) {
    for (int32_t i = 0; i < GetSoundChannelCount(); i++) {
        const qzAudioChannel* c = &GetSoundChannels()[i];
        if (c->state.load() == QZ_CHANNEL_STREAM && c->source == source) return i;
    }
    return -1;
}

// Pulls `blocks` blocks of a tenth of a second from the device, each once the refill thread has
// filled what it may (within a bound), until the stream's channel is freed.
inline void Render(const qzSoundSource* source, int blocks) {
    std::vector<float> out(2 * 4800);
    for (int b = 0; b < blocks; b++) {
        int32_t n = ChannelOf(source);
        if (n < 0) return;
        for (int wait = 0; wait < 2000 && !IsStreamChannelFilled(&GetSoundChannels()[n]); wait++)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        HeadlessRenderAudio(out.data(), 4800);
        SoundHousekeeping();
    }
}

// The file as music with the loaders of the list; passes and the seek position as the target
// picks them.
inline void FuzzMusicFile(const std::string& file, const char* loaders, int32_t passes, uint32_t seekMs) {
    if (!StartDevice()) return;
    RegisterChunkMemory(file.data(), file.size());
    char name[256];
    MakeChunkName("fuzz.snd", name, sizeof name, -1, file.size(), 0, file.data());
    qzSoundSource* source = nullptr;
    if (OpenSoundSource(name, loaders, nullptr, 0, 1, &source, nullptr) == 0) {
        // A block of the largest size asked for, of the largest frame.
        std::vector<unsigned char> buffer(4096 * 8);
        const uint64_t limit = 1u << 20;
        uint64_t frames = DecodeInBlocks(source, limit, &buffer);
        // Again from the start, as the next pass; then from the middle and from where a seek in
        // milliseconds goes.
        SeekSoundSourceData(source, 0);
        DecodeInBlocks(source, 5000, &buffer);
        SeekSoundSource(source, static_cast<uint32_t>(frames / 2));
        DecodeInBlocks(source, 5000, &buffer);
        SeekSoundSourceMs(source, seekMs);
        DecodeInBlocks(source, 5000, &buffer);
        const void* text = nullptr;
        for (int32_t query = QZ_MUSICINFO_DURATION; query <= QZ_MUSICINFO_BITRATE; query++)
            GetMusicSourceInfo(query, QZ_MUSIC_SOURCE, source, &text);

        SeekSoundSource(source, 0);
        const qzObjectId owner = {1, nullptr};
        if (PlayMusicOnChannel(QZ_MUSIC_SOURCE, source, owner, passes, 1, 64, nullptr) == 0) {
            Render(source, 6);
            int32_t pass = 1;
            uint32_t position = 0;
            StopMusicOnChannel(QZ_MUSIC_SOURCE, source, 1, &pass, &position);
            if (PlayMusicOnChannel(QZ_MUSIC_SOURCE, source, owner, passes, pass, 32, nullptr) == 0) Render(source, 3);
            StopMusicOnChannel(QZ_MUSIC_SOURCE, source, 0, nullptr, nullptr);
        }
        CloseSoundSource(source);
    }
    UnregisterChunkMemory(file.data());
}

}  // namespace musicfuzz
