// Files named by host paths exactly as the command line or the system gives them (the applet
// file, its ".ini" file, the player's own executable, the player's temporary files). They are
// read and written without the engine's name conversion and without the virtual-file layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct qzHostFile;

// Opens for reading, or creates (truncating) for writing. Null when it cannot be opened.
qzHostFile* OsHostOpen(const char* path, bool write);
// Closes the file (null is ignored): 0, or -1 when the last writes could not be completed.
int OsHostClose(qzHostFile* file);
// Closes the file it holds when it goes, also when memory running out unwinds past it.
struct qzHostFileCloser {
    void operator()(qzHostFile* file) const { OsHostClose(file); }
};
using qzHostFileOwner = std::unique_ptr<qzHostFile, qzHostFileCloser>;
// Reads or writes up to count bytes at the current position; returns the bytes moved.
size_t OsHostRead(qzHostFile* file, void* buffer, size_t count);
size_t OsHostWrite(qzHostFile* file, const void* buffer, size_t count);
// Whether a read failed (as opposed to reaching the end).
bool OsHostReadFailed(qzHostFile* file);
// Moves to an absolute position: false when the position cannot be reached.
bool OsHostSeek(qzHostFile* file, uint64_t offset);
// The file's size; leaves the position at the end. False when it cannot be told.
bool OsHostSize(qzHostFile* file, uint64_t* size);
// Whether the open file is a regular file (not a folder or a device).
bool OsHostIsRegularFile(qzHostFile* file);

// Whether something exists at the path (links followed).
bool OsHostPathExists(const char* path);
// Deletes a file: true when it is gone.
bool OsHostDeleteFile(const char* path);
// The current directory as the system gives it; empty when it cannot be read.
std::string OsHostCurrentDir();
// Changes the current directory: false when that fails.
bool OsHostChangeDir(const char* path);
