// The platform file layer: stdio-backed files with 64-bit positions that can also be windows into
// a container (chunk file names) or onto a registered memory block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/file_info.h"
#include "platform/os_path.h"

// Open mode bits.
enum { QZ_OPEN_READ = 1, QZ_OPEN_WRITE = 2, QZ_OPEN_READWRITE = 4 };
// Seek modes.
enum { QZ_SEEK_CURRENT = 0, QZ_SEEK_BEGINNING = 1, QZ_SEEK_END = 2 };

struct qzPlatformFile {
    FILE* stream;         // null for data in memory
    int window;           // 1 for a chunk window
    int64_t windowStart;  // absolute position of the window in the container
    int64_t size;         // window size, the file size when asked for at open, or -1
    int64_t position;     // relative to the window start
    int lastWasWrite;
    const unsigned char* memory;  // data of a memory chunk name
    char* line;                   // the last line of OsReadLineDirect (malloc'd), and its room
    size_t lineRoom;
    char name[QZ_PATH_MAX];  // the resolved full path (engine form), or the chunk name
};

qzPlatformFile* OsOpenFile(const char* name, int mode);
// 1 when closed cleanly (or there was no stream), 0 when fclose failed; the record is freed.
int OsCloseFile(qzPlatformFile* file);
// Returns the previous position; -1 when the stream refused to move (the position is kept).
int64_t OsSeekFile(qzPlatformFile* file, int64_t offset, int mode);
size_t OsReadFile(qzPlatformFile* file, void* buffer, size_t count);
int OsGetC(qzPlatformFile* file);
size_t OsWriteFile(qzPlatformFile* file, const void* buffer, size_t count);
int OsPutC(qzPlatformFile* file, int byte);
int OsFlushFile(qzPlatformFile* file);
int OsEof(qzPlatformFile* file);
// Reads one line of a plain file opened from the disk straight from its stdio buffer: the bytes
// up to and including the next line feed, carriage returns dropped, the line feed not stored.
// Returns 1 with the line in *text and *length (a last line without a line feed ends at the end
// of the file; the text lives in the file's buffers until the next operation on the file), -1 when
// reading failed, or 0 without reading when the file is not such a file or is in the middle of
// writing.
int OsReadLineDirect(qzPlatformFile* file, const char** text, size_t* length);
// Copies what is left of in to out beneath their stdio streams, from both files' positions: by
// the kernel's copy_file_range where the file systems allow it, else by reads and writes of 1 MB.
// Both must be plain disk files, in a regular file and out not in the middle of writing; their
// streams are only closed afterwards. Returns 0 without copying when they are not such files, 1
// when the source's end was reached or it could not be read further (*copied bytes were written),
// -1 when writing failed.
int OsCopyFileData(qzPlatformFile* in, qzPlatformFile* out, uint64_t* copied);
// The memory a file of a memory chunk name reads, or null.
const unsigned char* OsFileMemory(const qzPlatformFile* file);
// Fills info from the open stream (or the window for a chunk); 1, or 0 when it cannot be examined.
int OsExamineFile(qzPlatformFile* file, qzFileInfo* info);

// Fills an examine record from a stat result; name is stored as the record's name.
struct stat;
void OsStatToFileInfo(const struct stat* st, const char* name, qzFileInfo* info);

// Creates an empty file beside target under a new unique name, for writing a replacement that is
// renamed over the target once complete. It gets the target's permissions when the target exists.
// *finalName receives the name to rename to: the target, or the file a symbolic link points to.
bool OsCreateSiblingTempFile(const char* target, std::string* tempName, std::string* finalName);

// Rewrites a name starting with "PROGDIR:" to the executable's folder joined with the rest.
// Returns false when the name does not start with the prefix or the result does not fit.
bool OsExpandProgDir(const char* name, char* buffer, size_t bufferSize);
