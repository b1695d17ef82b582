// The AVI reader: opens a RIFF AVI file whose video is uncompressed 24-bit bottom-up frames or
// Motion-JPEG and hands out its frames one at a time as width x height 0x00RRGGBB words. The
// legacy "idx1" index serves random access; without it frames are found by scanning the "movi"
// list. PCM audio streams are accepted and never read. Every frame has a delay of 0.
#pragma once

#include <cstdint>

struct qzVfsFile;
struct qzAviReader;

// Opens an AVI from an open file at offset 0, which the reader takes over (CloseAviAnim closes
// it; a failed open closes it at once). Reports the frame size and count (each pointer may be
// null). Null when the file is no AVI the reader can play, memory runs out or the headers are
// broken.
qzAviReader* OpenAviAnim(qzVfsFile* file, int* outWidth, int* outHeight, int* outFrameCount);

// Frame n (0-based) in a new OsAlloc block of width x height words (rows top to bottom) that the
// caller owns; null when the frame is missing or cannot be decoded. The reader stays usable.
uint32_t* LoadAviAnimFrame(qzAviReader* reader, int n);

// Frees everything and closes the file; null is ignored.
void CloseAviAnim(qzAviReader* reader);
