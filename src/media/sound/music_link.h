// What the channel table and the native output need of the module replayer (ProTracker modules,
// rendered while they play): a table of operations that its code installs; while it is null,
// modules fail to open with ERR_OPENSOUND2.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzModule;

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
