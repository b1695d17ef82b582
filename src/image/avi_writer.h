// The AVI writer: a Motion-JPEG video stream and a PCM stream of silence in an AVI file with
// two-level (OpenDML) indexes, continuation parts once the first part passes its size limit, and
// a legacy idx1 index for the frames of the first part. The file is written under a temporary
// name beside its target and appears only when FinishAviWriter completes it.
#pragma once

#include <cstdint>

struct qzAviWriter;

// The size past which the first part of a file ends and a continuation part begins.
constexpr uint64_t kAviFirstPartLimit = 1000000000;

// Opens the writer for frames of width x height at fps frames per second (1 to 1000) and JPEG
// quality 0..100; the title goes into the file's INFO list. firstPartLimit: kAviFirstPartLimit,
// smaller only to test continuation parts. 0, ERR_WRONGUSAGE, ERR_MEM or ERR_WRITEFILE (name as
// error argument).
int OpenAviWriter(const char* fileName, int fps, int width, int height, int quality, const char* title,
                  uint64_t firstPartLimit, qzAviWriter** outWriter);
// Appends one frame: width x height 0xAARRGGBB words, rows packed. 0, ERR_MEM, or ERR_SAVEANIM
// when the index has no room for more frames (over two million).
int WriteAviFrame(qzAviWriter* writer, const uint32_t* pixels);
// Completes the file, renames it over the target and frees the writer. 0, ERR_WRITE when a write
// failed (no file is left), or ERR_WRITEFILE when the rename fails.
int FinishAviWriter(qzAviWriter* writer);
// Removes the unfinished file and frees the writer; null is ignored.
void AbortAviWriter(qzAviWriter* writer);
