// The module replayer as the channel code uses it: a module file opened for output at a rate,
// rendered block by block as interleaved 16-bit stereo, rewound, asked for its position and told
// to jump. Playback never ends by itself: the song repeats from its first position.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzModule;

// The replay state of the module file in data (size bytes; taken over on success, the state keeps
// it) for output at `rate` frames per second; null when it is no module it plays (too short for
// its patterns) or there is no memory for the state.
qzModule* OpenModule(unsigned char* data, size_t size, int32_t rate);

// Frees the state and its data.
void FreeModule(qzModule* module);

// Back to the start of the song, every voice silent.
void RewindModule(qzModule* module);

// The next `frames` frames as interleaved 16-bit stereo in host order, a pending jump first.
void RenderModuleToBuffer(qzModule* module, int16_t* out, uint32_t frames);

// Query 0 sets a pending jump to song position value (row 0) and gives 0; 1 gives the row, 2 the
// song position.
int32_t QueryModulePosition(qzModule* module, int32_t query, int32_t value);
