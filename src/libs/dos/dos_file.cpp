// dos file handles: opening and closing, the line iterator, and reading and writing bytes,
// integers, floating-point numbers, strings and lines through a handle. Numbers are stored most
// significant byte first unless the command's byte-order flag asks for the other order.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "base/error_codes.h"
#include "libs/dos/dos.h"
#include "platform/vfs.h"
#include "runtime/arg_check.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/linked_file.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// The user data of a FileLines iterator.
struct qzLinesFile {
    qzVfsFile* file;
};

constexpr const char* kLinesType = "FILE*";
constexpr size_t kLinePieceMax = 1024;

// Files of line iterators that are still open (they are not in the handle list).
std::vector<qzVfsFile*> gLineFiles;

void CloseLinesFile(qzLinesFile* u) {
    for (size_t i = 0; i < gLineFiles.size(); i++) {
        if (gLineFiles[i] == u->file) {
            gLineFiles.erase(gLineFiles.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    VfsClose(u->file);
    u->file = nullptr;
}

// Whether the file reads memory in [start, start + size).
bool ReadsMemory(qzVfsFile* file, uintptr_t start, uint64_t size) {
    const void* memory = VfsFileMemory(file);
    uintptr_t at = reinterpret_cast<uintptr_t>(memory);
    return memory && at >= start && at - start < size;
}

// Bytes of a value in the machine's order, to and from the file's order (most significant byte
// first, or least significant first with the flag).
void ToFileOrder(unsigned char* bytes, size_t n, bool lsbFirst) {
    if (HostIsBigEndian() == lsbFirst) ReverseBytes(bytes, n);
}

void FreeFileRecord(VmState* state, qzDosFile* f) {
    RemoveObjectFromList(&qzDosFileList, &f->header);
    VfsClose(f->file);
    FreeObjectDataList(state, f->header.data);
    delete f;
    DosReleaseUnusedStringFiles(state);
}

int ReadValue(VmState* state, unsigned char* bytes, size_t n, bool lsbFirst, qzDosFile** out) {
    *out = CheckReadableDosFile(state, 1);
    if (!DosReadExact(*out, bytes, n)) return ERR_READ;
    ToFileOrder(bytes, n, lsbFirst);
    return 0;
}

int WriteValue(qzDosFile* f, unsigned char* bytes, size_t n, bool lsbFirst) {
    ToFileOrder(bytes, n, lsbFirst);
    return DosWriteExact(f, bytes, n) ? 0 : ERR_WRITE;
}

// A number converted to a 64-bit file position, saturating; NaN gives 0.
int64_t ToPosition(double n) {
    if (std::isnan(n)) return 0;
    if (n >= 9.2e18) return INT64_MAX;
    if (n <= -9.2e18) return INT64_MIN;
    return static_cast<int64_t>(n);
}

int LinesGc(VmState* state) {
    // Strings this file kept alive are released at the next close or undefine.
    auto* u = static_cast<qzLinesFile*>(VmToUserdata(state, 1));
    if (u && u->file) CloseLinesFile(u);
    return 0;
}

// The iterator: the next piece of a line, or nothing (closing the file) at the end.
int LinesNext(VmState* state) {
    auto* u = static_cast<qzLinesFile*>(VmToUserdata(state, VmUpvalueIndex(2)));
    if (!u || !u->file) return 0;
    if (VfsEof(u->file)) {
        if (VmToNumber(state, VmUpvalueIndex(3)) != 0) {
            CloseLinesFile(u);
            DosReleaseUnusedStringFiles(state);
        }
        return 0;
    }
    std::string piece;
    size_t consumed = 0;
    while (consumed < kLinePieceMax) {
        int c = VfsGetC(u->file);
        if (c < 0 || c == '\n') break;
        consumed++;
        if (c != '\r') piece.push_back(static_cast<char>(c));
    }
    VmPushLString(state, piece.data(), piece.size());
    return 1;
}

}  // namespace

bool DosMemoryInUse(const void* address, uint64_t size) {
    uintptr_t start = reinterpret_cast<uintptr_t>(address);
    for (qzObjectHeader* h = qzDosFileList; h; h = h->next)
        if (ReadsMemory(reinterpret_cast<qzDosFile*>(h)->file, start, size)) return true;
    for (qzVfsFile* file : gLineFiles)
        if (ReadsMemory(file, start, size)) return true;
    return false;
}

qzDosFile* CheckDosFile(VmState* state, int index) {
    return reinterpret_cast<qzDosFile*>(CheckListObject(state, index, qzDosFileList, ERR_FINDFILE));
}

qzDosFile* CheckReadableDosFile(VmState* state, int index) {
    qzDosFile* f = CheckDosFile(state, index);
    if (f->access == QZ_ACCESS_WRITE) VmFailCommand(state, ERR_WRITEONLY);
    return f;
}

qzDosFile* CheckWritableDosFile(VmState* state, int index) {
    qzDosFile* f = CheckDosFile(state, index);
    if (f->access == QZ_ACCESS_READ) VmFailCommand(state, ERR_READONLY);
    return f;
}

bool DosFileAtEnd(qzDosFile* f) {
    // The platform knows the size of files opened for reading only; for handles that write, the
    // end is the file's current size.
    if (f->access == QZ_ACCESS_READ || f->file->adapter) return VfsEof(f->file) != 0;
    int64_t position = VfsSeek(f->file, 0, QZ_VFS_SEEK_CURRENT);
    int64_t size = VfsGetFileSize(f->file);
    return position < 0 || size < 0 || position >= size;
}

bool DosReadExact(qzDosFile* f, void* buffer, size_t count) {
    if (count == 0) return true;
    size_t got =
        qzDosIoMode == QZ_IO_UNBUFFERED ? VfsReadBlock(f->file, buffer, count) : VfsRead(f->file, buffer, count);
    return got == count;
}

bool DosWriteExact(qzDosFile* f, const void* buffer, size_t count) {
    if (count == 0) return true;
    size_t put =
        qzDosIoMode == QZ_IO_UNBUFFERED ? VfsWriteBlock(f->file, buffer, count) : VfsWrite(f->file, buffer, count);
    return put == count;
}

void DosCloseAllFiles(VmState* state) {
    while (qzDosFileList) FreeFileRecord(state, reinterpret_cast<qzDosFile*>(qzDosFileList));
}

void DosFileLinesMetatable(VmState* state) {
    if (VmNewNamedMetatable(state, kLinesType)) {
        VmPushString(state, "__gc");
        VmPushCFunction(state, LinesGc);
        VmRawSet(state, -3);
        VmPop(state, 1);
    }
}

int DosOpenFile(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    int mode = VmTruncateNumber(VmOptNumber(state, 3, QZ_MODE_READ));
    int access;
    std::string name;
    switch (mode) {
    case QZ_MODE_READ:
        access = QZ_ACCESS_READ;
        name = ResolveLinkedFileArg(state, 2, 0, nullptr);
        break;
    case QZ_MODE_WRITE:
        access = QZ_ACCESS_WRITE;
        name = VmCheckString(state, 2);
        break;
    case QZ_MODE_READWRITE:
        access = QZ_ACCESS_READWRITE;
        name = VmCheckString(state, 2);
        break;
    default: return ERR_WRONGUSAGE;
    }
    if (name.empty()) return ERR_WRONGUSAGE;
    std::string adapter;
    if (VmGetTop(state) >= 4) {
        if (VmType(state, 4) != VM_TTABLE) {
            SetErrorArgIndex(4);
            return ERR_TABEXPECTED;
        }
        GetTableFieldString(state, 4, "adapter", nullptr, 0, &adapter, nullptr);
    }
    if (!IsAutoObjectId(id)) {
        if (qzObjectHeader* old = FindObjectInList(qzDosFileList, id))
            FreeFileRecord(state, reinterpret_cast<qzDosFile*>(old));
    }
    PrintProgressStart(GetCatalogText(QZ_MSG_OPENINGFILE), name.c_str(), true);
    qzVfsFile* file = VfsOpen(name.c_str(), access | QZ_VFS_ADAPTERS, adapter.empty() ? nullptr : adapter.c_str());
    if (!file) {
        PrintProgressFailed();
        SetErrorArgString(name.c_str());
        return access == QZ_ACCESS_READ ? ERR_READFILE : ERR_WRITEFILE;
    }
    auto* f = new (std::nothrow) qzDosFile();
    if (!f) {
        VfsClose(file);
        PrintProgressFailed();
        return ERR_MEM;
    }
    f->mode = mode;
    f->access = access;
    f->file = file;
    AddObjectToList(&qzDosFileList, &f->header, QZ_TYPE_FILE, id);
    PrintProgressDone();
    return PushNewObjectHandle(state, id, &f->header);
}

int DosCloseFile(VmState* state) {
    qzDosFile* f = CheckDosFile(state, 1);
    FreeFileRecord(state, f);
    return 0;
}

int DosFileLines(VmState* state) {
    std::string name = ResolveLinkedFileArg(state, 1, 0, nullptr);
    // Closed on every way out until the user data owns it, memory running out included.
    qzVfsFileOwner owner(VfsOpen(name.c_str(), QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr));
    qzVfsFile* file = owner.get();
    if (!file) {
        SetErrorArgString(name.c_str());
        return ERR_READFILE;
    }
    VmGetNamedMetatable(state, kLinesType);
    auto* u = static_cast<qzLinesFile*>(VmNewUserdata(state, sizeof(qzLinesFile)));
    u->file = nullptr;
    try {
        gLineFiles.push_back(file);
    } catch (const std::bad_alloc&) {
        return ERR_MEM;
    }
    u->file = owner.release();
    // The user data owns the file from here: a loop left early closes it when collected.
    VmPushValue(state, -2);
    VmSetMetatable(state, -2);
    VmPushNumber(state, 1);
    VmPushCClosure(state, LinesNext, 3);
    return 1;
}

int DosEof(VmState* state) {
    qzDosFile* f = CheckDosFile(state, 1);
    VmPushNumber(state, DosFileAtEnd(f) ? 1 : 0);
    return 1;
}

int DosReadChr(VmState* state) {
    unsigned char b[1];
    qzDosFile* f;
    int code = ReadValue(state, b, 1, false, &f);
    if (code) return code;
    VmPushNumber(state, b[0]);
    return 1;
}

int DosReadShort(VmState* state) {
    bool lsb = DosOptFlag(state, 2, false);
    uint16_t v;
    qzDosFile* f;
    int code = ReadValue(state, reinterpret_cast<unsigned char*>(&v), 2, lsb, &f);
    if (code) return code;
    VmPushNumber(state, v);
    return 1;
}

int DosReadInt(VmState* state) {
    bool lsb = DosOptFlag(state, 2, false);
    int32_t v;
    qzDosFile* f;
    int code = ReadValue(state, reinterpret_cast<unsigned char*>(&v), 4, lsb, &f);
    if (code) return code;
    VmPushNumber(state, v);
    return 1;
}

int DosReadFloat(VmState* state) {
    int size = VmTruncateNumber(VmOptNumber(state, 2, 8));
    bool lsb = DosOptFlag(state, 3, false);
    if (size != 4 && size != 8) return ERR_WRONGUSAGE;
    qzDosFile* f;
    if (size == 4) {
        float v;
        int code = ReadValue(state, reinterpret_cast<unsigned char*>(&v), 4, lsb, &f);
        if (code) return code;
        VmPushNumber(state, v);
    } else {
        double v;
        int code = ReadValue(state, reinterpret_cast<unsigned char*>(&v), 8, lsb, &f);
        if (code) return code;
        VmPushNumber(state, v);
    }
    return 1;
}

int DosReadString(VmState* state) {
    qzDosFile* f = CheckReadableDosFile(state, 1);
    double n = VmCheckNumber(state, 2);
    if (std::isnan(n) || n < 0) return ERR_WRONGUSAGE;
    if (n < 1) {
        VmPushLString(state, "", 0);
        return 1;
    }
    // Never allocate what the file cannot hold.
    int64_t length = ToPosition(n);
    if (!f->file->adapter) {
        int64_t position = VfsSeek(f->file, 0, QZ_VFS_SEEK_CURRENT);
        int64_t size = VfsGetFileSize(f->file);
        if (position >= 0 && size >= 0 && length > size - position) {
            if (position < size) VfsSeek(f->file, 0, QZ_VFS_SEEK_END);
            return ERR_READ;
        }
    }
    if (static_cast<uint64_t>(length) > SIZE_MAX / 2) return ERR_MEM;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(length)]);
    if (!buffer) return ERR_MEM;
    if (!DosReadExact(f, buffer.get(), static_cast<size_t>(length))) return ERR_READ;
    VmPushLString(state, buffer.get(), static_cast<size_t>(length));
    return 1;
}

