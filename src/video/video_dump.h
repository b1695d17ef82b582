// Decoding a stopped video to its end on the main thread, showing each frame on the display and
// saving the frames and the sound as files.
#pragma once

#include <cstdint>

struct VmState;
struct qzDisplay;
struct qzVideoPlayer;

// Shows every frame from the stream's position on at x, y of the display (clipped; none when the
// display is null); with a base name also saves frame n as "<base><n>.<ext>" in the image format
// (0 BMP, 1 PNG, 2 JPEG, 3 GIF, 4 ILBM) and the sound as "<base>.wav". 0, ERR_WRONGUSAGE (a format
// of 5 or more, a movie, a video that plays), ERR_BITMAP, ERR_MEM, ERR_WRITEFILE, a saver's error,
// or the error that ended the event pump (the WAVE file is then left unfinished).
int DumpVideoPlayer(VmState* state, qzVideoPlayer* handle, qzDisplay* display, int32_t x, int32_t y,
                    const char* baseName, int32_t format);
