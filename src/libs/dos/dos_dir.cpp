// dos commands on names: existence, sizes, path parts, the current directory, making directories,
// renaming, name patterns, file information, directory handles and listings, volumes, temporary
// files and running programs.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/charset.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "libs/dos/dos.h"
#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/file_info.h"
#include "platform/os_dir.h"
#include "platform/os_env.h"
#include "platform/os_path.h"
#include "platform/os_process.h"
#include "platform/vfs.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "runtime/linked_file.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsSeparator(char c) { return c == '/' || c == '\\' || c == ':'; }

std::string FormatDate(const qzDateStamp& d) {
    char text[64];
    int month = d.month >= 0 && d.month < 12 ? d.month : 0;
    std::snprintf(text, sizeof(text), "%.2d-%s-%d %.2d:%.2d:%.2d", d.day, kMonths[month], d.year, d.hour, d.min, d.sec);
    return text;
}

// Fills the file information fields into the table on the stack top.
void SetInfoFields(VmState* state, const qzDosFileInfo& info) {
    SetTableFieldInt(state, "type", info.type);
    if (info.type == 0) SetTableFieldNumber(state, "size", static_cast<double>(info.size));
    SetTableFieldNumber(state, "flags", info.protection);
    SetTableFieldString(state, "time", FormatDate(info.modified).c_str());
    SetTableFieldString(state, "lastaccesstime", FormatDate(info.accessed).c_str());
}

// A chunk name counts only when its data is there: memory the player registered, or a window
// inside a container file that exists.
bool Examine(const char* name, qzDosFileInfo* info) {
    if (IsChunkName(name)) {
        qzChunkNameParts parts;
        if (!ParseChunkName(name, &parts)) return false;
        if (parts.containerPath.empty()) {
            if (!FindChunkMemory(parts.address, parts.size)) return false;
        } else {
            qzDosFileInfo container;
            if (!VfsExamineName(parts.containerPath.c_str(), &container, false) || container.type != 0 ||
                static_cast<uint64_t>(container.size) < parts.offset + parts.size)
                return false;
        }
    }
    return VfsExamineName(name, info, true) != 0;
}

// Examines a name through the file and directory adapters that the adapter list chooses (and the
// platform when the list selects "inbuilt").
bool ExamineThrough(const char* name, const char* adapterList, qzDosFileInfo* info) {
    if (IsChunkName(name)) return Examine(name, info);
    qzVfsLock* lock = VfsLock(name, QZ_VFS_LOCK_READ | QZ_VFS_LOCK_ADAPTERS, adapterList);
    if (!lock) return false;
    qzFileInfo record;
    std::memset(&record, 0, sizeof record);
    VfsExamineLock(lock, &record);
    ConvertFileInfo(&record, info);
    VfsNameFromLock(lock, info->fullName, sizeof(info->fullName));
    VfsUnlock(lock);
    return true;
}

// "dd-Mon-yyyy hh:mm:ss" to seconds; false for a malformed text or one the platform cannot take.
bool ParseDate(const char* text, int64_t* out) {
    size_t n = std::strlen(text);
    if (n < 20 || text[2] != '-' || text[6] != '-' || text[14] != ':' || text[17] != ':') return false;
    auto digits = [&](size_t at, size_t count, int* value) {
        int v = 0;
        for (size_t i = 0; i < count; i++) {
            char c = text[at + i];
            if (c < '0' || c > '9') return false;
            v = v * 10 + (c - '0');
        }
        *value = v;
        return true;
    };
    qzLocalTime t{};
    if (!digits(0, 2, &t.day) || t.day < 1 || t.day > 31) return false;
    t.month = -1;
    for (int m = 0; m < 12; m++)
        if (CompareNoCaseN(text + 3, kMonths[m], 3) == 0) t.month = m;
    if (t.month < 0) return false;
    if (!digits(7, 4, &t.year) || text[11] != ' ') return false;
    if (!digits(12, 2, &t.hour) || t.hour > 23) return false;
    if (!digits(15, 2, &t.min) || t.min > 59) return false;
    if (!digits(18, 2, &t.sec) || t.sec > 59) return false;
    return OsMakeTime(&t, out, 0) != 0;
}

void FreeDirectoryRecord(VmState* state, qzDosDirectory* d) {
    RemoveObjectFromList(&qzDosDirectoryList, &d->header);
    VfsUnlock(d->lock);
    if (state) FreeObjectDataList(state, d->header.data);
    delete d;
}

qzDosDirectory* CheckDirectory(VmState* state, int index) {
    return reinterpret_cast<qzDosDirectory*>(CheckListObject(state, index, qzDosDirectoryList, ERR_FINDDIR));
}

