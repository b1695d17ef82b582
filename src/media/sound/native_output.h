// The native sound output: channel i of the table plays through bus i of the platform's mixer
// graph (platform/audio_graph.h). A playing channel's bus pulls the channel's PCM through a
// format converter from the channel's own format and rate to the mixer's float at the device's
// rate; the bus gain is the cube root of volume / 64 and the pan 0..255 maps to 0.0..1.0 (128 is
// exactly 0.5).
//
// On the render thread, the hand-out of each channel notes loops and ends: the loop and end
// events of samples go at once into a fixed ring of pending events (nothing is allocated there,
// and a sample that loops many times a second loses none), the main thread is woken, and the
// main thread moves the ring's events to the end-event list (MacPostPendingAudioEvents) and frees
// the channels whose bus has finished (MacFreeFinishedChannels).
#pragma once

#include <cstdint>

struct qzMutex;
struct qzAudioChannel;
struct qzAudioFormat;

// Opens the graph with one bus per channel and starts it, once: 0 or ERR_OPENAUDIO. The device
// setting selects nothing on this platform.
int MacOpenAudio(int32_t deviceSetting, int32_t busCount);
// Removes the render notification and stops the graph.
void MacStopAudio();
// Disposes of the graph.
void MacCloseAudio();
// The global audio mutex: 0 or ERR_SEMAPHORE.
int MacCreateAudioMutex();
void MacFreeAudioMutex();
qzMutex* AudioMutex();

// The device's rate, 0 while the output is closed.
int32_t OutputRate();
// Attaches channel n's bus: a converter from the format at `rate`, the bus volume and pan, and
// the render callback. 0, ERR_AUDIOCONVERTER (the converter stays none) or ERR_RENDERCALLBACK.
int AttachBus(qzAudioChannel* channel, int32_t n, const qzAudioFormat* format, int32_t rate, int32_t volume,
              int32_t pan);
// A video channel's bus, whose converter the channel already has: its volume and the render
// callback. 0 or ERR_RENDERCALLBACK.
int MacStartVideoBus(qzAudioChannel* channel, int32_t n, uint32_t channels, int32_t volume);
// A sample channel's bus: its sound's format at the pitch.
int MacOpenSampleBus(qzAudioChannel* channel, int32_t n, int32_t pitch, int32_t volume, int32_t pan);
// A module channel's bus: a render buffer of one second and 16-bit stereo at 48000 Hz. 0, ERR_MEM,
// ERR_AUDIOCONVERTER or ERR_RENDERCALLBACK.
int MacOpenStreamBus(qzAudioChannel* channel, int32_t n);
// Clears the bus callback and disposes of the converter.
void MacDetachChannelBus(qzAudioChannel* channel, int32_t n);
void MacDetachChannelBusByIndex(int32_t n);
// Detaches, frees the channel's buffer and clears the channel.
void MacFreeChannelBus(int32_t n);
void MacSetBusVolume(int32_t n, int32_t volume);
void MacSetBusPan(int32_t n, int32_t pan);
void MacSetChannelVolume(int32_t n, int32_t volume);
// Volume and pan (-1 = unchanged) and, when rate is not -1, the rate a sample plays at: its
// converter is replaced by one for the new rate. 0, or ERR_AUDIOCONVERTER (the old rate stays).
int MacSetChannelAttributes(int32_t n, int32_t rate, int32_t volume, int32_t pan);
// Main thread: moves the pending events to the end-event list.
void MacPostPendingAudioEvents();
// Main thread: posts the pending events, then frees the channels whose bus has finished.
void MacFreeFinishedChannels();

float MacVolumeToGain(int32_t volume);
float PanToValue(int32_t pan);
// Events that did not fit into the ring of pending events since the output opened.
uint64_t DroppedAudioEvents();
