// Memory blocks: allocation, typed access (Peek, Poke), FillMem, CopyMem, DumpMem, MemToTable,
// TableToMem and GetMemPointer. Every range is checked in 64 bits before memory is touched; a
// block of unknown size (foreign memory) is not bounds-checked.
#include "libs/memblock/memblock.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/byte_order.h"
#include "base/charset.h"
#include "base/error_codes.h"
#include "libs/memblock/memblock_io.h"
#include "libs/system/system.h"
#include "platform/os_alloc.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Largest block AllocMem hands out; numbers beyond are refused before any allocation.
constexpr double kMaxBlockSize = 4503599627370496.0;  // 2^52

qzObjectHeader* blockList;

// Width in bytes of the numeric types, 0 for others.
int TypeWidth(int32_t type) {
    switch (type) {
    case QZ_VT_INTEGER: return 4;
    case QZ_VT_SHORT: return 2;
    case QZ_VT_BYTE: return 1;
    case QZ_VT_FLOAT: return 4;
    case QZ_VT_DOUBLE: return 8;
    default: return 0;
    }
}

qzMemBlock* FindBlock(const qzObjectId& id) { return reinterpret_cast<qzMemBlock*>(FindObjectInList(blockList, id)); }

void FreeBlock(VmState* state, qzMemBlock* block) {
    if (!block->foreign) OsFree(block->data);
    FreeObjectDataList(state, block->header.data);
    OsFree(block);
}

// Creates a block record for the identifier (a block with the same number is freed first),
// appends it and pushes its handle when the identifier asked for one. Returns the number of
// results (0 or 1) or ERR_MEM.
int AddBlock(VmState* state, const qzObjectId& id, unsigned char* data, int64_t size, int foreign) {
    if (!IsAutoObjectId(id)) {
        if (qzMemBlock* old = FindBlock(id)) {
            RemoveObjectFromList(&blockList, &old->header);
            FreeBlock(state, old);
        }
    }
    auto* block = static_cast<qzMemBlock*>(OsAlloc(sizeof(qzMemBlock), 1));
    if (!block) {
        if (!foreign) OsFree(data);
        return ERR_MEM;
    }
    block->size = size;
    block->data = data;
    block->foreign = foreign;
    AddObjectToList(&blockList, &block->header, QZ_TYPE_MEMORY, id);
    return PushNewObjectHandle(state, id, &block->header);
}

// Reads an integer argument as a 64-bit value (offsets and counts: the argument readers' 32-bit
// conversion, widened so that sums cannot overflow).
int64_t CheckInt64(VmState* state, int index) { return VmCheckInteger(state, index); }
int64_t OptInt64(VmState* state, int index, int32_t def) { return VmOptInteger(state, index, def); }

// Reads an n-byte unsigned integer, most significant byte first unless hostOrder.
double ReadUnsigned(const unsigned char* p, int n, bool hostOrder) {
    unsigned char bytes[4];
    std::memcpy(bytes, p, n);
    if (hostOrder && !HostIsBigEndian()) ReverseBytes(bytes, n);
    uint32_t value = 0;
    for (int i = 0; i < n; i++) value = (value << 8) | bytes[i];
    return value;
}

// Writes the low n bytes of value, most significant byte first unless hostOrder.
void WriteUnsigned(unsigned char* p, uint32_t value, int n, bool hostOrder) {
    unsigned char bytes[4];
    for (int i = n - 1; i >= 0; i--) {
        bytes[i] = static_cast<unsigned char>(value & 0xFF);
        value >>= 8;
    }
    if (hostOrder && !HostIsBigEndian()) ReverseBytes(bytes, n);
    std::memcpy(p, bytes, n);
}

// A value of the numeric type in host order at p (bytes reversed first when swap), as a number.
double ReadHostValue(const unsigned char* p, int32_t type, bool swap, bool isSigned) {
    int width = TypeWidth(type);
    unsigned char bytes[8];
    std::memcpy(bytes, p, width);
    if (swap) ReverseBytes(bytes, width);
    switch (type) {
    case QZ_VT_INTEGER: {
        uint32_t v;
        std::memcpy(&v, bytes, 4);
        return v;
    }
    case QZ_VT_SHORT: {
        uint16_t v;
        std::memcpy(&v, bytes, 2);
        return isSigned ? static_cast<double>(static_cast<int16_t>(v)) : v;
    }
    case QZ_VT_BYTE: return isSigned ? static_cast<double>(static_cast<int8_t>(bytes[0])) : bytes[0];
    case QZ_VT_FLOAT: {
        float v;
        std::memcpy(&v, bytes, 4);
        return v;
    }
    default: {
        double v;
        std::memcpy(&v, bytes, 8);
        return v;
    }
    }
}

