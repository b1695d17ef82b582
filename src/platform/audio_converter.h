// Audio format converters: from a channel's PCM (8-bit unsigned or signed, 16-bit, mono or stereo,
// any rate) to the mixer's 32-bit float at the output rate, pulling the source data through an
// input callback. Rate conversion is libswresample's; equal rates are converted sample by sample.
//
// A converter is made and disposed of on the main thread, where all its memory is allocated;
// filling it allocates nothing and takes no lock, so the audio device's thread may call it.
#pragma once

#include <cstdint>

// The format fields of a block of PCM, as a sound record keeps them.
struct qzAudioFormat {
    uint32_t bits;           // 8 or 16
    uint32_t bytesPerFrame;  // channels x bits / 8
    uint32_t channels;       // 1 or 2
    uint32_t flags;          // 1: 16-bit data in host order (else little-endian), 2: signed
};

// Hands out the next source data: *packets holds the frames wanted and receives the frames given
// (0 ends the data for good); *data points at them until the next call.
typedef void (*qzConverterInput)(void* user, uint32_t* packets, const void** data);

struct qzAudioConverter;

// The largest number of frames one AudioConverterFill call may ask for.
constexpr int32_t QZ_CONVERTER_MAX_FRAMES = 4096;

// A converter from the format at fromRate frames per second to float at toRate. 0, ERR_MEM, or
// ERR_AUDIOCONVERTER for a format it does not take (bits other than 8 or 16, channels other than 1
// or 2, a rate below 1).
int AudioConverterNew(const qzAudioFormat* from, double fromRate, double toRate, qzAudioConverter** out);
void AudioConverterDispose(qzAudioConverter* converter);
// The channels of the converter's output: those of its source.
uint32_t AudioConverterChannels(const qzAudioConverter* converter);

// Writes up to `frames` (at most QZ_CONVERTER_MAX_FRAMES) frames of interleaved float to out,
// pulling source data as needed. Returns the frames written: fewer only once the source has
// ended and the converter has given out everything it held.
int32_t AudioConverterFill(qzAudioConverter* converter, qzConverterInput input, void* user, float* out, int32_t frames);

// Converts `frames` frames of PCM in the format to interleaved float (no rate conversion).
void AudioConvertToFloat(const qzAudioFormat* format, const void* data, uint32_t frames, float* out);
