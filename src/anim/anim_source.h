// Anim frame sources: an open animation file that delivers its frames one at a time as 32-bit
// ARGB buffers. Opening recognises the file by its first bytes and hands it to its reader (GIF);
// afterwards frames, delays and closing go to that reader. Main thread only.
#pragma once

#include <cstdint>

struct qzAnimSource;

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
void FreeAnimSourceFrame(qzAnimSource* source, uint32_t* pixels);
// The frame's delay in milliseconds (0 when the format has none).
uint32_t GetAnimSourceFrameDelay(const qzAnimSource* source, int32_t index);
// Closes the file and frees the record; null is ignored.
void CloseAnimSource(qzAnimSource* source);
// 1 when the file opens as an anim source of more than one frame (a one-frame GIF is a picture).
int IsAnimFile(const char* file, const char* adapterList);
