// The virtual-file layer: every file and directory access of the player goes through here. Per
// open or lock it decides whether a file-adapter plugin or the platform file layer serves the
// name; chunk file names become windows into their container or memory block. On top of read,
// write and seek it offers byte and 16/32-bit integer routines in both byte orders, whole-file
// loading and copying, and examine records.
//
// Results: operations that only succeed or fail (close, put, flush, examine, the integer writes)
// return non-zero on success and 0 on failure; operations that say why they failed (whole files,
// the directory check) return 0 or an error code; reads and writes return the bytes moved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_info.h"
#include "platform/plugin_api.h"

struct qzPlatformFile;
struct qzPlatformLock;

// Open mode bits.
enum {
    QZ_VFS_READ = 1,
    QZ_VFS_WRITE = 2,      // create or truncate
    QZ_VFS_READWRITE = 4,  // update
    QZ_VFS_ADAPTERS = 8,   // file-adapter plugins may serve the open
    QZ_VFS_SEEKEMU = 16,   // emulated seeking allowed on stream files
};
// Lock modes: 1 read, 2 write, bit 4 = adapters may serve the lock.
enum { QZ_VFS_LOCK_READ = 1, QZ_VFS_LOCK_WRITE = 2, QZ_VFS_LOCK_ADAPTERS = 4 };
// Seek modes.
enum { QZ_VFS_SEEK_CURRENT = 0, QZ_VFS_SEEK_BEGINNING = 1, QZ_VFS_SEEK_END = 2 };
// Mode numbers a file adapter receives.
enum { QZ_ADAPTER_MODE_WRITE = 1, QZ_ADAPTER_MODE_READWRITE = 2, QZ_ADAPTER_MODE_READ = 4 };
// Flags a file adapter reports for an open file.
enum { QZ_ADAPTER_FILE_STREAM = 1, QZ_ADAPTER_FILE_NOSEEK = 2 };

// What an adapter's FOpen learns besides name and mode.
struct qzVfsOpenTags {
    int* flags;                 // where the adapter stores the file's flags
    const char* containerPath;  // chunk names: the container, empty for memory data
    uint64_t offset;            // chunk names: window start
    uint64_t size;              // chunk names: window size
    int memorySource;           // memory chunk names: 1
};

// A file adapter of the layer's own: the entry points through which it serves files, connected
// through VfsAddFileAdapter. File-adapter plugins are connected through VfsAddPluginAdapter and
// served through their information block (then `plugin` is set and the entry points here are
// unused).
struct qzVfsFileAdapter {
    const char* name;       // module name, matched against loader lists
    int acceptsChunkNames;  // the adapter wants ":::chunk" names too
    int enabled;
    int activatedByList;  // set when a loader list named it
    void* (*FOpen)(const char* name, int adapterMode, const qzVfsOpenTags* tags);
    int (*FClose)(void* handle);
    size_t (*FRead)(void* handle, void* buffer, size_t count);
    size_t (*FWrite)(void* handle, const void* buffer, size_t count);
    int64_t (*FSeek)(void* handle, int64_t offset, int mode);  // previous position or -1
    int (*FGetC)(void* handle);
    int (*FPutC)(void* handle, int byte);
    int (*FFlush)(void* handle);
    int (*FEof)(void* handle);
    int (*FStat)(void* handle, qzFileInfo* info);     // 1 on success
    int (*Stat)(const char* name, qzFileInfo* info);  // by name; 1 on success
    const qzPluginInfo* plugin;
};

void VfsAddFileAdapter(qzVfsFileAdapter* adapter);
void VfsRemoveFileAdapter(qzVfsFileAdapter* adapter);

// File-adapter (QZ_PLUGINCAPS_FILEADAPTER) and directory-adapter (QZ_PLUGINCAPS_DIRADAPTER)
// plugins, in the order they joined. A plugin is in each list at most once; its own words
// (disabled flag, activated-by-list word, module name, file-adapter flags) decide at every open
// whether it may serve. 0, ERR_MEM, or ERR_WRONGUSAGE for another capability.
int VfsAddPluginAdapter(const qzPluginInfo* plugin, uint32_t capability);
void VfsRemovePluginAdapter(const qzPluginInfo* plugin, uint32_t capability);
// Called with a loader list and the capability before the adapters of that kind are searched,
// so that plugins named by the list join the list first. Null until the plugin manager installs it.
typedef void (*qzVfsActivateFn)(const char* loaderList, uint32_t capability);
void VfsSetActivateHook(qzVfsActivateFn hook);
qzVfsActivateFn VfsGetActivateHook();

struct qzVfsFile {
    qzVfsFileAdapter* adapter;  // null: the platform serves the file
    void* handle;               // the adapter's handle or the qzPlatformFile
    int flags;                  // adapter files: the adapter's flags; platform: the open mode
    int mode;                   // the open mode bits
    char* statName;             // plugin files: the name their last examine reported, or null
};

struct qzVfsLock {
    qzVfsFileAdapter* fileAdapter;
    qzPlatformLock* platform;  // null for chunk names and adapter locks
    std::string name;          // the name that was locked
    bool chunk;                // a ":::chunk" name: a file of chunkSize bytes
    int64_t chunkSize;
    qzFileInfo adapterStat;                    // file-adapter locks: the adapter's answer
    std::string statName;                      // file-adapter plugin locks: the name the adapter reported
    const qzPluginInfo* dirAdapter = nullptr;  // directory-adapter locks: the plugin
    void* dirHandle = nullptr;                 // and its directory handle
    std::string entryName;                     // the last entry a directory adapter reported
};

