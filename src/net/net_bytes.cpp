#include "net/net_bytes.h"

#include <cstdint>
#include <cstring>

#include "base/error_codes.h"
#include "platform/os_alloc.h"

namespace {
constexpr size_t kFirstCapacity = 16384;
}

int NetBytesReserve(qzNetBytes* bytes, size_t more) {
    if (more <= bytes->capacity - bytes->size) return 0;
    if (more > SIZE_MAX / 2 - bytes->size) return ERR_MEM;
    size_t need = bytes->size + more;
    size_t capacity = bytes->capacity < kFirstCapacity ? kFirstCapacity : bytes->capacity;
    while (capacity < need) capacity *= 2;
    void* grown = OsRealloc(bytes->data, capacity);
    if (!grown) return ERR_MEM;
    bytes->data = static_cast<unsigned char*>(grown);
    bytes->capacity = capacity;
    return 0;
}

int NetBytesAppend(qzNetBytes* bytes, const void* data, size_t count) {
    if (count == 0) return 0;
    int rc = NetBytesReserve(bytes, count);
    if (rc) return rc;
    std::memcpy(bytes->data + bytes->size, data, count);
    bytes->size += count;
    return 0;
}

void NetBytesFree(qzNetBytes* bytes) {
    OsFree(bytes->data);
    *bytes = qzNetBytes{};
}