int DosReadLine(VmState* state) {
    qzDosFile* f = CheckReadableDosFile(state, 1);
    if (qzDosIoMode == QZ_IO_BUFFERED) {
        // A plain platform file that is not in the middle of writing gives the line straight from
        // its buffer.
        const char* text;
        size_t length;
        int direct = VfsReadLineDirect(f->file, &text, &length);
        if (direct < 0) return ERR_READ;
        if (direct > 0) {
            VmPushLString(state, text, length);
            return 1;
        }
    }
    std::string line;
    if (qzDosIoMode == QZ_IO_BUFFERED && !f->file->adapter) {
        // Platform files are read in small blocks; what follows the line feed is given back by
        // moving the position back, so the handle ends just behind the line as byte reads would.
        char block[512];
        for (;;) {
            size_t got = VfsRead(f->file, block, sizeof(block));
            if (got == 0) {
                if (!DosFileAtEnd(f)) return ERR_READ;
                break;
            }
            const char* lf = static_cast<const char*>(std::memchr(block, '\n', got));
            size_t use = lf ? static_cast<size_t>(lf - block) : got;
            for (size_t i = 0; i < use; i++)
                if (block[i] != '\r') line.push_back(block[i]);
            if (lf) {
                size_t unused = got - use - 1;
                if (unused && VfsSeek(f->file, -static_cast<int64_t>(unused), QZ_VFS_SEEK_CURRENT) < 0)
                    return ERR_SEEKFILE;
                break;
            }
        }
        VmPushLString(state, line.data(), line.size());
        return 1;
    }
    for (;;) {
        int c;
        if (qzDosIoMode == QZ_IO_UNBUFFERED) {
            unsigned char b;
            c = VfsReadBlock(f->file, &b, 1) == 1 ? b : -1;
        } else {
            c = VfsGetC(f->file);
        }
        if (c < 0) {
            // Only the end of the file ends a line without a line feed.
            if (!DosFileAtEnd(f)) return ERR_READ;
            break;
        }
        if (c == '\n') break;
        if (c != '\r') line.push_back(static_cast<char>(c));
    }
    VmPushLString(state, line.data(), line.size());
    return 1;
}

