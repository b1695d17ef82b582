// Locks, directory scans and operations on names, over POSIX calls.
#include "platform/os_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "platform/os_console.h"
#include "platform/os_file.h"
#include "platform/os_path.h"

namespace {

bool FsPath(const char* path, std::string* out) { return path && OsExistingFileSystemPath(path, out); }

}  // namespace

qzPlatformLock* OsLock(const char* path, int mode) {
    if (mode != 1) {
        PrintConsole("QZOS_LOCK_WRITE unsupported.\n");
        return nullptr;
    }
    if (!path) return nullptr;
    if (!*path) path = ".";
    std::string fsPath;
    if (!FsPath(path, &fsPath)) return nullptr;
    char resolved[PATH_MAX];
    if (!realpath(fsPath.c_str(), resolved)) return nullptr;
    struct stat st;
    if (stat(resolved, &st) != 0) return nullptr;
    // Owned until it is handed out: running out of memory for its names frees it.
    std::unique_ptr<qzPlatformLock> lock(new qzPlatformLock());
    lock->path = resolved;
    lock->enginePath = FileSystemToEnginePath(lock->path);
    lock->dir = nullptr;
    lock->fd = -1;
    lock->name[0] = '\0';
    if (S_ISDIR(st.st_mode))
        lock->dir = opendir(resolved);
    else if (S_ISREG(st.st_mode))
        lock->fd = open(resolved, O_RDONLY | O_CLOEXEC);
    if (!lock->dir && lock->fd < 0) return nullptr;
    return lock.release();
}

void OsUnlock(qzPlatformLock* lock) {
    if (!lock) return;
    if (lock->dir) closedir(lock->dir);
    if (lock->fd >= 0) close(lock->fd);
    delete lock;
}

int OsExamineLock(qzPlatformLock* lock, qzFileInfo* info) {
    struct stat st;
    std::memset(&st, 0, sizeof(st));
    int rc = lock->dir ? stat(lock->path.c_str(), &st) : fstat(lock->fd, &st);
    if (rc != 0) std::memset(&st, 0, sizeof(st));
    OsStatToFileInfo(&st, lock->enginePath.c_str(), info);
    return 0;
}

int OsCheckDirLock(qzPlatformLock* lock, int* isDirectory) {
    if (lock->dir) {
        if (isDirectory) *isDirectory = 1;
        return 0;
    }
    if (isDirectory) *isDirectory = 0;
    SetErrorArgString(lock->enginePath.c_str());
    return ERR_NOTADIR;
}

