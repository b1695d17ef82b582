// Shared by the image fuzz targets: the input as a file of the virtual-file layer (a memory chunk
// name over the registered input), and a cap on the engine's allocations, so that a header that
// claims a huge picture fails like an allocation failure instead of exhausting the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace imagefuzz {

constexpr size_t kAllocCap = size_t{64} << 20;
// Pictures decoded whole; larger ones are only examined.
constexpr int64_t kMaxDecodedPixels = int64_t{4} << 20;

inline void CapAllocations() {
    static bool installed = false;
    if (!installed) {
        OsSetAllocFailHook([](size_t size) { return size > kAllocCap ? 1 : 0; });
        installed = true;
    }
}

// The input under a memory chunk name ending in the extension.
class InputFile {
public:
    InputFile(const uint8_t* data, size_t size, const char* name) : mData(data) {
        if (size == 0 || !RegisterChunkMemory(data, size)) return;
        char buffer[512];
        MakeChunkName(name, buffer, sizeof(buffer), -1, size, 0, data);
        mName = buffer;
        mRegistered = true;
    }
    ~InputFile() {
        if (mRegistered) UnregisterChunkMemory(mData);
    }
    const std::string& Name() const { return mName; }
    bool Valid() const { return mRegistered; }
    // A new open file of the input (null when the input is empty); the caller closes it.
    qzVfsFile* Open() const { return mRegistered ? VfsOpen(mName.c_str(), QZ_VFS_READ, nullptr) : nullptr; }

private:
    const uint8_t* mData;
    std::string mName;
    bool mRegistered = false;
};

}  // namespace imagefuzz
