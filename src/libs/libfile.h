// The one place where the library cores in this folder touch files. It opens, reads, writes and
// seeks files for checksums and packed files, with the open modes of the virtual-file layer
// (1 read, 2 write, 4 read/write, 8 adapters allowed, 16 emulated seeking).
#pragma once

#include <cstddef>
#include <cstdint>

struct LibFile;

enum { LIBFILE_READ = 1, LIBFILE_WRITE = 2, LIBFILE_UPDATE = 4, LIBFILE_ADAPTERS = 8, LIBFILE_SEEKEMU = 16 };

// Opens name with the given mode bits; null on failure.
LibFile* LibFileOpen(const char* name, int mode);
// Closes the file; returns 0 on success.
int LibFileClose(LibFile* file);
// Reads up to count bytes; returns the number of bytes read (0 at the end or on error).
size_t LibFileRead(LibFile* file, void* buffer, size_t count);
// Writes count bytes; returns the number of bytes written.
size_t LibFileWrite(LibFile* file, const void* buffer, size_t count);
// Seeks (mode 0 from the current position, 1 from the beginning, 2 from the end); returns the
// previous position or -1.
int64_t LibFileSeek(LibFile* file, int64_t offset, int mode);
// Non-zero once a read or write has failed (as opposed to reaching the end).
int LibFileError(LibFile* file);
// Non-zero once a read has hit the end of the file.
int LibFileEof(LibFile* file);
