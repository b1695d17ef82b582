// Virtual files (windows of a file and script strings named as chunk files), whole files to and
// from strings, byte-wise patches between three open files, and environment variables.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/event_pump.h"
#include "libs/dos/dos.h"
#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/os_dir.h"
#include "platform/os_env.h"
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

constexpr size_t kNameSize = 2048;
constexpr size_t kBlock = 16384;
// ApplyPatch works and pumps events in steps of this many bytes.
constexpr size_t kPatchStep = 65536;

// Strings named as virtual files: the registry reference that keeps each alive and the address
// of its bytes, registered as chunk memory while the name is defined. An undefined string whose
// bytes an open handle still reads keeps its reference until that handle is closed.
struct qzStringFile {
    int ref;
    const void* address;
    uint64_t size;
    bool defined;
};
std::vector<qzStringFile> gStringFiles;

// Ends the name of entry i: new opens of it fail from now on.
void UndefineStringFile(size_t i) {
    qzStringFile& s = gStringFiles[i];
    if (!s.defined) return;
    s.defined = false;
    // The same string may be named more than once; its memory stays registered while any is left.
    for (const qzStringFile& o : gStringFiles)
        if (o.defined && o.address == s.address) return;
    UnregisterChunkMemory(s.address);
}

void ReleaseEntry(VmState* state, size_t i) {
    int ref = gStringFiles[i].ref;
    gStringFiles.erase(gStringFiles.begin() + static_cast<std::ptrdiff_t>(i));
    if (state) VmUnref(state, VM_REGISTRYINDEX, ref);
}

}  // namespace

void DosFreeStringFiles(VmState* state) {
    for (size_t i = 0; i < gStringFiles.size(); i++) UndefineStringFile(i);
    while (!gStringFiles.empty()) ReleaseEntry(state, gStringFiles.size() - 1);
}

void DosReleaseUnusedStringFiles(VmState* state) {
    for (size_t i = gStringFiles.size(); i-- > 0;) {
        const qzStringFile& s = gStringFiles[i];
        if (!s.defined && !DosMemoryInUse(s.address, s.size)) ReleaseEntry(state, i);
    }
}

int DosDefineVirtualFile(VmState* state) {
    std::string source = ResolveLinkedFileArg(state, 1, 0, nullptr);
    int32_t offset = VmCheckInteger(state, 2);
    int32_t size = VmCheckInteger(state, 3);
    std::string name = VmCheckString(state, 4);
    if (size <= 0 || offset < 0 || source.empty()) return ERR_WRONGUSAGE;
    char buffer[kNameSize];
    if (IsChunkName(source.c_str())) {
        qzChunkNameParts parts;
        if (!ParseChunkName(source.c_str(), &parts)) return ERR_WRONGUSAGE;
        if (static_cast<uint64_t>(offset) + static_cast<uint64_t>(size) > parts.size) return ERR_WRONGUSAGE;
        if (parts.containerPath.empty()) {
            MakeChunkName(name.c_str(), buffer, sizeof(buffer), -1, static_cast<uint64_t>(size),
                          static_cast<uint64_t>(parts.sourceNumber),
                          reinterpret_cast<const void*>(parts.address + static_cast<uint64_t>(offset)));
        } else {
            MakeChunkName(name.c_str(), buffer, sizeof(buffer), 0, static_cast<uint64_t>(size),
                          parts.offset + static_cast<uint64_t>(offset), parts.containerPath.c_str());
        }
    } else {
        MakeChunkName(name.c_str(), buffer, sizeof(buffer), 0, static_cast<uint64_t>(size),
                      static_cast<uint64_t>(offset), source.c_str());
    }
    VmPushString(state, buffer);
    return 1;
}

int DosDefineVirtualFileFromString(VmState* state) {
    size_t length;
    VmCheckString(state, 1, &length);
    std::string name = VmCheckString(state, 2);
    if (length == 0) return ERR_WRONGUSAGE;
    // Room for the entry comes first (growing as push_back would): once the string is referenced
    // and registered, nothing may run out of memory before the entry records both.
    if (gStringFiles.size() == gStringFiles.capacity()) gStringFiles.reserve(2 * gStringFiles.size() + 1);
    VmPushValue(state, 1);
    int ref = VmRef(state, VM_REGISTRYINDEX);
    VmRawGetI(state, VM_REGISTRYINDEX, ref);
    const char* data = VmToString(state, -1);
    VmPop(state, 1);
    bool registered;
    try {
        registered = RegisterChunkMemory(data, length);
    } catch (const std::bad_alloc&) {
        registered = false;
    }
    if (!registered) {
        VmUnref(state, VM_REGISTRYINDEX, ref);
        return ERR_MEM;
    }
    gStringFiles.push_back({ref, data, length, true});
    char buffer[kNameSize];
    MakeChunkName(name.c_str(), buffer, sizeof(buffer), -1, length, static_cast<uint64_t>(ref), data);
    VmPushString(state, buffer);
    return 1;
}

int DosUndefineVirtualStringFile(VmState* state) {
    std::string name = VmCheckString(state, 1);
    qzChunkNameParts parts;
    if (!IsChunkName(name.c_str()) || !ParseChunkName(name.c_str(), &parts)) return ERR_WRONGUSAGE;
    // Only references this library made are released; a forged number touches nothing.
    for (size_t i = 0; i < gStringFiles.size(); i++) {
        const qzStringFile& s = gStringFiles[i];
        uintptr_t start = reinterpret_cast<uintptr_t>(s.address);
        if (s.defined && s.ref == parts.sourceNumber && parts.address >= start && parts.address - start < s.size) {
            UndefineStringFile(i);
            DosReleaseUnusedStringFiles(state);
            return 0;
        }
    }
    return ERR_WRONGUSAGE;
}

