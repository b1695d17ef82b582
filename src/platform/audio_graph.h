// The mixer graph of the native sound output: one stereo mixer with numbered input buses, feeding
// the host driver's audio device (host.h).
//
// For every block the device plays, the graph runs the render notification (before), pulls each
// bus that has a render callback, scales the bus's output by its gain, places it by its pan, sums
// everything in 32-bit float, runs the notification again (after) and clips the sum to -1..1.
// Blocks longer than QZ_CONVERTER_MAX_FRAMES frames are rendered in steps of that size.
//
// Pan is a balance from 0.0 (left) to 1.0 (right): at 0.5 both sides play at full level; towards
// one side the other side fades linearly to silence. A mono bus plays on both sides.
//
// Opening, closing and installing callbacks happen on the main thread; the gains, pans and bus
// callbacks may be changed while the device plays. Rendering runs on the device's thread and
// neither blocks nor allocates.
#pragma once

#include <cstdint>
#include <string>

// Fills `frames` frames of the bus's output, `channels` interleaved floats per frame, into out,
// which holds silence on entry. Device thread.
typedef void (*qzBusRenderProc)(void* refCon, float* out, int32_t frames);
// Runs before (after 0) and after (after 1) every rendered block. Device thread.
typedef void (*qzRenderNotifyProc)(void* refCon, int after);

// Builds the graph with busCount input buses and opens the audio device, once: a graph that is
// open already answers 0. 0, ERR_MEM, or ERR_OPENAUDIO with the device's reason in *message.
int AudioGraphOpen(int32_t busCount, std::string* message);
// Removes the render notification and closes the device: no block renders afterwards.
void AudioGraphStop();
// Stops the graph if it still plays and frees it.
void AudioGraphClose();
bool AudioGraphIsOpen();
// The device's rate in frames per second, 0 while the graph is closed.
int32_t AudioGraphRate();

void AudioGraphSetRenderNotify(qzRenderNotifyProc proc, void* refCon);
// Installs the bus's render callback, for output of 1 or 2 channels. 0, or ERR_RENDERCALLBACK for
// a bus the graph does not have or a channel count other than 1 or 2.
int AudioGraphSetBusCallback(int32_t bus, qzBusRenderProc proc, void* refCon, uint32_t channels);
// Leaves the bus without a callback (silent); the device's thread may call this too.
void AudioGraphClearBusCallback(int32_t bus);
bool AudioGraphBusHasCallback(int32_t bus);
// Gain (1.0 = unchanged) and pan (0.0 left, 0.5 centre, 1.0 right) of a bus.
void AudioGraphSetBusGain(int32_t bus, float gain);
void AudioGraphSetBusPan(int32_t bus, float pan);
float AudioGraphBusGain(int32_t bus);
float AudioGraphBusPan(int32_t bus);

// Wakes the main thread's event loop (MacForceEventLoopIteration) from the device's thread
// without blocking: a helper thread of the graph makes the call.
void AudioGraphWakeMainThread();

// Renders `frames` frames of interleaved stereo float into out: what the device calls.
void AudioGraphRender(float* out, int32_t frames);
// The left and right factors of a pan value.
void AudioPanFactors(float pan, float* left, float* right);
