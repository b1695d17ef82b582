// The sound of a video: one channel of the table in state 5, fed from a FIFO of 16-bit signed
// host-order PCM that the video's audio server keeps topped up. The video engine describes its
// sound in a qzVideoAudio record and fills the FIFO through the record's fill procedure; the
// channel's `video` field points at that record.
//
// Natively the channel's bus pulls the FIFO through a converter from the video's rate and
// channels; an audio adapter pulls it through MixerFeed. Both only copy what the FIFO holds and
// play silence for the rest: neither ever waits for the video.
#pragma once

#include <atomic>
#include <cstdint>

struct qzAudioChannel;
struct qzMutex;
struct qzWorkerThread;
struct qzVideoAudioFifo;

// Fills exactly `bytes` bytes of PCM into dest (silence where the video has none): 0, or -1 when
// the thread is asked to stop.
typedef int (*qzVideoAudioFillProc)(void* video, unsigned char* dest, uint32_t bytes, qzWorkerThread* thread);

// What the video tells the sound side, kept by the video.
struct qzVideoAudio {
    void* video;  // handed to fill
    qzVideoAudioFillProc fill;
    int32_t channels;     // 1 or 2
    int32_t rate;         // frames per second
    int32_t blockFrames;  // the adapter's buffer size, or 1024
    std::atomic<int32_t> volume;
    // Set by OpenVideoAudioChannel, cleared when the channel is given back.
    qzAudioChannel* channel;
    int32_t channelIndex;  // -1: none
    std::atomic<qzVideoAudioFifo*> fifo;
    std::atomic<uint32_t> fifoBytes;  // what the FIFO holds, for the video's audio clock
};

constexpr uint32_t QZ_VIDEO_FIFO_BYTES = 768000;

struct qzVideoAudioFifo {
    std::atomic<int32_t> stopped;  // the channel has been stopped; nothing more is heard
    qzMutex* mutex;                // guards data and fill
    qzAudioChannel* channel;
    unsigned char data[QZ_VIDEO_FIFO_BYTES];
    uint32_t fill;      // bytes
    uint32_t capacity;  // bytes: blockFrames x bytes per frame x 2
    int32_t firstFill;  // 1 until the first feed attached the output
    qzVideoAudio* video;
    unsigned char staging[QZ_VIDEO_FIFO_BYTES];  // the feeder decodes here, outside the mutex
};

// Takes a free channel for the video (housekeeping first): 0 or ERR_NOCHANNEL, ERR_MEM. Natively
// the channel gets state 5 and a converter from the video's format (ERR_AUDIOCONVERTER); its bus
// stays silent until the first feed. The sound channels must be open.
int OpenVideoAudioChannel(qzVideoAudio* video);
// The FIFO of the video's channel: null when memory runs out.
qzVideoAudioFifo* AllocVideoAudioFifo(qzVideoAudio* video);
// Stops the channel (if still stopped it is not) and clears it, then frees the FIFO.
void FreeVideoAudioFifo(qzVideoAudioFifo* fifo);
// The video has ended: its channel is silenced (the adapter's channel freed or the bus detached)
// and the FIFO marked stopped; the channel stays the video's until it is given back.
void StopVideoAudioChannel(qzVideoAudio* video);
// Gives the video's channel back to the table, whatever is left of it. Safe to call twice.
void CloseVideoAudioChannel(qzVideoAudio* video);
void SetVideoAudioVolume(qzVideoAudio* video, int32_t volume);
// One pass of the audio server's loop: the first call fills the FIFO and starts the output, later
// ones top it up (natively while it is at most half full, with an adapter whenever it is below
// capacity) or sleep a millisecond. 0, an error, or -1 when the thread is asked to stop.
int FeedVideoAudio(qzWorkerThread* thread, qzVideoAudioFifo* fifo);
int FeedVideoAudioNative(qzWorkerThread* thread, qzVideoAudioFifo* fifo);

// The channel's PCM for the native output's converter (render thread, audio mutex held).
void VideoAudioNativeInput(qzAudioChannel* channel, uint32_t* packets, const void** data);
// The channel's PCM for an audio adapter: always `frames` frames, silence past what the FIFO holds.
int VideoAudioAdapterFeed(qzAudioChannel* channel, void* buffer, int frames);
