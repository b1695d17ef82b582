// Serialised tables: "QZT0" and one table body of tagged key/value items, every multi-byte field
// most significant byte first. Tag 0 ends a body, 2 is a number (8-byte double), 3 a string
// (4-byte length and the bytes), 4 a nested body, 5 a function record without its magic.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "libs/dos/dos.h"
#include "platform/vfs.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

const char kTableMagic[4] = {'Q', 'Z', 'T', '0'};
enum { TAG_END = 0, TAG_NUMBER = 2, TAG_STRING = 3, TAG_TABLE = 4, TAG_FUNCTION = 5 };
// Deepest nesting written or read; deeper data is refused instead of exhausting the stack.
constexpr int kMaxDepth = 1000;

void PutBE(unsigned char* out, uint64_t v, int n) {
    for (int i = n - 1; i >= 0; i--) {
        out[i] = static_cast<unsigned char>(v);
        v >>= 8;
    }
}

struct qzTableWriter {
    VmState* state;
    qzDosFile* file;
    bool textFunctions;
    std::vector<const void*> path;  // tables being written, outermost first
};

int WriteNumber(qzTableWriter* w, double n) {
    unsigned char item[9];
    item[0] = TAG_NUMBER;
    uint64_t bits;
    std::memcpy(&bits, &n, 8);
    PutBE(item + 1, bits, 8);
    return DosWriteExact(w->file, item, 9) ? 0 : ERR_WRITE;
}

int WriteString(qzTableWriter* w, int index) {
    size_t length;
    const char* s = VmToString(w->state, index);
    length = VmStrLen(w->state, index);
    if (length > UINT32_MAX) return ERR_WRONGUSAGE;
    unsigned char head[5];
    head[0] = TAG_STRING;
    PutBE(head + 1, length, 4);
    if (!DosWriteExact(w->file, head, 5)) return ERR_WRITE;
    return DosWriteExact(w->file, s, length) ? 0 : ERR_WRITE;
}

// Writes the pairs of the table at index and the closing 0.
int WriteBody(qzTableWriter* w, int index) {
    VmState* state = w->state;
    if (w->path.size() >= kMaxDepth) return ERR_STACK;
    if (!VmCheckStack(state, 4)) return ERR_STACK;
    index = VmAbsIndex(state, index);
    w->path.push_back(VmToPointer(state, index));
    VmPushNil(state);
    while (VmNext(state, index)) {
        int value = VmGetTop(state);
        int key = value - 1;
        int vt = VmType(state, value);
        if (vt == VM_TNIL || vt == VM_TBOOLEAN || vt == VM_TTHREAD) {
            VmPop(state, 1);
            continue;
        }
        int code = 0;
        int kt = VmType(state, key);
        if (kt == VM_TNUMBER)
            code = WriteNumber(w, VmToNumber(state, key));
        else if (kt == VM_TSTRING)
            code = WriteString(w, key);
        else
            code = ERR_WRONGUSAGE;
        if (!code) {
            switch (vt) {
            case VM_TNUMBER: code = WriteNumber(w, VmToNumber(state, value)); break;
            case VM_TSTRING: code = WriteString(w, value); break;
            case VM_TLIGHTUSERDATA:
            case VM_TUSERDATA: code = WriteNumber(w, 0); break;
            case VM_TTABLE: {
                const void* t = VmToPointer(state, value);
                for (const void* p : w->path)
                    if (p == t) code = ERR_WRONGUSAGE;  // a table inside itself
                unsigned char tag = TAG_TABLE;
                if (!code && !DosWriteExact(w->file, &tag, 1)) code = ERR_WRITE;
                if (!code) code = WriteBody(w, value);
                break;
            }
            case VM_TFUNCTION: {
                unsigned char tag = TAG_FUNCTION;
                if (VmIsCFunction(state, value))
                    code = ERR_NOQZFUNC;
                else if (!DosWriteExact(w->file, &tag, 1))
                    code = ERR_WRITE;
                else
                    code = DumpFunctionToFile(state, w->file, value, w->textFunctions);
                break;
            }
            default: code = ERR_WRONGUSAGE; break;
            }
        }
        if (code) {
            VmSetTop(state, index);
            w->path.pop_back();
            return code;
        }
        VmPop(state, 1);
    }
    w->path.pop_back();
    unsigned char end = TAG_END;
    return DosWriteExact(w->file, &end, 1) ? 0 : ERR_WRITE;
}

struct qzTableReader {
    VmState* state;
    qzDosFile* file;
    int64_t left;  // bytes behind the position, -1 when unknown
    std::string scratch;
};

void UpdateLeft(qzTableReader* r) {
    r->left = -1;
    if (r->file->file->adapter) return;
    int64_t position = VfsSeek(r->file->file, 0, QZ_VFS_SEEK_CURRENT);
    int64_t size = VfsGetFileSize(r->file->file);
    if (position >= 0 && size >= 0) r->left = size > position ? size - position : 0;
}

