// Anim frame sources: an open animation file that delivers its frames one at a time as 32-bit
// ARGB buffers. Opening offers the file to the anim-loader plugins that the loader list allows,
// then recognises the built-in formats (GIF, AVI) by their first bytes; afterwards frames, delays,
// frame buffers and closing go to whoever opened the file. Main thread only.
#pragma once

#include <cstdint>

struct qzAnimSource;
struct qzBitMap;
struct qzPluginInfo;

// Opens the file. loaderList ("|"-separated: "inbuilt", "native", plugin names; null, empty or
// "default": all) chooses who may read it, adapterList the file adapters (null or empty: all).
// deinterlace: how an IFF ANIM of field deltas fills the rows of the other field
// (QZ_DEINTERLACE_DEFAULT or QZ_DEINTERLACE_DOUBLE). loadTransparency: frames report their
// transparent pen. 0 with *out set, the frame size and
// count, whether frames carry alpha and *loader (the plugin that took the file, null for the
// built-in readers); ERR_READFILE (name as error argument), ERR_SEEKFILE, ERR_READ for a file
// shorter than 12 bytes, ERR_MEM, or ERR_OPENANIM2 (name as error argument) when nobody takes the
// file. A failed open leaves nothing open.
int OpenAnimSource(const char* file, const char* loaderList, const char* adapterList, int deinterlace,
                   int loadTransparency, qzAnimSource** out, int32_t* width, int32_t* height, int32_t* frames,
                   int* hasAlpha, const qzPluginInfo** loader);
// The name that selects the loader of an open source in a loader list: the plugin's module name,
// or "inbuilt".
const char* AnimSourceLoaderName(const qzAnimSource* source);
// Frame index (0-based) as a new buffer of width x height pixels, or null when it cannot be
// decoded; it goes back through FreeAnimSourceFrame. *hasTransparentPen is cleared first.
uint32_t* LoadAnimSourceFrame(qzAnimSource* source, int32_t index, int loadAlpha, int* hasTransparentPen);
void FreeAnimSourceFrame(qzAnimSource* source, uint32_t* pixels);
// Frame index decoded into new bitmaps of width x height: the mask from the key colour (-1 none),
// the alpha channel when loadAlpha is set or the frame has a transparent pen. 0, ERR_LOADFRAME,
// ERR_NOTRANSPARENCY (file as error argument) when loadTransparency asks for a pen the frame
// lacks, ERR_ALLOCALPHA or the bitmap's error; on an error nothing is left allocated.
int DecodeAnimSourceFrame(qzAnimSource* source, int32_t index, int32_t width, int32_t height, int32_t key,
                          int loadAlpha, int loadTransparency, const char* file, qzBitMap** bitmap, qzBitMap** mask,
                          qzBitMap** alpha);
// The frame's delay in milliseconds (0 when the format has none).
uint32_t GetAnimSourceFrameDelay(const qzAnimSource* source, int32_t index);
// Whether the source ends with two frames that repeat its first two (an anim that loops back
// smoothly); loading may drop them.
int AnimSourceHasLoopFrames(const qzAnimSource* source);
// Closes the file and frees the record; null is ignored.
void CloseAnimSource(qzAnimSource* source);
// 1 when the file opens as an anim source, unless it is a GIF of one frame (a picture).
int IsAnimFile(const char* file, const char* loaderList, const char* adapterList);
