// Function records: a precompiled chunk behind its size, written at a handle's position in binary
// form ("QZF0": a 4-byte size, most significant byte first) or in text form ("QZF1": the size as
// 8 hexadecimal digits and the chunk in Base64 with a line feed after every 72 characters).
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/base64.h"
#include "base/error_codes.h"
#include "libs/dos/dos.h"
#include "platform/vfs.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

const char kBinaryMagic[4] = {'Q', 'Z', 'F', '0'};
const char kTextMagic[4] = {'Q', 'Z', 'F', '1'};

struct qzDumpWriter {
    qzDosFile* file;  // binary form: the chunk goes straight to the file
    uint64_t written;
    std::string* memory;  // text form: the chunk is gathered first
    bool outOfMemory;
};

int WriteDumpPiece(VmState*, const void* bytes, size_t size, void* data) {
    auto* w = static_cast<qzDumpWriter*>(data);
    if (w->memory) {
        if (w->memory->size() + size > w->memory->max_size()) {
            w->outOfMemory = true;
            return 1;
        }
        // Grow in steps of 64 KB, as a writer with a fixed buffer would.
        size_t need = w->memory->size() + size;
        if (need > w->memory->capacity()) w->memory->reserve((need / 65536 + 1) * 65536);
        w->memory->append(static_cast<const char*>(bytes), size);
        w->written += size;
        return 0;
    }
    if (!DosWriteExact(w->file, bytes, size)) return 1;
    w->written += size;
    return 0;
}

size_t WriteBase64Piece(void* context, const void* bytes, size_t length) {
    return DosWriteExact(static_cast<qzDosFile*>(context), bytes, length) ? length : 0;
}

struct qzChunkReader {
    const char* data;
    size_t size;
    bool done;
};

const char* ReadChunk(void* data, size_t* size) {
    auto* r = static_cast<qzChunkReader*>(data);
    if (r->done) {
        *size = 0;
        return nullptr;
    }
    r->done = true;
    *size = r->size;
    return r->data;
}

// Bytes left behind the handle's position, or -1 when unknown.
int64_t BytesLeft(qzDosFile* f) {
    if (f->file->adapter) return -1;
    int64_t position = VfsSeek(f->file, 0, QZ_VFS_SEEK_CURRENT);
    int64_t size = VfsGetFileSize(f->file);
    if (position < 0 || size < 0) return -1;
    return size > position ? size - position : 0;
}

}  // namespace

int DumpFunctionToFile(VmState* state, qzDosFile* f, int index, bool text) {
    if (VmType(state, index) != VM_TFUNCTION || VmIsCFunction(state, index)) return ERR_NOQZFUNC;
    int64_t start = VfsSeek(f->file, 0, QZ_VFS_SEEK_CURRENT);
    if (start < 0) return ERR_SEEKFILE;
    static const unsigned char zeros[8] = {0};
    if (!DosWriteExact(f, zeros, text ? 8 : 4)) return ERR_WRITE;
    std::string memory;
    qzDumpWriter w = {f, 0, text ? &memory : nullptr, false};
    int code = VmDumpFunction(state, index, WriteDumpPiece, &w);
    if (w.outOfMemory) return ERR_MEM;
    if (code) return code == 1 ? ERR_WRITE : code;
    uint64_t count = w.written;
    if (text) {
        qzBase64Target target;
        target.kind = BASE64_TO_FILE;
        target.write = WriteBase64Piece;
        target.writeContext = f;
        code = EncodeBase64(&target, memory.data(), memory.size());
        if (code) return code;
        count = target.count;
    }
    if (count > UINT32_MAX) return ERR_MEM;
    int64_t end = VfsSeek(f->file, start, QZ_VFS_SEEK_BEGINNING);
    if (end < 0) return ERR_SEEKFILE;
    if (text) {
        char digits[16];
        std::snprintf(digits, sizeof(digits), "%.8lx", static_cast<unsigned long>(count));
        if (!DosWriteExact(f, digits, 8)) return ERR_WRITE;
    } else {
        unsigned char size[4] = {static_cast<unsigned char>(count >> 24), static_cast<unsigned char>(count >> 16),
                                 static_cast<unsigned char>(count >> 8), static_cast<unsigned char>(count)};
        if (!DosWriteExact(f, size, 4)) return ERR_WRITE;
    }
    if (VfsSeek(f->file, end, QZ_VFS_SEEK_BEGINNING) < 0) return ERR_SEEKFILE;
    return 0;
}

