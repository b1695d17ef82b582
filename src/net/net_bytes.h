// A growable byte block for data that arrives in pieces of unknown total size. Its capacity
// grows geometrically, so collecting n bytes costs O(n) copying however small the pieces are.
#pragma once

#include <cstddef>

struct qzNetBytes {
    unsigned char* data = nullptr;
    size_t size = 0;
    size_t capacity = 0;
};

// Makes room for `more` bytes behind the current size. 0, or ERR_MEM (the block is unchanged).
int NetBytesReserve(qzNetBytes* bytes, size_t more);
// Appends count bytes. 0 or ERR_MEM.
int NetBytesAppend(qzNetBytes* bytes, const void* data, size_t count);
void NetBytesFree(qzNetBytes* bytes);

// Frees a block when the scope that made it is left, also by unwinding (memory running out in a
// callback's arguments, an error raised by the script). Freeing earlier by hand is fine.
class NetBytesScope {
public:
    explicit NetBytesScope(qzNetBytes* bytes) : bytes_(bytes) {}
    NetBytesScope(const NetBytesScope&) = delete;
    NetBytesScope& operator=(const NetBytesScope&) = delete;
    ~NetBytesScope() { NetBytesFree(bytes_); }

private:
    qzNetBytes* bytes_;
};
// The bytes as text for pushing: never null, also for an empty block.
inline const char* NetBytesText(const qzNetBytes& bytes) {
    return bytes.data ? reinterpret_cast<const char*>(bytes.data) : "";
}