// Matches one character of the name against the pattern item at p (not '*'): '?', '#', a set
// "[...]" or a literal. *length gets the item's length in the pattern.
bool MatchItem(unsigned char n, const char* p, const char* pEnd, size_t* length) {
    char c = *p;
    *length = 1;
    if (c == '?') return true;
    if (c == '#') return n >= '0' && n <= '9';
    if (c == '[') {
        const char* q = p + 1;
        bool invert = false;
        if (q < pEnd && *q == '!') {
            invert = true;
            q++;
        }
        bool found = false;
        bool first = true;
        while (q < pEnd && (*q != ']' || first)) {
            unsigned char lo = static_cast<unsigned char>(*q);
            if (q + 2 < pEnd && q[1] == '-' && q[2] != ']' && lo < static_cast<unsigned char>(q[2])) {
                if (n >= lo && n <= static_cast<unsigned char>(q[2])) found = true;
                q += 3;
            } else {
                if (n == lo) found = true;
                q++;
            }
            first = false;
        }
        // Without a closing bracket the '[' is an ordinary character.
        if (q >= pEnd) return n == '[';
        *length = static_cast<size_t>(q + 1 - p);
        return found != invert;
    }
    return n == static_cast<unsigned char>(c);
}

// One alternative against the whole name. A '*' remembers where it stood; a mismatch later
// retries from there one name character further, so the time stays bounded by the product of
// the two lengths whatever the number of stars.
bool MatchOne(const char* name, const char* p, const char* pEnd) {
    const char* starP = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (p < pEnd && *p == '*') {
            while (p < pEnd && *p == '*') p++;
            if (p == pEnd) return true;
            starP = p;
            starName = name;
            continue;
        }
        size_t length;
        if (p < pEnd && MatchItem(static_cast<unsigned char>(*name), p, pEnd, &length)) {
            p += length;
            name++;
            continue;
        }
        if (!starP) return false;
        p = starP;
        name = ++starName;
    }
    while (p < pEnd && *p == '*') p++;
    return p == pEnd;
}

int RunProgram(VmState* state, int async) {
    VmCheckArgCount(state, 1, 2, 0, 0);
    std::string line = VmCheckString(state, 1);
    bool reset = DosOptFlag(state, 2, true);
    size_t pos = 0;
    while (pos < line.size() && line[pos] == ' ') pos++;
    std::string program;
    if (pos < line.size() && line[pos] == '"') {
        size_t close = line.find('"', pos + 1);
        if (close == std::string::npos) return ERR_WRONGUSAGE;
        program = line.substr(pos + 1, close - pos - 1);
        pos = close + 1;
    } else {
        size_t end = line.find(' ', pos);
        if (end == std::string::npos) end = line.size();
        program = line.substr(pos, end - pos);
        pos = end;
    }
    if (program.empty()) return ERR_WRONGUSAGE;
    while (pos < line.size() && line[pos] == ' ') pos++;
    std::string arguments = line.substr(pos);

    std::string resolved = ResolveLinkedFileName(state, program.c_str(), 0, nullptr);
    if (IsChunkName(resolved.c_str())) {
        // A program inside the applet runs from a temporary copy, made once and deleted at shutdown.
        if (const std::string* copy = FindDosTempFile(resolved)) {
            resolved = *copy;
        } else {
            std::string suffix = '-' + GetDisplayFileName(resolved.c_str());
            char temp[QZ_PATH_MAX];
            // The copy goes again on every way out until it is registered for deletion at
            // shutdown, memory running out included: its owner has room for the name before
            // the file exists.
            qzFileRemover tempCopy;
            tempCopy.name.reserve(sizeof(temp));
            if (!OsGetTempFileNameWithSuffix(temp, sizeof(temp), suffix.c_str()) &&
                !OsGetTempFileName(temp, sizeof(temp))) {
                SetErrorArgString(program.c_str());
                return ERR_WRITEFILE;
            }
            tempCopy.name = temp;
            int code = VfsCopyFile(resolved.c_str(), nullptr, temp, nullptr);
            if (code) {
                SetErrorArgString(code == ERR_READFILE ? program.c_str() : temp);
                return code;
            }
            OsSetProtection(temp, QZ_PROT_READ_USR | QZ_PROT_WRITE_USR | QZ_PROT_EXECUTE_USR);
            code = AddDosTempFile(temp, resolved);
            if (code) return code;
            tempCopy.Keep();
            resolved = temp;
        }
    }
    int code = OsExecute(resolved.c_str(), arguments.empty() ? nullptr : arguments.c_str(), async);
    if (code) return code;
    if (reset)
        if (qzDisplay* display = CurrentDisplay()) ResetDisplayInputState(display);
    return 0;
}

