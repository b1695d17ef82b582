// The system image codecs as the engine calls them: decoding any image the system reads (TIFF,
// WebP, TGA, the PNM family, 16-bit and grey PNG, CMYK JPEG, GIF stills, ...) into 32-bit engine
// pixels with an optional alpha channel, decoding image files held in memory (the frames of
// Motion-JPEG AVI files), and encoding pixels as PNG, JPEG, TIFF or BMP.
#pragma once

#include <cstddef>
#include <cstdint>

struct qzBitMap;
struct qzVfsFile;

// Decodes the first image of an open file (read from its start), or, with no file, of the data
// block [data, data + dataSize). name is the file's name (its extension helps formats without a
// signature); it may be null for data. Outputs (each may be null):
// - outPixels: width x height native 0xAARRGGBB words (OsAlloc; release with OsFree);
// - outHasAlpha: 1 when the image carries straight alpha;
// - outAlpha: when given and the image has alpha, a new engine alpha channel with it, and the
//   pixels' top bytes stay 0; when not given, the alpha stands in each pixel's top byte; null
//   for images without alpha;
// - outWord: set to 0; outTransparent: set to -1 (system images have no transparent colour).
// In information mode only size and alpha flag are filled. Returns 0, ERR_LOADPICTURE2 (the
// system reads no image from it), ERR_MEM or ERR_ALLOCALPHA; nothing is kept on failure.
int MacLoadImage(qzVfsFile* file, const char* name, const void* data, size_t dataSize, int infoOnly,
                 uint32_t** outPixels, int* outWidth, int* outHeight, int* outHasAlpha, qzBitMap** outAlpha,
                 int* outWord, int32_t* outTransparent);

// Decodes an image file held in memory (read in place, not copied), with the outputs of
// MacLoadImage.
int MacDecodeImageFromMemory(const void* buffer, size_t length, uint32_t** outPixels, int* outWidth, int* outHeight,
                             int* outHasAlpha, qzBitMap** outAlpha, int* outWord, int32_t* outTransparent);

// The pixel block of a native image: the image itself (nothing to release on this platform).
void* MacReleaseNativeImage(void* image);

// Encodes width x height native 0xAARRGGBB words (bytesPerRow apart) as one image of the type
// identifier "public.png", "public.jpeg", "public.tiff" or "com.microsoft.bmp". With alpha the
// top bytes are kept as straight alpha (not for JPEG). quality 0..100 applies to JPEG. With a
// path the file is written (replacing an existing one only when complete); without one the
// encoded bytes go to *outData / *outSize (OsAlloc). Returns 0, ERR_MEM, ERR_WRITEFILE or
// ERR_WRITE for the file, or the encoder error: ERR_SAVEPNG for PNG, ERR_WRITEJPEG for the rest
// (an unknown type identifier included).
int MacSaveImage(const char* path, const uint32_t* pixels, int width, int height, int bytesPerRow,
                 const char* typeIdentifier, int alpha, int quality, unsigned char** outData, size_t* outSize);
