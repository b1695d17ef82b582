// What the channel table and the native output need of the two players of music: the module
// replayer (ProTracker modules, rendered while they play) and the stream channels (sources decoded
// ahead into double buffers by refill threads). Each is a table of operations that its code
// installs; while a table is null, music of that kind cannot be opened or played: modules fail to
// open with ERR_OPENSOUND2 and stream channels refuse to start with ERR_WRONGUSAGE.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzModule;
struct qzAudioChannel;

struct qzModuleReplayer {
    // The replay state of the module file in data (size bytes; taken over on success, the state
    // keeps it) for output at `rate` frames per second; null when it is no module it plays.
    qzModule* (*open)(unsigned char* data, size_t size, int32_t rate);
    // Frees the state and its data.
    void (*free)(qzModule* module);
    // Back to the start of the song.
    void (*rewind)(qzModule* module);
    // The next `frames` frames as interleaved 16-bit stereo in host order, a pending jump first.
    void (*render)(qzModule* module, int16_t* out, uint32_t frames);
    // Query 0 sets a pending jump to song position value (row 0), 1 gives the row, 2 the song
    // position.
    int32_t (*position)(qzModule* module, int32_t query, int32_t value);
};

// Installs the module replayer; null removes it.
void SetModuleReplayer(const qzModuleReplayer* replayer);
const qzModuleReplayer* GetModuleReplayer();

struct qzStreamChannelOps {
    // Starts channel n, already set to state 4 with its owner, volume, passes, pass, music and
    // source (the start frame is the source's position): the native bus or the adapter's channel
    // and what feeds it. 0 or an error code; on an error the caller clears the channel.
    int (*start)(int32_t n, qzAudioChannel* channel);
    // Stops channel n and clears it, reporting the pass and, with keepPosition, the frame to go on
    // from (optional outs).
    void (*stop)(int32_t n, qzAudioChannel* channel, int keepPosition, int32_t* passOut, uint32_t* positionOut);
    // The native output's render thread, audio mutex held: the next packets of the stream
    // (*packets wanted in, given out; 0 when the stream has ended).
    void (*nativeInput)(qzAudioChannel* channel, uint32_t* packets, const void** data);
    // The native output's render notification for channel n (after: 0 before the block, 1 after).
    void (*notify)(int32_t n, qzAudioChannel* channel, int after);
    // An audio adapter's pull: frames of the source's format into buffer; the frames delivered.
    int (*feed)(qzAudioChannel* channel, void* buffer, int frames);
};

// Installs the stream channel code; null removes it.
void SetStreamChannelOps(const qzStreamChannelOps* ops);
const qzStreamChannelOps* GetStreamChannelOps();
