// Vector paths: the path record, the list of all paths, and the command buffer every path command
// appends a record to. The buffer is read later by a vector engine (vector_engine.h) when the path
// is drawn, measured, translated or asked for its current point. Records are in host byte order:
// a u32 opcode (QZ_PATHOP_* of platform/plugin_api.h) followed by its arguments packed without
// padding, so a double may sit at any 4-byte boundary and is always read and written with memcpy.
// A u32 0 ends the buffer. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/plugin_api.h"
#include "runtime/object_registry.h"

struct VmState;

// Object type of vector paths.
constexpr int32_t QZ_TYPE_VECTORPATH = 49;

// One script path (allocated zero-filled).
struct qzPath {
    qzObjectHeader header;
    uint8_t* buffer;    // null while the path holds no buffer
    uint32_t capacity;  // bytes allocated for the buffer
    uint8_t* write;     // where the next record goes: always on the terminating zero word
};

// Argument kinds of a record.
enum {
    PATHARG_U32 = 0,
    PATHARG_DOUBLE = 1,
    PATHARG_STRING = 2,  // zero-terminated, padded to PathStringSize bytes
    PATHARG_HANDLE = 3,  // u32 vector-font id (vector_fonts.h)
};

struct qzPathArg {
    int kind;
    uint32_t u;
    double d;
    const char* s;
};
inline qzPathArg PathU32(uint32_t v) { return {PATHARG_U32, v, 0, nullptr}; }
inline qzPathArg PathDouble(double v) { return {PATHARG_DOUBLE, 0, v, nullptr}; }
inline qzPathArg PathString(const char* v) { return {PATHARG_STRING, 0, 0, v}; }
inline qzPathArg PathHandle(uint32_t v) { return {PATHARG_HANDLE, v, 0, nullptr}; }

// Bytes a string of `length` characters occupies in a record: 4 * floor((length + 1) / 4) + 4
// (the bytes after the terminator are zero).
inline size_t PathStringSize(size_t length) { return 4 * ((length + 1) / 4) + 4; }

// Unaligned reads and writes of record fields.
inline uint32_t PathReadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline double PathReadDouble(const uint8_t* p) {
    double v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void PathWriteU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void PathWriteDouble(uint8_t* p, double v) { std::memcpy(p, &v, 8); }

// The size of the record at p, 0 for the end record and for an opcode no engine knows (a walk
// stops there). Text records are measured by their string.
size_t PathRecordSize(const uint8_t* p);
// Bytes in use before the terminator.
inline size_t PathBytesInUse(const qzPath* path) { return path->buffer ? size_t(path->write - path->buffer) : 0; }

// The path list, for the object registry.
qzObjectHeader** GetPathList();

// Finds the path whose identifier matches in both words: 0 with *out set, ERR_FINDARRAY for a
// handle, or ERR_FINDPATH with the number as the error argument.
int FindPath(const qzObjectId& id, qzPath** out);
// FindPath for a command: the path, or the command fails (VmFailCommand) with FindPath's error.
// The index form reads the identifier argument first.
qzPath* CheckPath(VmState* state, const qzObjectId& id);
qzPath* CheckPath(VmState* state, int index);
// Makes room for `needed` more bytes: nothing when they fit behind the bytes in use, else a new
// zero-filled block of capacity + max(needed, 1024) bytes takes the bytes in use. 0 or ERR_MEM
// (the path unchanged).
int GrowPathBuffer(qzPath* path, size_t needed);
// Appends one record (opcode and arguments) and the terminator to the path. 0 or ERR_MEM.
int AppendPathRecord(qzPath* path, uint32_t opcode, const qzPathArg* args, int count);
// Finds the path and appends the record: FindPath's errors come first.
int AppendPathCommand(const qzObjectId& id, uint32_t opcode, const qzPathArg* args, int count);

// Appends a zero-filled path with the identifier (an automatic one becomes its own address) to the
// tail of the list; null when out of memory.
qzPath* NewPathRecord(const qzObjectId& id);
// Unlinks a path and frees its object data, its buffer and the record.
void FreePathRecord(VmState* state, qzPath* path);
// FindPath, then FreePathRecord; FindPath's errors.
int FreePathById(VmState* state, const qzObjectId& id);
// Frees every path.
void FreePathList(VmState* state);
// Empties the path: no buffer any more.
void ClearPathBuffer(qzPath* path);

// A new path with the identifier holding a copy of the source's whole buffer (capacity bytes)
// and its own copy of the source's object data. 0 with *out set, or ERR_MEM with nothing made.
int CopyPathRecord(VmState* state, const qzPath* source, const qzObjectId& id, qzPath** out);
// Appends the source's records (without its terminator) to the destination. 0 or ERR_MEM.
int AppendPathRecords(qzPath* destination, const qzPath* source);
