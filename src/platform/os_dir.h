// Platform locks on files and directories, directory scans, file information by name and the
// operations on names: delete, rename, make directory, full path, dates, protection, current
// directory, volumes.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_info.h"

struct qzPlatformLock {
    std::string path;         // resolved path, file-system form
    std::string enginePath;   // the same in engine form (what callers see)
    DIR* dir;                 // when the path is a directory
    int fd;                   // when it is a plain file, else -1
    std::string scanPath;     // path + "/" + entry name during a scan
    char name[512];           // the last entry name in engine form
};

// Only mode 1 (shared, for reading) exists. An empty path means ".".
qzPlatformLock* OsLock(const char* path, int mode);
void OsUnlock(qzPlatformLock* lock);
int OsExamineLock(qzPlatformLock* lock, qzFileInfo* info);   // 0
// 0 and *isDirectory = 1 for a directory; ERR_NOTADIR otherwise.
int OsCheckDirLock(qzPlatformLock* lock, int* isDirectory);
// 1 per entry ("." and ".." skipped, entries that cannot be examined skipped), 0 at the end.
// *name points into the lock and stays valid until the next call.
int OsNextDirEntry(qzPlatformLock* lock, void* unused, const char** name, int* isDirectory,
                   qzFileInfo* info);
void OsEndDirScan(void* scan);
// Copies the lock's full path (engine form) into buffer; 1.
int OsNameFromLock(qzPlatformLock* lock, char* buffer, size_t size);

// Changes the current directory; *previous receives the old one (engine form). False when the
// old directory cannot be read or the change fails.
bool OsChangeDir(const char* path, std::string* previous);
int OsDeleteFile(const char* path);                       // 1 / 0
int OsRename(const char* oldPath, const char* newPath);   // 1 / 0
int OsMakeDir(const char* path);                          // 0 or ERR_CREATEDIR
int OsGetFullPath(const char* path, char* buffer, size_t size);   // 1
int OsSetFileDate(const char* path, int64_t accessTime, int64_t modifyTime);   // 1 / 0
int OsSetProtection(const char* path, uint32_t flags);    // 1 / 0
int OsSetFileComment(const char* path, const char* comment);   // 0: not supported
int OsGetVolumeName(const char* path, char* buffer, size_t size);   // "unimplemented"; 0
int OsGetVolumeInfo(const char* path, int64_t* used, int64_t* freeBytes);   // both 0; 0
