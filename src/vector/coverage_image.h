// Coverage images: the 8-bit planes that the shape rasteriser draws polygons and thick lines into
// before it turns them into masks and alpha channels. Their own aligned allocator and the
// rasteriser's last-error word live here too: the rasteriser reports failures only through that
// word (negative codes), and its callers report any failure as ERR_MEM. Main thread only.
#pragma once

#include <cstdint>

// Last-error codes.
enum {
    COVERR_FAILED = -1,        // a called operation failed (never stored: the first code survives)
    COVERR_HASMEMORY = -2,     // the image already has pixel memory
    COVERR_NOMEM = -4,         // the allocation failed
    COVERR_BADARG = -5,        // bad descriptor tag, line connectivity or stroke width
    COVERR_NODESCRIPTOR = -9,  // the descriptor could not be allocated
    COVERR_PITCH = -13,        // the row pitch is smaller than a row
    COVERR_NULL = -27,         // a null argument
    COVERR_ALIGN = -49,        // a block to free is not 32-byte aligned
    COVERR_EMPTY = -201,       // zero width or height
    COVERR_NEGATIVE = -25,     // negative width or height
    COVERR_TOOBIG = -211,      // a size above 0x40000000 bytes, a stroke width of 256 or more, a negative count
};

// The last-error word: 0 when all is well.
int CoverageLastError();
// Stores code and returns it; COVERR_FAILED (and -8) are returned without being stored.
int SetCoverageError(int code);
void ClearCoverageError();

// A 32-byte aligned block of size bytes (uncleared), or null with COVERR_TOOBIG above 0x40000000
// bytes or COVERR_NOMEM when the system has no memory.
void* CoverageAlloc(int64_t size);
// Frees a block of CoverageAlloc; null is ignored, an address that is not 32-byte aligned records
// COVERR_ALIGN and frees nothing.
void CoverageFree(void* block);

// One coverage image: width x height bytes, rows pitch bytes apart (the width rounded up to a
// multiple of 4).
struct qzCoverageImage {
    int32_t sizeWord;  // COVERAGE_IMAGE_TAG while the record is alive
    int32_t width;
    int32_t height;
    int32_t pitch;
    uint8_t* pixels;
};
constexpr int32_t COVERAGE_IMAGE_TAG = 112;

// Row pitch of an image of the given width (widths of 2^29 and more keep all their bits, so that
// a huge width can never yield a short row).
inline int64_t CoverageRowPitch(int64_t width) { return (width + 3) & ~(int64_t)3; }

// A cleared image, or null (the last-error word says why: a negative size COVERR_NEGATIVE, a zero
// one COVERR_EMPTY, too much memory COVERR_TOOBIG or COVERR_NOMEM). The pixel memory and pitch
// are also given through the out pointers that are not null.
qzCoverageImage* CreateCoverageImage(int width, int height, uint8_t** outPixels, int* outPitch);
// Clears the last-error word and frees the image; null is ignored.
void FreeCoverageImage(qzCoverageImage* image);
