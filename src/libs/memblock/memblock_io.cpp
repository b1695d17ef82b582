// ReadMem and WriteMem: bytes between a memory block and a file opened with the dos library,
// through the dos library's transfers, which follow its I/O mode.
#include <cstdint>

#include "base/error_codes.h"
#include "libs/dos/dos.h"
#include "libs/memblock/memblock_io.h"
#include "runtime/arg_check.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Reads the common arguments: file handle, block, count and offset. *count 0 means nothing to do.
int TransferArgs(VmState* state, qzDosFile** file, qzMemBlock** block, int64_t* count, int64_t* offset) {
    VmCheckArgCount(state, 3, 4, 0, 0);
    *file = CheckDosFile(state, 1);
    *block = CheckMemBlock(state, 2);
    *count = VmCheckInteger(state, 3);
    *offset = VmOptInteger(state, 4, 0);
    if (*count <= 0) {
        *count = 0;
        return 0;
    }
    if (*offset < 0) return ERR_WRONGUSAGE;
    return MemRangeAllowed(*block, *offset, *count) ? 0 : ERR_MEMRANGE;
}

// Moves count bytes between the file and the block at offset: into the block when reading.
int Transfer(VmState* state, bool write) {
    qzDosFile* file;
    qzMemBlock* block;
    int64_t count, offset;
    int error = TransferArgs(state, &file, &block, &count, &offset);
    if (error || count == 0) return error;
    if (write) {
        if (file->access == QZ_ACCESS_READ) return ERR_READONLY;
        return DosWriteExact(file, block->data + offset, static_cast<size_t>(count)) ? 0 : ERR_WRITE;
    }
    if (file->access == QZ_ACCESS_WRITE) return ERR_WRITEONLY;
    return DosReadExact(file, block->data + offset, static_cast<size_t>(count)) ? 0 : ERR_READ;
}

}  // namespace

int MemReadMem(VmState* state) { return Transfer(state, false); }

int MemWriteMem(VmState* state) { return Transfer(state, true); }