// Files.
qzVfsFile* VfsOpen(const char* name, int mode, const char* loaderList);
int VfsClose(qzVfsFile* file);

// Owns an open file and closes it on every way out of a scope (a VM error or memory running out
// included); release() hands it on.
struct qzVfsFileCloser {
    void operator()(qzVfsFile* file) const { VfsClose(file); }
};
using qzVfsFileOwner = std::unique_ptr<qzVfsFile, qzVfsFileCloser>;

size_t VfsRead(qzVfsFile* file, void* buffer, size_t count);
size_t VfsReadBlock(qzVfsFile* file, void* buffer, size_t count);
size_t VfsWrite(qzVfsFile* file, const void* buffer, size_t count);
size_t VfsWriteBlock(qzVfsFile* file, const void* buffer, size_t count);
int64_t VfsSeek(qzVfsFile* file, int64_t offset, int mode);
int64_t VfsGetFileSize(qzVfsFile* file);
int VfsGetC(qzVfsFile* file);
int VfsPutC(qzVfsFile* file, int byte);
int VfsFlush(qzVfsFile* file);
int VfsEof(qzVfsFile* file);
int VfsExamine(qzVfsFile* file, qzFileInfo* info);  // 1, or 0 when it cannot be examined
const char* VfsGetFileAdapterName(qzVfsFile* file);
int VfsGetFileFlags(qzVfsFile* file);
int VfsHasStreamFlag(qzVfsFile* file);

// Copies the rest of in to out beneath the stdio streams of two platform files (see
// OsCopyFileData): 0 without copying when either is served by an adapter or is no plain disk
// file, 1 with *copied bytes written, -1 when writing failed.
int VfsCopyFileData(qzVfsFile* in, qzVfsFile* out, uint64_t* copied);

// A line read straight from a platform file's buffer (see OsReadLineDirect): 1 with the line in
// *text and *length (valid until the next operation on the file), -1 on a read error, 0
// without reading for files served by an adapter or not read that way.
int VfsReadLineDirect(qzVfsFile* file, const char** text, size_t* length);
// The memory that a file of a memory chunk name reads, or null for any other file.
const void* VfsFileMemory(qzVfsFile* file);

// Integers, one byte at a time; bytes missing at the end of the file count as 0. The 16-bit
// signed variants sign-extend.
int32_t VfsReadInt16LE(qzVfsFile* file);
uint32_t VfsReadUInt16BE(qzVfsFile* file);
int32_t VfsReadInt16BE(qzVfsFile* file);
int32_t VfsReadInt32LE(qzVfsFile* file);
int32_t VfsReadInt32BE(qzVfsFile* file);
int VfsWriteInt16LE(qzVfsFile* file, int32_t value);  // 1 when every byte was written
int VfsWriteInt16BE(qzVfsFile* file, int32_t value);
int VfsWriteInt32LE(qzVfsFile* file, int32_t value);
int VfsWriteInt32BE(qzVfsFile* file, int32_t value);
// Writes the text without its terminator; returns the bytes written.
size_t VfsWriteString(qzVfsFile* file, const char* text);

// Whole files. VfsLoadFile hands out an OsAlloc block (*size bytes plus a NUL behind them) that
// the caller frees with OsFree; with an open file given it is read from its beginning. Returns 0,
// ERR_READFILE (the name cannot be opened) or ERR_MEM.
int VfsLoadFile(const char* name, const char* loaderList, qzVfsFile* openFile, unsigned char** buffer, size_t* size,
                bool allowAdapters);
// Reads a whole file (adapters allowed, loader list "default") in blocks of 65536 bytes and hands
// each block to consume. Returns 0, ERR_WRONGUSAGE for an empty name, ERR_MEM, or ERR_READFILE
// naming the file when it cannot be opened.
int VfsReadFileInBlocks(const char* name, void (*consume)(void* data, const uint8_t* bytes, size_t size), void* data);
// Copies source (or the given open source, from its beginning) to the target file. The target is
// written beside its final name and renamed over it on success, so a failed copy never replaces
// a good file. Returns 0, ERR_READFILE, ERR_WRITEFILE, ERR_WRITE, ERR_READ or ERR_MEM.
int VfsCopyFile(const char* source, const char* loaderList, const char* target, qzVfsFile* openSource);

// Directories and locks.
qzVfsLock* VfsLock(const char* name, int mode, const char* loaderList);
void VfsUnlock(qzVfsLock* lock);
void VfsNameFromLock(qzVfsLock* lock, char* buffer, size_t size);
int VfsExamineLock(qzVfsLock* lock, qzFileInfo* info);   // 1
int VfsCheckDirLock(qzVfsLock* lock, int* isDirectory);  // 0 or ERR_NOTADIR
int VfsNextDirEntry(qzVfsLock* lock, void* scan, const char** name, int* isDirectory, qzFileInfo* info);
const char* VfsGetLockAdapterName(qzVfsLock* lock);
// Examines a name into the larger record (full name, comment, dates); 1, or 0 on failure.
int VfsExamineName(const char* name, qzDosFileInfo* info, bool useAdapters);
