// Packed files: a 4-byte magic, a 32-bit word (written as 0, skipped when reading) and one zlib
// stream. "QZPK" names packed files; start-up reads zlib-packed applets with "QZZ" and a zero byte.
#pragma once

#include <cstddef>
#include <cstdint>

extern const char qzPackMagic[4];          // "QZPK"
extern const char qzPackedAppletMagic[4];  // "QZZ\0"

// Packs source into destination (replaced only when the whole file was written). Returns 0 or an
// error code; outSize (optional) receives the packed file's size including the 8 header bytes.
int CompressFileContainer(const char magic[4], const char* source, const char* destination, uint64_t* outSize);

// Unpacks the container that starts at offset in source, either into the destination file
// (replaced only on success) or, when buffer is given, into buffer (at most bufferSize bytes;
// unpacking stops, complete, once it is full). outSize receives the unpacked bytes written,
// outConsumed the container bytes used (the compressed stream plus 8). Returns 0 or an error code:
// ERR_PAKFORMAT for a wrong magic, ERR_READ for a short header, ERR_ZLIBDATA for a damaged or
// truncated stream.
int DecompressFileContainer(const char magic[4], const char* source, const char* destination, int64_t offset,
                            uint64_t* outSize, uint64_t* outConsumed, uint8_t* buffer, size_t bufferSize);

// zlib result to error code (a stream that wants a dictionary counts as damaged data).
int MapZlibError(int zlibResult);
