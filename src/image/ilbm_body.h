// The bitplane machinery of IFF pictures, shared by the ILBM reader and writer and by the IFF ANIM
// and CDXL frame readers, which call these with their own buffers: body readers (raw and
// ByteRun1), the planar-to-chunky converter, the HAM decoders, the palette lookup and the ByteRun1
// packer.
//
// Plane buffer layouts (rowBytes = IlbmRowBytes(width)):
// - up to 8 planes, plane-major: plane p's row y lies at (p * height + y) * rowBytes;
// - more than 8 planes, file order: row y's plane p lies at (y * planes + p) * rowBytes.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzVfsFile;

// Bytes of one bitplane row: the width rounded up to 16 pixels, one bit each.
inline int64_t IlbmRowBytes(int64_t width) { return ((width + 15) >> 4) * 2; }

// Reads height rows of `planes` plane rows, stored uncompressed, into the plane buffer (the layout
// above). With masking 1 the mask row after each row's planes is skipped. bodyLength is the BODY
// chunk's length. 1 on success, 0 on a short read.
int ReadILBMBodyRaw(qzVfsFile* file, uint8_t* planeBuffer, int64_t bodyLength, int width, int height, int planes,
                    int masking);
// The same for ByteRun1-packed rows, always stored plane-major. A run or literal that would pass
// the end of a plane row stops there; what is left of it is not consumed. With masking 1 the mask
// row is decoded and dropped. 1 on success, 0 on a short read.
int ReadILBMBodyByteRun1(qzVfsFile* file, uint8_t* planeBuffer, int64_t bodyLength, int width, int height, int planes,
                         int masking);
// A packed 24-plane body: each image row is one ByteRun1 stream of rowBytes * 24 bytes, decoded
// into the file-order layout; a run or literal stops at the end of the image row. No mask rows.
// 1 on success, 0 on a short read.
int ReadILBMBody24ByteRun1(qzVfsFile* file, uint8_t* planeBuffer, int width, int height);

// Planes 1..8: one colour index per pixel (byte p of the index from plane p) into rows of
// destination, destStride bytes apart. 24 planes: 0x00RRGGBB words, red from planes 0-7, green
// from 8-15 and blue from 16-23, bit 0 of each first. Other plane counts convert nothing.
void PlanarToChunky(const uint8_t* planeBuffer, int width, int height, int planes, int64_t rowBytes, void* destination,
                    int64_t destStride);

// Chunky indices (width per row) to 0x00RRGGBB pixels. HAM6: control = index >> 4, data =
// index & 15; HAM8: control = index >> 6, data = index & 63. Control 0 takes the palette entry,
// 1 sets blue, 2 red and 3 green to the data in the component's top bits; each row starts black.
void DecodeHAM6Rows(const uint8_t* chunky, uint32_t* pixels, const uint32_t* palette, int width, int height);
void DecodeHAM8Rows(const uint8_t* chunky, uint32_t* pixels, const uint32_t* palette, int width, int height);
// Each pixel becomes palette[index] (a 256-entry palette).
void LookupPaletteRows(const uint8_t* chunky, uint32_t* pixels, const uint32_t* palette, int width, int height);

// The two ByteRun1 emitters: a literal of count (1..128) bytes as the byte count - 1 and the
// bytes, a run of count (2..128) equal bytes as the byte 1 - count and the value. Each adds the
// bytes written to *total and returns the new output position.
uint8_t* PackByteRun1Literal(uint8_t* out, int count, const uint8_t* bytes, int64_t* total);
uint8_t* PackByteRun1Run(uint8_t* out, int count, uint8_t byte, int64_t* total);
// Packs one row of n bytes (at least 1) into out, which holds at least ByteRun1WorstCase(n)
// bytes; returns the packed length. Runs of three or more equal bytes are packed, and so are two
// equal bytes at the start of a literal; any other pair stays inside the literal.
size_t PackByteRun1Row(const uint8_t* row, size_t n, uint8_t* out);
inline size_t ByteRun1WorstCase(size_t n) { return n + (n + 127) / 128; }
