// Copying and deleting files and whole directory trees, with name patterns and the progress,
// overwrite and unprotect callbacks. Tree walks never follow symbolic links: a link is deleted or
// copied as an entry of its own tree, and a link to a directory is never entered.
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "libs/dos/dos.h"
#include "platform/chunk_name.h"
#include "platform/file_info.h"
#include "platform/os_dir.h"
#include "platform/os_file.h"
#include "platform/os_path.h"
#include "platform/vfs.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "runtime/linked_file.h"
#include "runtime/option_table.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Result of a step that a callback or the quit flag aborted; the command then ends without error.
constexpr int kAbort = -1;
// Answer of AskGoOn: leave this entry alone and go on with the next.
constexpr int kSkip = -2;
constexpr size_t kCopyBlock = 16384;

enum { COPY_STATUS = 0, COPY_OVERWRITE = 1, COPY_UNPROTECT = 2 };
enum { DELETE_STATUS = 0, DELETE_UNPROTECT = 1 };

struct qzWalk {
    VmState* state;
    int callback;  // stack index, 0 for none
    int userdata;  // stack index, 0 for none
    bool hasPattern;
    std::string pattern;
    bool dirFilter;
};

bool FsStat(const std::string& enginePath, qzOsPathStat* st, bool follow) {
    return OsStatPath(enginePath.c_str(), follow, st);
}

// Lists a directory's entries (engine names) and its full name. 0, ERR_LOCK2 or the lock check's
// error.
int ListDirectory(const std::string& path, std::vector<qzOsDirEntry>* entries, std::string* fullName) {
    // Unlocked also when the listing runs out of memory and unwinds through here.
    std::unique_ptr<qzVfsLock, decltype(&VfsUnlock)> lock(VfsLock(path.c_str(), QZ_VFS_LOCK_READ, nullptr), &VfsUnlock);
    if (!lock) {
        SetErrorArgString(path.c_str());
        return ERR_LOCK2;
    }
    int isDirectory = 0;
    int code = VfsCheckDirLock(lock.get(), &isDirectory);
    if (code || !lock->platform) {
        if (!code) SetErrorArgString(path.c_str());
        return code ? code : ERR_NOTADIR;
    }
    OsListDirectory(lock->platform, entries, fullName);
    return 0;
}

std::string Join(const std::string& dir, const std::string& name) {
    std::string r = dir;
    AddPathPart(r, name.c_str());
    return r;
}

std::string FilePartOf(const std::string& path) {
    std::string p = path;
    if (IsChunkName(p.c_str())) {
        qzChunkNameParts parts;
        if (ParseChunkName(p.c_str(), &parts)) p = parts.embeddedName;
    }
    size_t start = 0;
    for (size_t i = 0; i < p.size(); i++)
        if (p[i] == '/' || p[i] == '\\' || p[i] == ':') start = i + 1;
    return p.substr(start);
}

// Calls the callback with the table on the stack top. *result gets its number; a non-number
// counts as 0, or fails with ERR_NUMCALLBACK when strict. Returns 0 or an error code.
int Call(qzWalk* w, double* result, bool strict) {
    VmState* state = w->state;
    if (w->userdata) {
        VmPushString(state, "userdata");
        VmPushValue(state, w->userdata);
        VmRawSet(state, -3);
    }
    int code = DosCallCallback(state, w->callback);
    if (code) return code;
    int error = 0;
    *result = VmGetNumberOrCode(state, -1, &error);
    VmPop(state, 1);
    if (error) {
        if (strict) return ERR_NUMCALLBACK;
        *result = 0;
    }
    return 0;
}

// Asks the callback whether to go on with an entry: the table holds the action, key = value and,
// when given, the destination. Returns 0 to go on, kSkip for the answer 0, kAbort for -1 or when
// quit was requested, or an error code.
int AskGoOn(qzWalk* w, int action, const char* key, const std::string& value, const std::string* destination) {
    VmState* state = w->state;
    VmNewTable(state);
    SetTableFieldInt(state, "action", action);
    SetTableFieldString(state, key, value.c_str());
    if (destination) SetTableFieldString(state, "destination", destination->c_str());
    double r;
    int code = Call(w, &r, false);
    if (code) return code;
    if (r == -1 || IsQuitRequested()) return kAbort;
    if (r == 0) return kSkip;
    return 0;
}

// ---- deleting ----

