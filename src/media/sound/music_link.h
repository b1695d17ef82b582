// What the channel table and the native output need of the stream channels (sources decoded
// ahead into double buffers by refill threads): a table of operations that their code installs;
// while it is null, stream channels refuse to start with ERR_WRONGUSAGE. Modules are rendered by
// the module replayer (module_replayer.h).
#pragma once

#include <cstddef>
#include <cstdint>

struct qzModule;
struct qzAudioChannel;

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
