// The path record, the path list and the command buffer; see path_buffer.h.
#include "vector/path_buffer.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "platform/os_alloc.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "vm/vm.h"

namespace {

qzObjectHeader* gPaths = nullptr;

// The estimate of AppendPathRecord: 128 bytes plus the room of every string.
size_t EstimateRecord(const qzPathArg* args, int count) {
    size_t estimate = 128;
    for (int i = 0; i < count; i++)
        if (args[i].kind == PATHARG_STRING) estimate += PathStringSize(std::strlen(args[i].s));
    return estimate;
}

}  // namespace

size_t PathRecordSize(const uint8_t* p) {
    switch (PathReadU32(p)) {
    case QZ_PATHOP_MOVE:
    case QZ_PATHOP_LINE: return 24;
    case QZ_PATHOP_CURVE: return 56;
    case 4:
    case QZ_PATHOP_SUBPATH:
    case QZ_PATHOP_CLOSE: return 4;
    case QZ_PATHOP_ARC: return 56;
    case QZ_PATHOP_BOX: return 52;
    case QZ_PATHOP_TEXT: return 12 + PathStringSize(std::strlen(reinterpret_cast<const char*>(p + 12)));
    default: return 0;
    }
}

qzObjectHeader** GetPathList() { return &gPaths; }

int FindPath(const qzObjectId& id, qzPath** out) {
    *out = reinterpret_cast<qzPath*>(FindObjectInList(gPaths, id));
    if (*out) return 0;
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return ERR_FINDPATH;
}

qzPath* CheckPath(VmState* state, const qzObjectId& id) {
    qzPath* path = nullptr;
    if (int error = FindPath(id, &path)) VmFailCommand(state, error);
    return path;
}

qzPath* CheckPath(VmState* state, int index) { return CheckPath(state, CheckObjectIdArg(state, index)); }

int GrowPathBuffer(qzPath* path, size_t needed) {
    size_t used = PathBytesInUse(path);
    if (path->buffer && needed <= path->capacity - used) return 0;
    size_t capacity = size_t(path->capacity) + std::max<size_t>(needed, 1024);
    if (capacity > std::numeric_limits<uint32_t>::max()) return ERR_MEM;
    // Zero-filled, so that the padding behind strings and the bytes beyond the terminator that
    // copies of the whole capacity carry are defined.
    auto* block = static_cast<uint8_t*>(OsAlloc(capacity, 1));
    if (!block) return ERR_MEM;
    if (used) std::memcpy(block, path->buffer, used);
    OsFree(path->buffer);
    path->buffer = block;
    path->write = block + used;
    path->capacity = static_cast<uint32_t>(capacity);
    return 0;
}

int AppendPathRecord(qzPath* path, uint32_t opcode, const qzPathArg* args, int count) {
    if (int error = GrowPathBuffer(path, EstimateRecord(args, count))) return error;
    uint8_t* p = path->write;
    PathWriteU32(p, opcode);
    p += 4;
    for (int i = 0; i < count; i++) {
        switch (args[i].kind) {
        case PATHARG_DOUBLE:
            PathWriteDouble(p, args[i].d);
            p += 8;
            break;
        case PATHARG_STRING: {
            size_t length = std::strlen(args[i].s);
            size_t room = PathStringSize(length);
            std::memcpy(p, args[i].s, length + 1);
            std::memset(p + length + 1, 0, room - length - 1);
            p += room;
            break;
        }
        default:
            PathWriteU32(p, args[i].u);
            p += 4;
            break;
        }
    }
    PathWriteU32(p, QZ_PATHOP_END);
    path->write = p;
    return 0;
}

int AppendPathCommand(const qzObjectId& id, uint32_t opcode, const qzPathArg* args, int count) {
    qzPath* path = nullptr;
    if (int error = FindPath(id, &path)) return error;
    return AppendPathRecord(path, opcode, args, count);
}

qzPath* NewPathRecord(const qzObjectId& id) {
    auto* path = static_cast<qzPath*>(OsAlloc(sizeof(qzPath), 1));
    if (path) AddObjectToList(&gPaths, &path->header, QZ_TYPE_VECTORPATH, id);
    return path;
}

void FreePathRecord(VmState* state, qzPath* path) {
    RemoveObjectFromList(&gPaths, &path->header);
    if (state) FreeObjectDataList(state, path->header.data);
    OsFree(path->buffer);
    OsFree(path);
}

int FreePathById(VmState* state, const qzObjectId& id) {
    qzPath* path = nullptr;
    if (int error = FindPath(id, &path)) return error;
    FreePathRecord(state, path);
    return 0;
}

void FreePathList(VmState* state) {
    while (gPaths) FreePathRecord(state, reinterpret_cast<qzPath*>(gPaths));
}

void ClearPathBuffer(qzPath* path) {
    OsFree(path->buffer);
    path->buffer = nullptr;
    path->write = nullptr;
    path->capacity = 0;
}

int CopyPathRecord(VmState* state, const qzPath* source, const qzObjectId& id, qzPath** out) {
    *out = nullptr;
    uint8_t* copy = nullptr;
    if (source->buffer) {
        copy = static_cast<uint8_t*>(OsAlloc(source->capacity, 0));
        if (!copy) return ERR_MEM;
        std::memcpy(copy, source->buffer, source->capacity);
    }
    // The copied records go on every way out until the new path takes them, also when copying
    // the object data raises an error or runs out of memory and unwinds through here.
    std::unique_ptr<uint8_t, void (*)(void*)> copyOwner(copy, OsFree);
    // The copy gets object data of its own: a shared list would be released twice.
    qzObjectDataNode* data = nullptr;
    if (source->header.data && CopyObjectDataList(state, source->header.data, &data) != 0) return ERR_MEM;
    qzPath* path = NewPathRecord(id);
    if (!path) {
        FreeObjectDataList(state, data);
        return ERR_MEM;
    }
    path->header.data = data;
    path->buffer = copyOwner.release();
    path->capacity = source->capacity;
    path->write = copy ? copy + (source->write - source->buffer) : nullptr;
    *out = path;
    return 0;
}

int AppendPathRecords(qzPath* destination, const qzPath* source) {
    size_t bytes = PathBytesInUse(source);
    if (!bytes) return 0;
    if (int error = GrowPathBuffer(destination, bytes + 4)) return error;
    std::memcpy(destination->write, source->buffer, bytes);
    destination->write += bytes;
    PathWriteU32(destination->write, QZ_PATHOP_END);
    return 0;
}