bool Read(qzTableReader* r, void* out, size_t n) {
    if (r->left >= 0) {
        if (static_cast<uint64_t>(r->left) < n) {
            // Short data: consume what is there, as a plain read would.
            if (r->left > 0) VfsSeek(r->file->file, 0, QZ_VFS_SEEK_END);
            r->left = 0;
            return false;
        }
        r->left -= static_cast<int64_t>(n);
    }
    return DosReadExact(r->file, out, n);
}

int ReadDouble(qzTableReader* r, double* out) {
    unsigned char b[8];
    if (!Read(r, b, 8)) return ERR_READ;
    uint64_t bits = 0;
    for (unsigned char c : b) bits = (bits << 8) | c;
    std::memcpy(out, &bits, 8);
    return 0;
}

// Pushes a string item's text (the tag already read).
int ReadStringItem(qzTableReader* r) {
    unsigned char b[4];
    if (!Read(r, b, 4)) return ERR_READ;
    uint64_t length = (uint64_t{b[0]} << 24) | (uint64_t{b[1]} << 16) | (uint64_t{b[2]} << 8) | b[3];
    // Every length is checked against the bytes present before anything is allocated.
    if (r->left >= 0 && length > static_cast<uint64_t>(r->left)) {
        Read(r, nullptr, length);
        return ERR_READ;
    }
    if (length > r->scratch.max_size()) return ERR_MEM;
    r->scratch.resize(length);
    if (length && !Read(r, r->scratch.data(), length)) return ERR_READ;
    VmPushLString(r->state, r->scratch.data(), length);
    return 0;
}

// A function item: binary records start with a 4-byte size, text records with 8 hexadecimal
// digits. A binary size whose 4 bytes are all hexadecimal digits would mean a chunk of over
// 800 MB, so the first 4 bytes tell the forms apart.
int ReadFunctionItem(qzTableReader* r) {
    char prefix[4];
    if (!Read(r, prefix, 4)) return ERR_READ;
    bool text = true;
    for (char c : prefix)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) text = false;
    int code = LoadFunctionFromFile(r->state, r->file, text, prefix);
    UpdateLeft(r);
    return code;
}

// Pushes a new table read from a body.
int ReadBody(qzTableReader* r, int depth) {
    VmState* state = r->state;
    if (depth >= kMaxDepth) return ERR_STACK;
    if (!VmCheckStack(state, 4)) return ERR_STACK;
    VmNewTable(state);
    int table = VmGetTop(state);
    for (;;) {
        unsigned char tag;
        if (!Read(r, &tag, 1)) return ERR_READ;
        if (tag == TAG_END) return 0;
        int code;
        if (tag == TAG_NUMBER) {
            double n;
            code = ReadDouble(r, &n);
            if (!code && n != n) code = ERR_WRONGUSAGE;  // NaN cannot be a key
            if (!code) VmPushNumber(state, n);
        } else if (tag == TAG_STRING) {
            code = ReadStringItem(r);
        } else {
            code = ERR_WRONGUSAGE;
        }
        if (code) return code;
        if (!Read(r, &tag, 1)) return ERR_READ;
        switch (tag) {
        case TAG_NUMBER: {
            double n;
            code = ReadDouble(r, &n);
            if (!code) VmPushNumber(state, n);
            break;
        }
        case TAG_STRING: code = ReadStringItem(r); break;
        case TAG_TABLE: code = ReadBody(r, depth + 1); break;
        case TAG_FUNCTION: code = ReadFunctionItem(r); break;
        default: code = ERR_WRONGUSAGE; break;
        }
        if (code) return code;
        VmRawSet(state, table);
    }
}

}  // namespace

int DosWriteTable(VmState* state) {
    if (VmType(state, 2) != VM_TTABLE) {
        SetErrorArgIndex(2);
        return ERR_TABEXPECTED;
    }
    qzDosFile* f = CheckWritableDosFile(state, 1);
    bool text = DosOptFlag(state, 3, false);
    if (!DosWriteExact(f, kTableMagic, 4)) return ERR_WRITE;
    qzTableWriter w{state, f, text, {}};
    return WriteBody(&w, 2);
}

int DosReadTable(VmState* state) {
    qzDosFile* f = CheckReadableDosFile(state, 1);
    qzTableReader r{state, f, -1, {}};
    UpdateLeft(&r);
    char magic[4];
    if (!Read(&r, magic, 4)) return ERR_READ;
    if (std::memcmp(magic, kTableMagic, 4) != 0) return ERR_READTABLE;
    int top = VmGetTop(state);
    int code = ReadBody(&r, 0);
    if (code) {
        VmSetTop(state, top);
        return code;
    }
    VmSetTop(state, top + 1);
    return 1;
}
