// JPEG decoding (from a file or from memory, RGB, greyscale and CMYK) and encoding into memory,
// through libjpeg with the player's own source, destination and error managers. No library
// message is ever shown: every library error ends the call with an error code.
#pragma once

#include <cstddef>
#include <cstdint>

// An encoded JPEG in memory: OsAlloc data of size bytes.
struct qzJpegMemory {
    unsigned char* data;
    size_t size;
};

// What EncodeJPEG reads and writes.
struct qzJpegEncodeRequest {
    const void* pixels;     // in: 32-bit pixels
    int stride;             // in: bytes from one row to the next
    int width;              // in
    int height;             // in
    int quality;            // in: 0..100 (libjpeg clamps)
    int littleEndianWords;  // in: non-zero: each pixel is the bytes blue, green, red, alpha;
                            //     zero: the bytes alpha, red, green, blue
    qzJpegMemory* result;   // out: the encoded JPEG (FreeJPEGBuffer), or null
    unsigned char* data;    // out: result->data
    size_t size;            // out: result->size
    int error;              // out: 0 or ERR_MEM
};

// Decodes a JPEG. With memorySize non-zero, source points to that many bytes; otherwise source is
// a qzVfsFile read from its position. Pixels are width x height 0x00RRGGBB words (OsAlloc). CMYK
// and YCCK images are converted from CMYK, inverted first when an Adobe APP14 marker is present.
// Data that ends early decodes as far as it reaches. In information mode only the size is read.
// Returns 0, ERR_LOADPICTURE2 (any library error, an empty source) or ERR_MEM.
int LoadJPEG(const void* source, size_t memorySize, int infoOnly, int* outWidth, int* outHeight, uint32_t** outPixels);

// Encodes the pixels as a baseline JPEG (RGB input, library defaults, the quality with baseline
// tables) into memory. The memory target grows as needed, however small the image.
void EncodeJPEG(qzJpegEncodeRequest* request);
// Frees an encoded JPEG: its data, then the record. Null is ignored.
void FreeJPEGBuffer(qzJpegMemory* result);