int DeleteOne(qzWalk* w, const std::string& path, bool isLink) {
    if (w->hasPattern && !DosMatchPatternText(FilePartOf(path).c_str(), w->pattern.c_str())) return 0;
    if (IsQuitRequested()) return kAbort;
    qzOsPathStat st;
    if (!FsStat(path, &st, false)) return ERR_DELETEFILE;
    bool writable = isLink || st.ownerWritable;
    VmState* state = w->state;
    if (!writable) {
        if (!w->callback) return 0;
        int code = AskGoOn(w, DELETE_UNPROTECT, "file", path, nullptr);
        if (code) return code == kSkip ? 0 : code;
        OsSetProtection(path.c_str(), QZ_PROT_DEFAULT);
    }
    if (w->callback) {
        VmNewTable(state);
        SetTableFieldInt(state, "action", DELETE_STATUS);
        SetTableFieldString(state, "file", path.c_str());
        double r;
        int code = Call(w, &r, false);
        if (code) return code;
        if (r == 1 || IsQuitRequested()) return kAbort;
    }
    return OsDeleteFile(path.c_str()) ? 0 : ERR_DELETEFILE;
}

int DeleteTree(qzWalk* w, const std::string& path, bool keepTop) {
    std::vector<qzOsDirEntry> entries;
    std::string full;
    int code = ListDirectory(path, &entries, &full);
    if (code) return code;
    for (const qzOsDirEntry& e : entries) {
        std::string child = Join(full, e.name);
        if (e.isDirectory) {
            if (w->hasPattern && w->dirFilter && !DosMatchPatternText(e.name.c_str(), w->pattern.c_str())) continue;
            code = DeleteTree(w, child, false);
        } else {
            code = DeleteOne(w, child, e.isLink);
        }
        if (code) return code;
    }
    if (keepTop) return 0;
    if (IsQuitRequested()) return kAbort;
    int removed = OsRemoveDirectory(full.c_str());
    // With a pattern, entries that did not match may keep a directory alive.
    if (removed == QZ_RMDIR_NOT_EMPTY && w->hasPattern) return 0;
    return removed ? ERR_DELETEFILE : 0;
}

// ---- copying ----

struct qzSourceDates {
    bool known = false;
    int64_t accessTime = 0;
    int64_t modifyTime = 0;
    uint32_t protection = 0;
};

qzSourceDates DatesOf(const std::string& path) {
    qzSourceDates d;
    if (qzVfsLock* lock = VfsLock(path.c_str(), QZ_VFS_LOCK_READ, nullptr)) {
        if (lock->platform) {
            qzFileInfo info{};
            VfsExamineLock(lock, &info);
            d.known = true;
            d.accessTime = info.accessTime;
            d.modifyTime = info.modifyTime;
            d.protection = info.protection;
        }
        VfsUnlock(lock);
    }
    return d;
}

void ApplyDates(const std::string& target, const qzSourceDates& d) {
    if (!d.known) return;
    OsSetFileDate(target.c_str(), d.accessTime, d.modifyTime);
    OsSetProtection(target.c_str(), d.protection);
}

bool SameFile(const std::string& a, const std::string& b) {
    qzOsPathStat sa, sb;
    return FsStat(a, &sa, true) && FsStat(b, &sb, true) && sa.device == sb.device && sa.inode == sb.inode;
}

