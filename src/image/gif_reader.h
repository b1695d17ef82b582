// The GIF reader: opens a GIF87a or GIF89a file and hands out each frame as the fully composed
// picture of the logical screen (screen width x screen height 0xAARRGGBB words), composed on a
// persistent canvas that honours each frame's disposal method and transparent index. Opening
// decodes every frame once to count them and to note where each starts; afterwards a frame is
// reached by restarting at the nearest key frame (one that alone fixes the whole picture) at or
// before it. Pixels no frame has drawn carry alpha 0, drawn pixels alpha 0xFF.
#pragma once

#include <cstdint>

struct qzVfsFile;
struct qzGifReader;

// Opens a GIF from an open file, which the reader takes over (CloseGifAnim closes it; a failed
// open closes it at once). Reports the logical screen size and the number of frames. infoOnly:
// only the size is read, the file is closed and null returned. zeroCanvas with loadTransparency:
// the canvas starts cleared to 0 instead of the background colour. loadTransparency also decides
// whether a frame reports its transparent colour. Null when the file is not a GIF, memory runs
// out, or the data is broken (codes past the table, a row cut short, a truncated extension). The
// end of the file ends the frames: a file without any image opens with 0 frames.
qzGifReader* OpenGifAnim(qzVfsFile* file, int* outWidth, int* outHeight, int* outFrameCount, int infoOnly,
                         int zeroCanvas, int loadTransparency);

// Frame n (0-based) composed on the canvas, in a new OsAlloc block of width x height words that
// the caller owns; null when n is out of range, memory runs out or the data is broken.
// *outHasTransparentPen (may be null) is 1 when the frame has a transparent index and the open
// asked for transparency, else 0.
uint32_t* LoadGifAnimFrame(qzGifReader* reader, int n, int* outHasTransparentPen);
// Frame n as LoadGifAnimFrame gives it, but on the reader's own canvas (width x height words),
// without a copy: valid until the next call on the reader. Null as LoadGifAnimFrame.
const uint32_t* ComposeGifAnimFrame(qzGifReader* reader, int n, int* outHasTransparentPen);

// The delay of frame n in milliseconds (the file's hundredths of a second x 10); 0 out of range.
uint32_t GetGifAnimFrameDelay(const qzGifReader* reader, int n);

// How often the animation repeats, from the file's loop block: 0 forever, n > 0 that many extra
// times, -1 when the file has no loop block (play once).
int GetGifAnimLoopCount(const qzGifReader* reader);

// Frees everything and closes the file; null is ignored.
void CloseGifAnim(qzGifReader* reader);