int DosFileToString(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    // Closed also when the string runs out of memory and unwinds through here.
    qzVfsFileOwner file(VfsOpen(name.c_str(), QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr));
    qzVfsFile* f = file.get();
    if (!f) {
        SetErrorArgString(name.c_str());
        return ERR_READFILE;
    }
    std::unique_ptr<char[]> block(new (std::nothrow) char[kBlock]);
    if (!block) return ERR_MEM;
    VmStringBuffer b;
    VmBufInit(state, &b);
    size_t total = 0;
    for (;;) {
        size_t got = VfsRead(f, block.get(), kBlock);
        VmBufAddLString(&b, block.get(), got);
        total += got;
        if (got < kBlock) break;
    }
    file.reset();
    VmBufPushResult(&b);
    VmPushNumber(state, static_cast<double>(total));
    return 2;
}

int DosStringToFile(VmState* state) {
    size_t length;
    const char* data = VmCheckString(state, 1, &length);
    std::string name = VmCheckString(state, 2);
    // The new contents are written beside the file and renamed over it once complete; the
    // temporary file goes on every other way out, running out of memory included.
    qzFileRemover temp;
    std::string finalName;
    if (name.empty() || IsChunkName(name.c_str()) || !OsCreateSiblingTempFile(name.c_str(), &temp.name, &finalName)) {
        SetErrorArgString(name.c_str());
        return ERR_WRITEFILE;
    }
    qzVfsFile* f = VfsOpen(temp.name.c_str(), QZ_VFS_WRITE, nullptr);
    if (!f) {
        SetErrorArgString(name.c_str());
        return ERR_WRITEFILE;
    }
    int code = 0;
    if (length && VfsWrite(f, data, length) != length) code = ERR_WRITE;
    if (!VfsClose(f) && !code) code = ERR_WRITE;
    if (!code && !OsRename(temp.name.c_str(), finalName.c_str())) code = ERR_WRITEFILE;
    if (code)
        SetErrorArgString(name.c_str());
    else
        temp.Keep();
    return code;
}

int DosApplyPatch(VmState* state) {
    qzDosFile* src = CheckDosFile(state, 1);
    qzDosFile* patch = CheckDosFile(state, 2);
    qzDosFile* dst = CheckDosFile(state, 3);
    int progress = 0;
    if (VmType(state, 4) > VM_TNIL) {
        VmCheckFunction(state, 4);
        progress = 4;
    }
    int64_t s = VfsGetFileSize(src->file);
    int64_t p = VfsGetFileSize(patch->file);
    if (s <= 0) return 0;
    if (p < 0) p = 0;
    std::unique_ptr<unsigned char[]> in(new (std::nothrow) unsigned char[kPatchStep]);
    std::unique_ptr<unsigned char[]> pb(new (std::nothrow) unsigned char[kPatchStep]);
    if (!in || !pb) return ERR_MEM;
    double counter = 0;
    int reported = 0;
    const double step = 100.0 / static_cast<double>(s);
    int64_t done = 0;
    int64_t patchLeft = p;
    while (done < s) {
        size_t n = static_cast<size_t>(std::min<int64_t>(s - done, kPatchStep));
        size_t got = VfsRead(src->file, in.get(), n);
        size_t fromPatch = static_cast<size_t>(std::min<int64_t>(patchLeft, static_cast<int64_t>(got)));
        size_t patchGot = fromPatch ? VfsRead(patch->file, pb.get(), fromPatch) : 0;
        patchLeft -= static_cast<int64_t>(patchGot);
        size_t i = 0;
        int error = 0;
        for (; i < got; i++) {
            in[i] = i < patchGot ? static_cast<unsigned char>(in[i] ^ pb[i]) : static_cast<unsigned char>(~in[i]);
            counter += step;
            if (static_cast<int>(counter) != reported) {
                reported = static_cast<int>(counter);
                if (progress) {
                    VmNewTable(state);
                    SetTableFieldInt(state, "progress", reported);
                    error = DosCallCallback(state, progress);
                    if (error) {
                        i++;
                        break;
                    }
                    VmPop(state, 1);
                }
            }
        }
        if (i && VfsWrite(dst->file, in.get(), i) != i) return ERR_WRITE;
        if (error) return error;
        if (got < n) return ERR_READ;
        done += static_cast<int64_t>(got);
        if (PumpEvents(state, QZ_PUMP_WAIT, &error)) return error;
    }
    return 0;
}

int DosGetEnv(VmState* state) {
    std::string value;
    bool found = OsGetEnv(VmCheckString(state, 1), &value);
    VmPushLString(state, found ? value.data() : "", found ? value.size() : 0);
    VmPushNumber(state, found ? 1 : 0);
    return 2;
}

int DosSetEnv(VmState* state) {
    std::string name = VmCheckString(state, 1);
    std::string value = VmCheckString(state, 2);
    return OsSetEnv(name.c_str(), value.c_str());
}

int DosUnsetEnv(VmState* state) { return OsUnsetEnv(VmCheckString(state, 1)); }
