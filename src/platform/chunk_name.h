// Chunk file names: ordinary-looking names for data that lies inside a container file (the applet
// or another linked file) or in a block of memory the player registered. The file layer opens such
// a name as a window into the container or the memory block.
//
//   file data:   ":::chunk<offset>:<size>*<name>?<container path>"
//   memory data: ":::chunkS<source>:<size>*<name>?<address in lower-case hex>"
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Everything ParseChunkName takes out of a name.
struct qzChunkNameParts {
    uint64_t offset = 0;        // absolute position of the data in the container (0 for memory)
    uint64_t size = 0;          // size of the data
    std::string embeddedName;   // the data's own name, between '*' and '?'
    std::string containerPath;  // container file; empty for memory data
    std::string extension;      // the embedded name's last '.' and what follows, or empty
    uintptr_t address = 0;      // memory data: the block's address, else 0
    int sourceNumber = -1;      // memory data: the source number, else -1
};

// Builds a chunk name into buffer (bufferSize bytes, NUL-terminated). base == -1 makes a memory
// name: offset is the source number and container the block's address. Otherwise a file name
// with offset base + offset and container the container's path (a const char*). A name that does
// not fit leaves the buffer empty: a cut name could point into another file. Returns the buffer.
char* MakeChunkName(const char* name, char* buffer, size_t bufferSize, int64_t base, uint64_t size, uint64_t offset,
                    const void* container);

// Whether the name begins with ":::chunk".
bool IsChunkName(const char* name);

// Splits a chunk name. Returns false (and leaves *out untouched) for a name that is no chunk name
// or whose numbers or separators are malformed.
bool ParseChunkName(const char* name, qzChunkNameParts* out);

// The name shown in messages: for a chunk name its embedded name; then the part after the last '/'
// or '\', or when there is none the part after the first ':'. Names shorter than two characters
// are returned unchanged; a name ending in '/' or '\' gives the empty string.
std::string GetDisplayFileName(const char* name);

// Appends name to the path in buffer (bufferSize bytes), inserting '/' unless the path is empty or
// already ends in '/' or '\'. Returns false and leaves the buffer unchanged when it does not fit.
bool AddPathPart(char* buffer, size_t bufferSize, const char* name);
void AddPathPart(std::string& path, const char* name);

// Where the directory part of a path ends: after skipping leading '/' characters, the position of
// the last '/' or '\', or just after a ':' that comes after every separator; a path without any
// of them gives the position after the leading '/' characters. Cutting the path there keeps the
// directory part.
size_t GetPathPartEnd(const char* path);

// The extension of a name: the last '.' of its file part (of the embedded name for a chunk name)
// and what follows, or the empty string.
std::string GetFileExtension(const char* name);

// Creates a new, empty temporary file whose name ends in the extension of the given name and
// leaves the name in buffer (bufferSize bytes). Returns false when no file could be created.
bool MakeTempFileNameFor(char* buffer, size_t bufferSize, const char* name);