int DosWriteChr(VmState* state) {
    qzDosFile* f = CheckWritableDosFile(state, 1);
    unsigned char b = static_cast<unsigned char>(VmNumberToInteger(VmCheckNumber(state, 2)));
    return WriteValue(f, &b, 1, false);
}

int DosWriteShort(VmState* state) {
    qzDosFile* f = CheckWritableDosFile(state, 1);
    uint16_t v = static_cast<uint16_t>(VmNumberToInteger(VmCheckNumber(state, 2)));
    return WriteValue(f, reinterpret_cast<unsigned char*>(&v), 2, DosOptFlag(state, 3, false));
}

int DosWriteInt(VmState* state) {
    qzDosFile* f = CheckWritableDosFile(state, 1);
    int32_t v = VmNumberToInteger(VmCheckNumber(state, 2));
    return WriteValue(f, reinterpret_cast<unsigned char*>(&v), 4, DosOptFlag(state, 3, false));
}

int DosWriteFloat(VmState* state) {
    qzDosFile* f = CheckWritableDosFile(state, 1);
    double value = VmCheckNumber(state, 2);
    int size = VmTruncateNumber(VmOptNumber(state, 3, 8));
    bool lsb = DosOptFlag(state, 4, false);
    if (size == 4) {
        float v = static_cast<float>(value);
        return WriteValue(f, reinterpret_cast<unsigned char*>(&v), 4, lsb);
    }
    if (size == 8) return WriteValue(f, reinterpret_cast<unsigned char*>(&value), 8, lsb);
    return ERR_WRONGUSAGE;
}

