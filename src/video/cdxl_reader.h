// The inbuilt CDXL reader: a file of equal-sized chunks, each a 32-byte big-endian header, a
// palette of 0x0RGB words, one planar picture (rows interleaved: row 0 of every plane, then row 1)
// and optionally a block of signed 8-bit mono sound. It serves the video stream operations of
// video_stream.h with the blocks of platform/plugin_video.h.
#pragma once

#include <cstdint>

#include "platform/plugin_video.h"

struct qzCdxlReader;

// Opens the file through the virtual-file layer (format->adapter is the adapter list) and fills
// the format block. Null when the file is missing, its first chunk is not a standard CDXL chunk,
// its size is unknown, it holds a single chunk, the second chunk's previous-size field differs
// from the chunk size, or the chunk's contents do not fit the chunk.
qzCdxlReader* OpenCdxl(const char* file, qzVideoFormatInfo* format);
void CloseCdxl(qzCdxlReader* reader);
// The next packet: a chunk's picture, then its sound when it has sound. 0 with the block filled,
// -1 at the end of the file or on a short read, -2 when memory runs out.
int ReadCdxlPacket(qzCdxlReader* reader, qzVideoPacketBlock* packet);
void FreeCdxlPacket(void* packet);
// Writes the picture packet's frame as 0x00RRGGBB pixels into frame->planes[0] (width pixels per
// row); rowBytes[0] = width x 4. 0, or 1 for a packet that holds no picture.
int DecodeCdxlFrame(qzCdxlReader* reader, void* packet, qzVideoFrameBlock* frame);
// The sound packet's samples as 16-bit samples (sample x 256), when they fit the capacity; done
// is set either way. 0.
int DecodeCdxlAudio(qzCdxlReader* reader, void* packet, qzVideoAudioBlock* audio);
// Positions at the frame of that time in milliseconds (the last frame for a time past the end).
// 0, or 1 when the file cannot be positioned.
int SeekCdxl(qzCdxlReader* reader, int64_t milliseconds);
int64_t GetCdxlFrameCount(const qzCdxlReader* reader);
const char* GetCdxlFormatName();
// Frames per second for a chunk size: a CD-ROM data rate divided by the chunk size.
double CdxlFramesPerSecond(uint32_t chunkSize);
