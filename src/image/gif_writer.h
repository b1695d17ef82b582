// The GIF writer: turns a sequence of palette frames into an animated GIF89a file. Every frame
// carries its own local colour table and LZW-coded pixels; the first frame also carries the loop
// block. Frames are written whole, or, when optimising and the frame has no transparent index of
// its own, as the smallest rectangle covering every pixel whose colour changed since the previous
// frame, with unchanged pixels inside it written as the transparent index. The file is written
// under a temporary name beside its target and renamed over it only by FinishGifWriter, so a
// failed or abandoned save leaves no half-written file.
#pragma once

#include <cstdint>

struct qzGifWriter;

// Starts a GIF of width x height pixels. loopCount goes into the loop block: 0 loops forever.
// Returns 0 with *outWriter set, ERR_MEM, or ERR_WRITEFILE with the name as error argument.
int BeginGifWriter(const char* fileName, int width, int height, int loopCount, qzGifWriter** outWriter);

// Appends a frame: pixels are width x height palette indices (one byte a pixel, rows of width
// bytes; width and height are the writer's), palette holds colourCount (1..256) words
// 0x00RRGGBB (the alpha byte is ignored), delay is in milliseconds (written in hundredths,
// truncated). transparentIndex: -1 for none; with one the frame is written whole and disposed to
// the background afterwards. optimise: write only the changed rectangle. alwaysTransparent is
// taken from the anim savers, but a frame announces a transparent index only when it has one
// (given, or the index chosen for unchanged pixels), so no drawn colour turns transparent.
// Neither buffer is changed. Returns 0, ERR_BADDIMENSIONS, ERR_MEM or ERR_WRITE; after an
// error that left the frame incomplete FinishGifWriter reports it and keeps no file.
int WriteGifFrame(qzGifWriter* writer, const uint8_t* pixels, int width, int height, int delay, const uint32_t* palette,
                  int colourCount, int transparentIndex, int optimise, int alwaysTransparent);

// Writes the trailer, closes the file and puts it in place of its target, and frees the writer.
// Returns 0, the error that left a frame incomplete, ERR_WRITE (data did not reach the disk) or
// ERR_WRITEFILE; on failure no file is left and the target stays as it was.
int FinishGifWriter(qzGifWriter* writer);

// Drops the writer and its unfinished file; the target stays as it was. Null is ignored.
void AbortGifWriter(qzGifWriter* writer);

// Saves a one-frame GIF (the image saver's path): no delay, no optimisation. 0 or an error code
// as above; no file is left behind on failure.
int SaveGifImage(const char* fileName, const uint8_t* indices, int width, int height, const uint32_t* palette,
                 int colourCount, int transparentIndex);
