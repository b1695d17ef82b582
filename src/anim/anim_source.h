// Anim frame sources: an open animation file that delivers its frames one at a time as 32-bit
// ARGB buffers. Opening recognises the file by its first bytes and hands it to its reader (GIF);
// afterwards frames, delays and closing go to that reader. Main thread only.
#pragma once

#include <cstdint>

struct qzAnimSource;
struct qzBitMap;

// Opens the file (through the file adapters of adapterList, "|"-separated, null or empty: all).
// loadTransparency: frames report their transparent pen. 0 with *out set and the frame size and
// count; ERR_READFILE (name as error argument), ERR_SEEKFILE, ERR_READ for a file shorter than 12
// bytes, ERR_MEM, or ERR_OPENANIM2 (name as error argument) when no reader takes the file. A
// failed open leaves nothing open.
int OpenAnimSource(const char* file, const char* adapterList, int loadTransparency, qzAnimSource** out, int32_t* width,
                   int32_t* height, int32_t* frames, int* hasAlpha);
// Frame index (0-based) as a new OsAlloc buffer of width x height pixels, or null when it cannot
// be decoded. *hasTransparentPen is cleared first.
uint32_t* LoadAnimSourceFrame(qzAnimSource* source, int32_t index, int* hasTransparentPen);
// Frame index decoded into new bitmaps of width x height: the mask from the key colour (-1 none),
// the alpha channel when loadAlpha is set or the frame has a transparent pen. 0, ERR_LOADFRAME,
// ERR_NOTRANSPARENCY (file as error argument) when loadTransparency asks for a pen the frame
// lacks, ERR_ALLOCALPHA or the bitmap's error; on an error nothing is left allocated.
int DecodeAnimSourceFrame(qzAnimSource* source, int32_t index, int32_t width, int32_t height, int32_t key,
                          int loadAlpha, int loadTransparency, const char* file, qzBitMap** bitmap, qzBitMap** mask,
                          qzBitMap** alpha);
// The frame's delay in milliseconds (0 when the format has none).
uint32_t GetAnimSourceFrameDelay(const qzAnimSource* source, int32_t index);
// Closes the file and frees the record; null is ignored.
void CloseAnimSource(qzAnimSource* source);
// 1 when the file opens as an anim source of more than one frame (a one-frame GIF is a picture).
int IsAnimFile(const char* file, const char* adapterList);
