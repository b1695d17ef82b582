// Platform locks on files and directories, directory scans, file information by name and the
// operations on names: delete, rename, make directory, full path, dates, protection, current
// directory, volumes.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_info.h"

struct qzPlatformLock {
    std::string path;        // resolved path, file-system form
    std::string enginePath;  // the same in engine form (what callers see)
    DIR* dir;                // when the path is a directory
    int fd;                  // when it is a plain file, else -1
    std::string scanPath;    // path + "/" + entry name during a scan
    char name[512];          // the last entry name in engine form
};

// Only mode 1 (shared, for reading) exists. An empty path means ".".
qzPlatformLock* OsLock(const char* path, int mode);
void OsUnlock(qzPlatformLock* lock);
int OsExamineLock(qzPlatformLock* lock, qzFileInfo* info);  // 0
// 0 and *isDirectory = 1 for a directory; ERR_NOTADIR otherwise.
int OsCheckDirLock(qzPlatformLock* lock, int* isDirectory);
// 1 per entry ("." and ".." skipped, entries that cannot be examined skipped), 0 at the end.
// *name points into the lock and stays valid until the next call.
int OsNextDirEntry(qzPlatformLock* lock, void* unused, const char** name, int* isDirectory, qzFileInfo* info);
void OsEndDirScan(void* scan);
// Copies the lock's full path (engine form) into buffer; 1.
int OsNameFromLock(qzPlatformLock* lock, char* buffer, size_t size);

// One entry of OsListDirectory.
struct qzOsDirEntry {
    std::string name;    // engine form
    std::string fsName;  // as the disk stores it
    bool isDirectory;    // a real directory, not a link to one
    bool isLink;
};
// Every entry of a locked directory ("." and ".." skipped, entries that cannot be examined
// skipped), links not followed, and the directory's full name (engine form). False when the lock
// is not a directory.
bool OsListDirectory(qzPlatformLock* lock, std::vector<qzOsDirEntry>* entries, std::string* fullName);

// What a name is on the disk (OsExistingFileSystemPath's rule), links followed or not. False when
// nothing is there.
struct qzOsPathStat {
    bool isDirectory;
    bool isLink;  // only when links are not followed
    bool ownerWritable;
    uint64_t device;  // device and inode: equal for two names of one file
    uint64_t inode;
};
bool OsStatPath(const char* path, bool followLinks, qzOsPathStat* out);
// Removes an empty directory: 0, QZ_RMDIR_NOT_EMPTY when entries are left in it, or
// QZ_RMDIR_FAILED.
enum { QZ_RMDIR_NOT_EMPTY = 1, QZ_RMDIR_FAILED = 2 };
int OsRemoveDirectory(const char* path);
// The current directory in engine form; empty when it cannot be read.
std::string OsGetCurrentDir();

// A name stored on the disk as bytes that are not UTF-8 text reaches the engine as those raw
// bytes, and a new file under that engine name would get the bytes' Latin-1 reading. A copy of
// such an entry into targetDir is made under the engine name and then renamed to the entry's own
// bytes (OsFinishRawName), when neither name existed before.
struct qzOsRawName {
    bool active = false;
    std::string converted;  // file-system paths of the two names
    std::string raw;
};
qzOsRawName OsPrepareRawName(const std::string& targetDir, const std::string& name, const std::string& fsName);
void OsFinishRawName(const qzOsRawName& fix);

// The full name of a path for comparing trees, links resolved: the deepest part that exists is
// resolved and the rest of the path appended (file-system form; the path itself when nothing of
// it resolves).
std::string OsComparablePath(const std::string& path);

// Changes the current directory; *previous receives the old one (engine form). False when the
// old directory cannot be read or the change fails.
bool OsChangeDir(const char* path, std::string* previous);
int OsDeleteFile(const char* path);  // 1 / 0

// A file being written under a name of its own (a sibling of its target, a temporary copy):
// deleted when the owner goes, on every way out of a scope (a VM error or memory running out
// included), unless Keep() was called. Deleting it needs its name converted; with no memory left
// even for that, the file stays.
struct qzFileRemover {
    std::string name;
    qzFileRemover() = default;
    qzFileRemover(const qzFileRemover&) = delete;
    qzFileRemover& operator=(const qzFileRemover&) = delete;
    ~qzFileRemover();
    void Keep() { name.clear(); }
};

int OsRename(const char* oldPath, const char* newPath);                       // 1 / 0
int OsMakeDir(const char* path);                                              // 0 or ERR_CREATEDIR
int OsGetFullPath(const char* path, char* buffer, size_t size);               // 1
int OsSetFileDate(const char* path, int64_t accessTime, int64_t modifyTime);  // 1 / 0
int OsSetProtection(const char* path, uint32_t flags);                        // 1 / 0
int OsSetFileComment(const char* path, const char* comment);                  // 0: not supported
int OsGetVolumeName(const char* path, char* buffer, size_t size);             // "unimplemented"; 0
int OsGetVolumeInfo(const char* path, int64_t* used, int64_t* freeBytes);     // both 0; 0