// Locks path (through adapter when not null) as a directory to read. The path stays the error
// argument. Returns 0 and *lock, ERR_LOCK2 or the directory check's error.
int LockDirectoryArg(const std::string& path, const char* adapter, qzVfsLock** lock) {
    SetErrorArgString(path.c_str());
    *lock = VfsLock(path.c_str(), QZ_VFS_LOCK_READ | QZ_VFS_LOCK_ADAPTERS, adapter);
    if (!*lock) return ERR_LOCK2;
    int isDirectory = 0;
    int code = VfsCheckDirLock(*lock, &isDirectory);
    if (code) {
        VfsUnlock(*lock);
        *lock = nullptr;
    }
    return code;
}

}  // namespace

bool DosMatchPatternText(const char* name, const char* pattern) {
    const char* p = pattern;
    while (*p) {
        const char* end = std::strchr(p, ';');
        if (!end) end = p + std::strlen(p);
        if (end > p && MatchOne(name, p, end)) return true;
        p = *end ? end + 1 : end;
    }
    return false;
}

int DosMakePath(const char* path) {
    if (!path || !*path) return ERR_WRONGUSAGE;
    std::string text = path;
    for (size_t i = 0; i <= text.size(); i++) {
        if (i < text.size() && text[i] != '/' && text[i] != '\\') continue;
        if (i == 0) continue;
        std::string prefix = text.substr(0, i);
        qzDosFileInfo info;
        if (VfsExamineName(prefix.c_str(), &info, false)) {
            if (info.type != 1) {
                SetErrorArgString(path);
                return ERR_CREATEDIR;
            }
            continue;
        }
        if (OsMakeDir(prefix.c_str()) != 0) {
            SetErrorArgString(path);
            return ERR_CREATEDIR;
        }
    }
    return 0;
}

void DosCloseAllDirectories() {
    while (qzDosDirectoryList) FreeDirectoryRecord(nullptr, reinterpret_cast<qzDosDirectory*>(qzDosDirectoryList));
}

int DosExists(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    qzDosFileInfo info;
    VmPushNumber(state, !name.empty() && Examine(name.c_str(), &info) ? 1 : 0);
    return 1;
}

int DosFileSize(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    qzDosFileInfo info;
    double size = -1;
    if (!name.empty() && Examine(name.c_str(), &info) && info.type == 0) size = static_cast<double>(info.size);
    VmPushNumber(state, size);
    return 1;
}

int DosIsDirectory(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    qzDosFileInfo info;
    if (!Examine(name.c_str(), &info)) {
        SetErrorArgString(name.c_str());
        return ERR_STAT;
    }
    VmPushNumber(state, info.type == 1 ? 1 : 0);
    return 1;
}

int DosPathPart(VmState* state) {
    size_t length;
    const char* path = VmCheckString(state, 1, &length);
    if (IsChunkName(path)) return ERR_WRONGUSAGE;
    size_t end = 0;
    for (size_t i = 0; i < length; i++)
        if (IsSeparator(path[i])) end = i + 1;
    VmPushLString(state, path, end);
    return 1;
}

int DosFilePart(VmState* state) {
    std::string path = VmCheckString(state, 1);
    if (IsChunkName(path.c_str())) {
        qzChunkNameParts parts;
        if (ParseChunkName(path.c_str(), &parts)) path = parts.embeddedName;
    }
    size_t start = 0;
    for (size_t i = 0; i < path.size(); i++)
        if (IsSeparator(path[i])) start = i + 1;
    VmPushLString(state, path.data() + start, path.size() - start);
    return 1;
}

int DosFullPath(VmState* state) {
    std::string dir = VmCheckString(state, 1);
    std::string file = VmCheckString(state, 2);
    std::string result = dir;
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') result += '/';
    result += file;
    if (result.size() > QZ_PATH_MAX) return ERR_MEM;
    VmPushLString(state, result.data(), result.size());
    return 1;
}

int DosGetCurrentDirectory(VmState* state) {
    std::string result = OsGetCurrentDir();
    VmPushLString(state, result.data(), result.size());
    return 1;
}

int DosChangeDirectory(VmState* state) {
    OsChangeDir(VmCheckString(state, 1), nullptr);
    return 0;
}

int DosMakeDirectory(VmState* state) { return DosMakePath(VmCheckString(state, 1)); }