int OsNextDirEntry(qzPlatformLock* lock, void* unused, const char** name, int* isDirectory, qzFileInfo* info) {
    if (!lock || !lock->dir) return 0;
    while (struct dirent* entry = readdir(lock->dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        lock->scanPath = lock->path;
        if (lock->scanPath.empty() || lock->scanPath.back() != '/') lock->scanPath += '/';
        lock->scanPath += entry->d_name;
        struct stat st;
        if (stat(lock->scanPath.c_str(), &st) != 0) continue;
        CopyPathOut(FileSystemToEnginePath(entry->d_name), lock->name, sizeof(lock->name));
        if (name) *name = lock->name;
        if (isDirectory) *isDirectory = S_ISDIR(st.st_mode) ? 1 : 0;
        if (info) OsStatToFileInfo(&st, lock->name, info);
        return 1;
    }
    return 0;
}

void OsEndDirScan(void* scan) {}

int OsNameFromLock(qzPlatformLock* lock, char* buffer, size_t size) {
    CopyPathOut(lock->enginePath, buffer, size);
    return 1;
}

bool OsListDirectory(qzPlatformLock* lock, std::vector<qzOsDirEntry>* entries, std::string* fullName) {
    if (!lock || !lock->dir) return false;
    *fullName = lock->enginePath;
    const std::string& dir = lock->path;
    while (struct dirent* e = readdir(lock->dir)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        std::string fsPath = dir + (dir.empty() || dir.back() != '/' ? "/" : "") + n;
        struct stat st;
        if (lstat(fsPath.c_str(), &st) != 0) continue;
        qzOsDirEntry entry;
        entry.name = FileSystemToEnginePath(n);
        entry.fsName = n;
        entry.isLink = S_ISLNK(st.st_mode);
        entry.isDirectory = S_ISDIR(st.st_mode);
        entries->push_back(std::move(entry));
    }
    return true;
}

bool OsStatPath(const char* path, bool followLinks, qzOsPathStat* out) {
    std::string fsPath;
    struct stat st;
    if (!FsPath(path, &fsPath) || (followLinks ? stat(fsPath.c_str(), &st) : lstat(fsPath.c_str(), &st)) != 0)
        return false;
    out->isDirectory = S_ISDIR(st.st_mode);
    out->isLink = S_ISLNK(st.st_mode);
    out->ownerWritable = (st.st_mode & S_IWUSR) != 0;
    out->device = static_cast<uint64_t>(st.st_dev);
    out->inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

int OsRemoveDirectory(const char* path) {
    std::string fsPath;
    if (!FsPath(path, &fsPath)) return QZ_RMDIR_FAILED;
    if (rmdir(fsPath.c_str()) == 0) return 0;
    return errno == ENOTEMPTY || errno == EEXIST ? QZ_RMDIR_NOT_EMPTY : QZ_RMDIR_FAILED;
}

qzOsRawName OsPrepareRawName(const std::string& targetDir, const std::string& name, const std::string& fsName) {
    qzOsRawName fix;
    std::string converted, fsDir;
    if (!MacPathToFileSystem(name.c_str(), &converted) || converted == fsName) return fix;
    if (!OsExistingFileSystemPath(targetDir.c_str(), &fsDir)) return fix;
    std::string sep = fsDir.empty() || fsDir.back() == '/' ? "" : "/";
    fix.converted = fsDir + sep + converted;
    fix.raw = fsDir + sep + fsName;
    struct stat st;
    fix.active = lstat(fix.converted.c_str(), &st) != 0 && lstat(fix.raw.c_str(), &st) != 0;
    return fix;
}

void OsFinishRawName(const qzOsRawName& fix) {
    struct stat st;
    if (fix.active && lstat(fix.converted.c_str(), &st) == 0) std::rename(fix.converted.c_str(), fix.raw.c_str());
}

std::string OsComparablePath(const std::string& path) {
    std::string fs;
    if (!MacPathToFileSystem(path.empty() ? "." : path.c_str(), &fs)) return path;
    std::string rest;
    for (;;) {
        char resolved[PATH_MAX];
        if (realpath(fs.empty() ? "." : fs.c_str(), resolved)) {
            std::string r = resolved;
            if (!rest.empty()) r += (r == "/" ? "" : "/") + rest;
            return r;
        }
        if (fs.empty() || fs == "." || fs == "/") return path;
        size_t cut = fs.find_last_of('/');
        std::string last = cut == std::string::npos ? fs : fs.substr(cut + 1);
        if (!last.empty() && last != ".") rest = rest.empty() ? last : last + "/" + rest;
        // One level up: "a/b" gives "a", "/a" gives "/" and "a" gives ".".
        if (cut == std::string::npos)
            fs.assign(1, '.');
        else
            fs.resize(cut == 0 ? 1 : cut);
    }
}

std::string OsGetCurrentDir() {
    char buffer[PATH_MAX + 1];
    return getcwd(buffer, sizeof buffer) ? FileSystemToEnginePath(buffer) : std::string();
}

bool OsChangeDir(const char* path, std::string* previous) {
    char cwd[PATH_MAX + 1];
    if (!getcwd(cwd, sizeof(cwd))) return false;
    std::string fsPath;
    if (!FsPath(path, &fsPath) || chdir(fsPath.c_str()) != 0) return false;
    if (previous) *previous = FileSystemToEnginePath(cwd);
    return true;
}

int OsDeleteFile(const char* path) {
    std::string fsPath;
    return FsPath(path, &fsPath) && std::remove(fsPath.c_str()) == 0 ? 1 : 0;
}

qzFileRemover::~qzFileRemover() {
    if (name.empty()) return;
    try {
        OsDeleteFile(name.c_str());
    } catch (const std::bad_alloc&) {
    }
}

int OsRename(const char* oldPath, const char* newPath) {
    std::string from, to;
    if (!FsPath(oldPath, &from) || !FsPath(newPath, &to)) return 0;
    return std::rename(from.c_str(), to.c_str()) == 0 ? 1 : 0;
}

int OsMakeDir(const char* path) {
    std::string fsPath;
    if (!path || !MacPathToFileSystem(path, &fsPath) || mkdir(fsPath.c_str(), 0755) != 0) return ERR_CREATEDIR;
    return 0;
}

int OsGetFullPath(const char* path, char* buffer, size_t size) {
    std::string fsPath;
    if (!FsPath(path, &fsPath)) {
        CopyPathOut("", buffer, size);
        return 1;
    }
    char resolved[PATH_MAX];
    std::string result;
    if (realpath(fsPath.c_str(), resolved)) {
        result = resolved;
    } else if (!fsPath.empty() && fsPath[0] == '/') {
        result = fsPath;
    } else {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof(cwd)) && realpath(cwd, resolved)) result = resolved;
        if (!result.empty() && result.back() != '/') result += '/';
        result += fsPath;
    }
    CopyPathOut(FileSystemToEnginePath(result), buffer, size);
    return 1;
}

int OsSetFileDate(const char* path, int64_t accessTime, int64_t modifyTime) {
    std::string fsPath;
    if (!FsPath(path, &fsPath)) return 0;
    struct timeval times[2] = {};
    times[0].tv_sec = static_cast<time_t>(accessTime);
    times[1].tv_sec = static_cast<time_t>(modifyTime);
    return utimes(fsPath.c_str(), times) == 0 ? 1 : 0;
}

int OsSetProtection(const char* path, uint32_t flags) {
    static const struct {
        uint32_t engine;
        mode_t posix;
    } kBits[] = {
        {QZ_PROT_READ_USR, S_IRUSR}, {QZ_PROT_WRITE_USR, S_IWUSR}, {QZ_PROT_EXECUTE_USR, S_IXUSR},
        {QZ_PROT_READ_GRP, S_IRGRP}, {QZ_PROT_WRITE_GRP, S_IWGRP}, {QZ_PROT_EXECUTE_GRP, S_IXGRP},
        {QZ_PROT_READ_OTH, S_IROTH}, {QZ_PROT_WRITE_OTH, S_IWOTH}, {QZ_PROT_EXECUTE_OTH, S_IXOTH},
    };
    std::string fsPath;
    if (!FsPath(path, &fsPath)) return 0;
    mode_t mode = 0;
    if (flags & QZ_PROT_DEFAULT) {
        mode = 0644;
    } else {
        for (const auto& b : kBits)
            if (flags & b.engine) mode |= b.posix;
    }
    return chmod(fsPath.c_str(), mode) == 0 ? 1 : 0;
}

int OsSetFileComment(const char* path, const char* comment) { return 0; }

int OsGetVolumeName(const char* path, char* buffer, size_t size) {
    CopyPathOut("unimplemented", buffer, size);
    return 0;
}

int OsGetVolumeInfo(const char* path, int64_t* used, int64_t* freeBytes) {
    if (used) *used = 0;
    if (freeBytes) *freeBytes = 0;
    return 0;
}