int DosWriteString(VmState* state) {
    qzDosFile* f = CheckWritableDosFile(state, 1);
    size_t length;
    const char* text = VmCheckString(state, 2, &length);
    double n = VmOptNumber(state, 3, 0);
    if (std::isnan(n) || n < 0) return ERR_WRONGUSAGE;
    if (n >= 1) {
        if (n > static_cast<double>(length)) return ERR_STRTOOSHORT;
        length = static_cast<size_t>(n);
    }
    return DosWriteExact(f, text, length) ? 0 : ERR_WRITE;
}

int DosWriteLine(VmState* state) {
    qzDosFile* f = CheckWritableDosFile(state, 1);
    const char* text = VmCheckString(state, 2);
    if (!DosWriteExact(f, text, std::strlen(text))) return ERR_WRITE;
    if (qzDosIoMode == QZ_IO_UNBUFFERED) {
        char lf = '\n';
        return VfsWriteBlock(f->file, &lf, 1) == 1 ? 0 : ERR_WRITE;
    }
    return VfsPutC(f->file, '\n') ? 0 : ERR_WRITE;
}

int DosSeek(VmState* state) {
    qzDosFile* f = CheckDosFile(state, 1);
    int64_t position = ToPosition(VmCheckNumber(state, 2));
    int mode = VmTruncateNumber(VmOptNumber(state, 3, QZ_VFS_SEEK_BEGINNING));
    if (mode != QZ_VFS_SEEK_BEGINNING && mode != QZ_VFS_SEEK_CURRENT && mode != QZ_VFS_SEEK_END) return ERR_WRONGUSAGE;
    if (position == -1 && mode == QZ_VFS_SEEK_BEGINNING) {
        position = 0;
        mode = QZ_VFS_SEEK_END;
    }
    return VfsSeek(f->file, position, mode) == -1 ? ERR_SEEKFILE : 0;
}

int DosFilePos(VmState* state) {
    qzDosFile* f = CheckDosFile(state, 1);
    int64_t position = VfsSeek(f->file, 0, QZ_VFS_SEEK_CURRENT);
    if (position < 0) return ERR_SEEKFILE;
    VmPushNumber(state, static_cast<double>(position));
    return 1;
}

int DosFileLength(VmState* state) {
    qzDosFile* f = CheckDosFile(state, 1);
    VmPushNumber(state, static_cast<double>(VfsGetFileSize(f->file)));
    return 1;
}

int DosFlushFile(VmState* state) {
    qzDosFile* f = CheckDosFile(state, 1);
    VfsFlush(f->file);
    return 0;
}

int DosSetIOMode(VmState* state) {
    int mode = VmCheckInteger(state, 1);
    if (mode != QZ_IO_BUFFERED && mode != QZ_IO_UNBUFFERED) return ERR_WRONGUSAGE;
    qzDosIoMode = mode;
    return 0;
}
