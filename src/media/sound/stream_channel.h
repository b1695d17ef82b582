// Stream channels: a music source (state 4 in the channel table) is never decoded whole. Its
// channel plays from a double buffer of two halves of one second each while a refill thread of its
// own decodes the next half from the source. The native output hands the halves to the channel's
// bus converter; an audio adapter pulls them through MixerFeed. Both only copy decoded data and
// never wait for the refill thread: a half that is not ready yet plays as silence.
//
// A stream plays its passes by seeking its source back to frame 0 when a pass runs out, on the
// refill thread. Every stream ends: when the source has nothing more and no pass is due, the half
// being filled (possibly empty) is marked as the last one, and the channel finishes once it has
// been handed out, whatever the length of the stream against the halves.
//
// The refill thread reads only the source and the stream's own buffers; it never touches the time
// fields of the source, which the main thread reads for the position.
#pragma once

#include <cstdint>

struct qzAudioChannel;

// Starts channel n, already set to state 4 with its owner, volume, passes, pass, music and source
// (the source's position is where it starts): the first half is decoded at once, a refill thread
// is started unless the whole stream fits into it, and the bus (or the adapter's channel) is
// attached. 0, ERR_MEM, ERR_SEMAPHORE, ERR_THREAD, ERR_AUDIOCONVERTER, ERR_RENDERCALLBACK or
// ERR_ALLOCCHANNEL; on an error everything is freed and the caller clears the channel.
int StartStreamChannel(int32_t n, qzAudioChannel* channel);
// Stops channel n and clears it. The pass playing goes to *passOut (optional). With keepPosition
// the source is left at the frame reached, which also goes to *positionOut (optional); without, the
// source goes back to its start, and a custom stream is refilled by the script on its next start.
// The audio mutex may be held by the caller.
void StopStreamChannel(int32_t n, qzAudioChannel* channel, int keepPosition, int32_t* passOut, uint32_t* positionOut);
// The native output's converter input for a stream channel (render thread, audio mutex held): the
// next frames of the half that plays; silence while it is not ready, 0 packets once the last half
// has been handed out.
void StreamNativeInput(qzAudioChannel* channel, uint32_t* packets, const void** data);
// The native render notification for stream channel n (after: 0 before the block, 1 after): a
// wake-up the refill thread missed is repeated, and a finished stream notes its end event and
// silences its bus.
void StreamNativeNotify(int32_t n, qzAudioChannel* channel, int after);
// An audio adapter's pull (adapter thread): up to `frames` frames of the source's format into
// buffer; the frames delivered, fewer only at the end of the stream.
int StreamAdapterFeed(qzAudioChannel* channel, void* buffer, int frames);
// 1 when both halves are filled (a half handed out whole is given back at the next hand-out), or
// the stream's data has ended: what tests wait for before they pull at most half a second through
// a manually stepped device.
int IsStreamChannelFilled(const qzAudioChannel* channel);