// Stores a number as the numeric type in host order at p (bytes reversed when swap).
void WriteHostValue(unsigned char* p, int32_t type, double number, bool swap) {
    int width = TypeWidth(type);
    unsigned char bytes[8];
    if (type == QZ_VT_FLOAT) {
        float v = static_cast<float>(number);
        std::memcpy(bytes, &v, 4);
    } else if (type == QZ_VT_DOUBLE) {
        std::memcpy(bytes, &number, 8);
    } else {
        uint32_t pattern = static_cast<uint32_t>(VmNumberToInteger(number));
        uint16_t v16 = static_cast<uint16_t>(pattern);
        uint8_t v8 = static_cast<uint8_t>(pattern);
        if (width == 4)
            std::memcpy(bytes, &pattern, 4);
        else if (width == 2)
            std::memcpy(bytes, &v16, 2);
        else
            bytes[0] = v8;
    }
    if (swap) ReverseBytes(bytes, width);
    std::memcpy(p, bytes, width);
}

bool IsTextByte(unsigned char c) { return IsGraphChar(c) || c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

bool MemRangeAllowed(const qzMemBlock* block, int64_t offset, int64_t n) {
    if (block->size == 0) return true;
    return offset >= 0 && n >= 0 && offset <= block->size && n <= block->size - offset;
}

qzMemBlock* CheckMemBlock(VmState* state, int index) {
    return reinterpret_cast<qzMemBlock*>(CheckListObject(state, index, blockList, ERR_FINDMEMBLK));
}

namespace {

int MemAllocMem(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    double size = std::trunc(VmCheckNumber(state, 2));
    if (!(size >= 1) || size > kMaxBlockSize) return ERR_MEM;
    auto* data = static_cast<unsigned char*>(OsAlloc(static_cast<size_t>(size), 1));
    if (!data) return ERR_MEM;
    return AddBlock(state, id, data, static_cast<int64_t>(size), 0);
}

int MemAllocMemFromPointer(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    int type = VmType(state, 2);
    if (type != VM_TUSERDATA && type != VM_TLIGHTUSERDATA) {
        SetErrorArgIndex(2);
        return ERR_UDEXPECTED;
    }
    void* pointer = VmToUserdata(state, 2);
    double size = std::trunc(VmCheckNumber(state, 3));
    if (!(size >= 0) || size > kMaxBlockSize) return ERR_WRONGUSAGE;
    return AddBlock(state, id, static_cast<unsigned char*>(pointer), static_cast<int64_t>(size), 1);
}

int MemFreeMem(VmState* state) {
    qzMemBlock* block = CheckMemBlock(state, 1);
    RemoveObjectFromList(&blockList, &block->header);
    FreeBlock(state, block);
    return 0;
}

int MemGetMemPointer(VmState* state) {
    qzMemBlock* block = CheckMemBlock(state, 1);
    int64_t offset = OptInt64(state, 2, 0);
    if (offset < 0 || (block->size != 0 && offset >= block->size)) return ERR_WRONGUSAGE;
    VmPushLightUserdata(state, block->data + offset);
    return 1;
}

int MemPeek(VmState* state) {
    qzMemBlock* block = CheckMemBlock(state, 1);
    int64_t offset = CheckInt64(state, 2);
    int32_t type = VmOptInteger(state, 3, QZ_VT_INTEGER);
    int64_t flag = OptInt64(state, 4, 0);
    if (offset < 0) return ERR_MEMRANGE;
    const unsigned char* p = block->data + offset;
    switch (type) {
    case QZ_VT_INTEGER:
    case QZ_VT_SHORT:
    case QZ_VT_BYTE: {
        int width = TypeWidth(type);
        if (!MemRangeAllowed(block, offset, width)) return ERR_MEMRANGE;
        VmPushNumber(state, ReadUnsigned(p, width, flag != 0));
        return 1;
    }
    case QZ_VT_FLOAT:
    case QZ_VT_DOUBLE:
        if (!MemRangeAllowed(block, offset, TypeWidth(type))) return ERR_MEMRANGE;
        VmPushNumber(state, ReadHostValue(p, type, false, false));
        return 1;
    case QZ_VT_STRING: {
        if (flag < 0) return ERR_WRONGUSAGE;
        if (flag > 0) {
            if (!MemRangeAllowed(block, offset, flag)) return ERR_MEMRANGE;
            VmPushLString(state, reinterpret_cast<const char*>(p), static_cast<size_t>(flag));
            return 1;
        }
        if (block->size != 0 && offset >= block->size) return ERR_MEMRANGE;
        int64_t n = 0;
        while ((block->size == 0 || offset + n < block->size) && IsTextByte(p[n])) n++;
        VmPushLString(state, reinterpret_cast<const char*>(p), static_cast<size_t>(n));
        return 1;
    }
    default: return ERR_WRONGUSAGE;
    }
}

int MemPoke(VmState* state) {
    qzMemBlock* block = CheckMemBlock(state, 1);
    int64_t offset = CheckInt64(state, 2);
    int32_t type = VmOptInteger(state, 4, QZ_VT_INTEGER);
    int64_t flag = OptInt64(state, 5, 0);
    if (offset < 0) return ERR_MEMRANGE;
    unsigned char* p = block->data + offset;
    switch (type) {
    case QZ_VT_INTEGER:
    case QZ_VT_SHORT:
    case QZ_VT_BYTE: {
        uint32_t value = static_cast<uint32_t>(VmCheckInteger(state, 3));
        int width = TypeWidth(type);
        if (!MemRangeAllowed(block, offset, width)) return ERR_MEMRANGE;
        WriteUnsigned(p, value, width, flag != 0);
        return 0;
    }
    case QZ_VT_FLOAT:
    case QZ_VT_DOUBLE: {
        double value = VmCheckNumber(state, 3);
        if (!MemRangeAllowed(block, offset, TypeWidth(type))) return ERR_MEMRANGE;
        WriteHostValue(p, type, value, false);
        return 0;
    }
    case QZ_VT_STRING: {
        size_t length;
        const char* text = VmCheckString(state, 3, &length);
        if (!MemRangeAllowed(block, offset, static_cast<int64_t>(length) + 1)) return ERR_MEMRANGE;
        std::memcpy(p, text, length);
        p[length] = 0;
        return 0;
    }
    default: return ERR_WRONGUSAGE;
    }
}

int MemFillMem(VmState* state) {
    qzMemBlock* block = CheckMemBlock(state, 1);
    uint32_t value = static_cast<uint32_t>(VmCheckInteger(state, 2));
    int64_t count = CheckInt64(state, 3);
    int64_t offset = OptInt64(state, 4, 0);
    int32_t type = VmOptInteger(state, 5, QZ_VT_BYTE);
    if (count < 1) return 0;
    if (offset < 0 || !MemRangeAllowed(block, offset, count)) return ERR_MEMRANGE;
    unsigned char* p = block->data + offset;
    switch (type) {
    case QZ_VT_BYTE: std::memset(p, static_cast<int>(value & 0xFF), static_cast<size_t>(count)); return 0;
    case QZ_VT_SHORT: {
        if (offset % 2 != 0 || count % 2 != 0) return ERR_WRONGUSAGE;
        uint16_t v = static_cast<uint16_t>(value);
        for (int64_t i = 0; i < count; i += 2) std::memcpy(p + i, &v, 2);
        return 0;
    }
    case QZ_VT_INTEGER:
        if (offset % 4 != 0 || count % 4 != 0) return ERR_WRONGUSAGE;
        for (int64_t i = 0; i < count; i += 4) std::memcpy(p + i, &value, 4);
        return 0;
    default: return ERR_WRONGUSAGE;
    }
}

int MemCopyMem(VmState* state) {
    qzMemBlock* source = CheckMemBlock(state, 1);
    qzMemBlock* target = CheckMemBlock(state, 2);
    int64_t count = CheckInt64(state, 3);
    int64_t sourceOffset = OptInt64(state, 4, 0);
    int64_t targetOffset = OptInt64(state, 5, 0);
    if (count < 1) return 0;
    if (sourceOffset < 0 || targetOffset < 0) return ERR_MEMRANGE;
    if (source == target) return ERR_WRONGUSAGE;
    if (!MemRangeAllowed(source, sourceOffset, count) || !MemRangeAllowed(target, targetOffset, count))
        return ERR_MEMRANGE;
    // Foreign blocks may share memory with others.
    std::memmove(target->data + targetOffset, source->data + sourceOffset, static_cast<size_t>(count));
    return 0;
}

int MemDumpMem(VmState* state) {
    qzMemBlock* block = CheckMemBlock(state, 1);
    int64_t count = OptInt64(state, 2, 0);
    int64_t offset = OptInt64(state, 3, 0);
    if (offset < 0) return ERR_WRONGUSAGE;
    if (count < 1) {
        // The whole block from the offset on.
        if (block->size == 0) return ERR_WRONGUSAGE;
        if (offset >= block->size) return ERR_MEMRANGE;
        count = block->size - offset;
    }
    if (!MemRangeAllowed(block, offset, count)) return ERR_MEMRANGE;
    const unsigned char* p = block->data + offset;
    std::string line;
    for (int64_t start = 0; start < count; start += 16) {
        int64_t n = count - start < 16 ? count - start : 16;
        char piece[24];
        std::snprintf(piece, sizeof(piece), "%.8llx: ", static_cast<unsigned long long>(offset + start));
        line = piece;
        for (int64_t i = 0; i < 16; i++) {
            if (i < n) {
                std::snprintf(piece, sizeof(piece), "%.2x ", p[start + i]);
                line += piece;
            } else {
                line += "   ";
            }
        }
        for (int64_t i = 0; i < n; i++) {
            unsigned char c = p[start + i];
            line += (IsGraphChar(c) || c == ' ') ? static_cast<char>(c) : '.';
        }
        line += '\n';
        PrintConsole("%s", line.c_str());
    }
    return 0;
}

int MemMemToTable(VmState* state) {
    qzMemBlock* block = CheckMemBlock(state, 1);
    int32_t type = VmCheckInteger(state, 2);
    int width = type == QZ_VT_STRING ? 0 : TypeWidth(type);
    int32_t items = 0, offset = 0, endianSwitch = 0, isSigned = 0;
    int itemsGiven = 0;
    if (VmGetTop(state) >= 3) {
        VmCheckTable(state, 3);
        GetTableFieldInt(state, 3, "items", &items, &itemsGiven);
        GetTableFieldInt(state, 3, "offset", &offset, nullptr);
        GetTableFieldBool(state, 3, "endianswitch", &endianSwitch, nullptr);
        GetTableFieldBool(state, 3, "signed", &isSigned, nullptr);
    }
    if (width == 0 || offset < 0) return ERR_WRONGUSAGE;
    int64_t count = items;
    if (!itemsGiven) {
        // By default every whole value from the offset to the end of the block.
        count = block->size > offset ? (block->size - offset) / width : 0;
    }
    if (count <= 0) return ERR_WRONGUSAGE;
    if (!MemRangeAllowed(block, offset, count * width)) return ERR_MEMRANGE;
    if (!VmCheckStack(state, 3)) return ERR_STACK;
    // The array part grows as needed beyond a modest first size.
    VmCreateTable(state, count < (1 << 16) ? static_cast<int>(count) : (1 << 16), 0);
    const unsigned char* p = block->data + offset;
    for (int64_t i = 0; i < count; i++) {
        VmPushNumber(state, ReadHostValue(p + i * width, type, endianSwitch != 0, isSigned != 0));
        VmRawSetI(state, -2, static_cast<int>(i));
    }
    return 1;
}

int MemTableToMem(VmState* state) {
    VmCheckTable(state, 1);
    qzMemBlock* block = CheckMemBlock(state, 2);
    int32_t type = VmCheckInteger(state, 3);
    int width = type == QZ_VT_STRING ? 0 : TypeWidth(type);
    int32_t offset = 0, endianSwitch = 0;
    if (VmGetTop(state) >= 4) {
        VmCheckTable(state, 4);
        GetTableFieldInt(state, 4, "offset", &offset, nullptr);
        GetTableFieldBool(state, 4, "endianswitch", &endianSwitch, nullptr);
    }
    if (width == 0 || offset < 0) return ERR_WRONGUSAGE;
    if (block->size != 0 && offset > block->size) return ERR_MEMRANGE;
    int64_t position = offset;
    for (int i = 0;; i++) {
        VmRawGetI(state, 1, i);
        if (VmType(state, -1) == VM_TNIL) break;
        double number = VmToNumber(state, -1);
        VmPop(state, 1);
        // Elements already stored stay written when a later one does not fit.
        if (!MemRangeAllowed(block, position, width)) return ERR_MEMRANGE;
        WriteHostValue(block->data + position, type, number, endianSwitch != 0);
        position += width;
    }
    return 0;
}

const qzCommandRow kMemblockCommands[] = {
    {"AllocMem", MemAllocMem, 2, 2},
    {"AllocMemFromPointer", MemAllocMemFromPointer, 3, 3},
    {"FreeMem", MemFreeMem, 1, 1},
    {"GetMemPointer", MemGetMemPointer, 1, 2},
    {"Peek", MemPeek, 2, 4},
    {"Poke", MemPoke, 3, 5},
    {"FillMem", MemFillMem, 3, 5},
    {"CopyMem", MemCopyMem, 3, 5},
    {"ReadMem", MemReadMem},
    {"WriteMem", MemWriteMem},
    {"DumpMem", MemDumpMem, 1, 3},
    {"MemToTable", MemMemToTable, 2, 3},
    {"TableToMem", MemTableToMem, 3, 4},
    {nullptr, nullptr},
};

}  // namespace

const qzLibraryDescriptor qzMemblockLibrary = {
    .name = "memblock",
    .commands = kMemblockCommands,
    .open = [](VmState*) { return RegisterObjectList(&blockList); },
    .cleanups = {{QZ_STAGE_MEMBLOCKS, FreeMemblockLibrary}},
};

void FreeMemblockLibrary(VmState* state) {
    while (blockList) {
        qzObjectHeader* next = blockList->next;
        FreeBlock(state, reinterpret_cast<qzMemBlock*>(blockList));
        blockList = next;
    }
}