int CopyOne(qzWalk* w, const std::string& source, const std::string& destDir, const std::string& newName, bool byName) {
    std::string part = FilePartOf(source);
    if (w->hasPattern && !DosMatchPatternText(part.c_str(), w->pattern.c_str())) return 0;
    if (IsQuitRequested()) return kAbort;
    std::string target = Join(destDir, newName.empty() ? part : newName);
    if (target.size() > 2048) {
        SetErrorArgString(target.c_str());
        return ERR_WRITEFILE;
    }
    VmState* state = w->state;
    qzOsPathStat st;
    if (FsStat(target, &st, true)) {
        // A file copied onto itself would be truncated before it is read: refuse.
        if (byName && SameFile(source, target)) {
            SetErrorArgString(target.c_str());
            return ERR_WRONGUSAGE;
        }
        if (w->callback) {
            int code = AskGoOn(w, COPY_OVERWRITE, "source", source, &target);
            if (code) return code == kSkip ? 0 : code;
        }
        if (!st.ownerWritable) {
            if (!w->callback) return 0;
            int code = AskGoOn(w, COPY_UNPROTECT, "destination", target, nullptr);
            if (code) return code == kSkip ? 0 : code;
            OsSetProtection(target.c_str(), QZ_PROT_DEFAULT);
        }
    }
    // The files and the half-made copy go on every way out: an error of the callback, a VM error
    // or memory running out included.
    qzVfsFileOwner inFile(VfsOpen(source.c_str(), QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr));
    qzVfsFile* in = inFile.get();
    if (!in) {
        SetErrorArgString(source.c_str());
        return ERR_READFILE;
    }
    int64_t size = VfsGetFileSize(in);
    // The copy is written beside the target and renamed over it once complete.
    qzFileRemover temp;
    std::string finalName;
    if (!OsCreateSiblingTempFile(target.c_str(), &temp.name, &finalName)) {
        SetErrorArgString(target.c_str());
        return ERR_WRITEFILE;
    }
    const std::string& tempName = temp.name;
    qzVfsFileOwner outFile(VfsOpen(tempName.c_str(), QZ_VFS_WRITE, nullptr));
    qzVfsFile* out = outFile.get();
    if (!out) {
        SetErrorArgString(target.c_str());
        return ERR_WRITEFILE;
    }
    int code = 0;
    uint64_t copied = 0;
    bool done = false;
    if (!w->callback) {
        // Without a callback nobody sees the blocks: plain files are copied beneath their streams.
        int direct = VfsCopyFileData(in, out, &copied);
        if (direct < 0) code = ERR_WRITE;
        done = direct != 0;
    }
    std::unique_ptr<char[]> block;
    if (!done) {
        block.reset(new (std::nothrow) char[kCopyBlock]);
        if (!block) code = ERR_MEM;
    }
    while (!code && !done) {
        size_t got = VfsReadBlock(in, block.get(), kCopyBlock);
        if (got == 0) break;
        if (VfsWriteBlock(out, block.get(), got) != got) {
            code = ERR_WRITE;
            break;
        }
        copied += got;
        if (w->callback) {
            VmNewTable(state);
            SetTableFieldInt(state, "action", COPY_STATUS);
            SetTableFieldString(state, "source", source.c_str());
            SetTableFieldString(state, "destination", target.c_str());
            SetTableFieldNumber(state, "copied", static_cast<double>(copied));
            SetTableFieldNumber(state, "filesize", static_cast<double>(size));
            double r;
            code = Call(w, &r, true);
            if (!code && r == 1) code = kAbort;
        }
        if (!code && IsQuitRequested()) code = kAbort;
    }
    if (!code && (size >= 0 ? copied != static_cast<uint64_t>(size) : !VfsEof(in))) code = ERR_READ;
    VfsClose(inFile.release());
    if (!VfsClose(outFile.release()) && !code) code = ERR_WRITE;
    if (!code) {
        if (!OsRename(tempName.c_str(), finalName.c_str())) code = ERR_WRITE;
    }
    if (code) {
        if (code == ERR_READ) SetErrorArgString(source.c_str());
        return code;
    }
    temp.Keep();
    if (byName) ApplyDates(finalName, DatesOf(source));
    return 0;
}

int CopyTree(qzWalk* w, const std::string& source, const std::string& destDir, bool top) {
    std::vector<qzOsDirEntry> entries;
    std::string full;
    int code = ListDirectory(source, &entries, &full);
    if (code == ERR_NOTADIR) {
        SetErrorArgString(source.c_str());
        return ERR_EXAMINE;
    }
    if (code) return code;
    std::string target = top ? destDir : Join(destDir, FilePartOf(full));
    code = DosMakePath(target.c_str());
    if (code) return code;
    for (const qzOsDirEntry& e : entries) {
        std::string child = Join(full, e.name);
        if (e.isDirectory) {
            if (w->hasPattern && w->dirFilter && !DosMatchPatternText(e.name.c_str(), w->pattern.c_str())) continue;
            qzOsRawName fix = OsPrepareRawName(target, e.name, e.fsName);
            code = CopyTree(w, child, target, false);
            OsFinishRawName(fix);
        } else {
            qzOsPathStat st;
            // A link to a directory is not entered; a link to a file is copied as its contents.
            if (e.isLink && (!FsStat(child, &st, true) || st.isDirectory)) continue;
            qzOsRawName fix = OsPrepareRawName(target, e.name, e.fsName);
            code = CopyOne(w, child, target, "", true);
            OsFinishRawName(fix);
        }
        if (code) return code;
    }
    ApplyDates(target, DatesOf(full));
    return 0;
}

bool IsInside(const std::string& inner, const std::string& outer) {
    if (inner == outer) return true;
    std::string prefix = outer == "/" ? outer : outer + "/";
    return inner.compare(0, prefix.size(), prefix) == 0;
}