int DosRename(VmState* state) {
    std::string oldName = VmCheckString(state, 1);
    std::string newName = VmCheckString(state, 2);
    if (oldName.empty() || newName.empty() || IsChunkName(oldName.c_str()) || IsChunkName(newName.c_str()))
        return ERR_WRONGUSAGE;
    size_t dirEnd = 0;
    for (size_t i = 0; i < oldName.size(); i++)
        if (IsSeparator(oldName[i])) dirEnd = i + 1;
    size_t fileStart = 0;
    for (size_t i = 0; i < newName.size(); i++)
        if (IsSeparator(newName[i])) fileStart = i + 1;
    std::string target = oldName.substr(0, dirEnd) + newName.substr(fileStart);
    if (fileStart == newName.size()) return ERR_WRONGUSAGE;
    return OsRename(oldName.c_str(), target.c_str()) ? 0 : ERR_RENAME;
}

int DosMatchPattern(VmState* state) {
    std::string text = VmCheckString(state, 1);
    std::string pattern = VmCheckString(state, 2);
    VmPushNumber(state, DosMatchPatternText(text.c_str(), pattern.c_str()) ? 1 : 0);
    return 1;
}

int DosGetFileAttributes(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    std::string adapter;
    if (VmGetTop(state) >= 2) adapter = VmCheckString(state, 2);
    qzDosFileInfo info;
    if (name.empty() ||
        !(adapter.empty() ? Examine(name.c_str(), &info) : ExamineThrough(name.c_str(), adapter.c_str(), &info))) {
        SetErrorArgString(name.c_str());
        return ERR_STAT;
    }
    bool chunk = IsChunkName(name.c_str());
    VmNewTable(state);
    SetInfoFields(state, info);
    SetTableFieldString(state, "path", chunk ? name.c_str() : info.fullName);
    SetTableFieldInt(state, "virtual", chunk ? 1 : 0);
    return 1;
}

int DosFileAttributes(VmState* state) {
    qzDosFile* f = CheckDosFile(state, 1);
    qzFileInfo record{};
    if (!VfsExamine(f->file, &record)) return ERR_STAT;
    qzDosFileInfo info;
    ConvertFileInfo(&record, &info);
    std::string path = record.name ? record.name : "";
    int flags = f->file->adapter ? VfsGetFileFlags(f->file) : 0;
    VmNewTable(state);
    SetInfoFields(state, info);
    SetTableFieldString(state, "path", path.c_str());
    SetTableFieldInt(state, "streaming", flags & 1 ? 1 : 0);
    SetTableFieldInt(state, "noseek", flags & 2 ? 1 : 0);
    return 1;
}

int DosSetFileAttributes(VmState* state) {
    std::string name = VmCheckString(state, 1);
    if (IsChunkName(name.c_str())) return ERR_WRONGUSAGE;
    if (VmType(state, 2) != VM_TTABLE) {
        SetErrorArgIndex(2);
        return ERR_TABEXPECTED;
    }
    qzVfsLock* lock = VfsLock(name.c_str(), QZ_VFS_LOCK_READ, nullptr);
    if (!lock) {
        SetErrorArgString(name.c_str());
        return ERR_LOCK2;
    }
    qzFileInfo record{};
    VfsExamineLock(lock, &record);
    int64_t accessTime = record.accessTime;
    int64_t modifyTime = record.modifyTime;
    VfsUnlock(lock);

    int32_t flags = 0;
    int found = 0;
    GetTableFieldInt(state, 2, "flags", &flags, &found);
    if (found && !OsSetProtection(name.c_str(), static_cast<uint32_t>(flags))) return ERR_SETFILEATTR;
    bool anyTime = false;
    std::string text;
    found = 0;
    GetTableFieldString(state, 2, "time", nullptr, 0, &text, &found);
    if (found) {
        if (!ParseDate(text.c_str(), &modifyTime)) return ERR_INVALIDDATE;
        anyTime = true;
    }
    found = 0;
    GetTableFieldString(state, 2, "lastaccesstime", nullptr, 0, &text, &found);
    if (found) {
        if (!ParseDate(text.c_str(), &accessTime)) return ERR_INVALIDDATE;
        anyTime = true;
    }
    if (anyTime && !OsSetFileDate(name.c_str(), accessTime, modifyTime)) return ERR_SETFILEDATE;
    return 0;
}