int LoadFunctionFromFile(VmState* state, qzDosFile* f, bool text, const char* prefix) {
    uint64_t size = 0;
    if (text) {
        char digits[8];
        if (prefix) {
            std::memcpy(digits, prefix, 4);
            if (!DosReadExact(f, digits + 4, 4)) return ERR_READ;
        } else if (!DosReadExact(f, digits, 8)) {
            return ERR_READ;
        }
        for (char c : digits) {
            int v;
            if (c >= '0' && c <= '9')
                v = c - '0';
            else if (c >= 'a' && c <= 'f')
                v = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v = c - 'A' + 10;
            else
                return ERR_READFUNC;
            size = size * 16 + static_cast<uint64_t>(v);
        }
    } else {
        unsigned char b[4];
        if (prefix)
            std::memcpy(b, prefix, 4);
        else if (!DosReadExact(f, b, 4))
            return ERR_READ;
        size = (uint64_t{b[0]} << 24) | (uint64_t{b[1]} << 16) | (uint64_t{b[2]} << 8) | b[3];
    }
    // A size beyond the bytes present is damaged data: never allocate what the header claims.
    int64_t left = BytesLeft(f);
    if (left >= 0 && size > static_cast<uint64_t>(left)) return ERR_READ;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size ? size : 1]);
    if (!buffer) return ERR_MEM;
    if (!DosReadExact(f, buffer.get(), size)) return ERR_READ;
    size_t length = size;
    if (text) {
        std::unique_ptr<char[]> decoded(new (std::nothrow) char[size ? size : 1]);
        if (!decoded) return ERR_MEM;
        qzBase64Target target;
        target.kind = BASE64_TO_MEMORY;
        target.memory = reinterpret_cast<uint8_t*>(decoded.get());
        target.capacity = size;
        int code = DecodeBase64(buffer.get(), size, &target);
        if (code) return code;
        length = target.count;
        buffer = std::move(decoded);
    }
    qzChunkReader reader = {buffer.get(), length, false};
    return VmLoad(state, ReadChunk, &reader, nullptr);
}

int DosWriteFunction(VmState* state) {
    qzDosFile* f = CheckDosFile(state, 1);
    if (VmType(state, 2) != VM_TFUNCTION) {
        SetErrorArgIndex(2);
        return ERR_FUNCEXPECTED;
    }
    if (f->access == QZ_ACCESS_READ) return ERR_READONLY;
    bool text = DosOptFlag(state, 3, false);
    if (VmIsCFunction(state, 2)) return ERR_NOQZFUNC;
    if (!DosWriteExact(f, text ? kTextMagic : kBinaryMagic, 4)) return ERR_WRITE;
    return DumpFunctionToFile(state, f, 2, text);
}

int DosReadFunction(VmState* state) {
    qzDosFile* f = CheckReadableDosFile(state, 1);
    char magic[4];
    if (!DosReadExact(f, magic, 4)) return ERR_READ;
    bool text;
    if (std::memcmp(magic, kBinaryMagic, 4) == 0)
        text = false;
    else if (std::memcmp(magic, kTextMagic, 4) == 0)
        text = true;
    else
        return ERR_READFUNC;
    int code = LoadFunctionFromFile(state, f, text, nullptr);
    return code ? code : 1;
}