// Reads callback, userdata, pattern and directory filter from the given argument positions.
int ReadWalkArgs(VmState* state, qzWalk* w, int callbackIndex) {
    w->state = state;
    w->callback = 0;
    w->userdata = 0;
    int t = VmType(state, callbackIndex);
    if (t > VM_TNIL) {
        if (t != VM_TFUNCTION) {
            SetErrorArgIndex(callbackIndex);
            return ERR_FUNCEXPECTED;
        }
        w->callback = callbackIndex;
    }
    if (VmType(state, callbackIndex + 1) != VM_TNONE) w->userdata = callbackIndex + 1;
    w->hasPattern = VmType(state, callbackIndex + 2) > VM_TNIL;
    if (w->hasPattern) w->pattern = VmCheckString(state, callbackIndex + 2);
    w->dirFilter = DosOptFlag(state, callbackIndex + 3, true);
    return 0;
}

}  // namespace

int DosDeleteFile(VmState* state) {
    std::string name = VmCheckString(state, 1);
    if (name.empty() || IsChunkName(name.c_str())) return ERR_WRONGUSAGE;
    qzWalk w;
    int code = ReadWalkArgs(state, &w, 2);
    if (code) return code;
    bool keepTop = w.hasPattern;
    if (name.size() > 1 && (name.back() == '/' || name.back() == '\\')) {
        name.pop_back();
        keepTop = true;
    }
    qzOsPathStat st;
    if (!FsStat(name, &st, false)) return 0;
    bool isLink = st.isLink;
    // A link is deleted itself, never what it points to, unless its contents were asked for.
    bool directory = st.isDirectory || (st.isLink && keepTop && FsStat(name, &st, true) && st.isDirectory);
    if (!directory) {
        if (w.hasPattern) return ERR_NODIRPATTERN;
        qzWalk single = w;
        single.hasPattern = false;
        code = DeleteOne(&single, name, isLink);
    } else {
        code = DeleteTree(&w, name, keepTop);
    }
    return code == kAbort ? 0 : code;
}

int DosCopyFile(VmState* state) {
    std::string source = ResolveLinkedFileArg(state, 1, 0, nullptr);
    std::string dest = VmCheckString(state, 2);
    std::string newName;
    if (VmType(state, 3) > VM_TNIL) newName = VmCheckString(state, 3);
    // An empty source would name the current directory as a whole: refused like an empty pair.
    if (source.empty()) return ERR_WRONGUSAGE;
    qzWalk w;
    int code = ReadWalkArgs(state, &w, 4);
    if (code) return code;
    if (w.hasPattern && source.size() > 1 && (source.back() == '/' || source.back() == '\\')) source.pop_back();

    bool isDirectory = false;
    bool byName = true;
    if (qzVfsLock* lock = VfsLock(source.c_str(), QZ_VFS_LOCK_READ | QZ_VFS_LOCK_ADAPTERS, nullptr)) {
        qzFileInfo info{};
        VfsExamineLock(lock, &info);
        isDirectory = lock->platform && info.isDirectory;
        byName = lock->platform != nullptr;
        VfsUnlock(lock);
    } else {
        // Not a name the file system knows: linked and virtual files can still be opened.
        qzVfsFile* f = VfsOpen(source.c_str(), QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr);
        if (!f) {
            SetErrorArgString(source.c_str());
            return ERR_READFILE;
        }
        VfsClose(f);
        byName = false;
    }
    if (isDirectory && !newName.empty()) return ERR_WRONGUSAGE;
    if (!isDirectory && w.hasPattern) return ERR_NODIRPATTERN;
    // A tree copied into itself would grow while it is walked: refuse before anything is made.
    if (isDirectory && IsInside(OsComparablePath(dest), OsComparablePath(source))) {
        SetErrorArgString(dest.c_str());
        return ERR_WRONGUSAGE;
    }
    if (!dest.empty()) {
        qzOsPathStat st;
        if (!FsStat(dest, &st, true)) {
            code = DosMakePath(dest.c_str());
            if (code) return code;
        }
    }
    qzVfsLock* destLock = VfsLock(dest.c_str(), QZ_VFS_LOCK_READ, nullptr);
    if (!destLock) {
        SetErrorArgString(dest.c_str());
        return ERR_LOCK2;
    }
    VfsUnlock(destLock);
    if (isDirectory && IsInside(OsComparablePath(dest), OsComparablePath(source))) {
        SetErrorArgString(dest.c_str());
        return ERR_WRONGUSAGE;
    }
    if (isDirectory) {
        code = CopyTree(&w, source, dest, true);
    } else {
        qzOsRawName fix;
        std::string fsSource;
        if (byName && newName.empty() && OsExistingFileSystemPath(source.c_str(), &fsSource))
            fix = OsPrepareRawName(dest, FilePartOf(source), fsSource.substr(fsSource.find_last_of('/') + 1));
        code = CopyOne(&w, source, dest, newName, byName);
        OsFinishRawName(fix);
    }
    return code == kAbort ? 0 : code;
}