int DosOpenDirectory(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    std::string path = VmCheckString(state, 2);
    std::string adapter;
    if (VmGetTop(state) >= 3) {
        if (VmType(state, 3) != VM_TTABLE) {
            SetErrorArgIndex(3);
            return ERR_TABEXPECTED;
        }
        GetTableFieldString(state, 3, "adapter", nullptr, 0, &adapter, nullptr);
    }
    if (!IsAutoObjectId(id)) {
        if (qzObjectHeader* old = FindObjectInList(qzDosDirectoryList, id))
            FreeDirectoryRecord(state, reinterpret_cast<qzDosDirectory*>(old));
    }
    qzVfsLock* lock;
    int code = LockDirectoryArg(path, adapter.empty() ? nullptr : adapter.c_str(), &lock);
    if (code) return code;
    auto* d = new (std::nothrow) qzDosDirectory();
    if (!d) {
        VfsUnlock(lock);
        return ERR_MEM;
    }
    d->lock = lock;
    AddObjectToList(&qzDosDirectoryList, &d->header, QZ_TYPE_DIRECTORY, id);
    return PushNewObjectHandle(state, id, &d->header);
}

int DosCloseDirectory(VmState* state) {
    qzDosDirectory* d = CheckDirectory(state, 1);
    FreeDirectoryRecord(state, d);
    return 0;
}

int DosNextDirectoryEntry(VmState* state) {
    qzDosDirectory* d = CheckDirectory(state, 1);
    if (d->done) return 0;
    const char* name = nullptr;
    int isDirectory = 0;
    qzFileInfo record{};
    if (!VfsNextDirEntry(d->lock, nullptr, &name, &isDirectory, &record)) {
        d->done = 1;
        return 0;
    }
    qzDosFileInfo info;
    ConvertFileInfo(&record, &info);
    info.type = isDirectory ? 1 : 0;
    VmNewTable(state);
    SetTableFieldString(state, "name", name);
    SetInfoFields(state, info);
    return 1;
}

int DosReadDirectory(VmState* state) {
    std::string path = VmCheckString(state, 1);
    VmCheckTable(state, 2);
    VmCheckTable(state, 3);
    bool sort = DosOptFlag(state, 4, true);
    qzVfsLock* locked;
    int code = LockDirectoryArg(path, nullptr, &locked);
    if (code) return code;
    // Unlocked also when the names run out of memory and unwind through here.
    std::unique_ptr<qzVfsLock, decltype(&VfsUnlock)> lock(locked, &VfsUnlock);
    std::vector<std::string> files, dirs;
    const char* name;
    int isDirectory = 0;
    while (VfsNextDirEntry(lock.get(), nullptr, &name, &isDirectory, nullptr))
        (isDirectory ? dirs : files).push_back(name);
    lock.reset();
    if (sort) {
        auto less = [](const std::string& a, const std::string& b) { return CompareNoCase(a.c_str(), b.c_str()) < 0; };
        std::sort(files.begin(), files.end(), less);
        std::sort(dirs.begin(), dirs.end(), less);
    }
    for (int which = 0; which < 2; which++) {
        const std::vector<std::string>& list = which ? dirs : files;
        int table = which ? 3 : 2;
        int i = 0;
        for (const std::string& s : list) {
            VmPushLString(state, s.data(), s.size());
            VmRawSetI(state, table, i++);
        }
        VmPushString(state, "");
        VmRawSetI(state, table, i);
    }
    VmPushNumber(state, static_cast<double>(files.size()));
    VmPushNumber(state, static_cast<double>(dirs.size()));
    return 2;
}

int DosGetVolumeName(VmState* state) {
    std::string volume = VmCheckString(state, 1);
    if (volume.empty()) return ERR_WRONGUSAGE;
    char buffer[256];
    OsGetVolumeName(volume.c_str(), buffer, sizeof(buffer));
    VmPushString(state, buffer);
    return 1;
}

int DosGetVolumeInfo(VmState* state) {
    std::string volume = VmCheckString(state, 1);
    int kind = VmCheckInteger(state, 2);
    if (volume.empty()) return ERR_WRONGUSAGE;
    int64_t used = 0, freeBytes = 0;
    OsGetVolumeInfo(volume.c_str(), &used, &freeBytes);
    VmPushNumber(state, static_cast<double>(kind == 1 ? freeBytes : used));
    return 1;
}

int DosGetTempFileName(VmState* state) {
    char buffer[QZ_PATH_MAX];
    // The file goes again on every way out until it is registered for deletion at shutdown.
    qzFileRemover temp;
    temp.name.reserve(sizeof(buffer));
    if (!OsGetTempFileName(buffer, sizeof(buffer))) {
        SetErrorArgString(OsGetTempDir().c_str());
        return ERR_WRITEFILE;
    }
    temp.name = buffer;
    int code = AddDosTempFile(buffer, "");
    if (code) return code;
    temp.Keep();
    VmPushString(state, buffer);
    return 1;
}

int DosExecute(VmState* state) { return RunProgram(state, 0); }
int DosRun(VmState* state) { return RunProgram(state, 1); }
