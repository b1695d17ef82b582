// Registry of memory blocks reachable through memory chunk names.
#include "platform/chunk_memory.h"

#include <map>
#include <mutex>

namespace {

std::mutex registryMutex;
std::map<uintptr_t, uint64_t>& Registry() {
    static std::map<uintptr_t, uint64_t> blocks;
    return blocks;
}

}  // namespace

bool RegisterChunkMemory(const void* data, uint64_t size) {
    if (!data) return false;
    std::lock_guard<std::mutex> lock(registryMutex);
    Registry()[reinterpret_cast<uintptr_t>(data)] = size;
    return true;
}

void UnregisterChunkMemory(const void* data) {
    std::lock_guard<std::mutex> lock(registryMutex);
    Registry().erase(reinterpret_cast<uintptr_t>(data));
}

const unsigned char* FindChunkMemory(uintptr_t address, uint64_t size) {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto& blocks = Registry();
    auto it = blocks.upper_bound(address);
    if (it == blocks.begin()) return nullptr;
    --it;
    uint64_t into = address - it->first;
    if (into > it->second || size > it->second - into) return nullptr;
    return reinterpret_cast<const unsigned char*>(address);
}
