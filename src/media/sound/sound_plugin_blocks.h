// The blocks the sound engine hands to sound-stream plugins (OpenStream, StreamSamples) and to
// sample savers (SaveSample), field by field in the order the plugin interface fixes.
#pragma once

#include <cstdint>

// What OpenStream fills: the stream's format and length, from the subsong asked for.
struct qzSoundStreamInfo {
    uint32_t frames;      // out
    uint32_t channels;    // out
    uint32_t bits;        // out
    uint32_t rate;        // out
    uint32_t flags;       // out: 1 host byte order, 2 signed, 4 seekable
    int32_t subsong;      // in, counted from 0
    int32_t subsongs;     // out, preset to 1
    const char* adapter;  // in: the adapter list
};

// One StreamSamples request.
struct qzSoundStreamRequest {
    void* buffer;
    uint32_t frames;     // wanted
    uint32_t delivered;  // out
    int32_t end;         // out
};

// What a sample saver's SaveSample receives.
struct qzSampleSaveInfo {
    void* data;
    uint32_t bytes;
    uint32_t frames;
    uint32_t channels;
    uint32_t bits;
    uint32_t rate;   // the sample's pitch
    uint32_t flags;  // 2 signed, 1 host byte order
    int32_t format;  // engine code
};
